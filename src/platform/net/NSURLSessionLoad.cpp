#include "platform/net/NSURLSessionLoad.h"

#include <cerrno>

#include "platform/net/LoopThread.h"

namespace {

// Bytes handed to the delegate queue and not yet delivered beyond which the
// transfer waits; it goes on once half of them were delivered.
constexpr std::int64_t kMaxUndelivered = 4 << 20;

void onLoadingThread(std::function<void()> block) { NSURLSessionLoadingLoop()->performBlock(std::move(block)); }

// A completion callback that acts on its first call only.
template <class... Args, class F>
std::function<void(Args...)> once(F body) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    return [done, body = std::move(body)](Args... args) {
        if (!done->exchange(true)) body(std::move(args)...);
    };
}

template <class D>
std::shared_ptr<D> delegateOf(const NSURLSessionPtr& session) {
    return std::dynamic_pointer_cast<D>(session->delegate());
}

}  // namespace

std::shared_ptr<NSRunLoop> NSURLSessionLoadingLoop() {
    static const std::shared_ptr<NSRunLoop> loop = startLoopThread("com.quorvane.url-session.loading");
    return loop;
}

NSURLSessionLoad::NSURLSessionLoad(NSURLSessionPtr session, std::shared_ptr<NSURLSessionTask> task,
                                   std::shared_ptr<NSURLRequest> request)
    : session_(std::move(session)), task_(std::move(task)), request_(std::move(request)) {}

void NSURLSessionLoad::start() {
    auto self = shared_from_this();
    onLoadingThread([self] {
        if (self->finished_ || self->started_) return;
        self->started_ = true;
        if (self->isDownload() && !self->openFile()) return;  // finished with the file's error
        double limit = self->session_->settings()->timeoutIntervalForResource();
        if (limit > 0) {
            std::weak_ptr<NSURLSessionLoad> weak = self;
            self->resourceTimer_ = NSTimer::timerWithTimeInterval(
                limit,
                [weak](NSTimer&) {
                    auto load = weak.lock();
                    if (!load || load->finished_) return;
                    if (load->connection_) load->connection_->cancel();
                    load->finish(NSURLErrorMake(NSURLErrorTimedOut, load->request_->URL(),
                                                "The task took longer than its session allows."));
                },
                false);
            NSURLSessionLoadingLoop()->addTimer(self->resourceTimer_, NSDefaultRunLoopMode);
        }
        self->startConnection();
    });
}

void NSURLSessionLoad::startConnection() {
    connection_ = NSURLConnection::initWithRequest(request_, shared_from_this(), false);
    connection_->scheduleInRunLoop(NSURLSessionLoadingLoop(), NSDefaultRunLoopMode);
    if (holds_) connection_->setLoadingHeld(true);  // applied when the load begins
    connection_->start();
}

void NSURLSessionLoad::hold(Hold reason, bool on) {
    const unsigned before = holds_;
    holds_ = on ? holds_ | reason : holds_ & ~static_cast<unsigned>(reason);
    if (reason == Backlog) backlogHeld_ = on;
    if (connection_ && (before != 0) != (holds_ != 0)) connection_->setLoadingHeld(holds_ != 0);
}

void NSURLSessionLoad::setSuspended(bool suspended) {
    auto self = shared_from_this();
    onLoadingThread([self, suspended] {
        if (!self->finished_) self->hold(Suspended, suspended);
    });
}

void NSURLSessionLoad::cancel(std::function<void(std::optional<Data>)> resumeData) {
    auto self = shared_from_this();
    onLoadingThread([self, resumeData = std::move(resumeData)]() mutable { self->cancelled(std::move(resumeData)); });
}

void NSURLSessionLoad::cancelled(std::function<void(std::optional<Data>)> resumeData) {
    if (finished_) {
        if (resumeData) session_->enqueueDelegateCall([resumeData] { resumeData(std::nullopt); });
        return;
    }
    if (connection_) connection_->cancel();
    connection_.reset();
    std::optional<Data> data;
    if (resumeData) data = makeResumeData();
    if (isDownload()) closeFile(data.has_value());
    if (resumeData) session_->enqueueDelegateCall([resumeData, data] { resumeData(data); });
    finish(NSURLErrorMake(NSURLErrorCancelled, request_->URL()));
}

