#pragma once
// One HTTP request as an asynchronous operation, run over NSURLConnection on the
// process's shared network thread ("Netline").
//
// States: -1 paused, 1 ready, 2 executing, 3 finished. start, cancel, pause and
// resume run on the caller's thread and only schedule work on the network thread,
// which runs every connection callback. The start and finish notifications, the
// progress callbacks and the byte count go to the main queue; completion work to
// completionQueue (main queue when none).
//
// Hand-offs: the main-queue work of an operation runs in the order posted and
// goes over in batches (NLMainQueueBatch). The start notification is posted by
// start() on the caller's thread (from the main thread that costs no wake-up);
// the progress reports of one pass of the network thread wait for the end of
// that pass, so a small request's reports, finish notification and completion
// on the main queue reach the main thread as one hand-off.
//
// Archiving: encodeWithCoder() writes a keyed archive into a Value dictionary
// (objects such as the request and the response are kept as objects) and
// initWithCoder() makes an operation back from it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSLock.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/NSString.h"
#include "platform/runloop/NSThread.h"
#include "platform/net/NSURLConnection.h"
#include "platform/runloop/NSRunLoop.h"

class NLMainQueueBatch;
class NLSecurityPolicy;

inline constexpr const char* NLNetworkingOperationDidStartNotification = "com.netline.networking.operation.start";
inline constexpr const char* NLNetworkingOperationDidFinishNotification = "com.netline.networking.operation.finish";

enum NLOperationState : std::int64_t {
    NLOperationPausedState = -1,
    NLOperationReadyState = 1,
    NLOperationExecutingState = 2,
    NLOperationFinishedState = 3,
};

// How long a body chunk waits for a full output stream before the load fails.
inline constexpr double NLOutputStreamWriteTimeout = 10;

// The platform's code (NSURLErrorDomain) for a body larger than the operation keeps.
inline constexpr long NLURLErrorDataLengthExceedsMaximum = -1103;
// What an operation keeps in memory unless told otherwise.
inline constexpr std::uint64_t NLDefaultMaximumResponseSize = 64ull * 1024 * 1024;

class NLURLConnectionOperation : public NSOperation, public NSURLConnectionDelegate {
public:
    using ProgressBlock = std::function<void(std::uint64_t bytes, std::int64_t totalBytes, std::int64_t totalExpected)>;
    using ChallengeBlock =
        std::function<void(const NSURLConnectionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>&)>;
    using CacheResponseBlock = std::function<std::shared_ptr<NSCachedURLResponse>(
        const NSURLConnectionPtr&, const std::shared_ptr<NSCachedURLResponse>&)>;
    using RedirectResponseBlock = std::function<std::shared_ptr<NSURLRequest>(
        const NSURLConnectionPtr&, const std::shared_ptr<NSURLRequest>&, const std::shared_ptr<NSURLResponse>&)>;

    explicit NLURLConnectionOperation(std::shared_ptr<NSURLRequest> request);
    ~NLURLConnectionOperation() override;
    static std::shared_ptr<NLURLConnectionOperation> initWithRequest(std::shared_ptr<NSURLRequest> request);

    // The shared network thread, created and started on first use.
    static std::shared_ptr<NSThread> networkRequestThread();

    // ---- fields
    bool shouldUseCredentialStorage() const { return shouldUseCredentialStorage_; }
    void setShouldUseCredentialStorage(bool v) { shouldUseCredentialStorage_ = v; }
    // Created on first read as an in-memory stream. A file stream set before start
    // receives the body.
    std::shared_ptr<NSOutputStream> outputStream();
    void setOutputStream(std::shared_ptr<NSOutputStream> stream);
    // The request's body stream; setting one replaces the request by a copy sending it.
    std::shared_ptr<NSInputStream> inputStream() const;
    void setInputStream(std::shared_ptr<NSInputStream> stream);
    std::set<NSRunLoopMode> runLoopModes() const;
    void setRunLoopModes(std::set<NSRunLoopMode> modes);
    std::shared_ptr<NSURLRequest> request() const;
    std::shared_ptr<NSURLResponse> response() const;
    virtual NSErrorPtr error() const;
    // A copy of the body; sharedResponseData() gives it without one (a Value
    // holding the bytes, null when there is none).
    std::optional<Data> responseData() const;
    std::shared_ptr<const Value> sharedResponseData() const;
    std::optional<std::string> responseString();
    NSStringEncoding responseStringEncoding();
    std::shared_ptr<NSURLCredential> credential() const;
    void setCredential(std::shared_ptr<NSURLCredential> credential);
    std::shared_ptr<NLSecurityPolicy> securityPolicy() const;
    void setSecurityPolicy(std::shared_ptr<NLSecurityPolicy> policy);
    dispatch_queue_t completionQueue() const;
    void setCompletionQueue(dispatch_queue_t queue);
    dispatch_group_t completionGroup() const;
    void setCompletionGroup(dispatch_group_t group);
    Value userInfo() const;
    void setUserInfo(Value info);
    std::int64_t state() const { return state_.load(); }
    std::int64_t totalBytesRead() const { return totalBytesRead_.load(); }
    std::uint64_t backgroundTaskIdentifier() const { return backgroundTaskIdentifier_; }
    const std::shared_ptr<NSRecursiveLock>& lock() const { return lock_; }

