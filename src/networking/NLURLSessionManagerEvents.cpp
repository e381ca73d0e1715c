// NLURLSessionManager as the session's delegate: each event goes to the task's
// record where there is one, then to the callback slot when set. Also the
// trust answers and the manager's own resume and suspend announcements.
#include "networking/NLSecurityPolicy.h"
#include "networking/NLSessionTaskNotifications.h"
#include "networking/NLURLSessionManager.h"

bool NLURLSessionManager::respondsToWillPerformHTTPRedirection() const {
    return hasSlot(&Callbacks::taskWillPerformHTTPRedirection);
}

bool NLURLSessionManager::respondsToDidReceiveResponse() const {
    return hasSlot(&Callbacks::dataTaskDidReceiveResponse);
}

bool NLURLSessionManager::respondsToWillCacheResponse() const {
    return hasSlot(&Callbacks::dataTaskWillCacheResponse);
}

// ---------------------------------------------------------------- session events

void NLURLSessionManager::URLSessionDidBecomeInvalidWithError(const NSURLSessionPtr& session, const NSErrorPtr& error) {
    if (auto block = slot(&Callbacks::sessionDidBecomeInvalid)) block(session, error);
    removeAllDelegates();
    NSNotificationCenter::defaultCenter()->postNotificationName(NLURLSessionDidInvalidateNotification, session);
}

NSURLSessionAuthChallengeDisposition NLURLSessionManager::answerChallenge(const ChallengePtr& challenge,
                                                                          bool taskLevel,
                                                                          CredentialPtr& credential) const {
    const auto& space = challenge->protectionSpace();
    if (!space || space->authenticationMethod() != NSURLAuthenticationMethodServerTrust)
        return NSURLSessionAuthChallengePerformDefaultHandling;
    auto policy = securityPolicy();
    if (!policy || !policy->evaluateServerTrust(space->serverTrust(), space->host()))
        return NSURLSessionAuthChallengeCancelAuthenticationChallenge;
    credential = NSURLCredential::credentialForTrust(space->serverTrust());
    if (taskLevel || credential) return NSURLSessionAuthChallengeUseCredential;
    return NSURLSessionAuthChallengePerformDefaultHandling;
}

void NLURLSessionManager::URLSessionDidReceiveChallenge(const NSURLSessionPtr& session, const ChallengePtr& challenge,
                                                        const NSURLSessionChallengeCompletion& completion) {
    CredentialPtr credential;
    NSURLSessionAuthChallengeDisposition disposition;
    if (auto block = slot(&Callbacks::sessionDidReceiveAuthenticationChallenge))
        disposition = block(session, challenge, credential);
    else
        disposition = answerChallenge(challenge, false, credential);
    if (completion) completion(disposition, credential);
}

void NLURLSessionManager::URLSessionDidFinishEventsForBackgroundURLSession(const NSURLSessionPtr& session) {
    auto block = slot(&Callbacks::didFinishEventsForBackgroundURLSession);
    if (!block) return;
    dispatch_async(dispatch_get_main_queue(), [block = std::move(block), session] { block(session); });
}

// ---------------------------------------------------------------- task events

void NLURLSessionManager::URLSessionTaskWillPerformHTTPRedirection(
    const NSURLSessionPtr& session, const TaskPtr& task, const std::shared_ptr<NSHTTPURLResponse>& response,
    const std::shared_ptr<NSURLRequest>& request, const std::function<void(std::shared_ptr<NSURLRequest>)>& completion) {
    auto next = request;
    if (auto block = slot(&Callbacks::taskWillPerformHTTPRedirection)) next = block(session, task, response, request);
    if (completion) completion(next);
}

void NLURLSessionManager::URLSessionTaskDidReceiveChallenge(const NSURLSessionPtr& session, const TaskPtr& task,
                                                            const ChallengePtr& challenge,
                                                            const NSURLSessionChallengeCompletion& completion) {
    CredentialPtr credential;
    NSURLSessionAuthChallengeDisposition disposition;
    if (auto block = slot(&Callbacks::taskDidReceiveAuthenticationChallenge))
        disposition = block(session, task, challenge, credential);
    else
        disposition = answerChallenge(challenge, true, credential);
    if (completion) completion(disposition, credential);
}

void NLURLSessionManager::URLSessionTaskNeedNewBodyStream(
    const NSURLSessionPtr& session, const TaskPtr& task,
    const std::function<void(std::shared_ptr<NSInputStream>)>& completion) {
    std::shared_ptr<NSInputStream> stream;
    if (auto block = slot(&Callbacks::taskNeedNewBodyStream)) {
        stream = block(session, task);
    } else if (auto request = task->originalRequest(); request && request->HTTPBodyStream()) {
        stream = request->HTTPBodyStream()->copyStream();  // null for a stream that cannot be copied
    }
    if (completion) completion(stream);
}

void NLURLSessionManager::URLSessionTaskDidSendBodyData(const NSURLSessionPtr& session, const TaskPtr& task,
                                                        std::int64_t bytesSent, std::int64_t totalBytesSent,
                                                        std::int64_t totalBytesExpectedToSend) {
    const std::int64_t expected = NLExpectedBytesToSend(task, totalBytesExpectedToSend);
    if (auto delegate = delegateForTask(task))
        delegate->URLSessionTaskDidSendBodyData(session, task, bytesSent, totalBytesSent, expected);
    if (auto block = slot(&Callbacks::taskDidSendBodyData)) block(session, task, bytesSent, totalBytesSent, expected);
}

