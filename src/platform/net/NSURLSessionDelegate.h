#pragma once
// The delegate protocols of a URL session. Every method has a default; where
// the session's behaviour depends on whether the delegate takes part in a step,
// a respondsTo...() method says so. All calls come on the session's delegate
// queue, one at a time and in order for the whole session. Completion
// callbacks handed to the delegate may be called later, from any thread, once;
// the task waits for them (no byte moves meanwhile) while other tasks go on.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSStream.h"
#include "platform/net/NSCachedURLResponse.h"
#include "platform/net/NSURLAuthenticationChallenge.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLCredential.h"
#include "platform/net/NSURLRequest.h"
#include "platform/net/NSURLResponse.h"

class NSURLSession;
class NSURLSessionTask;
class NSURLSessionDataTask;
class NSURLSessionDownloadTask;
using NSURLSessionPtr = std::shared_ptr<NSURLSession>;

enum NSURLSessionAuthChallengeDisposition : long {
    NSURLSessionAuthChallengeUseCredential = 0,
    NSURLSessionAuthChallengePerformDefaultHandling = 1,
    NSURLSessionAuthChallengeCancelAuthenticationChallenge = 2,
    NSURLSessionAuthChallengeRejectProtectionSpace = 3,
};

enum NSURLSessionResponseDisposition : long {
    NSURLSessionResponseCancel = 0,
    NSURLSessionResponseAllow = 1,
    NSURLSessionResponseBecomeDownload = 2,
    NSURLSessionResponseBecomeStream = 3,  // not offered here: treated as cancel
};

using NSURLSessionChallengeCompletion =
    std::function<void(NSURLSessionAuthChallengeDisposition, std::shared_ptr<NSURLCredential>)>;

class NSURLSessionDelegate {
public:
    virtual ~NSURLSessionDelegate() = default;
    // The last call: the session let go of its tasks and of this delegate.
    virtual void URLSessionDidBecomeInvalidWithError(const NSURLSessionPtr& session, const NSErrorPtr& error) {
        (void)session;
        (void)error;
    }
    // Session-level challenges (TLS server trust). When this answers them, the
    // task-level method is not asked for them.
    virtual bool respondsToDidReceiveChallenge() const { return false; }
    virtual void URLSessionDidReceiveChallenge(const NSURLSessionPtr& session,
                                               const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                               const NSURLSessionChallengeCompletion& completion) {
        (void)session;
        (void)challenge;
        completion(NSURLSessionAuthChallengePerformDefaultHandling, nullptr);
    }
    virtual void URLSessionDidFinishEventsForBackgroundURLSession(const NSURLSessionPtr& session) { (void)session; }
};

class NSURLSessionTaskDelegate : public NSURLSessionDelegate {
public:
    // Without it, redirects are followed as proposed.
    virtual bool respondsToWillPerformHTTPRedirection() const { return false; }
    // Answer the request to send, or null to take the redirect response as the answer.
    virtual void URLSessionTaskWillPerformHTTPRedirection(
        const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionTask>& task,
        const std::shared_ptr<NSHTTPURLResponse>& response, const std::shared_ptr<NSURLRequest>& request,
        const std::function<void(std::shared_ptr<NSURLRequest>)>& completion) {
        (void)session;
        (void)task;
        (void)response;
        completion(request);
    }
    // Task-level challenges: HTTP Basic, and server trust when the session-level
    // method is not answered.
    virtual bool respondsToTaskDidReceiveChallenge() const { return false; }
    virtual void URLSessionTaskDidReceiveChallenge(const NSURLSessionPtr& session,
                                                   const std::shared_ptr<NSURLSessionTask>& task,
                                                   const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                                   const NSURLSessionChallengeCompletion& completion) {
        (void)session;
        (void)task;
        (void)challenge;
        completion(NSURLSessionAuthChallengePerformDefaultHandling, nullptr);
    }
    // A fresh stream over the body when it must be sent again; by default the
    // original request's stream's own copy (null when it has none: the task fails).
    virtual void URLSessionTaskNeedNewBodyStream(const NSURLSessionPtr& session,
                                                 const std::shared_ptr<NSURLSessionTask>& task,
                                                 const std::function<void(std::shared_ptr<NSInputStream>)>& completion);
    virtual void URLSessionTaskDidSendBodyData(const NSURLSessionPtr& session,
                                               const std::shared_ptr<NSURLSessionTask>& task, std::int64_t bytesSent,
                                               std::int64_t totalBytesSent, std::int64_t totalBytesExpectedToSend) {
        (void)session;
        (void)task;
        (void)bytesSent;
        (void)totalBytesSent;
        (void)totalBytesExpectedToSend;
    }
    // The last call for a task; error null on success.
    virtual void URLSessionTaskDidCompleteWithError(const NSURLSessionPtr& session,
                                                    const std::shared_ptr<NSURLSessionTask>& task,
                                                    const NSErrorPtr& error) {
        (void)session;
        (void)task;
        (void)error;
    }
};

