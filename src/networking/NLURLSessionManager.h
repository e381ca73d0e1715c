#pragma once
// A URL-session manager: owns one NSURLSession and is its delegate, keeps a
// record (NLURLSessionManagerTaskDelegate) for each task it made or found,
// builds data, upload and download tasks (never resumed: the caller resumes
// them), turns each finished task's body into a response object through its
// response serializer, answers server-trust challenges through its security
// policy, and lets its owner hook every session event through fifteen
// callback slots.
//
// Lifetime: the session holds the manager until the session becomes invalid;
// the manager does not invalidate it when its owner lets go. Call
// invalidateSessionCancelingTasks() to end both: running tasks then end (or
// are cancelled), their completions run, sessionDidBecomeInvalid is called,
// every record goes, "com.netline.networking.session.invalidate" is posted and
// the session lets go of the manager.
//
// Threads: every session event arrives on operationQueue (one at a time, off
// the main thread), callback slots included. Task creation goes through one
// process-wide serial queue. Response serialization runs on the process-wide
// concurrent processing queue; completion callbacks run on completionQueue
// (the main queue when none) inside completionGroup (the shared group when
// none); the completion, resume and suspend notifications and the
// background-events callback go to the main queue. Properties and slots may
// be set from any thread. The task lists answer at once from the session's own
// list and never wait for the delegate queue, so they may be asked from a
// callback.
//
// Resume and suspend: the manager posts "com.netline.networking.task.resume" /
// ".suspend" on the main queue when one of its own tasks (that task object,
// not another session's task of the same identifier) announced a real state
// change (NSURLSessionTaskStateObserving.h).
//
// Downloads: the destination's URL becomes the response object once the file
// was moved there. A file that cannot be moved fails the task: the
// file-manager-error notification is posted, and the completion gets the move
// error and no URL.
//
// Archiving writes the session configuration under "sessionConfiguration";
// a copy is a new manager of the same class on the same configuration (no
// callbacks, serializer or policy carried over).
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "networking/NLNetworkReachabilityManagerFwd.h"
#include "networking/NLURLResponseSerialization.h"
#include "networking/NLURLSessionManagerTaskDelegate.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSObject.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSProgress.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/Value.h"
#include "platform/net/NSURLSession.h"

class NLSecurityPolicy;

// Posted by a manager when its session became invalid, on the delegate queue; object: the session.
inline constexpr const char* NLURLSessionDidInvalidateNotification = "com.netline.networking.session.invalidate";
// Posted when a downloaded file could not be moved, on the delegate queue;
// object: the download task, user info: the move error's user info.
inline constexpr const char* NLURLSessionDownloadTaskDidFailToMoveFileNotification =
    "com.netline.networking.session.download.file-manager-error";
// Keys of the user info of "com.netline.networking.task.complete" (NLSessionTaskNotifications.h).
inline constexpr const char* NLNetworkingTaskDidCompleteResponseSerializerKey =
    "com.netline.networking.task.complete.responseserializer";
inline constexpr const char* NLNetworkingTaskDidCompleteAssetPathKey = "com.netline.networking.task.complete.assetpath";
inline constexpr const char* NLNetworkingTaskDidCompleteResponseDataKey =
    "com.netline.networking.complete.finish.responsedata";
inline constexpr const char* NLNetworkingTaskDidCompleteErrorKey = "com.netline.networking.task.complete.error";
inline constexpr const char* NLNetworkingTaskDidCompleteSerializedResponseKey =
    "com.netline.networking.task.complete.serializedresponse";

// The label of the name lock and of the two process-wide queues.
inline constexpr const char* NLURLSessionManagerLockName = "com.netline.networking.session.manager.lock";
inline constexpr const char* NLURLSessionManagerCreationQueueLabel = "com.netline.networking.session.manager.creation";
inline constexpr const char* NLURLSessionManagerProcessingQueueLabel =
    "com.netline.networking.session.manager.processing";

class NLURLSessionManager : public NSObject, public NSURLSessionDataDelegate, public NSURLSessionDownloadDelegate {
public:
    using TaskPtr = std::shared_ptr<NSURLSessionTask>;
    using DataTaskPtr = std::shared_ptr<NSURLSessionDataTask>;
    using UploadTaskPtr = std::shared_ptr<NSURLSessionUploadTask>;
    using DownloadTaskPtr = std::shared_ptr<NSURLSessionDownloadTask>;
    using CredentialPtr = std::shared_ptr<NSURLCredential>;
    using ChallengePtr = std::shared_ptr<NSURLAuthenticationChallenge>;
    // (temporary file URL, response) -> where to move the downloaded file.
    using DestinationBlock = std::function<NSURLPtr(const NSURLPtr& targetPath, const std::shared_ptr<NSURLResponse>&)>;

