#include "platform/uikit/UIRefreshControl.h"

#include "platform/base/ThreadAssertions.h"

void UIRefreshControl::beginRefreshing() {
    QV_ASSERT_MAIN_THREAD();
    if (refreshing_) return;
    willChangeValueForKey("refreshing");
    refreshing_ = true;
    didChangeValueForKey("refreshing");
}

void UIRefreshControl::endRefreshing() {
    QV_ASSERT_MAIN_THREAD();
    if (!refreshing_) return;
    willChangeValueForKey("refreshing");
    refreshing_ = false;
    didChangeValueForKey("refreshing");
}
