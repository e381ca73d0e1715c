#pragma once
// Controls: views with an enabled, highlighted and selected state that send
// actions to their targets for control events. Touches drive the events: a
// touch down highlights the control (UIControlEventTouchDown); moving reports
// drags inside or outside (the inside area reaches 70 points beyond the bounds)
// and enter/exit when crossing it, highlighting only while inside; lifting
// inside sends UIControlEventTouchUpInside, outside UIControlEventTouchUpOutside;
// a cancelled touch sends UIControlEventTouchCancel. A disabled control takes no
// touches (hit testing passes it by).
//
// Main thread only.
#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIView.h"

using UIControlState = unsigned long;
inline constexpr UIControlState UIControlStateNormal = 0;
inline constexpr UIControlState UIControlStateHighlighted = 1 << 0;
inline constexpr UIControlState UIControlStateDisabled = 1 << 1;
inline constexpr UIControlState UIControlStateSelected = 1 << 2;

using UIControlEvents = unsigned long;
inline constexpr UIControlEvents UIControlEventTouchDown = 1 << 0;
inline constexpr UIControlEvents UIControlEventTouchDownRepeat = 1 << 1;
inline constexpr UIControlEvents UIControlEventTouchDragInside = 1 << 2;
inline constexpr UIControlEvents UIControlEventTouchDragOutside = 1 << 3;
inline constexpr UIControlEvents UIControlEventTouchDragEnter = 1 << 4;
inline constexpr UIControlEvents UIControlEventTouchDragExit = 1 << 5;
inline constexpr UIControlEvents UIControlEventTouchUpInside = 1 << 6;
inline constexpr UIControlEvents UIControlEventTouchUpOutside = 1 << 7;
inline constexpr UIControlEvents UIControlEventTouchCancel = 1 << 8;
inline constexpr UIControlEvents UIControlEventValueChanged = 1 << 12;
inline constexpr UIControlEvents UIControlEventEditingDidBegin = 1 << 16;
inline constexpr UIControlEvents UIControlEventEditingChanged = 1 << 17;
inline constexpr UIControlEvents UIControlEventEditingDidEnd = 1 << 18;
inline constexpr UIControlEvents UIControlEventEditingDidEndOnExit = 1 << 19;
inline constexpr UIControlEvents UIControlEventAllTouchEvents = 0x00000FFF;
inline constexpr UIControlEvents UIControlEventAllEditingEvents = 0x000F0000;
inline constexpr UIControlEvents UIControlEventAllEvents = 0xFFFFFFFF;

class UIControl : public UIView {
public:
    using UIView::UIView;

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted);
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);
    // The flags above as one state.
    UIControlState state() const;
    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }

    // Target-action. The action runs with the control and the event (null when
    // sent by code). The target is held weakly: once it is gone its actions
    // are dropped. A null target makes an action that lives with the control.
    using Action = std::function<void(UIControl& sender, UIEvent* event)>;
    void addTarget(const std::shared_ptr<NSObject>& target, Action action, UIControlEvents events);
    // Removes the target's actions for the events (null target: every target's).
    void removeTarget(const NSObject* target, UIControlEvents events);
    std::size_t actionCount(UIControlEvents events) const;
    UIControlEvents allControlEvents() const;
    // Sends the actions registered for any of the events, in the order added.
    void sendActionsForControlEvents(UIControlEvents events, UIEvent* event = nullptr);

    // Tracking hooks (called by the touch handlers below).
    virtual bool beginTrackingWithTouch(UITouch& touch, UIEvent* event);
    virtual bool continueTrackingWithTouch(UITouch& touch, UIEvent* event);
    virtual void endTrackingWithTouch(UITouch* touch, UIEvent* event);
    virtual void cancelTrackingWithEvent(UIEvent* event);

    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    struct Registration {
        bool hasTarget;
        const NSObject* key;
        std::weak_ptr<NSObject> target;
        Action action;
        UIControlEvents events;
    };
    bool insideTrackingArea(CGPoint p) const;
    bool enabled_ = true;
    bool highlighted_ = false;
    bool selected_ = false;
    bool tracking_ = false;
    bool touchInside_ = false;
    std::vector<Registration> registrations_;
};