    // The fifteen callback slots.
    using SessionDidBecomeInvalidBlock = std::function<void(const NSURLSessionPtr&, const NSErrorPtr&)>;
    using SessionDidReceiveAuthenticationChallengeBlock = std::function<NSURLSessionAuthChallengeDisposition(
        const NSURLSessionPtr&, const ChallengePtr&, CredentialPtr& credential)>;
    using DidFinishEventsForBackgroundURLSessionBlock = std::function<void(const NSURLSessionPtr&)>;
    using TaskWillPerformHTTPRedirectionBlock = std::function<std::shared_ptr<NSURLRequest>(
        const NSURLSessionPtr&, const TaskPtr&, const std::shared_ptr<NSURLResponse>&,
        const std::shared_ptr<NSURLRequest>&)>;
    using TaskDidReceiveAuthenticationChallengeBlock = std::function<NSURLSessionAuthChallengeDisposition(
        const NSURLSessionPtr&, const TaskPtr&, const ChallengePtr&, CredentialPtr& credential)>;
    using TaskNeedNewBodyStreamBlock =
        std::function<std::shared_ptr<NSInputStream>(const NSURLSessionPtr&, const TaskPtr&)>;
    using TaskDidSendBodyDataBlock = std::function<void(const NSURLSessionPtr&, const TaskPtr&, std::int64_t bytesSent,
                                                        std::int64_t totalBytesSent,
                                                        std::int64_t totalBytesExpectedToSend)>;
    using TaskDidCompleteBlock = std::function<void(const NSURLSessionPtr&, const TaskPtr&, const NSErrorPtr&)>;
    using DataTaskDidReceiveResponseBlock = std::function<NSURLSessionResponseDisposition(
        const NSURLSessionPtr&, const DataTaskPtr&, const std::shared_ptr<NSURLResponse>&)>;
    using DataTaskDidBecomeDownloadTaskBlock =
        std::function<void(const NSURLSessionPtr&, const DataTaskPtr&, const DownloadTaskPtr&)>;
    using DataTaskDidReceiveDataBlock = std::function<void(const NSURLSessionPtr&, const DataTaskPtr&, const Data&)>;
    using DataTaskWillCacheResponseBlock = std::function<std::shared_ptr<NSCachedURLResponse>(
        const NSURLSessionPtr&, const DataTaskPtr&, const std::shared_ptr<NSCachedURLResponse>&)>;
    using DownloadTaskDidFinishDownloadingBlock = NLURLSessionDownloadFinishBlock;
    using DownloadTaskDidWriteDataBlock =
        std::function<void(const NSURLSessionPtr&, const DownloadTaskPtr&, std::int64_t bytesWritten,
                           std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite)>;
    using DownloadTaskDidResumeBlock = std::function<void(const NSURLSessionPtr&, const DownloadTaskPtr&,
                                                          std::int64_t fileOffset, std::int64_t expectedTotalBytes)>;

protected:
    // Only the factories make managers: the session needs the finished object as delegate.
    struct Token {
        explicit Token() = default;
    };
    // Creates the session and the rest (the second half of construction).
    void setUpWithSessionConfiguration(NSURLSessionConfigurationPtr configuration);

public:
    explicit NLURLSessionManager(Token);
    ~NLURLSessionManager() override;
    // initWithSessionConfiguration: null gives the default configuration.
    static std::shared_ptr<NLURLSessionManager> initWithSessionConfiguration(
        NSURLSessionConfigurationPtr configuration = nullptr);

    const NSURLSessionPtr& session() const { return session_; }
    const std::shared_ptr<NSOperationQueue>& operationQueue() const { return operationQueue_; }
    const NSURLSessionConfigurationPtr& sessionConfiguration() const { return sessionConfiguration_; }
    const std::shared_ptr<NSLock>& lock() const { return lock_; }

