#include "networking/NLURLConnectionOperation.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

#include <unistd.h>

#include "networking/NLMainQueueBatch.h"
#include "networking/NLSecurityPolicy.h"
#include "networking/NLURLResponseSerialization.h"
#include "platform/foundation/FoundationErrors.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/net/NSURLError.h"
#include "platform/uikit/UIApplication.h"

namespace {

dispatch_group_t defaultCompletionGroup() {
    static ProcessLifetime<dispatch_group_t> group(dispatch_group_create());
    return *group;
}

dispatch_queue_t completionClearingQueue() {
    static ProcessLifetime<dispatch_queue_t> queue(
        dispatch_queue_create("com.netline.networking.operation.queue", DISPATCH_QUEUE_CONCURRENT));
    return *queue;
}

bool transitionAllowed(std::int64_t from, std::int64_t to, bool cancelled) {
    switch (from) {
    case NLOperationPausedState:
        return to == NLOperationReadyState;
    case NLOperationReadyState:
        return to == NLOperationPausedState || to == NLOperationExecutingState ||
               (to == NLOperationFinishedState && cancelled);
    case NLOperationExecutingState:
        return to == NLOperationPausedState || to == NLOperationFinishedState;
    case NLOperationFinishedState:
        return false;
    default:
        return to == NLOperationPausedState || to == NLOperationReadyState || to == NLOperationExecutingState ||
               to == NLOperationFinishedState;
    }
}

}  // namespace

// ---------------------------------------------------------------- the network thread

namespace {

// The thread whose run loop carries every operation's connection, for the
// life of the process.
struct NetworkThread {
    std::atomic<bool> leftLoop{false};
    std::shared_ptr<NSThread> thread;

    NetworkThread() {
        thread = std::make_shared<NSThread>([this] {
            NSThread::currentThread()->setName("Netline");
            // The loop runs until stopped, with or without sources: for the life
            // of the process.
            NSRunLoop::currentRunLoop()->run();
            // Stopped at exit: stay parked, touching nothing the exit destroys.
            leftLoop.store(true);
            for (;;) ::pause();
        });
        thread->start();
    }
};

NetworkThread& networkThread() {
    static ProcessLifetime<NetworkThread> shared;
    static const bool stopsAtExit = [] {
        // At exit the loop is stopped before the process-wide objects it reads
        // (the mode names) are destroyed.
        return std::atexit([] {
            auto& network = *shared;
            network.thread->runLoop()->stop();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!network.leftLoop.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        }) == 0;
    }();
    (void)stopsAtExit;
    return *shared;
}

}  // namespace

std::shared_ptr<NSThread> NLURLConnectionOperation::networkRequestThread() { return networkThread().thread; }

void NLURLConnectionOperation::performOnNetworkThread(std::function<void(NLURLConnectionOperation&)> step) {
    auto self = this->self<NLURLConnectionOperation>();
    auto modes = runLoopModes();
    networkRequestThread()->runLoop()->performBlock([self, step = std::move(step)] { step(*self); },
                                                    std::vector<NSRunLoopMode>(modes.begin(), modes.end()));
}

void NLURLConnectionOperation::postNotification(const char* name) {
    postToMainQueue([n = std::string(name), operation = self()] {
        NSNotificationCenter::defaultCenter()->postNotificationName(n, operation);
    });
}

void NLURLConnectionOperation::postToMainQueue(std::function<void()> block, bool afterThisPass) {
    mainQueueWork_->post(std::move(block), afterThisPass ? networkRequestThread()->runLoop() : nullptr);
}

void NLURLConnectionOperation::dispatchCompletion(const dispatch_group_t& group, const dispatch_queue_t& queue,
                                                  std::function<void()> block) {
    if (queue != dispatch_get_main_queue()) return dispatch_group_async(group, queue, std::move(block));
    dispatch_group_enter(group);
    postToMainQueue([group, block = std::move(block)] {
        block();
        dispatch_group_leave(group);
    });
}

// ---------------------------------------------------------------- creation

