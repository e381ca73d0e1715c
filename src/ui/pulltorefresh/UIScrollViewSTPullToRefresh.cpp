#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

#include <cassert>

#include "platform/base/ThreadAssertions.h"
#include "ui/scrollextensions/ScrollViewExtensionSupport.h"

namespace {
const char kHeaderKey = 0;  // its address keys the attachment
}  // namespace

void addPullToRefreshWithActionHandler(const std::shared_ptr<UIScrollView>& scrollView,
                                       std::function<void()> actionHandler) {
    QV_ASSERT_MAIN_THREAD();
    if (!scrollView || pullToRefreshView(*scrollView)) return;
    auto header = STPullToRefreshView::initWithFrame(
        CGRectMake(0, -STPullToRefreshViewHeight, scrollView->bounds().size.width, STPullToRefreshViewHeight));
    header->setPullToRefreshActionHandler(std::move(actionHandler));
    header->setScrollView(scrollView);
    scrollView->addSubview(header);
    header->setOriginalTopInset(scrollView->contentInset().top);
    setPullToRefreshView(*scrollView, header);
    setShowsPullToRefresh(*scrollView, true);
}

std::shared_ptr<STPullToRefreshView> pullToRefreshView(const UIScrollView& scrollView) {
    return scrollextension::attachedView<STPullToRefreshView>(scrollView, &kHeaderKey);
}

void setPullToRefreshView(UIScrollView& scrollView, const std::shared_ptr<STPullToRefreshView>& view) {
    scrollextension::attachWeakly(scrollView, &kHeaderKey, kSTPullToRefreshViewKey, view);
}

void setShowsPullToRefresh(UIScrollView& scrollView, bool shows) {
    QV_ASSERT_MAIN_THREAD();
    auto header = pullToRefreshView(scrollView);
    if (!header) return;
    header->setHidden(!shows);
    header->setShowsPullToRefresh(shows);
    if (shows) {
        header->startObserving();
    } else if (header->isObserving()) {
        header->stopObserving();
        header->resetScrollViewContentInset();
    }
}

bool showsPullToRefresh(const UIScrollView& scrollView) {
    auto header = pullToRefreshView(scrollView);
    return header && !header->isHidden();
}

void triggerPullToRefresh(UIScrollView& scrollView) {
    auto header = pullToRefreshView(scrollView);
    if (!header) return;
    header->setState(STPullToRefreshStateTriggered);
    header->startAnimating();
}
