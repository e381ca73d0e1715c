#pragma once
// The pull-to-refresh header: a 60-point band above a scroll view's content
// (see UIScrollViewSTPullToRefresh.h for how a scroll view gets one). While
// the user drags the content down past the band (threshold: the band's y less
// the scroll view's original top inset), the header is triggered (state 1);
// letting go there starts loading (state 2): the top inset grows to keep the
// band in view and the action handler runs once. stopAnimating ends the
// loading (state 0) and gives the scroll view its original top inset back.
//
// The band shows a title and a subtitle (or a "Last Updated:" date line) per
// state, a drawn arrow that turns while triggered and a spinner while
// loading; a custom view given for a state replaces all of them in that state.
//
// Lifetime: the scroll view's subview list owns the header; the header keeps
// the scroll view weakly and observes its "contentOffset" and "frame" through
// tokens it owns, dropped when it is hidden, when it leaves its superview and
// when it goes away.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"
#include "ui/pulltorefresh/STPullToRefreshArrow.h"
#include "ui/scrollextensions/ScrollViewExtensionSupport.h"

using STPullToRefreshState = std::uint64_t;
inline constexpr STPullToRefreshState STPullToRefreshStateStopped = 0;
inline constexpr STPullToRefreshState STPullToRefreshStateTriggered = 1;
inline constexpr STPullToRefreshState STPullToRefreshStateLoading = 2;
inline constexpr STPullToRefreshState STPullToRefreshStateAll = 10;

// The height of the band and what the loading state adds to the top inset.
inline constexpr CGFloat STPullToRefreshViewHeight = 60;

class STPullToRefreshView : public UIView {
    struct Passkey {};

public:
    // The header in its initial state: grey spinner, dark grey text, flexible
    // width, stopped, no date line, the localised titles "Pull to refresh...",
    // "Release to refresh..." and "Loading...", no subtitles or custom views.
    static std::shared_ptr<STPullToRefreshView> initWithFrame(CGRect frame);
    STPullToRefreshView(Passkey, CGRect frame);
    ~STPullToRefreshView() override;

    // Appearance.
    UIColorPtr arrowColor();
    void setArrowColor(UIColorPtr color);
    UIColorPtr textColor();
    void setTextColor(UIColorPtr color);
    const std::shared_ptr<UILabel>& titleLabel();     // 210 x 20, bold system font 14
    const std::shared_ptr<UILabel>& subtitleLabel();  // 210 x 20, system font 12
    // The subtitle label while the date line shows, else null.
    std::shared_ptr<UILabel> dateLabel();
    long activityIndicatorViewStyle();
    void setActivityIndicatorViewStyle(long style);
    const std::shared_ptr<STPullToRefreshArrow>& arrow();
    const std::shared_ptr<UIActivityIndicatorView>& activityIndicatorView();

    // Per-state texts and views: a state of 0, 1 or 2, or 10 for all three;
    // any other state changes nothing (with a console line). An empty text or
    // a null view means none. The header is laid out again at once.
    void setTitle(const std::string& title, STPullToRefreshState state);
    void setSubtitle(const std::string& subtitle, STPullToRefreshState state);
    void setCustomView(const std::shared_ptr<UIView>& view, STPullToRefreshState state);
    const std::vector<std::string>& titles() const { return titles_; }        // three entries
    const std::vector<std::string>& subtitles() const { return subtitles_; }  // four entries
    const std::vector<std::shared_ptr<UIView>>& viewForState() const { return viewForState_; }  // four

    // The date line: "Last Updated: %@" with the formatted date, or "Never"
    // without one (both localised). Setting the date shows the line in the
    // subtitle label; setting the formatter rewrites a line that shows.
    const std::optional<Date>& lastUpdatedDate() const { return lastUpdatedDate_; }
    void setLastUpdatedDate(std::optional<Date> date);
    // Made on first use: short date and time styles, the current locale.
    const std::shared_ptr<NSDateFormatter>& dateFormatter();
    void setDateFormatter(std::shared_ptr<NSDateFormatter> formatter);
    bool showsDateLabel() const { return showsDateLabel_; }

    STPullToRefreshState state() const { return state_; }
    // A change runs its steps: loading enlarges the top inset (and, coming
    // from the triggered state, runs the action handler); stopped restores it.
    void setState(STPullToRefreshState state);
    // Loading. From rest at offset 0 the band is scrolled into view first and
    // the loading counts as not started by the user.
    void startAnimating();
    // Stopped; a loading not started by the user scrolls back to the original inset.
    void stopAnimating();
    // The scroll view's triggerPullToRefresh.
    void triggerRefresh();

    const std::function<void()>& pullToRefreshActionHandler() const { return actionHandler_; }
    void setPullToRefreshActionHandler(std::function<void()> handler) { actionHandler_ = std::move(handler); }
    std::shared_ptr<UIScrollView> scrollView() const { return scrollView_.lock(); }
    void setScrollView(const std::shared_ptr<UIScrollView>& scrollView) { scrollView_ = scrollView; }
    CGFloat originalTopInset() const { return originalTopInset_; }
    void setOriginalTopInset(CGFloat inset) { originalTopInset_ = inset; }
    bool wasTriggeredByUser() const { return wasTriggeredByUser_; }
    // A plain flag the scroll view extension keeps in step with the header's visibility.
    bool showsPullToRefresh() const { return showsPullToRefresh_; }
    void setShowsPullToRefresh(bool shows) { showsPullToRefresh_ = shows; }

    // Observation of the scroll view's "contentOffset" (scrollViewDidScroll)
    // and "frame" (layout). Starting twice or stopping when not observing does nothing.
    bool isObserving() const { return observation_.active(); }
    void startObserving();
    void stopObserving();

    // Steps of the state machine, public for the scroll view extension and tests.
    void scrollViewDidScroll(CGPoint contentOffset);
    void resetScrollViewContentInset();
    void setScrollViewContentInsetForLoading();
    void setScrollViewContentInset(UIEdgeInsets insets);
    void rotateArrow(float degrees, bool hide);

    void layoutSubviews() override;
    void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) override;

private:
    void layOutAgain();
    void writeDateLine();
    // Shows the custom view of the current state (true) or the standard content (false).
    bool showCustomViewForState();

    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UILabel> subtitleLabel_;
    std::shared_ptr<STPullToRefreshArrow> arrow_;
    std::shared_ptr<UIActivityIndicatorView> activityIndicatorView_;
    UIColorPtr textColor_;
    std::vector<std::string> titles_;
    std::vector<std::string> subtitles_;
    std::vector<std::shared_ptr<UIView>> viewForState_;
    std::optional<Date> lastUpdatedDate_;
    std::shared_ptr<NSDateFormatter> dateFormatter_;
    std::function<void()> actionHandler_;
    std::weak_ptr<UIScrollView> scrollView_;
    STPullToRefreshState state_ = STPullToRefreshStateStopped;
    CGFloat originalTopInset_ = 0;
    bool wasTriggeredByUser_ = false;
    bool showsPullToRefresh_ = false;
    bool showsDateLabel_ = false;
    scrollextension::ScrollViewObservation observation_;
};