NLURLConnectionOperation::NLURLConnectionOperation(std::shared_ptr<NSURLRequest> request)
    : runLoopModes_{NSRunLoopCommonModes},
      request_(std::move(request)),
      securityPolicy_(NLSecurityPolicy::defaultPolicy()),
      lock_(std::make_shared<NSRecursiveLock>()),
      mainQueueWork_(std::make_shared<NLMainQueueBatch>()) {
    lock_->setName("com.netline.networking.operation.lock");
}

NLURLConnectionOperation::~NLURLConnectionOperation() {
    if (outputStream_) outputStream_->close();
    if (backgroundTaskIdentifier_ != 0)
        UIApplication::sharedApplication()->endBackgroundTask(backgroundTaskIdentifier_);
}

std::shared_ptr<NLURLConnectionOperation> NLURLConnectionOperation::initWithRequest(
    std::shared_ptr<NSURLRequest> request) {
    return std::make_shared<NLURLConnectionOperation>(std::move(request));
}

// ---------------------------------------------------------------- fields

std::shared_ptr<NSOutputStream> NLURLConnectionOperation::outputStream() {
    std::lock_guard guard(*lock_);
    if (!outputStream_) installOwnStream(std::make_shared<NSMemoryOutputStream>());
    return outputStream_;
}

void NLURLConnectionOperation::setOutputStream(std::shared_ptr<NSOutputStream> stream) {
    std::lock_guard guard(*lock_);
    if (stream == outputStream_) return;
    if (outputStream_) outputStream_->close();
    outputStream_ = std::move(stream);
    ownStream_ = false;
}

void NLURLConnectionOperation::installOwnStream(std::shared_ptr<NSMemoryOutputStream> stream) {
    std::lock_guard guard(*lock_);
    setOutputStream(std::move(stream));
    ownStream_ = true;
    bytesInOwnStream_ = 0;
}

std::uint64_t NLURLConnectionOperation::maximumResponseSize() const { return maximumResponseSize_; }

void NLURLConnectionOperation::setMaximumResponseSize(std::uint64_t bytes) { maximumResponseSize_ = bytes; }

NSErrorPtr NLURLConnectionOperation::tooLargeError() const {
    std::lock_guard guard(*lock_);
    Value info = Value::dictionary();
    info.setObject(NSLocalizedDescriptionKey, "The resource exceeds the maximum size.");
    if (request_ && !request_->URL().empty()) {
        info.setObject(NSURLErrorFailingURLErrorKey, request_->URL());
        info.setObject(NSURLErrorFailingURLStringErrorKey, request_->URL());
    }
    return NSError::errorWithDomain(NSURLErrorDomain, NLURLErrorDataLengthExceedsMaximum, info);
}

void NLURLConnectionOperation::failTooLarge() {
    {
        // What the operation held goes now, not when the operation goes.
        std::lock_guard guard(*lock_);
        if (outputStream_) outputStream_->close();
        outputStream_.reset();
        ownStream_ = false;
        bytesInOwnStream_ = 0;
    }
    failConnection(tooLargeError());
}

std::shared_ptr<NSInputStream> NLURLConnectionOperation::inputStream() const {
    std::lock_guard guard(*lock_);
    return request_ ? request_->HTTPBodyStream() : nullptr;
}

void NLURLConnectionOperation::setInputStream(std::shared_ptr<NSInputStream> stream) {
    std::lock_guard guard(*lock_);
    if (!request_) return;
    auto changed = request_->mutableCopy();
    changed->setHTTPBodyStream(std::move(stream));
    request_ = changed;
}

std::set<NSRunLoopMode> NLURLConnectionOperation::runLoopModes() const {
    std::lock_guard guard(*lock_);
    return runLoopModes_;
}

void NLURLConnectionOperation::setRunLoopModes(std::set<NSRunLoopMode> modes) {
    std::lock_guard guard(*lock_);
    runLoopModes_ = std::move(modes);
}

std::shared_ptr<NSURLRequest> NLURLConnectionOperation::request() const {
    std::lock_guard guard(*lock_);
    return request_;
}

