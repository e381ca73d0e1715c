#include "platform/net/NSURLSession.h"

#include <sys/stat.h>

#include "platform/dispatch/Dispatch.h"
#include "platform/net/NSURLSessionLoad.h"

namespace {

// Delegate calls run per visit of the delegate queue, so one session never
// holds a shared queue for long.
constexpr int kCallsPerVisit = 64;

}  // namespace

NSURLSessionPtr NSURLSession::sessionWithConfiguration(const NSURLSessionConfigurationPtr& configuration,
                                                       std::shared_ptr<NSURLSessionDelegate> delegate,
                                                       std::shared_ptr<NSOperationQueue> delegateQueue) {
    auto copy = configuration ? configuration->copy() : NSURLSessionConfiguration::defaultSessionConfiguration();
    return std::make_shared<NSURLSession>(std::move(copy), std::move(delegate), std::move(delegateQueue));
}

NSURLSession::NSURLSession(NSURLSessionConfigurationPtr configuration, std::shared_ptr<NSURLSessionDelegate> delegate,
                           std::shared_ptr<NSOperationQueue> delegateQueue)
    : configuration_(std::move(configuration)),
      delegateQueue_(delegateQueue ? std::move(delegateQueue) : std::make_shared<NSOperationQueue>()),
      delegate_(std::move(delegate)) {
    if (!delegateQueue) delegateQueue_->setMaxConcurrentOperationCount(1);
}

NSURLSession::~NSURLSession() = default;

std::shared_ptr<NSURLSessionDelegate> NSURLSession::delegate() const {
    AnnotatedLock lock(mutex_);
    return delegate_;
}

std::string NSURLSession::sessionDescription() const {
    AnnotatedLock lock(mutex_);
    return description_;
}

void NSURLSession::setSessionDescription(std::string description) {
    AnnotatedLock lock(mutex_);
    description_ = std::move(description);
}

template <class T>
std::shared_ptr<T> NSURLSession::addTask(NSURLSessionTask::Kind kind, const std::shared_ptr<NSURLRequest>& request,
                                         bool checkValid) {
    AnnotatedLock lock(mutex_);
    if (checkValid && invalidating_) return nullptr;
    auto task = std::make_shared<T>(kind, nextIdentifier_++, request);
    tasks_[task->taskIdentifier()] = task;
    return task;
}

namespace {

template <class T>
std::shared_ptr<T> withLoad(const NSURLSessionPtr& session, std::shared_ptr<T> task,
                            const std::shared_ptr<NSURLRequest>& sent, std::int64_t expectedToSend,
                            const std::function<void(NSURLSessionLoad&)>& setUp = {}) {
    if (!task) return nullptr;
    auto load = std::make_shared<NSURLSessionLoad>(session, task, sent);
    if (setUp) setUp(*load);
    task->attach(load);
    task->setBytesSent(0, expectedToSend);
    return task;
}

}  // namespace

std::shared_ptr<NSURLSessionDataTask> NSURLSession::dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request) {
    if (!request) return nullptr;
    auto sent = configuration_->requestForTask(request);
    const std::int64_t length = request->HTTPBody() ? static_cast<std::int64_t>(request->HTTPBody()->size()) : 0;
    return withLoad(self<NSURLSession>(), addTask<NSURLSessionDataTask>(NSURLSessionTask::Kind::Data, request), sent,
                    length);
}

