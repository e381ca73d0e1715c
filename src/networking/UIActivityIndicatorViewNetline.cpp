#include "networking/UIActivityIndicatorViewNetline.h"

#include "networking/NLRequestStateBinding.h"
#include "platform/base/ThreadAssertions.h"

namespace {

using nl_detail::onMain;

std::function<void()> startAnimating(const std::shared_ptr<UIActivityIndicatorView>& indicator) {
    return onMain<UIActivityIndicatorView>(indicator, [](UIActivityIndicatorView& v) { v.startAnimating(); });
}

std::function<void()> stopAnimating(const std::shared_ptr<UIActivityIndicatorView>& indicator) {
    return onMain<UIActivityIndicatorView>(indicator, [](UIActivityIndicatorView& v) { v.stopAnimating(); });
}

}  // namespace

void nl_setAnimatingWithStateOfOperation(const std::shared_ptr<UIActivityIndicatorView>& indicator,
                                         const std::shared_ptr<NLURLConnectionOperation>& operation) {
    QV_ASSERT_MAIN_THREAD();
    if (!indicator) return;
    nl_detail::unbindOperation(indicator);
    if (!operation || operation->isFinished()) return;
    if (operation->isExecuting()) indicator->startAnimating();
    else indicator->stopAnimating();
    nl_detail::bindOperation(indicator, operation, startAnimating(indicator), stopAnimating(indicator));
}

void nl_setAnimatingWithStateOfTask(const std::shared_ptr<UIActivityIndicatorView>& indicator,
                                    const std::shared_ptr<NSURLSessionTask>& task) {
    QV_ASSERT_MAIN_THREAD();
    if (!indicator) return;
    nl_detail::unbindTask(indicator);
    if (!task || task->state() == NSURLSessionTaskStateCompleted) return;
    if (task->state() == NSURLSessionTaskStateRunning) indicator->startAnimating();
    else indicator->stopAnimating();
    nl_detail::bindTask(indicator, task, startAnimating(indicator), stopAnimating(indicator));
}