void NLURLConnectionOperation::setRequest(std::shared_ptr<NSURLRequest> request) {
    std::lock_guard guard(*lock_);
    request_ = std::move(request);
}

std::shared_ptr<NSURLResponse> NLURLConnectionOperation::response() const {
    std::lock_guard guard(*lock_);
    return response_;
}

void NLURLConnectionOperation::setResponse(std::shared_ptr<NSURLResponse> response) {
    std::lock_guard guard(*lock_);
    response_ = std::move(response);
}

NSErrorPtr NLURLConnectionOperation::error() const {
    std::lock_guard guard(*lock_);
    return error_;
}

void NLURLConnectionOperation::setError(NSErrorPtr error) {
    std::lock_guard guard(*lock_);
    error_ = std::move(error);
}

std::optional<Data> NLURLConnectionOperation::responseData() const {
    std::lock_guard guard(*lock_);
    if (const Data* bytes = responseDataLocked()) return *bytes;
    return std::nullopt;
}

std::shared_ptr<const Value> NLURLConnectionOperation::sharedResponseData() const {
    std::lock_guard guard(*lock_);
    return responseData_;
}

void NLURLConnectionOperation::setResponseData(std::optional<Data> data) {
    std::lock_guard guard(*lock_);
    responseData_ = data ? std::make_shared<const Value>(std::move(*data)) : nullptr;
}

std::shared_ptr<NSURLCredential> NLURLConnectionOperation::credential() const {
    std::lock_guard guard(*lock_);
    return credential_;
}

void NLURLConnectionOperation::setCredential(std::shared_ptr<NSURLCredential> credential) {
    std::lock_guard guard(*lock_);
    credential_ = std::move(credential);
}

std::shared_ptr<NLSecurityPolicy> NLURLConnectionOperation::securityPolicy() const {
    std::lock_guard guard(*lock_);
    return securityPolicy_;
}

void NLURLConnectionOperation::setSecurityPolicy(std::shared_ptr<NLSecurityPolicy> policy) {
    std::lock_guard guard(*lock_);
    securityPolicy_ = std::move(policy);
}

dispatch_queue_t NLURLConnectionOperation::completionQueue() const {
    std::lock_guard guard(*lock_);
    return completionQueue_;
}

void NLURLConnectionOperation::setCompletionQueue(dispatch_queue_t queue) {
    std::lock_guard guard(*lock_);
    completionQueue_ = std::move(queue);
}

dispatch_group_t NLURLConnectionOperation::completionGroup() const {
    std::lock_guard guard(*lock_);
    return completionGroup_;
}

void NLURLConnectionOperation::setCompletionGroup(dispatch_group_t group) {
    std::lock_guard guard(*lock_);
    completionGroup_ = std::move(group);
}

Value NLURLConnectionOperation::userInfo() const {
    std::lock_guard guard(*lock_);
    return userInfo_;
}

void NLURLConnectionOperation::setUserInfo(Value info) {
    std::lock_guard guard(*lock_);
    userInfo_ = std::move(info);
}

NSStringEncoding NLURLConnectionOperation::responseStringEncoding() {
    std::lock_guard guard(*lock_);
    if (responseStringEncoding_ == 0 && response_) {
        NSStringEncoding encoding = NSUTF8StringEncoding;
        if (const auto& name = response_->textEncodingName())
            if (auto known = NLStringEncodingForIANACharSetName(*name)) encoding = *known;
        responseStringEncoding_ = encoding;
    }
    return responseStringEncoding_;
}

std::optional<std::string> NLURLConnectionOperation::responseString() {
    std::lock_guard guard(*lock_);
    if (!responseString_ && response_ && responseData_)
        responseString_ = stringWithData(*responseDataLocked(), responseStringEncoding());
    return responseString_;
}

void NLURLConnectionOperation::setUploadProgressBlock(ProgressBlock block) {
    std::lock_guard guard(*lock_);
    uploadProgress_ = std::move(block);
}

