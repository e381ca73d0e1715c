#include "platform/uikit/UIPopoverController.h"

#include <algorithm>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIDimmingView.h"
#include "platform/uikit/UIPopoverChromeView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {
std::vector<std::shared_ptr<UIPopoverController>>& onScreen() {
    static auto* list = new std::vector<std::shared_ptr<UIPopoverController>>();
    return *list;
}

bool hasSize(CGSize size) { return size.width > 0 && size.height > 0; }
}  // namespace

UIPopoverController::UIPopoverController(std::shared_ptr<UIViewController> content) : content_(std::move(content)) {
    if (content_ && hasSize(content_->preferredContentSize())) contentSize_ = content_->preferredContentSize();
}

std::shared_ptr<UIPopoverController> UIPopoverController::initWithContentViewController(
    const std::shared_ptr<UIViewController>& content) {
    auto popover = std::make_shared<UIPopoverController>(content);
    popover->observeContent();
    return popover;
}

UIPopoverController::~UIPopoverController() = default;

std::vector<std::shared_ptr<UIPopoverController>> UIPopoverController::visiblePopovers() { return onScreen(); }

void UIPopoverController::observeContent() {
    contentObservation_.disconnect();
    if (!content_) return;
    std::weak_ptr<UIPopoverController> weak = self<UIPopoverController>();
    contentObservation_ = content_->observeValueForKey("preferredContentSize", [weak](const std::string&) {
        if (auto me = weak.lock()) me->contentSizeChanged();
    });
}

void UIPopoverController::contentSizeChanged() {
    if (!content_ || !hasSize(content_->preferredContentSize())) return;
    setPopoverContentSize(content_->preferredContentSize());
}

void UIPopoverController::setPopoverContentSize(CGSize size, bool /*animated*/) {
    QV_ASSERT_MAIN_THREAD();
    contentSize_ = size;
    if (visible_) place();
}

void UIPopoverController::setContentViewController(const std::shared_ptr<UIViewController>& content, bool animated) {
    QV_ASSERT_MAIN_THREAD();
    if (content == content_) return;
    auto old = content_;
    content_ = content;
    if (content_ && hasSize(content_->preferredContentSize())) contentSize_ = content_->preferredContentSize();
    observeContent();
    if (!visible_) return;
    if (old) {
        old->beginAppearanceTransition(false, animated);
        if (old->isViewLoaded()) old->view()->removeFromSuperview();
        endAppearance(old, animated);
    }
    if (content_) {
        chrome_->addSubview(content_->view());
        content_->beginAppearanceTransition(true, animated);
        endAppearance(content_, animated);
    }
    place();
}

std::vector<std::shared_ptr<UIView>> UIPopoverController::passthroughViews() const {
    std::vector<std::shared_ptr<UIView>> out;
    for (auto& w : passthrough_)
        if (auto v = w.lock()) out.push_back(v);
    return out;
}

void UIPopoverController::setPassthroughViews(const std::vector<std::shared_ptr<UIView>>& views) {
    passthrough_.assign(views.begin(), views.end());
    if (dimming_) dimming_->setPassthroughViews(views);
}

UIPopoverArrowDirection UIPopoverController::popoverArrowDirection() const {
    return visible_ && chrome_ ? chrome_->arrowDirection() : UIPopoverArrowDirectionUnknown;
}

std::shared_ptr<UIView> UIPopoverController::popoverView() const { return visible_ ? chrome_ : nullptr; }

std::shared_ptr<UIView> UIPopoverController::dimmingView() const { return visible_ ? dimming_ : nullptr; }

void UIPopoverController::presentPopoverFromRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                                 UIPopoverArrowDirection permittedArrowDirections, bool animated) {
    QV_ASSERT_MAIN_THREAD();
    if (!view || !view->window()) {
        NSLog("UIPopoverController: cannot present a popover from a view that is in no window (%@)", view);
        return;
    }
    anchorItem_.reset();
    present(view, rect, permittedArrowDirections, animated);
}