void NLURLSessionManager::URLSessionTaskDidCompleteWithError(const NSURLSessionPtr& session, const TaskPtr& task,
                                                             const NSErrorPtr& error) {
    if (auto delegate = delegateForTask(task)) {
        // Out of the table first, so that no one finds the record of a task whose completion is under way.
        removeDelegateForTask(task);
        delegate->URLSessionTaskDidCompleteWithError(session, task, error);
    }
    if (auto block = slot(&Callbacks::taskDidComplete)) block(session, task, error);
}

// ---------------------------------------------------------------- data task events

void NLURLSessionManager::URLSessionDataTaskDidReceiveResponse(
    const NSURLSessionPtr& session, const DataTaskPtr& dataTask, const std::shared_ptr<NSURLResponse>& response,
    const std::function<void(NSURLSessionResponseDisposition)>& completion) {
    NSURLSessionResponseDisposition disposition = NSURLSessionResponseAllow;
    if (auto block = slot(&Callbacks::dataTaskDidReceiveResponse)) disposition = block(session, dataTask, response);
    if (completion) completion(disposition);
}

void NLURLSessionManager::URLSessionDataTaskDidBecomeDownloadTask(const NSURLSessionPtr& session,
                                                                  const DataTaskPtr& dataTask,
                                                                  const DownloadTaskPtr& downloadTask) {
    if (auto delegate = delegateForTask(dataTask)) {
        removeDelegateForTask(dataTask);
        setDelegate(delegate, downloadTask);
    }
    if (auto block = slot(&Callbacks::dataTaskDidBecomeDownloadTask)) block(session, dataTask, downloadTask);
}

void NLURLSessionManager::URLSessionDataTaskDidReceiveData(const NSURLSessionPtr& session, const DataTaskPtr& dataTask,
                                                           const Data& data) {
    if (auto delegate = delegateForTask(dataTask)) delegate->URLSessionDataTaskDidReceiveData(session, dataTask, data);
    if (auto block = slot(&Callbacks::dataTaskDidReceiveData)) block(session, dataTask, data);
}

void NLURLSessionManager::URLSessionDataTaskWillCacheResponse(
    const NSURLSessionPtr& session, const DataTaskPtr& dataTask,
    const std::shared_ptr<NSCachedURLResponse>& proposedResponse,
    const std::function<void(std::shared_ptr<NSCachedURLResponse>)>& completion) {
    auto cached = proposedResponse;
    if (auto block = slot(&Callbacks::dataTaskWillCacheResponse)) cached = block(session, dataTask, proposedResponse);
    if (completion) completion(cached);
}

// ---------------------------------------------------------------- download task events

void NLURLSessionManager::URLSessionDownloadTaskDidFinishDownloadingToURL(const NSURLSessionPtr& session,
                                                                          const DownloadTaskPtr& downloadTask,
                                                                          const std::string& location) {
    auto delegate = delegateForTask(downloadTask);
    if (auto block = slot(&Callbacks::downloadTaskDidFinishDownloading)) {
        if (auto destination = block(session, downloadTask, NSURL::fileURLWithPath(location))) {
            auto error = NLMoveDownloadedFile(downloadTask, location, destination);
            if (delegate) delegate->didMoveDownloadedFile(destination, error);
            return;  // the slot decided: the record's own destination is not asked
        }
    }
    if (delegate) delegate->URLSessionDownloadTaskDidFinishDownloadingToURL(session, downloadTask, location);
}

void NLURLSessionManager::URLSessionDownloadTaskDidWriteData(const NSURLSessionPtr& session,
                                                             const DownloadTaskPtr& downloadTask,
                                                             std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                                             std::int64_t totalBytesExpectedToWrite) {
    if (auto delegate = delegateForTask(downloadTask))
        delegate->URLSessionDownloadTaskDidWriteData(session, downloadTask, bytesWritten, totalBytesWritten,
                                                     totalBytesExpectedToWrite);
    if (auto block = slot(&Callbacks::downloadTaskDidWriteData))
        block(session, downloadTask, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite);
}

void NLURLSessionManager::URLSessionDownloadTaskDidResumeAtOffset(const NSURLSessionPtr& session,
                                                                  const DownloadTaskPtr& downloadTask,
                                                                  std::int64_t fileOffset,
                                                                  std::int64_t expectedTotalBytes) {
    if (auto delegate = delegateForTask(downloadTask))
        delegate->URLSessionDownloadTaskDidResumeAtOffset(session, downloadTask, fileOffset, expectedTotalBytes);
    if (auto block = slot(&Callbacks::downloadTaskDidResume))
        block(session, downloadTask, fileOffset, expectedTotalBytes);
}

// ---------------------------------------------------------------- resume and suspend of own tasks

void NLURLSessionManager::announceOwnTask(const NSNotification& notification, const char* name) const {
    auto task = std::dynamic_pointer_cast<NSURLSessionTask>(notification.object());
    if (!task) return;
    auto delegate = delegateForTask(task);
    if (!delegate || delegate->manager().get() != this) return;  // another owner's task
    dispatch_async(dispatch_get_main_queue(), [task, name] {
        NSNotificationCenter::defaultCenter()->postNotificationName(name, task);
    });
}

void NLURLSessionManager::taskDidResume(const NSNotification& notification) {
    announceOwnTask(notification, NLNetworkingTaskDidResumeNotification);
}

void NLURLSessionManager::taskDidSuspend(const NSNotification& notification) {
    announceOwnTask(notification, NLNetworkingTaskDidSuspendNotification);
}
