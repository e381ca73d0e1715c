#pragma once
// Touches and the events that carry them, as the touch driver of a window
// (UIWindow::touchBegan and its siblings) makes them.
#include <memory>
#include <set>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIResponder.h"

class UIView;
class UIWindow;
class UIGestureRecognizer;

enum UITouchPhase : long {
    UITouchPhaseBegan = 0,
    UITouchPhaseMoved = 1,
    UITouchPhaseStationary = 2,
    UITouchPhaseEnded = 3,
    UITouchPhaseCancelled = 4,
};

enum UIEventType : long {
    UIEventTypeTouches = 0,
    UIEventTypeMotion = 1,
    UIEventTypeRemoteControl = 2,
};

class UITouch : public NSObject {
public:
    UITouchPhase phase() const { return phase_; }
    // The view the touch began in (hit-tested then) and its window.
    std::shared_ptr<UIView> view() const { return view_.lock(); }
    std::shared_ptr<UIWindow> window() const { return window_.lock(); }
    std::size_t tapCount() const { return tapCount_; }
    double timestamp() const { return timestamp_; }
    // The location in the view's coordinates (the window's for null).
    CGPoint locationInView(const UIView* view) const;
    CGPoint previousLocationInView(const UIView* view) const;

private:
    friend class UIWindow;
    UITouchPhase phase_ = UITouchPhaseBegan;
    std::weak_ptr<UIView> view_;
    std::weak_ptr<UIWindow> window_;
    CGPoint location_{};  // in the window
    CGPoint previous_{};
    std::size_t tapCount_ = 1;
    double timestamp_ = 0;
    // The recognisers that see this touch (its view's and its superviews'),
    // and whether one of them took it from the view.
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers_;
    bool takenByRecognizer_ = false;
};
using UITouchPtr = std::shared_ptr<UITouch>;

class UIEvent : public NSObject {
public:
    UIEventType type() const { return UIEventTypeTouches; }
    double timestamp() const { return timestamp_; }
    const UITouchSet& allTouches() const { return touches_; }
    UITouchSet touchesForView(const UIView* view) const;
    UITouchSet touchesForWindow(const UIWindow* window) const;

private:
    friend class UIWindow;
    UITouchSet touches_;
    double timestamp_ = 0;
};
using UIEventPtr = std::shared_ptr<UIEvent>;
