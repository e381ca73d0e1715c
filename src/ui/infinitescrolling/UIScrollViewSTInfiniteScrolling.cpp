#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"

#include <cassert>

#include "platform/base/ThreadAssertions.h"
#include "ui/scrollextensions/ScrollViewExtensionSupport.h"

namespace {
const char kFooterKey = 0;  // its address keys the attachment
}  // namespace

void addInfiniteScrollingWithActionHandler(const std::shared_ptr<UIScrollView>& scrollView,
                                           std::function<void()> actionHandler) {
    QV_ASSERT_MAIN_THREAD();
    if (!scrollView || infiniteScrollingView(*scrollView)) return;
    auto footer = STInfiniteScrollingView::initWithFrame(CGRectMake(
        0, scrollView->contentSize().height, scrollView->bounds().size.width, STInfiniteScrollingViewHeight));
    footer->setInfiniteScrollingHandler(std::move(actionHandler));
    footer->setScrollView(scrollView);
    scrollView->addSubview(footer);
    footer->setOriginalBottomInset(scrollView->contentInset().bottom);
    setInfiniteScrollingView(*scrollView, footer);
    setShowsInfiniteScrolling(*scrollView, true);
}

std::shared_ptr<STInfiniteScrollingView> infiniteScrollingView(const UIScrollView& scrollView) {
    return scrollextension::attachedView<STInfiniteScrollingView>(scrollView, &kFooterKey);
}

void setInfiniteScrollingView(UIScrollView& scrollView, const std::shared_ptr<STInfiniteScrollingView>& view) {
    scrollextension::attachWeakly(scrollView, &kFooterKey, kUIScrollViewInfiniteScrollingViewKey, view);
}

void setShowsInfiniteScrolling(UIScrollView& scrollView, bool shows) {
    QV_ASSERT_MAIN_THREAD();
    auto footer = infiniteScrollingView(scrollView);
    if (!footer) return;
    footer->setHidden(!shows);
    if (shows) {
        if (footer->isObserving()) return;
        footer->startObserving();
        footer->setScrollViewContentInsetForInfiniteScrolling();
        footer->setNeedsLayout();
        footer->moveBelowContent();
    } else if (footer->isObserving()) {
        footer->stopObserving();
        footer->resetScrollViewContentInset();
    }
}

bool showsInfiniteScrolling(const UIScrollView& scrollView) {
    auto footer = infiniteScrollingView(scrollView);
    return footer && !footer->isHidden();
}

void triggerInfiniteScrolling(UIScrollView& scrollView) {
    auto footer = infiniteScrollingView(scrollView);
    if (!footer) return;
    footer->setState(STInfiniteScrollingStateTriggered);
    footer->startAnimating();
}
