#pragma once
// One transfer of a URL session: a data task (body handed to the delegate), an
// upload task (a data task with a body from a file, data or a stream) or a
// download task (body written to a temporary file under the app home's tmp/).
//
// Tasks are made suspended by their session; resume() starts them. State moves
// running (0) <-> suspended (1), then canceling (2) after cancel(), and
// completed (3) just before the delegate hears URLSessionTaskDidCompleteWithError.
// A suspended task moves no byte and hears nothing; its idle time-out stops.
// resume, suspend and cancel may be called from any thread.
//
// Observable keys (NSObject key-value observation, told on the thread that
// made the change: the caller's for state changes it asked for, else the
// session's delegate queue): "state", "response", "error", "currentRequest",
// "countOfBytesReceived", "countOfBytesSent", "countOfBytesExpectedToSend",
// "countOfBytesExpectedToReceive". Byte counts are -1 while unknown.
//
// Hooks: functions every task calls after resume() and suspend() took effect
// (or did nothing), with the state before the call, on the calling thread.
// They are installed once at start-up and never removed.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/AnnotatedMutex.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSURLError.h"
#include "platform/net/NSURLRequest.h"
#include "platform/net/NSURLResponse.h"

class NSURLSession;
struct NSURLSessionLoad;

enum NSURLSessionTaskState : long {
    NSURLSessionTaskStateRunning = 0,
    NSURLSessionTaskStateSuspended = 1,
    NSURLSessionTaskStateCanceling = 2,
    NSURLSessionTaskStateCompleted = 3,
};

inline constexpr std::int64_t NSURLSessionTransferSizeUnknown = -1;
// The user-info key of a failed download's error that holds its resume data.
inline constexpr const char* NSURLSessionDownloadTaskResumeData = "NSURLSessionDownloadTaskResumeData";

class NSURLSessionTask : public NSObject {
public:
    enum class Kind { Data, Upload, Download };
    using StateHook = std::function<void(const std::shared_ptr<NSURLSessionTask>& task, NSURLSessionTaskState prior)>;
    static void addResumeHook(StateHook hook);
    static void addSuspendHook(StateHook hook);

    NSURLSessionTask(Kind kind, unsigned long identifier, std::shared_ptr<NSURLRequest> request);
    ~NSURLSessionTask() override;

    Kind kind() const { return kind_; }
    unsigned long taskIdentifier() const { return identifier_; }
    std::shared_ptr<NSURLRequest> originalRequest() const { return originalRequest_; }
    std::shared_ptr<NSURLRequest> currentRequest() const;
    std::shared_ptr<NSURLResponse> response() const;
    NSErrorPtr error() const;
    NSURLSessionTaskState state() const;
    std::int64_t countOfBytesReceived() const;
    std::int64_t countOfBytesSent() const;
    std::int64_t countOfBytesExpectedToSend() const;
    std::int64_t countOfBytesExpectedToReceive() const;
    std::string taskDescription() const;
    void setTaskDescription(std::string description);

    void resume();
    void suspend();
    void cancel();

    // Internal to the URL session: the setters report to observers.
    void setState(NSURLSessionTaskState state);
    void setResponse(std::shared_ptr<NSURLResponse> response);
    void setError(NSErrorPtr error);
    void setCurrentRequest(std::shared_ptr<NSURLRequest> request);
    void setBytesReceived(std::int64_t received, std::int64_t expected);
    void setBytesSent(std::int64_t sent, std::int64_t expected);
    void attach(std::shared_ptr<NSURLSessionLoad> load);
    std::shared_ptr<NSURLSessionLoad> load() const;

protected:
    // Sets a field under the lock and announces the change when there was one.
    template <class T>
    void change(T NSURLSessionTask::*field, T value, const char* key) QV_EXCLUDES(mutex_);

    const Kind kind_;
    const unsigned long identifier_;
    const std::shared_ptr<NSURLRequest> originalRequest_;
    mutable AnnotatedMutex mutex_;
    NSURLSessionTaskState state_ QV_GUARDED_BY(mutex_) = NSURLSessionTaskStateSuspended;
    bool everResumed_ QV_GUARDED_BY(mutex_) = false;
    std::shared_ptr<NSURLRequest> currentRequest_ QV_GUARDED_BY(mutex_);
    std::shared_ptr<NSURLResponse> response_ QV_GUARDED_BY(mutex_);
    NSErrorPtr error_ QV_GUARDED_BY(mutex_);
    std::int64_t received_ QV_GUARDED_BY(mutex_) = 0;
    std::int64_t sent_ QV_GUARDED_BY(mutex_) = 0;
    std::int64_t expectedToReceive_ QV_GUARDED_BY(mutex_) = NSURLSessionTransferSizeUnknown;
    std::int64_t expectedToSend_ QV_GUARDED_BY(mutex_) = NSURLSessionTransferSizeUnknown;
    std::string description_ QV_GUARDED_BY(mutex_);
    std::shared_ptr<NSURLSessionLoad> load_ QV_GUARDED_BY(mutex_);
};

class NSURLSessionDataTask : public NSURLSessionTask {
public:
    using NSURLSessionTask::NSURLSessionTask;
};

class NSURLSessionUploadTask : public NSURLSessionDataTask {
public:
    using NSURLSessionDataTask::NSURLSessionDataTask;
};

class NSURLSessionDownloadTask : public NSURLSessionTask {
public:
    using NSURLSessionTask::NSURLSessionTask;
    // Cancels the task; `completion` gets the data to go on from (null when the
    // download cannot be resumed: nothing written yet, no validator, not a GET),
    // on the delegate queue, before the task completes. The partial file stays
    // for that data.
    void cancelByProducingResumeData(std::function<void(std::optional<Data>)> completion);
};