std::shared_ptr<NSURLSessionUploadTask> NSURLSession::uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                            const std::string& fromFile) {
    struct stat info {};
    if (!request || ::stat(fromFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    auto stream = NSInputStream::inputStreamWithFileAtPath(fromFile);
    if (!stream) return nullptr;
    auto sent = configuration_->requestForTask(request)->mutableCopy();
    sent->setHTTPBody(std::nullopt);
    sent->setHTTPBodyStream(stream);
    sent->setValue(std::to_string(info.st_size), "Content-Length");
    return withLoad(self<NSURLSession>(), addTask<NSURLSessionUploadTask>(NSURLSessionTask::Kind::Upload, request),
                    sent, static_cast<std::int64_t>(info.st_size),
                    [&](NSURLSessionLoad& load) { load.setBodyFile(fromFile); });
}

std::shared_ptr<NSURLSessionUploadTask> NSURLSession::uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                            const Data& fromData) {
    if (!request) return nullptr;
    auto sent = configuration_->requestForTask(request)->mutableCopy();
    sent->setHTTPBodyStream(nullptr);
    sent->setHTTPBody(fromData);
    return withLoad(self<NSURLSession>(), addTask<NSURLSessionUploadTask>(NSURLSessionTask::Kind::Upload, request),
                    sent, static_cast<std::int64_t>(fromData.size()));
}

std::shared_ptr<NSURLSessionUploadTask> NSURLSession::uploadTaskWithStreamedRequest(
    const std::shared_ptr<NSURLRequest>& request) {
    if (!request || !request->HTTPBodyStream()) return nullptr;
    auto sent = configuration_->requestForTask(request);
    std::int64_t expected = NSURLSessionTransferSizeUnknown;
    if (auto length = request->valueForHTTPHeaderField("Content-Length")) {
        char* end = nullptr;
        long long value = std::strtoll(length->c_str(), &end, 10);
        if (end && *end == '\0' && value >= 0) expected = value;
    }
    return withLoad(self<NSURLSession>(), addTask<NSURLSessionUploadTask>(NSURLSessionTask::Kind::Upload, request),
                    sent, expected);
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::downloadTaskWithRequest(
    const std::shared_ptr<NSURLRequest>& request) {
    if (!request) return nullptr;
    return withLoad(self<NSURLSession>(),
                    addTask<NSURLSessionDownloadTask>(NSURLSessionTask::Kind::Download, request),
                    configuration_->requestForTask(request), 0);
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::downloadTaskWithResumeData(const Data& resumeData) {
    auto resume = NSURLSessionLoad::parseResumeData(resumeData);
    if (!resume) return nullptr;
    auto request = NSMutableURLRequest::requestWithURL(resume->URL);
    for (const auto& [name, value] : resume->headers) request->setValue(value, name);
    return withLoad(self<NSURLSession>(),
                    addTask<NSURLSessionDownloadTask>(NSURLSessionTask::Kind::Download, request),
                    configuration_->requestForTask(request), 0,
                    [&](NSURLSessionLoad& load) { load.setResume(*resume); });
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::makeDownloadTask(const std::shared_ptr<NSURLRequest>& request) {
    return addTask<NSURLSessionDownloadTask>(NSURLSessionTask::Kind::Download, request, false);
}

NSURLSession::TaskLists NSURLSession::tasks() const {
    TaskLists lists;
    AnnotatedLock lock(mutex_);
    for (const auto& [identifier, task] : tasks_) {
        switch (task->kind()) {
            case NSURLSessionTask::Kind::Data:
                lists.dataTasks.push_back(std::static_pointer_cast<NSURLSessionDataTask>(task));
                break;
            case NSURLSessionTask::Kind::Upload:
                lists.uploadTasks.push_back(std::static_pointer_cast<NSURLSessionUploadTask>(task));
                break;
            case NSURLSessionTask::Kind::Download:
                lists.downloadTasks.push_back(std::static_pointer_cast<NSURLSessionDownloadTask>(task));
                break;
        }
    }
    return lists;
}

void NSURLSession::getTasksWithCompletionHandler(std::function<void(const TaskLists&)> completion) const {
    if (!completion) return;
    auto lists = tasks();
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
                   [lists = std::move(lists), completion = std::move(completion)] { completion(lists); });
}

void NSURLSession::enqueueDelegateCall(std::function<void()> call) {
    {
        AnnotatedLock lock(mutex_);
        calls_.push_back(std::move(call));
        if (callsPosted_) return;
        callsPosted_ = true;
    }
    auto self = this->self<NSURLSession>();
    delegateQueue_->addOperationWithBlock([self] { self->runDelegateCalls(); });
}

void NSURLSession::runDelegateCalls() {
    for (int i = 0; i < kCallsPerVisit; ++i) {
        std::function<void()> call;
        {
            AnnotatedLock lock(mutex_);
            if (calls_.empty()) {
                callsPosted_ = false;
                return;
            }
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
    // More are waiting: the queue's other work gets a turn first.
    auto self = this->self<NSURLSession>();
    delegateQueue_->addOperationWithBlock([self] { self->runDelegateCalls(); });
}

void NSURLSession::taskCompleted(const std::shared_ptr<NSURLSessionTask>& task) {
    {
        AnnotatedLock lock(mutex_);
        tasks_.erase(task->taskIdentifier());
    }
    becomeInvalidIfDone();
}

void NSURLSession::replaceTask(const std::shared_ptr<NSURLSessionTask>& from, const std::shared_ptr<NSURLSessionTask>& to) {
    AnnotatedLock lock(mutex_);
    tasks_.erase(from->taskIdentifier());
    tasks_[to->taskIdentifier()] = to;
}

void NSURLSession::finishTasksAndInvalidate() {
    {
        AnnotatedLock lock(mutex_);
        if (invalidating_) return;
        invalidating_ = true;
    }
    becomeInvalidIfDone();
}

void NSURLSession::invalidateAndCancel() {
    std::vector<std::shared_ptr<NSURLSessionTask>> running;
    {
        AnnotatedLock lock(mutex_);
        if (invalidating_) return;
        invalidating_ = true;
        for (const auto& [identifier, task] : tasks_) running.push_back(task);
    }
    for (const auto& task : running) task->cancel();
    becomeInvalidIfDone();
}

void NSURLSession::becomeInvalidIfDone() {
    {
        AnnotatedLock lock(mutex_);
        if (!invalidating_ || invalidated_ || !tasks_.empty()) return;
        invalidated_ = true;
    }
    // The last call of the session; the delegate is let go after it.
    auto self = this->self<NSURLSession>();
    enqueueDelegateCall([self] {
        std::shared_ptr<NSURLSessionDelegate> delegate;
        {
            AnnotatedLock lock(self->mutex_);
            delegate = std::move(self->delegate_);
        }
        if (delegate) delegate->URLSessionDidBecomeInvalidWithError(self, nullptr);
    });
}
