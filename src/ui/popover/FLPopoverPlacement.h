#pragma once
// Where a popover's chrome goes: the room beside the anchor on each side, the
// arrow direction, the chrome's size clamped to the window minus the layout
// margins, the status bar and the keyboard, the arrow offset that keeps the
// arrow on the anchor while the body shifts, the lift above the keyboard, the
// rotation for systems whose windows keep portrait coordinates, and the start
// transform of the scale-in animation.
//
// The popover controller owns one FLPopoverPlacement, keeps its inputs current
// (they are the controller's fields of the same names) and forwards its own
// placement operations to it. The chrome is reached through
// FLPopoverPlacementChrome, an adapter over the background view.
//
// Windows: `ignoreOrientation` is the controller's switch, set when windows
// work in the interface's coordinates (this platform's windows do on every
// system, UIInterfaceRotation.h): the overlay's bounds and the anchor are then
// taken as they are and the chrome stands upright; the keyboard's screen frame
// is brought into the interface's coordinates first (before 8.0 it stays in
// the portrait screen's). Without the switch the window is taken to keep
// portrait coordinates: the room and the keyboard are read across in
// landscape, and the chrome is rotated.
//
// Placement touches no view before presentation: positionPopover does nothing
// while there is no overlay, no chrome or no anchor view; the inputs (the
// content size among them) are kept for the next presentation.
//
// Minimum chrome height 160 points for Up and Down, minimum width 240 for Left
// and Right; repositioning animates over 0.1 s. Main thread only.
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIEdgeInsets.h"
#include "ui/popover/FLPopoverArea.h"
#include "ui/popover/FLPopoverPlacementTypes.h"

class UIView;
class UIViewController;

// What placement asks of the chrome (FLPopoverBackgroundView).
class FLPopoverPlacementChrome {
public:
    virtual ~FLPopoverPlacementChrome() = default;
    // The chrome itself: frame, centre and transform are set on it.
    virtual std::shared_ptr<UIView> chromeView() const = 0;
    virtual CGFloat arrowHeight() const = 0;
    virtual FLArrowDirection arrowDirection() const = 0;
    virtual void setArrowDirection(FLArrowDirection direction) = 0;
    virtual CGFloat arrowOffset() const = 0;
    // The chrome clamps the offset off its rounded corners.
    virtual void setArrowOffset(CGFloat offset) = 0;
    // (top, left, bottom, right) the drop shadow adds around the body.
    virtual UIEdgeInsets outerShadowInsets() const = 0;
    // The chrome's size around a content of that size, for its arrow direction.
    virtual CGSize sizeThatFits(CGSize contentSize) const = 0;
    virtual void setWantsDefaultContentAppearance(bool wants) = 0;
    virtual void setViewController(const std::shared_ptr<UIViewController>& controller) = 0;
    // The chrome's redraw request.
    virtual void setNeedsDisplay() = 0;
};

// The status bar's thickness: its frame's height from system 8.0 on; before,
// its width in the landscape orientations (3, 4) and its height otherwise.
float FLStatusBarHeight();

// A rectangle of the key window in the interface's orientation: unchanged from
// system 8.0 on (windows rotate their coordinates); before, with W x H the key
// window's bounds, orientation 2 mirrors it, 3 and 4 turn it a quarter.
CGRect FLRectInWindowForOrientation(CGRect rect, UIInterfaceOrientation orientation);

struct FLPopoverPlacement {
    static constexpr CGFloat kMinimumHeight = 160;  // Up and Down
    static constexpr CGFloat kMinimumWidth = 240;   // Left and Right
    static constexpr double kRepositionDuration = 0.1;

    // Inputs, the controller's fields of the same names.
    CGRect rect{};
    std::shared_ptr<UIView> inView;
    std::shared_ptr<UIView> overlayView;
    std::shared_ptr<FLPopoverPlacementChrome> backgroundView;
    FLArrowDirection permittedArrowDirections = FLArrowDirectionAny;
    bool ignoreOrientation = false;
    CGRect keyboardRect{};
    UIEdgeInsets popoverLayoutMargins{10, 10, 10, 10};
    // The controller's popoverContentSize as it reads (never zero once asked).
    CGSize popoverContentSize{};
    bool wantsDefaultContentAppearance = false;
    std::shared_ptr<UIViewController> contentViewController;
    // The delegate's operations; empty when the delegate does not implement them.
    std::function<bool()> shouldIgnoreKeyboardBounds;
    std::function<void(CGFloat& yOffset)> willTranslatePopoverWithYOffset;

    // Places the chrome (animated over 0.1 s when asked).
    void positionPopover(bool animated) const;
    // The arrow direction for the anchor among the permitted ones.
    FLArrowDirection arrowDirectionForRect(CGRect anchor, const std::shared_ptr<UIView>& view, CGSize contentSize,
                                           CGFloat arrowHeight, FLArrowDirection permitted) const;
    // The room on one side of the anchor.
    CGSize sizeForRect(CGRect anchor, const std::shared_ptr<UIView>& view, CGFloat arrowHeight,
                       FLArrowDirection direction) const;
    // The candidates for the permitted directions, in the order Down, Up, Left,
    // Right, None, before sorting.
    std::vector<std::shared_ptr<FLPopoverArea>> areasForRect(CGRect anchor, const std::shared_ptr<UIView>& view,
                                                             CGFloat arrowHeight, FLArrowDirection permitted) const;
    // The chrome's transform at the start of the scale-in: from the arrow's tip.
    CGAffineTransform transformForArrowDirection(FLArrowDirection direction) const;

private:
    struct Box {
        float minX = 0, maxX = 0, minY = 0, maxY = 0;
    };
    bool ignoresKeyboard() const { return shouldIgnoreKeyboardBounds && shouldIgnoreKeyboardBounds(); }
    Box freeBox(CGFloat width, CGFloat height, CGFloat keyboardHeight) const;
    CGRect anchorInWindow(CGRect anchor, const std::shared_ptr<UIView>& view) const;
    // The keyboard rectangle in the interface's coordinates, and its height as the free box counts it.
    CGRect keyboardInInterface() const;
    CGFloat keyboardHeight() const;
    void placeFrame(FLPopoverPlacementChrome& chrome, UIView& view, FLArrowDirection direction, CGRect anchor,
                    Box& box, CGRect& frame) const;
    void liftAboveKeyboard(CGRect& frame, CGFloat keyboardHeight, const Box& box) const;
};
