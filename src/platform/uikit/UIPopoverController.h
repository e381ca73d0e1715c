#pragma once
// The platform's own popover: a content view controller shown in a rounded
// dark frame beside an anchor, with an arrow pointing at it, above everything
// else in the anchor's window.
//
// Call order: initWithContentViewController, then presentPopoverFromRect (a
// rectangle in a view that is in a window) or presentPopoverFromBarButtonItem
// (the item's view), and dismissPopoverAnimated. Presenting a visible popover
// again moves it to the new anchor. A view in no window, or an item not on a
// bar, is refused with a console line.
//
// While visible the popover keeps itself alive (its presenter may let go) and
// covers the window with a clear view: a tap there (not on a pass-through
// view, which gets the touch instead) asks the delegate
// popoverControllerShouldDismissPopover (YES by default; a content controller
// that is modal in the popover keeps it up without asking), dismisses the
// popover animated, then tells popoverControllerDidDismissPopover. A
// dismissal by the program tells the delegate nothing.
//
// Size: popoverContentSize starts as the content's preferredContentSize when
// it has one, else 320 x 480; setPopoverContentSize sets it, and so does every
// later change of the content's preferredContentSize (one it makes as its view
// loads included); a visible popover takes the new size at once. Placement: UIPopoverPlacement, inside the window less a 10-point
// margin (and the status bar); it is placed again whenever the window changes
// size (a rotation). The content controller gets its appearance callbacks as
// it comes and goes (the did-callbacks on the next main-loop pass when animated).
//
// Main thread only. The delegate is held weakly.
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIPopoverPlacement.h"

class UIBarButtonItem;
class UIDimmingView;
class UIPopoverChromeView;
class UIPopoverController;
class UIView;
class UIViewController;

class UIPopoverControllerDelegate {
public:
    virtual ~UIPopoverControllerDelegate() = default;
    virtual bool popoverControllerShouldDismissPopover(UIPopoverController& /*popover*/) { return true; }
    virtual void popoverControllerDidDismissPopover(UIPopoverController& /*popover*/) {}
};

class UIPopoverController : public NSObject {
public:
    static constexpr CGSize kDefaultContentSize{320, 480};
    static constexpr CGFloat kWindowMargin = 10;

    explicit UIPopoverController(std::shared_ptr<UIViewController> content);
    // initWithContentViewController:
    static std::shared_ptr<UIPopoverController> initWithContentViewController(
        const std::shared_ptr<UIViewController>& content);
    ~UIPopoverController() override;

    const std::shared_ptr<UIViewController>& contentViewController() const { return content_; }
    // A visible popover shows the new content in place of the old (which gets
    // its disappearance callbacks).
    void setContentViewController(const std::shared_ptr<UIViewController>& content, bool animated = false);
    std::shared_ptr<UIPopoverControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIPopoverControllerDelegate> delegate) { delegate_ = std::move(delegate); }

    CGSize popoverContentSize() const { return contentSize_; }
    void setPopoverContentSize(CGSize size, bool animated = false);
    // Views that keep taking touches while the popover is up (held weakly).
    std::vector<std::shared_ptr<UIView>> passthroughViews() const;
    void setPassthroughViews(const std::vector<std::shared_ptr<UIView>>& views);

    void presentPopoverFromRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                UIPopoverArrowDirection permittedArrowDirections, bool animated);
    void presentPopoverFromBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item,
                                         UIPopoverArrowDirection permittedArrowDirections, bool animated);
    void dismissPopoverAnimated(bool animated);

    bool isPopoverVisible() const { return visible_; }
    // The arrow's direction while visible, UIPopoverArrowDirectionUnknown otherwise.
    UIPopoverArrowDirection popoverArrowDirection() const;
    // The popover's frame and the clear view over the window (null while hidden).
    std::shared_ptr<UIView> popoverView() const;
    std::shared_ptr<UIView> dimmingView() const;

    // The popovers on screen, oldest first.
    static std::vector<std::shared_ptr<UIPopoverController>> visiblePopovers();

private:
    void observeContent();
    void contentSizeChanged();
    bool present(const std::shared_ptr<UIView>& anchorView, CGRect rect, UIPopoverArrowDirection permitted,
                 bool animated);
    void place();
    void outsideTap();
    static void endAppearance(const std::shared_ptr<UIViewController>& controller, bool animated);

    std::shared_ptr<UIViewController> content_;
    std::weak_ptr<UIPopoverControllerDelegate> delegate_;
    CGSize contentSize_ = kDefaultContentSize;
    std::vector<std::weak_ptr<UIView>> passthrough_;
    ObservationToken contentObservation_;

    // While visible.
    bool visible_ = false;
    std::weak_ptr<UIView> anchorView_;
    std::weak_ptr<UIBarButtonItem> anchorItem_;
    CGRect anchorRect_{};
    CGRect anchorInWindow_{};
    UIPopoverArrowDirection permitted_ = UIPopoverArrowDirectionAny;
    std::shared_ptr<UIDimmingView> dimming_;
    std::shared_ptr<UIPopoverChromeView> chrome_;
};
using UIPopoverControllerPtr = std::shared_ptr<UIPopoverController>;
