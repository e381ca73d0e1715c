#include "networking/UIRefreshControlNetline.h"

#include "networking/NLRequestStateBinding.h"
#include "platform/base/ThreadAssertions.h"

namespace {

using nl_detail::onMain;

std::function<void()> beginRefreshing(const std::shared_ptr<UIRefreshControl>& control) {
    return onMain<UIRefreshControl>(control, [](UIRefreshControl& c) { c.beginRefreshing(); });
}

std::function<void()> endRefreshing(const std::shared_ptr<UIRefreshControl>& control) {
    return onMain<UIRefreshControl>(control, [](UIRefreshControl& c) { c.endRefreshing(); });
}

}  // namespace

void nl_setRefreshingWithStateOfOperation(const std::shared_ptr<UIRefreshControl>& control,
                                          const std::shared_ptr<NLURLConnectionOperation>& operation) {
    QV_ASSERT_MAIN_THREAD();
    if (!control) return;
    nl_detail::unbindOperation(control);
    if (!operation || operation->isFinished()) return;
    if (operation->isExecuting()) control->beginRefreshing();
    else control->endRefreshing();
    nl_detail::bindOperation(control, operation, beginRefreshing(control), endRefreshing(control));
}

void nl_setRefreshingWithStateOfTask(const std::shared_ptr<UIRefreshControl>& control,
                                     const std::shared_ptr<NSURLSessionTask>& task) {
    QV_ASSERT_MAIN_THREAD();
    if (!control) return;
    nl_detail::unbindTask(control);
    if (!task || task->state() != NSURLSessionTaskStateRunning) {
        control->endRefreshing();
        return;
    }
    control->beginRefreshing();
    nl_detail::bindTask(control, task, beginRefreshing(control), endRefreshing(control));
}
