#include "networking/NLRequestStateBinding.h"

#include "networking/NLSessionTaskNotifications.h"
#include "networking/NLURLConnectionOperation.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace nl_detail {

namespace {

void follow(const std::shared_ptr<NSObject>& view, const char* name, const std::shared_ptr<NSObject>& object,
            std::function<void()> action) {
    NSNotificationCenter::defaultCenter()->addObserver(
        view, [action = std::move(action)](const NSNotification&) { action(); }, name, object);
}

}  // namespace

void unbindOperation(const std::shared_ptr<NSObject>& view) {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(view.get(), NLNetworkingOperationDidStartNotification);
    center->removeObserver(view.get(), NLNetworkingOperationDidFinishNotification);
}

void unbindTask(const std::shared_ptr<NSObject>& view) {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(view.get(), NLNetworkingTaskDidResumeNotification);
    center->removeObserver(view.get(), NLNetworkingTaskDidSuspendNotification);
    center->removeObserver(view.get(), NLNetworkingTaskDidCompleteNotification);
}

void bindOperation(const std::shared_ptr<NSObject>& view, const std::shared_ptr<NSObject>& operation,
                   std::function<void()> on, std::function<void()> off) {
    follow(view, NLNetworkingOperationDidStartNotification, operation, std::move(on));
    follow(view, NLNetworkingOperationDidFinishNotification, operation, std::move(off));
}

void bindTask(const std::shared_ptr<NSObject>& view, const std::shared_ptr<NSObject>& task, std::function<void()> on,
              std::function<void()> off) {
    follow(view, NLNetworkingTaskDidResumeNotification, task, std::move(on));
    follow(view, NLNetworkingTaskDidSuspendNotification, task, off);
    follow(view, NLNetworkingTaskDidCompleteNotification, task, std::move(off));
}

}  // namespace nl_detail