    // The most body bytes kept in memory when no output stream was set by the
    // caller (default NLDefaultMaximumResponseSize). A longer body, announced or
    // received, fails the load with NLURLErrorDataLengthExceedsMaximum and frees
    // what was held. A stream set by the caller (a file) is not limited.
    std::uint64_t maximumResponseSize() const;
    void setMaximumResponseSize(std::uint64_t bytes);

    // ---- lifecycle
    void start() override;
    void cancel() override;
    virtual void pause();
    void resume();
    bool isPaused() const { return state_ == NLOperationPausedState; }
    bool isReady() const override;
    bool isExecuting() const override { return state_ == NLOperationExecutingState; }
    bool isFinished() const override { return state_ == NLOperationFinishedState; }
    bool isConcurrent() const override { return true; }
    // Applies the transition table; refused transitions are ignored.
    void setState(std::int64_t state);

    // Runs once the operation finished, on completionQueue (main queue when none),
    // as a member of completionGroup; cleared after it ran. Hides the base's setter.
    void setCompletionBlock(std::function<void()> block);
    // The completion work installed (by setCompletionBlock or by a subclass), to chain onto.
    std::function<void()> completionBlock() const;

    void setUploadProgressBlock(ProgressBlock block);
    void setDownloadProgressBlock(ProgressBlock block);
    // The progress callbacks installed, to chain onto.
    ProgressBlock uploadProgressBlock() const;
    ProgressBlock downloadProgressBlock() const;
    void setWillSendRequestForAuthenticationChallengeBlock(ChallengeBlock block);
    void setCacheResponseBlock(CacheResponseBlock block);
    void setRedirectResponseBlock(RedirectResponseBlock block);
    void setShouldExecuteAsBackgroundTaskWithExpirationHandler(std::function<void()> handler);

    // Enqueue the returned list: the operations, then one that completes the batch.
    static std::vector<std::shared_ptr<NSOperation>> batchOfRequestOperations(
        const std::vector<std::shared_ptr<NLURLConnectionOperation>>& operations,
        std::function<void(std::size_t finished, std::size_t total)> progressBlock,
        std::function<void(const std::vector<std::shared_ptr<NLURLConnectionOperation>>&)> completionBlock);

    // ---- archiving and copying
    static bool supportsSecureCoding() { return true; }
    static std::shared_ptr<NLURLConnectionOperation> initWithCoder(const Value& archive);
    // Pauses the operation first.
    virtual Value encodeWithCoder();
    virtual std::shared_ptr<NLURLConnectionOperation> copy() const;
    std::string description() const override;
    static std::string keyPathFromOperationState(std::int64_t state);

    // ---- connection delegate (network thread)
    std::shared_ptr<NSURLRequest> connectionWillSendRequest(const NSURLConnectionPtr& connection,
                                                            const std::shared_ptr<NSURLRequest>& request,
                                                            const std::shared_ptr<NSURLResponse>& redirectResponse) override;
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override;
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override;
    void connectionDidSendBodyData(const NSURLConnectionPtr& connection, std::int64_t bytesWritten,
                                   std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) override;
    std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) override;
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override;
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override;
    bool connectionShouldUseCredentialStorage(const NSURLConnectionPtr& connection) override;
    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return true; }
    void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;