void NLURLConnectionOperation::setDownloadProgressBlock(ProgressBlock block) {
    std::lock_guard guard(*lock_);
    downloadProgress_ = std::move(block);
}

NLURLConnectionOperation::ProgressBlock NLURLConnectionOperation::uploadProgressBlock() const {
    std::lock_guard guard(*lock_);
    return uploadProgress_;
}

NLURLConnectionOperation::ProgressBlock NLURLConnectionOperation::downloadProgressBlock() const {
    std::lock_guard guard(*lock_);
    return downloadProgress_;
}

void NLURLConnectionOperation::setWillSendRequestForAuthenticationChallengeBlock(ChallengeBlock block) {
    std::lock_guard guard(*lock_);
    authenticationChallenge_ = std::move(block);
}

void NLURLConnectionOperation::setCacheResponseBlock(CacheResponseBlock block) {
    std::lock_guard guard(*lock_);
    cacheResponse_ = std::move(block);
}

void NLURLConnectionOperation::setRedirectResponseBlock(RedirectResponseBlock block) {
    std::lock_guard guard(*lock_);
    redirectResponse_ = std::move(block);
}

// ---------------------------------------------------------------- states

std::string NLURLConnectionOperation::keyPathFromOperationState(std::int64_t state) {
    switch (state) {
    case NLOperationPausedState: return "isPaused";
    case NLOperationReadyState: return "isReady";
    case NLOperationExecutingState: return "isExecuting";
    case NLOperationFinishedState: return "isFinished";
    default: return "state";
    }
}

void NLURLConnectionOperation::setState(std::int64_t state) {
    // The check and the change under one lock, so that two threads cannot both
    // pass the check from the same old state.
    std::lock_guard guard(*lock_);
    const std::int64_t old = state_.load();
    if (!transitionAllowed(old, state, isCancelled())) return;
    const std::string oldKey = keyPathFromOperationState(old);
    const std::string newKey = keyPathFromOperationState(state);
    willChangeValueForKey(newKey);
    willChangeValueForKey(oldKey);
    state_ = state;
    didChangeValueForKey(oldKey);
    didChangeValueForKey(newKey);
}

bool NLURLConnectionOperation::isReady() const {
    return state_ == NLOperationReadyState && NSOperation::isReady();
}

void NLURLConnectionOperation::start() {
    std::lock_guard guard(*lock_);
    if (isCancelled()) {
        performOnNetworkThread([](NLURLConnectionOperation& op) { op.cancelConnection(); });
    } else if (isReady()) {
        setState(NLOperationExecutingState);
        performOnNetworkThread([](NLURLConnectionOperation& op) { op.operationDidStart(); });
        // Posted here rather than by operationDidStart on the network thread: a
        // start on the main thread then costs the main thread no wake-up.
        postNotification(NLNetworkingOperationDidStartNotification);
    }
}

// The connection's own locks are never taken while the operation's lock is held
// (its delegate calls take the operation's lock inside them).
void NLURLConnectionOperation::operationDidStart() {
    NSURLConnectionPtr connection;
    {
        std::lock_guard guard(*lock_);
        if (!isCancelled() && isExecuting()) {
            connection = NSURLConnection::initWithRequest(request_, self<NLURLConnectionOperation>(), false);
            connection_ = connection;
            auto stream = outputStream();
            auto runLoop = NSRunLoop::currentRunLoop();
            for (const auto& mode : runLoopModes_) stream->scheduleInRunLoop(runLoop, mode);
            stream->open();
            if (!connection) {
                // No request to send: fail at once rather than stay executing.
                error_ = NSURLErrorMake(NSURLErrorBadURL, request_ ? request_->URL() : std::string());
                finish();
            }
        }
    }
    if (connection) {
        auto runLoop = NSRunLoop::currentRunLoop();
        for (const auto& mode : runLoopModes()) connection->scheduleInRunLoop(runLoop, mode);
        connection->start();
    }
}