void NSURLSessionLoad::queued(std::int64_t bytes) {
    undelivered_ += bytes;
    if (undelivered_ > kMaxUndelivered && !(holds_ & Backlog)) hold(Backlog, true);
}

void NSURLSessionLoad::delivered(std::int64_t bytes) {
    if (undelivered_ -= bytes; undelivered_ > kMaxUndelivered / 2 || !backlogHeld_) return;
    if (releasePosted_.exchange(true)) return;
    auto self = shared_from_this();
    onLoadingThread([self] {
        self->releasePosted_ = false;
        if (!self->finished_ && self->undelivered_ <= kMaxUndelivered / 2) self->hold(Backlog, false);
    });
}

void NSURLSessionLoad::connectionWillRedirectRequest(const NSURLConnectionPtr& c,
                                                     const std::shared_ptr<NSURLRequest>& request,
                                                     const std::shared_ptr<NSURLResponse>& redirectResponse) {
    if (c != connection_) return;
    auto session = session_;
    auto task = task_;
    auto response = std::dynamic_pointer_cast<NSHTTPURLResponse>(redirectResponse);
    session->enqueueDelegateCall([session, task, c, request, response] {
        auto answer = once<std::shared_ptr<NSURLRequest>>([task, c](std::shared_ptr<NSURLRequest> chosen) {
            if (chosen) task->setCurrentRequest(chosen);
            c->continueWithRedirectRequest(chosen);
        });
        auto d = delegateOf<NSURLSessionTaskDelegate>(session);
        if (d && d->respondsToWillPerformHTTPRedirection())
            d->URLSessionTaskWillPerformHTTPRedirection(session, task, response, request, answer);
        else
            answer(request);
    });
}

void NSURLSessionLoad::connectionNeedNewBodyStreamLater(const NSURLConnectionPtr& c,
                                                        const std::shared_ptr<NSURLRequest>& request) {
    if (c != connection_) return;
    // A file body is read again from the file.
    if (!bodyFile_.empty()) return c->continueWithBodyStream(NSInputStream::inputStreamWithFileAtPath(bodyFile_));
    (void)request;
    auto session = session_;
    auto task = task_;
    session->enqueueDelegateCall([session, task, c] {
        auto answer = once<std::shared_ptr<NSInputStream>>(
            [c](std::shared_ptr<NSInputStream> stream) { c->continueWithBodyStream(stream); });
        if (auto d = delegateOf<NSURLSessionTaskDelegate>(session)) d->URLSessionTaskNeedNewBodyStream(session, task, answer);
        else NSURLSessionTaskDelegate().URLSessionTaskNeedNewBodyStream(session, task, answer);
    });
}

void NSURLSessionLoad::connectionWillSendRequestForAuthenticationChallenge(
    const NSURLConnectionPtr& c, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    if (c != connection_) return;
    auto session = session_;
    auto task = task_;
    session->enqueueDelegateCall([session, task, c, challenge] {
        auto answer = once<NSURLSessionAuthChallengeDisposition, std::shared_ptr<NSURLCredential>>(
            [task, c, challenge](NSURLSessionAuthChallengeDisposition disposition,
                                 std::shared_ptr<NSURLCredential> credential) {
                answerChallenge(task, c, challenge, disposition, credential);
            });
        const bool serverTrust =
            challenge->protectionSpace()->authenticationMethod() == NSURLAuthenticationMethodServerTrust;
        auto sessionLevel = session->delegate();
        auto taskLevel = delegateOf<NSURLSessionTaskDelegate>(session);
        if (serverTrust && sessionLevel && sessionLevel->respondsToDidReceiveChallenge())
            sessionLevel->URLSessionDidReceiveChallenge(session, challenge, answer);
        else if (taskLevel && taskLevel->respondsToTaskDidReceiveChallenge())
            taskLevel->URLSessionTaskDidReceiveChallenge(session, task, challenge, answer);
        else
            answer(NSURLSessionAuthChallengePerformDefaultHandling, nullptr);
    });
}

