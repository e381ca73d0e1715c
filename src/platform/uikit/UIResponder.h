#pragma once
// The responder chain: every view, view controller, window and the application
// answer the next responder up the chain (null at its end).
#include <memory>

#include "platform/foundation/NSObject.h"

class UIResponder : public NSObject {
public:
    virtual std::shared_ptr<UIResponder> nextResponder() const { return nullptr; }
    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool becomeFirstResponder() { return canBecomeFirstResponder(); }
    virtual bool resignFirstResponder() { return true; }

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