void NLURLConnectionOperation::cancel() {
    std::lock_guard guard(*lock_);
    if (isFinished() || isCancelled()) return;
    NSOperation::cancel();
    if (isExecuting()) performOnNetworkThread([](NLURLConnectionOperation& op) { op.cancelConnection(); });
}

void NLURLConnectionOperation::cancelConnection() {
    NSURLConnectionPtr connection;
    NSErrorPtr cancelled;
    {
        std::lock_guard guard(*lock_);
        const std::string url = request_ ? request_->URL() : std::string();
        Value info;
        if (!url.empty()) info = Value{{NSURLErrorFailingURLErrorKey, url}};
        cancelled = NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorCancelled, info);
        if (isFinished()) return;
        connection = connection_;
        if (!connection) {
            error_ = cancelled;
            finish();
            return;
        }
    }
    connection->cancel();
    connectionDidFailWithError(connection, cancelled);
}

void NLURLConnectionOperation::pause() {
    if (isPaused() || isFinished() || isCancelled()) return;
    std::lock_guard guard(*lock_);
    if (isExecuting()) {
        // From now on the connection's calls are ignored; it is cancelled on the
        // network thread, before the resume offset is taken there.
        if (connection_) pausedConnection_ = std::move(connection_);
        resumed_ = true;
        performOnNetworkThread([](NLURLConnectionOperation& op) { op.operationDidPause(); });
        postNotification(NLNetworkingOperationDidFinishNotification);
    }
    setState(NLOperationPausedState);
}

void NLURLConnectionOperation::operationDidPause() {
    NSURLConnectionPtr connection;
    {
        std::lock_guard guard(*lock_);
        connection = std::move(pausedConnection_);
        pausedConnection_.reset();
    }
    if (connection) connection->cancel();
}

bool NLURLConnectionOperation::continuesKeptBody(const std::shared_ptr<NSURLResponse>&) { return false; }

bool NLURLConnectionOperation::restartBody() {
    std::lock_guard guard(*lock_);
    auto stream = outputStream();
    Value written = stream->propertyForKey(NSStreamDataWrittenToMemoryStreamKey);
    if (!written.isData()) return stream->propertyForKey(NSStreamFileCurrentOffsetKey).unsignedLongLongValue() == 0;
    if (written.data()->empty()) return true;
    auto fresh = std::make_shared<NSMemoryOutputStream>();
    auto runLoop = NSRunLoop::currentRunLoop();
    for (const auto& mode : runLoopModes_) fresh->scheduleInRunLoop(runLoop, mode);
    fresh->open();
    installOwnStream(fresh);
    resetTotalBytesRead();
    return true;
}

bool NLURLConnectionOperation::isCurrentConnection(const NSURLConnectionPtr& connection) const {
    std::lock_guard guard(*lock_);
    return connection == connection_;
}

void NLURLConnectionOperation::resume() {
    if (!isPaused()) return;
    std::lock_guard guard(*lock_);
    setState(NLOperationReadyState);
    start();
}

void NLURLConnectionOperation::resetTotalBytesRead() {
    postToMainQueue([self = this->self<NLURLConnectionOperation>()] { self->totalBytesRead_ = 0; });
}

void NLURLConnectionOperation::finish() {
    std::function<void()> work;
    bool finished;
    {
        std::lock_guard guard(*lock_);
        // Without a finishing completion (which sends them with its own main-queue
        // work), the progress reports queued so far go now, ahead of what the
        // state change sets off elsewhere (the base operation's completion block).
        if (!finishingCompletion_) mainQueueWork_->send();
        setState(NLOperationFinishedState);
        finished = isFinished();
        // Taken once: it runs here, and the operation no longer holds it.
        if (finished) work = std::exchange(finishingCompletion_, nullptr);
        finishNotificationDue_ = true;
    }
    if (work) work();
    bool due;
    {
        std::lock_guard guard(*lock_);
        due = std::exchange(finishNotificationDue_, false);
    }
    if (due) postNotification(NLNetworkingOperationDidFinishNotification);
    mainQueueWork_->send();
}

