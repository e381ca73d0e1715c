#pragma once
// Infinite scrolling for any scroll view: a footer below the content (see
// STInfiniteScrollingView.h) whose action handler runs when the user drags
// past the end of the content and lets go; the screen loads its next page and
// calls the footer's stopAnimating.
//
// The scroll view keeps its footer as an attachment it does not own (the
// subview list owns the footer); attaching announces a change of
// "UIScrollViewInfiniteScrollingView" to the scroll view's observers. A
// footer that is gone reads as none.
//
// Main thread only.
#include <functional>
#include <memory>

#include "platform/uikit/UIScrollView.h"
#include "ui/infinitescrolling/STInfiniteScrollingView.h"

inline constexpr const char* kUIScrollViewInfiniteScrollingViewKey = "UIScrollViewInfiniteScrollingView";

// Once per scroll view: adds a footer at (0, content height, width, 60) with
// the handler, records the current bottom inset as the footer's original one
// and shows it. A scroll view that has a footer keeps it (and its handler).
void addInfiniteScrollingWithActionHandler(const std::shared_ptr<UIScrollView>& scrollView,
                                           std::function<void()> actionHandler);
// The attached footer, or null.
std::shared_ptr<STInfiniteScrollingView> infiniteScrollingView(const UIScrollView& scrollView);
void setInfiniteScrollingView(UIScrollView& scrollView, const std::shared_ptr<STInfiniteScrollingView>& view);
// Showing starts the footer's observation, adds 60 to the bottom inset and
// moves the footer below the current content; hiding ends the observation
// and restores the original bottom inset (both animated). Nothing without a footer.
void setShowsInfiniteScrolling(UIScrollView& scrollView, bool shows);
// Whether the scroll view has a footer that is not hidden.
bool showsInfiniteScrolling(const UIScrollView& scrollView);
// Triggered, then loading: the handler runs as after a drag past the end.
void triggerInfiniteScrolling(UIScrollView& scrollView);
