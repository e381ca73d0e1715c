#pragma once
// The infinite-scrolling footer: a 60-point band just below a scroll view's
// content (see UIScrollViewSTInfiniteScrolling.h for how a scroll view gets
// one). While the user drags past the end of the content (threshold: content
// height less the scroll view's height), the footer is triggered (state 1);
// letting go starts loading (state 2) with a spinner in the band and runs the
// action handler once. stopAnimating ends the loading (state 0), and the next
// drag past the end triggers again. With `enabled` NO scrolling changes no
// state and the handler never runs.
//
// Lifetime: the scroll view's subview list owns the footer; the footer keeps
// the scroll view weakly and observes its "contentOffset" and "contentSize"
// through tokens it owns, dropped when it is hidden, when it leaves its
// superview and when it goes away.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIScrollView.h"
#include "ui/scrollextensions/ScrollViewExtensionSupport.h"

using STInfiniteScrollingState = std::uint64_t;
inline constexpr STInfiniteScrollingState STInfiniteScrollingStateStopped = 0;
inline constexpr STInfiniteScrollingState STInfiniteScrollingStateTriggered = 1;
inline constexpr STInfiniteScrollingState STInfiniteScrollingStateLoading = 2;
inline constexpr STInfiniteScrollingState STInfiniteScrollingStateAll = 10;

// The height of the band, added to the bottom inset while the footer shows.
inline constexpr CGFloat STInfiniteScrollingViewHeight = 60;

class STInfiniteScrollingView : public UIView {
    struct Passkey {};

public:
    // The footer in its initial state: grey spinner, flexible width, stopped,
    // enabled, no custom views.
    static std::shared_ptr<STInfiniteScrollingView> initWithFrame(CGRect frame);
    STInfiniteScrollingView(Passkey, CGRect frame);
    ~STInfiniteScrollingView() override;

    long activityIndicatorViewStyle();
    void setActivityIndicatorViewStyle(long style);
    const std::shared_ptr<UIActivityIndicatorView>& activityIndicatorView();

    // A custom view for a state of 0, 1 or 2, or 10 for all three; any other
    // state changes nothing (with a console line). Null means none. The view
    // shows from the next change of state on.
    void setCustomView(const std::shared_ptr<UIView>& view, STInfiniteScrollingState state);
    const std::vector<std::shared_ptr<UIView>>& viewForState() const { return viewForState_; }  // four

    STInfiniteScrollingState state() const { return state_; }
    // A change shows the state's custom view or the spinner (running while
    // loading); from triggered to loading it runs the handler when enabled.
    void setState(STInfiniteScrollingState state);
    void startAnimating();  // loading (the handler runs only when it was triggered)
    void stopAnimating();   // stopped
    void triggerRefresh();  // triggered, then loading: the handler runs

    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    const std::function<void()>& infiniteScrollingHandler() const { return handler_; }
    void setInfiniteScrollingHandler(std::function<void()> handler) { handler_ = std::move(handler); }
    std::shared_ptr<UIScrollView> scrollView() const { return scrollView_.lock(); }
    void setScrollView(const std::shared_ptr<UIScrollView>& scrollView) { scrollView_ = scrollView; }
    CGFloat originalBottomInset() const { return originalBottomInset_; }
    void setOriginalBottomInset(CGFloat inset) { originalBottomInset_ = inset; }
    bool wasTriggeredByUser() const { return wasTriggeredByUser_; }
    void setWasTriggeredByUser(bool value) { wasTriggeredByUser_ = value; }

    // Observation of the scroll view's "contentOffset" (scrollViewDidScroll)
    // and "contentSize" (the footer follows the end of the content).
    bool isObserving() const { return observation_.active(); }
    void startObserving();
    void stopObserving();
    // Places the footer at the end of the content: (0, content height, width, 60).
    void moveBelowContent();

    // Steps of the state machine, public for the scroll view extension and tests.
    void scrollViewDidScroll(CGPoint contentOffset);
    void resetScrollViewContentInset();
    void setScrollViewContentInsetForInfiniteScrolling();
    void setScrollViewContentInset(UIEdgeInsets insets);

    void layoutSubviews() override;
    void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) override;

private:
    void followContent();  // lays out and moves below the content
    std::shared_ptr<UIActivityIndicatorView> activityIndicatorView_;
    std::vector<std::shared_ptr<UIView>> viewForState_;
    std::weak_ptr<UIView> shownCustomView_;
    std::function<void()> handler_;
    std::weak_ptr<UIScrollView> scrollView_;
    STInfiniteScrollingState state_ = STInfiniteScrollingStateStopped;
    CGFloat originalBottomInset_ = 0;
    bool enabled_ = true;
    bool wasTriggeredByUser_ = false;
    scrollextension::ScrollViewObservation observation_;
};
