#pragma once
// The responder chain: every view, view controller, window and the application
// answer the next responder up the chain (null at its end). Touches reach the
// view they began in and, unless it handles them, travel up the chain.
#include <memory>
#include <set>

#include "platform/foundation/NSObject.h"

class UITouch;
class UIEvent;
using UITouchSet = std::set<std::shared_ptr<UITouch>>;

class UIResponder : public NSObject {
public:
    virtual std::shared_ptr<UIResponder> nextResponder() const { return nullptr; }

    // The first responder of a window (see UIFirstResponder.h): becoming one
    // asks canBecomeFirstResponder and then shouldBecomeFirstResponder when it
    // takes effect (a view not yet in a window takes it once it enters one);
    // the responder it replaces must resign first. Resigning asks
    // shouldResignFirstResponder. The did... hooks follow each change.
    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool becomeFirstResponder();
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;
    virtual bool shouldBecomeFirstResponder() { return true; }
    virtual bool shouldResignFirstResponder() { return true; }
    virtual void didBecomeFirstResponder() {}
    virtual void didResignFirstResponder() {}

    // Touch phases; by default passed on to the next responder.
    virtual void touchesBegan(const UITouchSet& touches, UIEvent* event) {
        if (auto next = nextResponder()) next->touchesBegan(touches, event);
    }
    virtual void touchesMoved(const UITouchSet& touches, UIEvent* event) {
        if (auto next = nextResponder()) next->touchesMoved(touches, event);
    }
    virtual void touchesEnded(const UITouchSet& touches, UIEvent* event) {
        if (auto next = nextResponder()) next->touchesEnded(touches, event);
    }
    virtual void touchesCancelled(const UITouchSet& touches, UIEvent* event) {
        if (auto next = nextResponder()) next->touchesCancelled(touches, event);
    }

    // The nearest responder of type T from this one upwards (this one included).
    template <class T>
    std::shared_ptr<T> nearestResponderOfType() const {
        auto r = std::const_pointer_cast<UIResponder>(self<UIResponder>());
        while (r) {
            if (auto t = std::dynamic_pointer_cast<T>(r)) return t;
            r = r->nextResponder();
        }
        return nullptr;
    }
};