bool NLURLConnectionOperation::takeFinishNotification() {
    std::lock_guard guard(*lock_);
    return std::exchange(finishNotificationDue_, false);
}

void NLURLConnectionOperation::setFinishingCompletion(std::function<void()> work) {
    std::lock_guard guard(*lock_);
    NSOperation::setCompletionBlock(nullptr);
    finishingCompletion_ = std::move(work);
}

std::function<void()> NLURLConnectionOperation::completionBlock() const {
    std::lock_guard guard(*lock_);
    if (finishingCompletion_) return finishingCompletion_;
    return NSOperation::completionBlock();
}

// ---------------------------------------------------------------- completion

void NLURLConnectionOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard guard(*lock_);
    finishingCompletion_ = nullptr;
    if (!block) {
        NSOperation::setCompletionBlock(nullptr);
        return;
    }
    std::weak_ptr<NLURLConnectionOperation> weak = weakSelf<NLURLConnectionOperation>();
    NSOperation::setCompletionBlock([weak, block] {
        auto op = weak.lock();
        dispatch_group_t group = op ? op->completionGroup() : nullptr;
        if (!group) group = defaultCompletionGroup();
        dispatch_queue_t queue = op ? op->completionQueue() : nullptr;
        if (!queue) queue = dispatch_get_main_queue();
        dispatch_group_async(group, queue, [block] { block(); });
        dispatch_group_notify(group, completionClearingQueue(), [weak] {
            if (auto strong = weak.lock()) strong->setCompletionBlock(nullptr);
        });
    });
}

void NLURLConnectionOperation::setShouldExecuteAsBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
    std::lock_guard guard(*lock_);
    if (backgroundTaskIdentifier_ != 0) return;
    auto app = UIApplication::sharedApplication();
    std::weak_ptr<NLURLConnectionOperation> weak = weakSelf<NLURLConnectionOperation>();
    backgroundTaskIdentifier_ = app->beginBackgroundTaskWithExpirationHandler([weak, handler] {
        if (handler) handler();
        if (auto op = weak.lock()) {
            op->cancel();
            std::lock_guard inner(*op->lock_);
            if (op->backgroundTaskIdentifier_ != 0)
                UIApplication::sharedApplication()->endBackgroundTask(op->backgroundTaskIdentifier_);
            op->backgroundTaskIdentifier_ = 0;
        }
    });
}

std::vector<std::shared_ptr<NSOperation>> NLURLConnectionOperation::batchOfRequestOperations(
    const std::vector<std::shared_ptr<NLURLConnectionOperation>>& operations,
    std::function<void(std::size_t, std::size_t)> progressBlock,
    std::function<void(const std::vector<std::shared_ptr<NLURLConnectionOperation>>&)> completionBlock) {
    if (operations.empty()) {
        return {NSBlockOperation::blockOperationWithBlock([completionBlock] {
            if (!completionBlock) return;
            dispatch_async(dispatch_get_main_queue(), [completionBlock] { completionBlock({}); });
        })};
    }
    auto group = dispatch_group_create();
    auto batch = NSBlockOperation::blockOperationWithBlock([group, operations, completionBlock] {
        dispatch_group_notify(group, dispatch_get_main_queue(), [operations, completionBlock] {
            if (completionBlock) completionBlock(operations);
        });
    });
    for (const auto& op : operations) {
        op->setCompletionGroup(group);
        auto original = op->completionBlock();
        // Installed through the operation's own setter: it runs on the operation's
        // completion queue as a member of G and is cleared once G is empty, which
        // breaks the cycle between the operations and this callback.
        op->setCompletionBlock([original, operations, progressBlock, group] {
            if (original) original();
            std::size_t finished = 0;
            for (const auto& o : operations)
                if (o->isFinished()) ++finished;
            if (progressBlock) progressBlock(finished, operations.size());
            dispatch_group_leave(group);
        });
        dispatch_group_enter(group);
        batch->addDependency(op);
    }
    std::vector<std::shared_ptr<NSOperation>> out(operations.begin(), operations.end());
    out.push_back(batch);
    return out;
}
