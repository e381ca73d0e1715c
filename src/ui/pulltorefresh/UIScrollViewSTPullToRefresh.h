#pragma once
// Pull-to-refresh for any scroll view: a header above the content (see
// STPullToRefreshView.h) whose action handler runs each time the user pulls
// past it and lets go.
//
// The scroll view keeps its header as an attachment it does not own (the
// subview list owns the header); attaching announces a change of
// "STPullToRefreshView" to the scroll view's observers. A header that is gone
// reads as none.
//
// Main thread only.
#include <functional>
#include <memory>

#include "platform/uikit/UIScrollView.h"
#include "ui/pulltorefresh/STPullToRefreshView.h"

inline constexpr const char* kSTPullToRefreshViewKey = "STPullToRefreshView";

// Once per scroll view: adds a header at (0, -60, width, 60) with the handler,
// records the current top inset as the header's original one and shows it. A
// scroll view that has a header keeps it (and its handler).
void addPullToRefreshWithActionHandler(const std::shared_ptr<UIScrollView>& scrollView,
                                       std::function<void()> actionHandler);
// The attached header, or null.
std::shared_ptr<STPullToRefreshView> pullToRefreshView(const UIScrollView& scrollView);
void setPullToRefreshView(UIScrollView& scrollView, const std::shared_ptr<STPullToRefreshView>& view);
// Showing starts the header's observation of the scroll view; hiding ends it
// and restores the original top inset (animated). Nothing without a header.
void setShowsPullToRefresh(UIScrollView& scrollView, bool shows);
// Whether the scroll view has a header that is not hidden.
bool showsPullToRefresh(const UIScrollView& scrollView);
// Triggered, then loading: the handler runs as after a pull.
void triggerPullToRefresh(UIScrollView& scrollView);