    std::shared_ptr<NLHTTPResponseSerializer> responseSerializer() const;
    // Null keeps the current one: a manager always has a serializer.
    virtual void setResponseSerializer(std::shared_ptr<NLHTTPResponseSerializer> serializer);
    std::shared_ptr<NLSecurityPolicy> securityPolicy() const;
    void setSecurityPolicy(std::shared_ptr<NLSecurityPolicy> policy);
    std::shared_ptr<NLNetworkReachabilityManager> reachabilityManager() const;
    void setReachabilityManager(std::shared_ptr<NLNetworkReachabilityManager> manager);
    dispatch_queue_t completionQueue() const;
    void setCompletionQueue(dispatch_queue_t queue);
    dispatch_group_t completionGroup() const;
    void setCompletionGroup(dispatch_group_t group);
    bool attemptsToRecreateUploadTasksForBackgroundSessions() const { return recreatesUploads_; }
    void setAttemptsToRecreateUploadTasksForBackgroundSessions(bool attempts) { recreatesUploads_ = attempts; }

    // Task makers: the new task (not resumed) with its record, or null when the
    // session made none. `progress`, when given, receives the task's progress.
    DataTaskPtr dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                    NLURLSessionCompletionHandler completionHandler);
    UploadTaskPtr uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request, const std::string& fromFile,
                                        std::shared_ptr<NSProgress>* progress,
                                        NLURLSessionCompletionHandler completionHandler);
    UploadTaskPtr uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request, const Data& fromData,
                                        std::shared_ptr<NSProgress>* progress,
                                        NLURLSessionCompletionHandler completionHandler);
    UploadTaskPtr uploadTaskWithStreamedRequest(const std::shared_ptr<NSURLRequest>& request,
                                                std::shared_ptr<NSProgress>* progress,
                                                NLURLSessionCompletionHandler completionHandler);
    DownloadTaskPtr downloadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                            std::shared_ptr<NSProgress>* progress, DestinationBlock destination,
                                            NLURLSessionCompletionHandler completionHandler);
    DownloadTaskPtr downloadTaskWithResumeData(const Data& resumeData, std::shared_ptr<NSProgress>* progress,
                                               DestinationBlock destination,
                                               NLURLSessionCompletionHandler completionHandler);

    // The progress of a task's bytes going out / coming in; null for a task without record.
    std::shared_ptr<NSProgress> uploadProgressForTask(const TaskPtr& task) const;
    std::shared_ptr<NSProgress> downloadProgressForTask(const TaskPtr& task) const;

    // The session's tasks not yet completed; tasks() lists the data tasks, then
    // the upload tasks, then the download tasks.
    std::vector<TaskPtr> tasks() const;
    std::vector<DataTaskPtr> dataTasks() const;
    std::vector<UploadTaskPtr> uploadTasks() const;
    std::vector<DownloadTaskPtr> downloadTasks() const;

    // From the main queue, later: invalidateAndCancel (true) or finishTasksAndInvalidate (false).
    void invalidateSessionCancelingTasks(bool cancelPendingTasks);

    void setSessionDidBecomeInvalidBlock(SessionDidBecomeInvalidBlock block);
    void setSessionDidReceiveAuthenticationChallengeBlock(SessionDidReceiveAuthenticationChallengeBlock block);
    void setDidFinishEventsForBackgroundURLSessionBlock(DidFinishEventsForBackgroundURLSessionBlock block);
    void setTaskWillPerformHTTPRedirectionBlock(TaskWillPerformHTTPRedirectionBlock block);
    void setTaskDidReceiveAuthenticationChallengeBlock(TaskDidReceiveAuthenticationChallengeBlock block);
    void setTaskNeedNewBodyStreamBlock(TaskNeedNewBodyStreamBlock block);
    void setTaskDidSendBodyDataBlock(TaskDidSendBodyDataBlock block);
    void setTaskDidCompleteBlock(TaskDidCompleteBlock block);
    void setDataTaskDidReceiveResponseBlock(DataTaskDidReceiveResponseBlock block);
    void setDataTaskDidBecomeDownloadTaskBlock(DataTaskDidBecomeDownloadTaskBlock block);
    void setDataTaskDidReceiveDataBlock(DataTaskDidReceiveDataBlock block);
    void setDataTaskWillCacheResponseBlock(DataTaskWillCacheResponseBlock block);
    void setDownloadTaskDidFinishDownloadingBlock(DownloadTaskDidFinishDownloadingBlock block);
    void setDownloadTaskDidWriteDataBlock(DownloadTaskDidWriteDataBlock block);
    void setDownloadTaskDidResumeBlock(DownloadTaskDidResumeBlock block);

    // "<NLURLSessionManager: 0x..., session: <NSURLSession: 0x...>, operationQueue: <NSOperationQueue: 0x...>>"
    std::string description() const override;

    static bool supportsSecureCoding() { return true; }
    virtual Value encodeWithCoder() const;
    // Null when the archive holds no configuration archive.
    static std::shared_ptr<NLURLSessionManager> initWithCoder(const Value& archive);
    virtual std::shared_ptr<NLURLSessionManager> copy() const;

    // The record table (lock() held only inside these).
    std::shared_ptr<NLURLSessionManagerTaskDelegate> delegateForTask(const TaskPtr& task) const;
    void setDelegate(const std::shared_ptr<NLURLSessionManagerTaskDelegate>& delegate, const TaskPtr& task);
    void removeDelegateForTask(const TaskPtr& task);
    void removeAllDelegates();

    // The process-wide queues and group every manager shares.
    static const dispatch_queue_t& taskCreationQueue();
    static const dispatch_queue_t& processingQueue();
    static const dispatch_group_t& sharedCompletionGroup();

    // ---- The session's delegate (operationQueue only) ----
    // Which optional events the session asks about: those with a slot set.
    bool respondsToWillPerformHTTPRedirection() const override;
    bool respondsToDidReceiveResponse() const override;
    bool respondsToWillCacheResponse() const override;
    bool respondsToDidReceiveChallenge() const override { return true; }
    bool respondsToTaskDidReceiveChallenge() const override { return true; }

    void URLSessionDidBecomeInvalidWithError(const NSURLSessionPtr& session, const NSErrorPtr& error) override;
    void URLSessionDidReceiveChallenge(const NSURLSessionPtr& session, const ChallengePtr& challenge,
                                       const NSURLSessionChallengeCompletion& completion) override;
    void URLSessionDidFinishEventsForBackgroundURLSession(const NSURLSessionPtr& session) override;
    void URLSessionTaskWillPerformHTTPRedirection(
        const NSURLSessionPtr& session, const TaskPtr& task, const std::shared_ptr<NSHTTPURLResponse>& response,
        const std::shared_ptr<NSURLRequest>& request,
        const std::function<void(std::shared_ptr<NSURLRequest>)>& completion) override;
    void URLSessionTaskDidReceiveChallenge(const NSURLSessionPtr& session, const TaskPtr& task,
                                           const ChallengePtr& challenge,
                                           const NSURLSessionChallengeCompletion& completion) override;
    void URLSessionTaskNeedNewBodyStream(const NSURLSessionPtr& session, const TaskPtr& task,
                                         const std::function<void(std::shared_ptr<NSInputStream>)>& completion) override;
    void URLSessionTaskDidSendBodyData(const NSURLSessionPtr& session, const TaskPtr& task, std::int64_t bytesSent,
                                       std::int64_t totalBytesSent, std::int64_t totalBytesExpectedToSend) override;
    void URLSessionTaskDidCompleteWithError(const NSURLSessionPtr& session, const TaskPtr& task,
                                            const NSErrorPtr& error) override;
    void URLSessionDataTaskDidReceiveResponse(
        const NSURLSessionPtr& session, const DataTaskPtr& dataTask, const std::shared_ptr<NSURLResponse>& response,
        const std::function<void(NSURLSessionResponseDisposition)>& completion) override;
    void URLSessionDataTaskDidBecomeDownloadTask(const NSURLSessionPtr& session, const DataTaskPtr& dataTask,
                                                 const DownloadTaskPtr& downloadTask) override;
    void URLSessionDataTaskDidReceiveData(const NSURLSessionPtr& session, const DataTaskPtr& dataTask,
                                          const Data& data) override;
    void URLSessionDataTaskWillCacheResponse(
        const NSURLSessionPtr& session, const DataTaskPtr& dataTask,
        const std::shared_ptr<NSCachedURLResponse>& proposedResponse,
        const std::function<void(std::shared_ptr<NSCachedURLResponse>)>& completion) override;
    void URLSessionDownloadTaskDidFinishDownloadingToURL(const NSURLSessionPtr& session,
                                                         const DownloadTaskPtr& downloadTask,
                                                         const std::string& location) override;
    void URLSessionDownloadTaskDidWriteData(const NSURLSessionPtr& session, const DownloadTaskPtr& downloadTask,
                                            std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                            std::int64_t totalBytesExpectedToWrite) override;
    void URLSessionDownloadTaskDidResumeAtOffset(const NSURLSessionPtr& session, const DownloadTaskPtr& downloadTask,
                                                 std::int64_t fileOffset, std::int64_t expectedTotalBytes) override;

