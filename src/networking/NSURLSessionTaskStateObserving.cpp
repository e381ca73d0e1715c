// The resume and suspend announcements of session tasks, as task hooks.
#include "networking/NSURLSessionTaskStateObserving.h"

#include <mutex>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/net/NSURLSessionTask.h"

void NLInstallSessionTaskStateObserving() {
    static std::once_flag once;
    std::call_once(once, [] {
        NSURLSessionTask::addResumeHook([](const std::shared_ptr<NSURLSessionTask>& task, NSURLSessionTaskState prior) {
            if (prior != NSURLSessionTaskStateSuspended) return;  // nothing started running
            NSNotificationCenter::defaultCenter()->postNotificationName(NLNetworkingSessionTaskDidResumeNotification,
                                                                        task);
        });
        NSURLSessionTask::addSuspendHook([](const std::shared_ptr<NSURLSessionTask>& task, NSURLSessionTaskState prior) {
            if (prior != NSURLSessionTaskStateRunning) return;  // nothing stopped running
            NSNotificationCenter::defaultCenter()->postNotificationName(NLNetworkingSessionTaskDidSuspendNotification,
                                                                        task);
        });
    });
}

namespace {

// Installed at load time wherever this file is part of the program.
[[maybe_unused]] const bool installedAtLoad = (NLInstallSessionTaskStateObserving(), true);

}  // namespace
