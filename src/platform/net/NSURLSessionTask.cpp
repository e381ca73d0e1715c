#include "platform/net/NSURLSessionTask.h"

#include <vector>

#include "platform/net/NSURLSessionDelegate.h"
#include "platform/net/NSURLSessionLoad.h"

namespace {

struct Hooks {
    std::mutex mutex;
    std::vector<NSURLSessionTask::StateHook> resume, suspend;
};

Hooks& hooks() {
    static Hooks* all = new Hooks();  // called from any thread until the process ends
    return *all;
}

void callHooks(std::vector<NSURLSessionTask::StateHook> Hooks::*list, const std::shared_ptr<NSURLSessionTask>& task,
               NSURLSessionTaskState prior) {
    std::vector<NSURLSessionTask::StateHook> copy;
    {
        std::lock_guard lock(hooks().mutex);
        copy = hooks().*list;
    }
    for (const auto& hook : copy) hook(task, prior);
}

}  // namespace

void NSURLSessionTaskDelegate::URLSessionTaskNeedNewBodyStream(
    const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionTask>& task,
    const std::function<void(std::shared_ptr<NSInputStream>)>& completion) {
    (void)session;
    auto request = task ? task->originalRequest() : nullptr;
    completion(request && request->HTTPBodyStream() ? request->HTTPBodyStream()->copyStream() : nullptr);
}

void NSURLSessionTask::addResumeHook(StateHook hook) {
    std::lock_guard lock(hooks().mutex);
    hooks().resume.push_back(std::move(hook));
}

void NSURLSessionTask::addSuspendHook(StateHook hook) {
    std::lock_guard lock(hooks().mutex);
    hooks().suspend.push_back(std::move(hook));
}

NSURLSessionTask::NSURLSessionTask(Kind kind, unsigned long identifier, std::shared_ptr<NSURLRequest> request)
    : kind_(kind), identifier_(identifier), originalRequest_(request), currentRequest_(request) {}

NSURLSessionTask::~NSURLSessionTask() = default;

template <class T>
void NSURLSessionTask::change(T NSURLSessionTask::*field, T value, const char* key) {
    {
        AnnotatedLock lock(mutex_);
        if (this->*field == value) return;
        this->*field = std::move(value);
    }
    didChangeValueForKey(key);
}

std::shared_ptr<NSURLRequest> NSURLSessionTask::currentRequest() const {
    AnnotatedLock lock(mutex_);
    return currentRequest_;
}

std::shared_ptr<NSURLResponse> NSURLSessionTask::response() const {
    AnnotatedLock lock(mutex_);
    return response_;
}

NSErrorPtr NSURLSessionTask::error() const {
    AnnotatedLock lock(mutex_);
    return error_;
}

NSURLSessionTaskState NSURLSessionTask::state() const {
    AnnotatedLock lock(mutex_);
    return state_;
}

std::int64_t NSURLSessionTask::countOfBytesReceived() const {
    AnnotatedLock lock(mutex_);
    return received_;
}

std::int64_t NSURLSessionTask::countOfBytesSent() const {
    AnnotatedLock lock(mutex_);
    return sent_;
}

std::int64_t NSURLSessionTask::countOfBytesExpectedToSend() const {
    AnnotatedLock lock(mutex_);
    return expectedToSend_;
}

std::int64_t NSURLSessionTask::countOfBytesExpectedToReceive() const {
    AnnotatedLock lock(mutex_);
    return expectedToReceive_;
}

std::string NSURLSessionTask::taskDescription() const {
    AnnotatedLock lock(mutex_);
    return description_;
}

void NSURLSessionTask::setTaskDescription(std::string description) {
    AnnotatedLock lock(mutex_);
    description_ = std::move(description);
}

void NSURLSessionTask::setState(NSURLSessionTaskState state) { change(&NSURLSessionTask::state_, state, "state"); }
void NSURLSessionTask::setResponse(std::shared_ptr<NSURLResponse> response) {
    change(&NSURLSessionTask::response_, std::move(response), "response");
}
void NSURLSessionTask::setError(NSErrorPtr error) { change(&NSURLSessionTask::error_, std::move(error), "error"); }
void NSURLSessionTask::setCurrentRequest(std::shared_ptr<NSURLRequest> request) {
    change(&NSURLSessionTask::currentRequest_, std::move(request), "currentRequest");
}

void NSURLSessionTask::setBytesReceived(std::int64_t received, std::int64_t expected) {
    change(&NSURLSessionTask::expectedToReceive_, expected, "countOfBytesExpectedToReceive");
    change(&NSURLSessionTask::received_, received, "countOfBytesReceived");
}

void NSURLSessionTask::setBytesSent(std::int64_t sent, std::int64_t expected) {
    change(&NSURLSessionTask::expectedToSend_, expected, "countOfBytesExpectedToSend");
    change(&NSURLSessionTask::sent_, sent, "countOfBytesSent");
}

void NSURLSessionTask::attach(std::shared_ptr<NSURLSessionLoad> load) {
    AnnotatedLock lock(mutex_);
    load_ = std::move(load);
}

std::shared_ptr<NSURLSessionLoad> NSURLSessionTask::load() const {
    AnnotatedLock lock(mutex_);
    return load_;
}

void NSURLSessionTask::resume() {
    NSURLSessionTaskState prior;
    bool first = false;
    std::shared_ptr<NSURLSessionLoad> load;
    {
        AnnotatedLock lock(mutex_);
        prior = state_;
        if (prior == NSURLSessionTaskStateSuspended) {
            state_ = NSURLSessionTaskStateRunning;
            first = !everResumed_;
            everResumed_ = true;
            load = load_;
        }
    }
    if (prior == NSURLSessionTaskStateSuspended) {
        didChangeValueForKey("state");
        if (load && first) load->start();
        else if (load) load->setSuspended(false);
    }
    callHooks(&Hooks::resume, self<NSURLSessionTask>(), prior);
}

void NSURLSessionTask::suspend() {
    NSURLSessionTaskState prior;
    std::shared_ptr<NSURLSessionLoad> load;
    {
        AnnotatedLock lock(mutex_);
        prior = state_;
        if (prior == NSURLSessionTaskStateRunning) {
            state_ = NSURLSessionTaskStateSuspended;
            load = load_;
        }
    }
    if (prior == NSURLSessionTaskStateRunning) {
        didChangeValueForKey("state");
        if (load) load->setSuspended(true);
    }
    callHooks(&Hooks::suspend, self<NSURLSessionTask>(), prior);
}

void NSURLSessionTask::cancel() {
    std::shared_ptr<NSURLSessionLoad> load;
    {
        AnnotatedLock lock(mutex_);
        if (state_ != NSURLSessionTaskStateRunning && state_ != NSURLSessionTaskStateSuspended) return;
        state_ = NSURLSessionTaskStateCanceling;
        load = load_;
    }
    didChangeValueForKey("state");
    if (load) load->cancel();
}

void NSURLSessionDownloadTask::cancelByProducingResumeData(std::function<void(std::optional<Data>)> completion) {
    std::shared_ptr<NSURLSessionLoad> load;
    {
        AnnotatedLock lock(mutex_);
        if (state_ != NSURLSessionTaskStateRunning && state_ != NSURLSessionTaskStateSuspended) load = nullptr;
        else {
            state_ = NSURLSessionTaskStateCanceling;
            load = load_;
        }
    }
    if (!load) {
        if (completion) completion(std::nullopt);
        return;
    }
    didChangeValueForKey("state");
    load->cancel(completion ? std::move(completion) : [](std::optional<Data>) {});
}