protected:
    // Observers of the process-wide resume and suspend announcements.
    void taskDidResume(const NSNotification& notification);
    void taskDidSuspend(const NSNotification& notification);

private:
    struct Callbacks {
        SessionDidBecomeInvalidBlock sessionDidBecomeInvalid;
        SessionDidReceiveAuthenticationChallengeBlock sessionDidReceiveAuthenticationChallenge;
        DidFinishEventsForBackgroundURLSessionBlock didFinishEventsForBackgroundURLSession;
        TaskWillPerformHTTPRedirectionBlock taskWillPerformHTTPRedirection;
        TaskDidReceiveAuthenticationChallengeBlock taskDidReceiveAuthenticationChallenge;
        TaskNeedNewBodyStreamBlock taskNeedNewBodyStream;
        TaskDidSendBodyDataBlock taskDidSendBodyData;
        TaskDidCompleteBlock taskDidComplete;
        DataTaskDidReceiveResponseBlock dataTaskDidReceiveResponse;
        DataTaskDidBecomeDownloadTaskBlock dataTaskDidBecomeDownloadTask;
        DataTaskDidReceiveDataBlock dataTaskDidReceiveData;
        DataTaskWillCacheResponseBlock dataTaskWillCacheResponse;
        DownloadTaskDidFinishDownloadingBlock downloadTaskDidFinishDownloading;
        DownloadTaskDidWriteDataBlock downloadTaskDidWriteData;
        DownloadTaskDidResumeBlock downloadTaskDidResume;
    };
    // A copy of one slot, taken under the settings lock.
    template <class Block>
    Block slot(Block Callbacks::*member) const {
        std::lock_guard guard(settingsMutex_);
        return callbacks_.*member;
    }
    template <class Block>
    bool hasSlot(Block Callbacks::*member) const {
        std::lock_guard guard(settingsMutex_);
        return static_cast<bool>(callbacks_.*member);
    }
    template <class Block>
    void setSlot(Block Callbacks::*member, Block block) {
        std::lock_guard guard(settingsMutex_);
        callbacks_.*member = std::move(block);
    }

    // Makes the task on the shared creation queue.
    template <class T>
    std::shared_ptr<T> makeTask(const std::function<std::shared_ptr<T>()>& make) const;
    std::shared_ptr<NLURLSessionManagerTaskDelegate> addDelegateForDataTask(const TaskPtr& task,
                                                                            NLURLSessionCompletionHandler handler);
    void addDelegateForUploadTask(const UploadTaskPtr& task, std::shared_ptr<NSProgress>* progress,
                                  NLURLSessionCompletionHandler handler);
    void addDelegateForDownloadTask(const DownloadTaskPtr& task, std::shared_ptr<NSProgress>* progress,
                                    DestinationBlock destination, NLURLSessionCompletionHandler handler);
    // The session-level and task-level trust answers.
    NSURLSessionAuthChallengeDisposition answerChallenge(const ChallengePtr& challenge, bool taskLevel,
                                                         CredentialPtr& credential) const;
    void announceOwnTask(const NSNotification& notification, const char* name) const;

    NSURLSessionConfigurationPtr sessionConfiguration_;
    std::shared_ptr<NSOperationQueue> operationQueue_;
    NSURLSessionPtr session_;
    std::atomic<bool> recreatesUploads_{false};

    mutable std::mutex settingsMutex_;  // guards the fields below
    Callbacks callbacks_;
    std::shared_ptr<NLHTTPResponseSerializer> responseSerializer_;
    std::shared_ptr<NLSecurityPolicy> securityPolicy_;
    std::shared_ptr<NLNetworkReachabilityManager> reachabilityManager_;
    dispatch_queue_t completionQueue_;
    dispatch_group_t completionGroup_;

    std::shared_ptr<NSLock> lock_;  // guards the record table
    std::map<unsigned long, std::shared_ptr<NLURLSessionManagerTaskDelegate>> mutableTaskDelegatesKeyedByTaskIdentifier_;
};