void UIPopoverController::presentPopoverFromBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item,
                                                          UIPopoverArrowDirection permittedArrowDirections,
                                                          bool animated) {
    QV_ASSERT_MAIN_THREAD();
    auto view = item ? item->view() : nullptr;
    if (!view || !view->window()) {
        NSLog("UIPopoverController: cannot present a popover from a bar button item that is on no bar in a window");
        return;
    }
    if (present(view, view->bounds(), permittedArrowDirections, animated)) anchorItem_ = item;
}

bool UIPopoverController::present(const std::shared_ptr<UIView>& anchorView, CGRect rect,
                                  UIPopoverArrowDirection permitted, bool animated) {
    if (!content_) {
        NSLog("UIPopoverController: cannot present a popover without a content view controller");
        return false;
    }
    auto window = anchorView->window();
    auto me = self<UIPopoverController>();
    if (!contentObservation_.connected()) observeContent();
    anchorView_ = anchorView;
    anchorRect_ = rect;
    permitted_ = permitted;
    auto contentView = content_->view();  // loaded first: it may size itself as it loads
    if (!visible_) {
        visible_ = true;
        onScreen().push_back(me);
        dimming_ = std::make_shared<UIDimmingView>(window->bounds());
        dimming_->setPassthroughViews(passthroughViews());
        std::weak_ptr<UIPopoverController> weak = me;
        dimming_->setTapHandler([weak] {
            if (auto p = weak.lock()) p->outsideTap();
        });
        dimming_->setLayoutHandler([weak] {
            if (auto p = weak.lock(); p && p->visible_) p->place();
        });
        chrome_ = std::make_shared<UIPopoverChromeView>();
        chrome_->addSubview(contentView);
        content_->beginAppearanceTransition(true, animated);
        endAppearance(content_, animated);
    }
    window->addSubview(dimming_);  // (again) on top of everything in the window
    window->addSubview(chrome_);
    place();
    return true;
}

void UIPopoverController::place() {
    auto window = chrome_ ? chrome_->window() : nullptr;
    if (!window) return;
    const CGRect bounds = window->bounds();
    dimming_->setFrame(bounds);
    // The anchor where it is now; where it last was when it has left the window.
    std::shared_ptr<UIView> anchor;
    CGRect rect = anchorRect_;
    if (auto item = anchorItem_.lock()) {
        anchor = item->view();
        if (anchor) rect = anchor->bounds();
    } else {
        anchor = anchorView_.lock();
    }
    if (anchor && anchor->window() == window) anchorInWindow_ = anchor->convertRectToView(rect, window.get());

    CGRect area = CGRectInset(bounds, kWindowMargin, kWindowMargin);
    const CGFloat statusBar = UIApplication::sharedApplication()->isStatusBarHidden() ? 0 : kUIStatusBarHeight;
    area.origin.y += statusBar;
    area.size.height -= statusBar;
    auto placement = UIPopoverPlacement::place(anchorInWindow_, contentSize_, permitted_, area);
    chrome_->applyPlacement(placement, content_ ? content_->view() : nullptr);
}

void UIPopoverController::outsideTap() {
    auto keep = self<UIPopoverController>();
    if (!visible_ || (content_ && content_->isModalInPopover())) return;
    if (auto delegate = delegate_.lock(); delegate && !delegate->popoverControllerShouldDismissPopover(*this)) return;
    dismissPopoverAnimated(true);
    if (auto delegate = delegate_.lock()) delegate->popoverControllerDidDismissPopover(*this);
}

void UIPopoverController::dismissPopoverAnimated(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    if (!visible_) return;
    auto keep = self<UIPopoverController>();
    visible_ = false;
    if (content_) content_->beginAppearanceTransition(false, animated);
    chrome_->removeFromSuperview();
    dimming_->removeFromSuperview();
    if (content_ && content_->isViewLoaded() && content_->view()->superview() == chrome_)
        content_->view()->removeFromSuperview();
    if (content_) endAppearance(content_, animated);
    dimming_.reset();
    chrome_.reset();
    std::erase(onScreen(), keep);
}

void UIPopoverController::endAppearance(const std::shared_ptr<UIViewController>& controller, bool animated) {
    if (!animated) return controller->endAppearanceTransition();
    dispatch_async(dispatch_get_main_queue(), [controller] { controller->endAppearanceTransition(); });
}