protected:
    // Schedules a step on the network thread in runLoopModes, keeping the operation alive.
    void performOnNetworkThread(std::function<void(NLURLConnectionOperation&)> step);
    virtual void operationDidStart();
    virtual void operationDidPause();
    void cancelConnection();
    // Sets the state to finished, posts the finish notification and runs the
    // finishing completion, if any, on this thread.
    void finish();
    // Completion work that runs on the thread that finishes the operation, right
    // after the state became finished, instead of hopping through a global queue
    // to the completion queue: the work makes its own single hop. Setting a
    // completion block replaces it; completionBlock() hands it on for chaining.
    void setFinishingCompletion(std::function<void()> work);
    // While the finishing completion runs: takes the finish notification over
    // (true once), for work that delivers on the main queue to post it in the
    // same main-queue block, just before its callbacks, instead of in a hop of
    // its own. Not taken, finish() posts it after the work.
    bool takeFinishNotification();
    void setRequest(std::shared_ptr<NSURLRequest> request);
    void setResponseData(std::optional<Data> data);
    // The body without a copy; the caller holds the lock.
    const Data* responseDataLocked() const { return responseData_ ? responseData_->data() : nullptr; }
    void setError(NSErrorPtr error);
    void setResponse(std::shared_ptr<NSURLResponse> response);
    // Whether a delegate call comes from the running connection (not one that a
    // pause already let go).
    bool isCurrentConnection(const NSURLConnectionPtr& connection) const;
    // Fails the running load with `error`: cancels the connection and ends as a failure.
    void failConnection(const NSErrorPtr& error);
    // Copies the base fields a copy carries into `copy`.
    void copyInto(NLURLConnectionOperation& copy) const;
    // Reads the base keys of an archive into this operation.
    void decodeBase(const Value& archive);
    // Posts the notification, with this operation as its object, on the main queue.
    void postNotification(const char* name);
    // Runs `block` on the main queue after the main-queue work posted before it.
    // With `afterThisPass`, not before the current pass of the network thread
    // ended (for progress reports, see the hand-offs above).
    void postToMainQueue(std::function<void()> block, bool afterThisPass = false);
    // As dispatch_group_async(group, queue, block); on the main queue in order
    // after the operation's own main-queue work, in the same batch.
    void dispatchCompletion(const dispatch_group_t& group, const dispatch_queue_t& queue,
                            std::function<void()> block);
    // Whether the answer to a resumed request continues the body bytes kept so
    // far; when not, the body starts over. The plain operation asks for the whole
    // resource again, so its answers never continue.
    virtual bool continuesKeptBody(const std::shared_ptr<NSURLResponse>& response);
    // Restarts the body from zero in a new in-memory stream; false when the
    // current stream holds bytes and cannot be rewound (a file).
    bool restartBody();
    // Sets totalBytesRead back to zero on the main queue (after the counts already queued).
    void resetTotalBytesRead();

private:
    // The operation's own in-memory stream (made on first use or at a restart).
    void installOwnStream(std::shared_ptr<NSMemoryOutputStream> stream);
    NSErrorPtr tooLargeError() const;
    // Drops the body held so far and fails the load with tooLargeError().
    void failTooLarge();
    // Writes one chunk into the output stream; false (error set) when the stream fails.
    bool writeChunk(const Data& data, NSErrorPtr* error);

    std::atomic<bool> shouldUseCredentialStorage_{true};
    std::shared_ptr<NSOutputStream> outputStream_;
    bool ownStream_ = false;              // outputStream_ was made here, not set by the caller
    std::uint64_t bytesInOwnStream_ = 0;  // body bytes written into our own stream
    std::atomic<std::uint64_t> maximumResponseSize_{NLDefaultMaximumResponseSize};
    std::set<NSRunLoopMode> runLoopModes_;
    std::shared_ptr<NSURLRequest> request_;
    std::shared_ptr<NSURLResponse> response_;
    NSErrorPtr error_;
    std::shared_ptr<const Value> responseData_;  // the body, shared with the response object (never changed)
    std::optional<std::string> responseString_;
    NSStringEncoding responseStringEncoding_ = static_cast<NSStringEncoding>(0);
    std::shared_ptr<NSURLCredential> credential_;
    std::shared_ptr<NLSecurityPolicy> securityPolicy_;
    dispatch_queue_t completionQueue_;
    dispatch_group_t completionGroup_;
    Value userInfo_;
    std::atomic<std::int64_t> state_{NLOperationReadyState};
    std::shared_ptr<NSRecursiveLock> lock_;
    NSURLConnectionPtr connection_;
    NSURLConnectionPtr pausedConnection_;  // let go by pause, cancelled on the network thread
    bool resumed_ = false;                 // the next answer follows a pause (set by pause)
    std::atomic<std::int64_t> totalBytesRead_{0};
    std::uint64_t backgroundTaskIdentifier_ = 0;
    ProgressBlock uploadProgress_;
    ProgressBlock downloadProgress_;
    ChallengeBlock authenticationChallenge_;
    CacheResponseBlock cacheResponse_;
    RedirectResponseBlock redirectResponse_;
    std::shared_ptr<NLMainQueueBatch> mainQueueWork_;
    std::function<void()> finishingCompletion_;  // under the lock; taken by finish()
    bool finishNotificationDue_ = false;         // under the lock; see takeFinishNotification()
};