void NSURLSessionLoad::answerChallenge(const std::shared_ptr<NSURLSessionTask>& task, const NSURLConnectionPtr& c,
                                       const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                       NSURLSessionAuthChallengeDisposition disposition,
                                       const std::shared_ptr<NSURLCredential>& credential) {
    const bool serverTrust = challenge->protectionSpace()->authenticationMethod() == NSURLAuthenticationMethodServerTrust;
    switch (disposition) {
        case NSURLSessionAuthChallengeUseCredential:
            // No credential: as the connection does, a credential-less answer is default handling.
            if (credential) return c->useCredential(credential, challenge);
            return c->performDefaultHandlingForAuthenticationChallenge(challenge);
        case NSURLSessionAuthChallengePerformDefaultHandling:
            return c->performDefaultHandlingForAuthenticationChallenge(challenge);
        case NSURLSessionAuthChallengeRejectProtectionSpace:
            if (!serverTrust) return c->continueWithoutCredentialForAuthenticationChallenge(challenge);
            break;
        case NSURLSessionAuthChallengeCancelAuthenticationChallenge: break;
    }
    // Refused: the task ends as cancelled.
    task->cancel();
}

void NSURLSessionLoad::connectionDidReceiveResponse(const NSURLConnectionPtr& c,
                                                    const std::shared_ptr<NSURLResponse>& response) {
    if (c != connection_) return;
    received_ = 0;
    expectedReceive_ = response->expectedContentLength();
    if (isDownload()) return downloadResponse(c, response);
    auto session = session_;
    auto task = task_;
    const std::int64_t expected = expectedReceive_;
    auto d = delegateOf<NSURLSessionDataDelegate>(session);
    const bool asks = d && d->respondsToDidReceiveResponse();
    if (asks) hold(Decision, true);  // the body waits for the answer
    auto self = shared_from_this();
    session->enqueueDelegateCall([self, session, task, c, response, expected, asks] {
        task->setResponse(response);
        task->setBytesReceived(0, expected);
        auto dataDelegate = delegateOf<NSURLSessionDataDelegate>(session);
        if (!asks || !dataDelegate) return;
        auto answer = once<NSURLSessionResponseDisposition>([self, c](NSURLSessionResponseDisposition disposition) {
            onLoadingThread([self, c, disposition] { self->applyDisposition(c, disposition); });
        });
        dataDelegate->URLSessionDataTaskDidReceiveResponse(session, std::static_pointer_cast<NSURLSessionDataTask>(task),
                                                           response, answer);
    });
}

void NSURLSessionLoad::applyDisposition(const NSURLConnectionPtr& c, NSURLSessionResponseDisposition disposition) {
    if (finished_ || c != connection_) return;
    switch (disposition) {
        case NSURLSessionResponseAllow: return hold(Decision, false);
        case NSURLSessionResponseBecomeDownload: becomeDownload(); return hold(Decision, false);
        case NSURLSessionResponseCancel:
        case NSURLSessionResponseBecomeStream: break;
    }
    task_->setState(NSURLSessionTaskStateCanceling);
    cancelled({});
}

void NSURLSessionLoad::becomeDownload() {
    auto download = session_->makeDownloadTask(task_->originalRequest());
    if (!openFile()) return;  // finished with the file's error
    auto session = session_;
    auto dataTask = std::static_pointer_cast<NSURLSessionDataTask>(task_);
    download->attach(shared_from_this());
    download->setState(NSURLSessionTaskStateRunning);
    task_ = download;
    session->enqueueDelegateCall([session, dataTask, download] {
        download->setResponse(dataTask->response());
        dataTask->attach(nullptr);
        dataTask->setState(NSURLSessionTaskStateCompleted);
        session->replaceTask(dataTask, download);
        if (auto d = delegateOf<NSURLSessionDataDelegate>(session))
            d->URLSessionDataTaskDidBecomeDownloadTask(session, dataTask, download);
    });
}

