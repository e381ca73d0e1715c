#pragma once
// The record a URL-session manager keeps for each of its tasks: the body
// received so far, the upload and download progress, where a download was
// moved, and the completion callback. The manager forwards the session's
// events for the task to it and removes it once the task completed.
//
// Threads: the events arrive on the manager's delegate queue, one at a time;
// the record's fields are written there only (the callbacks are set before
// the task is resumed). The progress objects may be read and observed from
// any thread (NSProgress.h).
//
// Completion: the task's own error, or the error of a downloaded file that
// could not be moved to its destination, goes to the completion callback with
// no response object; otherwise the manager's response serializer turns the
// body into the response object on the shared processing queue (the
// destination URL replaces it for a moved download). The callback runs on the
// manager's completion queue (main queue when none) as a member of its
// completion group (the shared group when none); then
// "com.netline.networking.task.complete" is posted on the main queue with the
// task and the user info of NLURLSessionManager.h.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSProgress.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/net/NSURLSessionDelegate.h"
#include "platform/net/NSURLSessionTask.h"

class NLURLSessionManager;

// (response, response object, error); the error is null on success.
using NLURLSessionCompletionHandler =
    std::function<void(const std::shared_ptr<NSURLResponse>&, const Value& responseObject, const NSErrorPtr& error)>;
// (session, download task, temporary file URL) -> where to move the file (null: leave it).
using NLURLSessionDownloadFinishBlock = std::function<NSURLPtr(
    const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDownloadTask>&, const NSURLPtr& location)>;

class NLURLSessionManagerTaskDelegate : public NSObject,
                                        public NSURLSessionDataDelegate,
                                        public NSURLSessionDownloadDelegate {
public:
    // init: an empty body and both progresses at total 0.
    NLURLSessionManagerTaskDelegate(const std::shared_ptr<NLURLSessionManager>& manager,
                                    const std::shared_ptr<NSURLSessionTask>& task);

    // Null once the manager is gone.
    std::shared_ptr<NLURLSessionManager> manager() const { return manager_.lock(); }
    // Whether this record belongs to exactly that task object.
    bool isRecordOf(const std::shared_ptr<NSURLSessionTask>& task) const;
    // The task the record follows now (a data task that became a download hands on its record).
    void setTask(const std::shared_ptr<NSURLSessionTask>& task);

    const Data& mutableData() const { return mutableData_; }
    const std::shared_ptr<NSProgress>& uploadProgress() const { return uploadProgress_; }
    const std::shared_ptr<NSProgress>& downloadProgress() const { return downloadProgress_; }
    // Replaces the upload progress (its handlers pause, resume and cancel the task).
    void setUploadProgress(std::shared_ptr<NSProgress> progress);
    const NSURLPtr& downloadFileURL() const { return downloadFileURL_; }

    void setCompletionHandler(NLURLSessionCompletionHandler handler) { completionHandler_ = std::move(handler); }
    void setDownloadTaskDidFinishDownloading(NLURLSessionDownloadFinishBlock block) {
        downloadTaskDidFinishDownloading_ = std::move(block);
    }

    // The outcome of moving the downloaded file to `destination`: kept as the
    // download's URL when it moved, else the task fails with `moveError`.
    void didMoveDownloadedFile(const NSURLPtr& destination, const NSErrorPtr& moveError);

    // Session events, forwarded by the manager (delegate queue). The expected
    // total of sent bytes is the one the manager worked out.
    void URLSessionTaskDidSendBodyData(const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionTask>& task,
                                       std::int64_t bytesSent, std::int64_t totalBytesSent,
                                       std::int64_t totalBytesExpectedToSend) override;
    void URLSessionTaskDidCompleteWithError(const NSURLSessionPtr& session,
                                            const std::shared_ptr<NSURLSessionTask>& task,
                                            const NSErrorPtr& error) override;
    void URLSessionDataTaskDidReceiveData(const NSURLSessionPtr& session,
                                          const std::shared_ptr<NSURLSessionDataTask>& dataTask,
                                          const Data& data) override;
    void URLSessionDownloadTaskDidFinishDownloadingToURL(const NSURLSessionPtr& session,
                                                         const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                                         const std::string& location) override;
    void URLSessionDownloadTaskDidWriteData(const NSURLSessionPtr& session,
                                            const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                            std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                            std::int64_t totalBytesExpectedToWrite) override;
    void URLSessionDownloadTaskDidResumeAtOffset(const NSURLSessionPtr& session,
                                                 const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                                 std::int64_t fileOffset, std::int64_t expectedTotalBytes) override;

private:
    // What the completion needs of the manager, taken while it is there.
    struct Delivery;
    Delivery deliveryFromManager() const;
    // A finished transfer's progress shows it whole.
    void completeProgress(const std::shared_ptr<NSURLSessionTask>& task);

    std::weak_ptr<NLURLSessionManager> manager_;
    mutable std::mutex taskMutex_;  // the task is looked at from any thread (the manager's table)
    std::weak_ptr<NSURLSessionTask> task_;
    Data mutableData_;
    std::shared_ptr<NSProgress> uploadProgress_;
    std::shared_ptr<NSProgress> downloadProgress_;
    NSURLPtr downloadFileURL_;
    NSErrorPtr moveError_;
    NLURLSessionDownloadFinishBlock downloadTaskDidFinishDownloading_;
    NLURLSessionCompletionHandler completionHandler_;
};

// Moves a finished download from `location` to `destination`; on failure posts
// "com.netline.networking.session.download.file-manager-error" (object: the
// task, user info: the error's) on the calling thread and returns the error.
NSErrorPtr NLMoveDownloadedFile(const std::shared_ptr<NSURLSessionDownloadTask>& task, const std::string& location,
                                const NSURLPtr& destination);

// The task's pause, resume and cancel through `progress`'s handlers (the task held weakly).
void NLBindProgressToTask(const std::shared_ptr<NSProgress>& progress, const std::shared_ptr<NSURLSessionTask>& task);

// The bytes a task will send: `reported` when known, else the "Content-Length"
// of the task's original request when it has a valid one, else unknown (-1).
std::int64_t NLExpectedBytesToSend(const std::shared_ptr<NSURLSessionTask>& task, std::int64_t reported);