class NSURLSessionDataDelegate : public virtual NSURLSessionTaskDelegate {
public:
    // Without it, every response is allowed.
    virtual bool respondsToDidReceiveResponse() const { return false; }
    virtual void URLSessionDataTaskDidReceiveResponse(
        const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionDataTask>& dataTask,
        const std::shared_ptr<NSURLResponse>& response,
        const std::function<void(NSURLSessionResponseDisposition)>& completion) {
        (void)session;
        (void)dataTask;
        (void)response;
        completion(NSURLSessionResponseAllow);
    }
    // The data task ended here; the download task carries its load on.
    virtual void URLSessionDataTaskDidBecomeDownloadTask(const NSURLSessionPtr& session,
                                                         const std::shared_ptr<NSURLSessionDataTask>& dataTask,
                                                         const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask) {
        (void)session;
        (void)dataTask;
        (void)downloadTask;
    }
    virtual void URLSessionDataTaskDidReceiveData(const NSURLSessionPtr& session,
                                                  const std::shared_ptr<NSURLSessionDataTask>& dataTask,
                                                  const Data& data) {
        (void)session;
        (void)dataTask;
        (void)data;
    }
    virtual bool respondsToWillCacheResponse() const { return false; }
    // No response cache is kept: the answer is not stored.
    virtual void URLSessionDataTaskWillCacheResponse(
        const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionDataTask>& dataTask,
        const std::shared_ptr<NSCachedURLResponse>& proposedResponse,
        const std::function<void(std::shared_ptr<NSCachedURLResponse>)>& completion) {
        (void)session;
        (void)dataTask;
        completion(proposedResponse);
    }
};

class NSURLSessionDownloadDelegate : public virtual NSURLSessionTaskDelegate {
public:
    // The file at `location` is removed when this returns: move it away to keep it.
    virtual void URLSessionDownloadTaskDidFinishDownloadingToURL(
        const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
        const std::string& location) {
        (void)session;
        (void)downloadTask;
        (void)location;
    }
    virtual void URLSessionDownloadTaskDidWriteData(const NSURLSessionPtr& session,
                                                    const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                                    std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                                    std::int64_t totalBytesExpectedToWrite) {
        (void)session;
        (void)downloadTask;
        (void)bytesWritten;
        (void)totalBytesWritten;
        (void)totalBytesExpectedToWrite;
    }
    // A download from resume data goes on at `fileOffset` (0: it started over).
    virtual void URLSessionDownloadTaskDidResumeAtOffset(const NSURLSessionPtr& session,
                                                         const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                                         std::int64_t fileOffset, std::int64_t expectedTotalBytes) {
        (void)session;
        (void)downloadTask;
        (void)fileOffset;
        (void)expectedTotalBytes;
    }
};