void NSURLSessionLoad::connectionDidReceiveData(const NSURLConnectionPtr& c, const Data& data) {
    if (c != connection_ || finished_) return;
    const auto n = static_cast<std::int64_t>(data.size());
    received_ += n;
    auto session = session_;
    auto task = task_;
    auto self = shared_from_this();
    const std::int64_t received = received_, expected = expectedReceive_;
    if (isDownload()) {
        if (!write(data)) return;
        const std::int64_t written = written_, total = expectedTotal_;
        session->enqueueDelegateCall([self, session, task, n, received, expected, written, total] {
            task->setBytesReceived(received, expected);
            if (auto d = delegateOf<NSURLSessionDownloadDelegate>(session))
                d->URLSessionDownloadTaskDidWriteData(session, std::static_pointer_cast<NSURLSessionDownloadTask>(task),
                                                      n, written, total);
            self->delivered(n);
        });
    } else {
        session->enqueueDelegateCall([self, session, task, data, n, received, expected] {
            task->setBytesReceived(received, expected);
            if (auto d = delegateOf<NSURLSessionDataDelegate>(session))
                d->URLSessionDataTaskDidReceiveData(session, std::static_pointer_cast<NSURLSessionDataTask>(task), data);
            self->delivered(n);
        });
    }
    queued(n);
}

void NSURLSessionLoad::connectionDidSendBodyData(const NSURLConnectionPtr& c, std::int64_t bytesWritten,
                                                 std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) {
    if (c != connection_) return;
    auto session = session_;
    auto task = task_;
    session->enqueueDelegateCall([=] {
        task->setBytesSent(totalBytesWritten, totalBytesExpectedToWrite);
        if (auto d = delegateOf<NSURLSessionTaskDelegate>(session))
            d->URLSessionTaskDidSendBodyData(session, task, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite);
    });
}

std::shared_ptr<NSCachedURLResponse> NSURLSessionLoad::connectionWillCacheResponse(
    const NSURLConnectionPtr& c, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) {
    if (c != connection_ || isDownload()) return cachedResponse;
    auto session = session_;
    auto task = std::static_pointer_cast<NSURLSessionDataTask>(task_);
    auto d = delegateOf<NSURLSessionDataDelegate>(session);
    if (d && d->respondsToWillCacheResponse())
        session->enqueueDelegateCall([session, task, cachedResponse] {
            if (auto dataDelegate = delegateOf<NSURLSessionDataDelegate>(session))
                dataDelegate->URLSessionDataTaskWillCacheResponse(session, task, cachedResponse,
                                                       [](std::shared_ptr<NSCachedURLResponse>) {});
        });
    return cachedResponse;
}

void NSURLSessionLoad::connectionDidFinishLoading(const NSURLConnectionPtr& c) {
    if (c != connection_) return;
    connection_.reset();
    if (isDownload()) {
        closeFile(true);
        if (path_.empty()) return finish(NSError::posix(EIO, request_->URL()));
    }
    finish(nullptr);
}

void NSURLSessionLoad::connectionDidFailWithError(const NSURLConnectionPtr& c, const NSErrorPtr& error) {
    if (c != connection_) return;
    connection_.reset();
    NSErrorPtr reported = error;
    if (isDownload()) {
        // A download that broke off can go on from where it stopped.
        auto data = makeResumeData();
        closeFile(data.has_value());
        if (data) {
            Value info = error->userInfo().isDictionary() ? error->userInfo().copy() : Value::dictionary();
            info.setObject(NSURLSessionDownloadTaskResumeData, *data);
            reported = NSError::errorWithDomain(error->domain(), error->code(), info);
        }
    }
    finish(reported);
}

void NSURLSessionLoad::finish(NSErrorPtr error) {
    if (finished_) return;
    finished_ = true;
    if (resourceTimer_) resourceTimer_->invalidate();
    resourceTimer_.reset();
    if (connection_) connection_->cancel();
    connection_.reset();
    const bool download = isDownload();
    auto session = std::move(session_);
    auto task = std::move(task_);
    const std::string file = path_;
    const bool delivered = !error && download && !file.empty();
    session->enqueueDelegateCall([session, task, error, file, delivered] {
        if (delivered) {
            if (auto d = delegateOf<NSURLSessionDownloadDelegate>(session))
                d->URLSessionDownloadTaskDidFinishDownloadingToURL(
                    session, std::static_pointer_cast<NSURLSessionDownloadTask>(task), file);
            // Whatever the delegate did not move away goes now.
            (void)std::remove(file.c_str());
        }
        task->setError(error);
        task->setState(NSURLSessionTaskStateCompleted);
        task->attach(nullptr);
        if (auto d = delegateOf<NSURLSessionTaskDelegate>(session)) d->URLSessionTaskDidCompleteWithError(session, task, error);
        session->taskCompleted(task);
    });
}
