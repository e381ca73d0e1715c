#include "ui/infinitescrolling/STInfiniteScrollingView.h"

#include <cassert>

#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "ui/scrollextensions/ScrollViewExtensionSupport.h"

std::shared_ptr<STInfiniteScrollingView> STInfiniteScrollingView::initWithFrame(CGRect frame) {
    auto view = std::make_shared<STInfiniteScrollingView>(Passkey{}, frame);
    view->setActivityIndicatorViewStyle(UIActivityIndicatorViewStyleGray);
    return view;
}

STInfiniteScrollingView::STInfiniteScrollingView(Passkey, CGRect frame) : UIView(frame), viewForState_(4) {
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
}

STInfiniteScrollingView::~STInfiniteScrollingView() = default;

const std::shared_ptr<UIActivityIndicatorView>& STInfiniteScrollingView::activityIndicatorView() {
    if (!activityIndicatorView_) {
        activityIndicatorView_ = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleWhite);
        activityIndicatorView_->setHidesWhenStopped(true);
        addSubview(activityIndicatorView_);
    }
    return activityIndicatorView_;
}

long STInfiniteScrollingView::activityIndicatorViewStyle() {
    return activityIndicatorView()->activityIndicatorViewStyle();
}

void STInfiniteScrollingView::setActivityIndicatorViewStyle(long style) {
    activityIndicatorView()->setActivityIndicatorViewStyle(static_cast<UIActivityIndicatorViewStyle>(style));
}

void STInfiniteScrollingView::layoutSubviews() {
    const CGSize size = bounds().size;
    activityIndicatorView()->setCenter({size.width / 2, size.height / 2});
}

// ---------------------------------------------------------------- states

void STInfiniteScrollingView::setCustomView(const std::shared_ptr<UIView>& view, STInfiniteScrollingState state) {
    QV_ASSERT_MAIN_THREAD();
    auto indexes = scrollextension::perStateIndexes(state, "STInfiniteScrollingView", "custom view");
    if (indexes.empty()) return;
    for (auto i : indexes) viewForState_[i] = view;
    setState(state_);  // unchanged: the view shows from the next change on
}

void STInfiniteScrollingView::setState(STInfiniteScrollingState state) {
    QV_ASSERT_MAIN_THREAD();
    if (state > STInfiniteScrollingStateLoading) {
        NSLog("STInfiniteScrollingView: there is no state %llu (0 stopped, 1 triggered, 2 loading); the state stays %llu",
              static_cast<unsigned long long>(state), static_cast<unsigned long long>(state_));
        return;
    }
    if (state == state_) return;
    const STInfiniteScrollingState previous = state_;
    state_ = state;
    auto keepAlive = self<STInfiniteScrollingView>();  // the handler may let the scroll view go

    for (const auto& view : viewForState_)
        if (view && view->superview().get() == this) view->removeFromSuperview();
    // The view shown until now goes too, though another may have replaced it in the list.
    if (auto shown = shownCustomView_.lock(); shown && shown->superview().get() == this) shown->removeFromSuperview();
    shownCustomView_.reset();
    const auto& spinner = activityIndicatorView();
    if (const auto& custom = viewForState_[state]) {
        // The custom view stands for the whole content, the spinner included.
        spinner->stopAnimating();
        addSubview(custom);
        shownCustomView_ = custom;
        CGRect frame = custom->frame();
        frame.origin = scrollextension::centredOrigin(bounds().size, frame.size);
        custom->setFrame(frame);
    } else {
        CGRect frame = spinner->frame();
        frame.origin = scrollextension::centredOrigin(bounds().size, frame.size);
        spinner->setFrame(frame);
        if (state == STInfiniteScrollingStateLoading) spinner->startAnimating();
        if (state == STInfiniteScrollingStateStopped) spinner->stopAnimating();
    }

    if (previous == STInfiniteScrollingStateTriggered && state == STInfiniteScrollingStateLoading && handler_ &&
        enabled_) {
        auto handler = handler_;  // the handler may replace itself
        handler();
    }
}

void STInfiniteScrollingView::startAnimating() { setState(STInfiniteScrollingStateLoading); }

void STInfiniteScrollingView::stopAnimating() { setState(STInfiniteScrollingStateStopped); }

void STInfiniteScrollingView::triggerRefresh() {
    setState(STInfiniteScrollingStateTriggered);
    setState(STInfiniteScrollingStateLoading);
}

void STInfiniteScrollingView::scrollViewDidScroll(CGPoint contentOffset) {
    auto scroll = scrollView();
    if (!scroll || state_ == STInfiniteScrollingStateLoading || !enabled_) return;
    const CGFloat threshold = scroll->contentSize().height - scroll->bounds().size.height;
    const CGFloat y = contentOffset.y;
    if (!scroll->isDragging() && state_ == STInfiniteScrollingStateTriggered)
        setState(STInfiniteScrollingStateLoading);
    else if (y > threshold && state_ == STInfiniteScrollingStateStopped && scroll->isDragging())
        setState(STInfiniteScrollingStateTriggered);
    else if (y < threshold && state_ != STInfiniteScrollingStateStopped)
        setState(STInfiniteScrollingStateStopped);
}

// ---------------------------------------------------------------- insets

void STInfiniteScrollingView::resetScrollViewContentInset() {
    auto scroll = scrollView();
    if (!scroll) return;
    UIEdgeInsets insets = scroll->contentInset();
    insets.bottom = originalBottomInset_;
    setScrollViewContentInset(insets);
}

void STInfiniteScrollingView::setScrollViewContentInsetForInfiniteScrolling() {
    auto scroll = scrollView();
    if (!scroll) return;
    UIEdgeInsets insets = scroll->contentInset();
    insets.bottom = originalBottomInset_ + STInfiniteScrollingViewHeight;
    setScrollViewContentInset(insets);
}

void STInfiniteScrollingView::setScrollViewContentInset(UIEdgeInsets insets) {
    scrollextension::animateContentInset(scrollView(), insets);
}

// ---------------------------------------------------------------- observation

void STInfiniteScrollingView::moveBelowContent() {
    auto scroll = scrollView();
    if (!scroll) return;
    setFrame(CGRectMake(0, scroll->contentSize().height, bounds().size.width, STInfiniteScrollingViewHeight));
}

void STInfiniteScrollingView::startObserving() {
    auto scroll = scrollView();
    if (observation_.active() || !scroll) return;
    observation_.start(scroll, weakSelf<STInfiniteScrollingView>(), &STInfiniteScrollingView::scrollViewDidScroll,
                       "contentSize", &STInfiniteScrollingView::followContent);
}

void STInfiniteScrollingView::followContent() {
    layoutSubviews();
    moveBelowContent();
}

void STInfiniteScrollingView::stopObserving() { observation_.stop(); }

void STInfiniteScrollingView::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
    UIView::willMoveToSuperview(newSuperview);
    // Leaving the scroll view ends the observations, shown or not.
    if (!newSuperview && isObserving()) stopObserving();
}
