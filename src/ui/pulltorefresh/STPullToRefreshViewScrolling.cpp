// The header's state machine: the scroll view's offset drives the states, the
// states drive the top inset and the action handler.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "ui/pulltorefresh/STPullToRefreshView.h"
#include "ui/scrollextensions/ScrollViewExtensionSupport.h"

namespace {
// Offsets closer to zero than this count as the rest position without an inset.
constexpr double kRestEpsilon = 1.1920929e-07;
}  // namespace

void STPullToRefreshView::setState(STPullToRefreshState state) {
    QV_ASSERT_MAIN_THREAD();
    if (state > STPullToRefreshStateLoading) {
        NSLog("STPullToRefreshView: there is no state %llu (0 stopped, 1 triggered, 2 loading); the state stays %llu",
              static_cast<unsigned long long>(state), static_cast<unsigned long long>(state_));
        return;
    }
    if (state == state_) return;
    const STPullToRefreshState previous = state_;
    state_ = state;
    auto keepAlive = self<STPullToRefreshView>();  // the handler may let the scroll view go
    layOutAgain();
    switch (state) {
    case STPullToRefreshStateLoading:
        setScrollViewContentInsetForLoading();
        if (previous == STPullToRefreshStateTriggered && actionHandler_) {
            auto handler = actionHandler_;  // the handler may replace itself
            handler();
        }
        break;
    case STPullToRefreshStateStopped:
        resetScrollViewContentInset();
        break;
    default:
        break;
    }
}

void STPullToRefreshView::startAnimating() {
    QV_ASSERT_MAIN_THREAD();
    if (auto scroll = scrollView()) {
        const CGPoint offset = scroll->contentOffset();
        if (std::fabs(offset.y) < kRestEpsilon) {
            scroll->setContentOffset({offset.x, -frame().size.height}, true);
            wasTriggeredByUser_ = false;
        } else {
            wasTriggeredByUser_ = true;
        }
    }
    setState(STPullToRefreshStateLoading);
}

void STPullToRefreshView::stopAnimating() {
    QV_ASSERT_MAIN_THREAD();
    setState(STPullToRefreshStateStopped);
    auto scroll = scrollView();
    if (!scroll || wasTriggeredByUser_) return;
    const CGPoint offset = scroll->contentOffset();
    if (offset.y < -originalTopInset_) scroll->setContentOffset({offset.x, -originalTopInset_}, true);
}

void STPullToRefreshView::scrollViewDidScroll(CGPoint contentOffset) {
    auto scroll = scrollView();
    if (!scroll) return;
    const CGFloat y = contentOffset.y;
    if (state_ == STPullToRefreshStateLoading) {
        // While loading the band stays in view as far as the content allows.
        UIEdgeInsets insets = scroll->contentInset();
        insets.top = std::min(std::max(-y, CGFloat(0)), originalTopInset_ + bounds().size.height);
        scroll->setContentInset(insets);
        return;
    }
    const CGFloat threshold = frame().origin.y - originalTopInset_;
    if (!scroll->isDragging() && state_ == STPullToRefreshStateTriggered)
        setState(STPullToRefreshStateLoading);
    else if (y < threshold && scroll->isDragging() && state_ == STPullToRefreshStateStopped)
        setState(STPullToRefreshStateTriggered);
    else if (y >= threshold && state_ != STPullToRefreshStateStopped)
        setState(STPullToRefreshStateStopped);
}

void STPullToRefreshView::resetScrollViewContentInset() {
    auto scroll = scrollView();
    if (!scroll) return;
    UIEdgeInsets insets = scroll->contentInset();
    insets.top = originalTopInset_;
    setScrollViewContentInset(insets);
}

void STPullToRefreshView::setScrollViewContentInsetForLoading() {
    auto scroll = scrollView();
    if (!scroll) return;
    const CGFloat offset = std::max(-scroll->contentOffset().y, CGFloat(0));
    UIEdgeInsets insets = scroll->contentInset();
    insets.top = std::min(offset, originalTopInset_ + bounds().size.height);
    setScrollViewContentInset(insets);
}

void STPullToRefreshView::setScrollViewContentInset(UIEdgeInsets insets) {
    scrollextension::animateContentInset(scrollView(), insets);
}

// ---------------------------------------------------------------- observation

void STPullToRefreshView::startObserving() {
    auto scroll = scrollView();
    if (observation_.active() || !scroll) return;
    observation_.start(scroll, weakSelf<STPullToRefreshView>(), &STPullToRefreshView::scrollViewDidScroll, "frame",
                       &STPullToRefreshView::layOutAgain);
}

void STPullToRefreshView::stopObserving() { observation_.stop(); }

void STPullToRefreshView::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
    UIView::willMoveToSuperview(newSuperview);
    // Leaving the scroll view ends the observations, shown or not.
    if (!newSuperview && isObserving()) stopObserving();
}
