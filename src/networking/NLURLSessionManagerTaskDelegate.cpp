// NLURLSessionManagerTaskDelegate: one task's body, progress, download file
// and completion.
#include "networking/NLURLSessionManagerTaskDelegate.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "networking/NLSessionTaskNotifications.h"
#include "networking/NLURLSessionManager.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/FoundationErrors.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace {

using UserInfo = std::shared_ptr<ValueDictionary>;

// Runs the completion callback where the manager delivers them, then posts the
// completion notification on the main queue.
void deliver(const dispatch_group_t& group, const dispatch_queue_t& queue, NLURLSessionCompletionHandler handler,
             std::shared_ptr<NSURLSessionTask> task, UserInfo userInfo, Value responseObject, NSErrorPtr error) {
    dispatch_group_async(group, queue,
                         [handler = std::move(handler), task = std::move(task), userInfo = std::move(userInfo),
                          responseObject = std::move(responseObject), error = std::move(error)] {
                             if (handler) handler(task->response(), responseObject, error);
                             dispatch_async(dispatch_get_main_queue(), [task, userInfo] {
                                 NSNotificationCenter::defaultCenter()->postNotificationName(
                                     NLNetworkingTaskDidCompleteNotification, task, Value(userInfo));
                             });
                         });
}

}  // namespace

struct NLURLSessionManagerTaskDelegate::Delivery {
    std::shared_ptr<NLHTTPResponseSerializer> serializer;
    dispatch_queue_t queue;
    dispatch_group_t group;
};

NLURLSessionManagerTaskDelegate::NLURLSessionManagerTaskDelegate(const std::shared_ptr<NLURLSessionManager>& manager,
                                                                 const std::shared_ptr<NSURLSessionTask>& task)
    : manager_(manager),
      task_(task),
      uploadProgress_(NSProgress::progressWithTotalUnitCount(0)),
      downloadProgress_(NSProgress::progressWithTotalUnitCount(0)) {
    NLBindProgressToTask(uploadProgress_, task);
    NLBindProgressToTask(downloadProgress_, task);
}

bool NLURLSessionManagerTaskDelegate::isRecordOf(const std::shared_ptr<NSURLSessionTask>& task) const {
    std::lock_guard guard(taskMutex_);
    return task && task_.lock() == task;
}

void NLURLSessionManagerTaskDelegate::setTask(const std::shared_ptr<NSURLSessionTask>& task) {
    {
        std::lock_guard guard(taskMutex_);
        if (task_.lock() == task) return;
        task_ = task;
    }
    NLBindProgressToTask(uploadProgress_, task);
    NLBindProgressToTask(downloadProgress_, task);
}

void NLURLSessionManagerTaskDelegate::setUploadProgress(std::shared_ptr<NSProgress> progress) {
    if (!progress) return;
    uploadProgress_ = std::move(progress);
    std::shared_ptr<NSURLSessionTask> task;
    {
        std::lock_guard guard(taskMutex_);
        task = task_.lock();
    }
    NLBindProgressToTask(uploadProgress_, task);
}

NLURLSessionManagerTaskDelegate::Delivery NLURLSessionManagerTaskDelegate::deliveryFromManager() const {
    Delivery delivery;
    if (auto manager = manager_.lock()) {
        delivery.serializer = manager->responseSerializer();
        delivery.queue = manager->completionQueue();
        delivery.group = manager->completionGroup();
    }
    if (!delivery.queue) delivery.queue = dispatch_get_main_queue();
    if (!delivery.group) delivery.group = NLURLSessionManager::sharedCompletionGroup();
    return delivery;
}

void NLURLSessionManagerTaskDelegate::didMoveDownloadedFile(const NSURLPtr& destination, const NSErrorPtr& moveError) {
    // A URL with no file behind it is never handed on as the download.
    downloadFileURL_ = moveError ? nullptr : destination;
    moveError_ = moveError;
}

void NLURLSessionManagerTaskDelegate::completeProgress(const std::shared_ptr<NSURLSessionTask>& task) {
    auto settle = [](const std::shared_ptr<NSProgress>& progress, std::int64_t done) {
        done = std::max(done, progress->completedUnitCount());
        if (progress->totalUnitCount() <= 0) progress->setTotalUnitCount(done);  // the size was not known before
        progress->setCompletedUnitCount(done);
    };
    if (task->kind() == NSURLSessionTask::Kind::Upload) settle(uploadProgress_, task->countOfBytesSent());
    settle(downloadProgress_, task->countOfBytesReceived());
}

// ---------------------------------------------------------------- events

void NLURLSessionManagerTaskDelegate::URLSessionTaskDidSendBodyData(const NSURLSessionPtr&,
                                                                    const std::shared_ptr<NSURLSessionTask>&,
                                                                    std::int64_t, std::int64_t totalBytesSent,
                                                                    std::int64_t totalBytesExpectedToSend) {
    uploadProgress_->setTotalUnitCount(totalBytesExpectedToSend);
    uploadProgress_->setCompletedUnitCount(totalBytesSent);
}

void NLURLSessionManagerTaskDelegate::URLSessionDataTaskDidReceiveData(
    const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>& dataTask, const Data& data) {
    mutableData_.insert(mutableData_.end(), data.begin(), data.end());
    downloadProgress_->setTotalUnitCount(dataTask->countOfBytesExpectedToReceive());
    downloadProgress_->setCompletedUnitCount(static_cast<std::int64_t>(mutableData_.size()));
}

void NLURLSessionManagerTaskDelegate::URLSessionDownloadTaskDidFinishDownloadingToURL(
    const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
    const std::string& location) {
    downloadFileURL_ = nullptr;
    if (!downloadTaskDidFinishDownloading_) return;
    auto destination = downloadTaskDidFinishDownloading_(session, downloadTask, NSURL::fileURLWithPath(location));
    if (!destination) return;  // the file stays where it is (and goes with the task)
    didMoveDownloadedFile(destination, NLMoveDownloadedFile(downloadTask, location, destination));
}

void NLURLSessionManagerTaskDelegate::URLSessionDownloadTaskDidWriteData(
    const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDownloadTask>&, std::int64_t,
    std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) {
    downloadProgress_->setTotalUnitCount(totalBytesExpectedToWrite);
    downloadProgress_->setCompletedUnitCount(totalBytesWritten);
}

void NLURLSessionManagerTaskDelegate::URLSessionDownloadTaskDidResumeAtOffset(
    const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDownloadTask>&, std::int64_t fileOffset,
    std::int64_t expectedTotalBytes) {
    downloadProgress_->setTotalUnitCount(expectedTotalBytes);
    downloadProgress_->setCompletedUnitCount(fileOffset);
}

void NLURLSessionManagerTaskDelegate::URLSessionTaskDidCompleteWithError(const NSURLSessionPtr&,
                                                                         const std::shared_ptr<NSURLSessionTask>& task,
                                                                         const NSErrorPtr& error) {
    const Delivery delivery = deliveryFromManager();
    auto userInfo = std::make_shared<ValueDictionary>();
    if (delivery.serializer) (*userInfo)[NLNetworkingTaskDidCompleteResponseSerializerKey] = Value(delivery.serializer);
    if (downloadFileURL_) (*userInfo)[NLNetworkingTaskDidCompleteAssetPathKey] = Value(downloadFileURL_);
    // The record ends with this event: the body moves into the user info instead of being copied.
    else (*userInfo)[NLNetworkingTaskDidCompleteResponseDataKey] = Value(std::move(mutableData_));
    mutableData_ = Data();

    const NSErrorPtr failure = error ? error : moveError_;
    if (failure) {
        (*userInfo)[NLNetworkingTaskDidCompleteErrorKey] = Value(failure);
        deliver(delivery.group, delivery.queue, completionHandler_, task, std::move(userInfo), Value(), failure);
        return;
    }
    completeProgress(task);
    dispatch_async(NLURLSessionManager::processingQueue(), [delivery, handler = completionHandler_, task, userInfo,
                                                            fileURL = downloadFileURL_]() mutable {
        static const Data noBody;
        NSErrorPtr serializationError;
        Value responseObject;
        if (delivery.serializer) {
            auto body = userInfo->find(NLNetworkingTaskDidCompleteResponseDataKey);
            const Data* bytes = body != userInfo->end() && body->second.data() ? body->second.data() : &noBody;
            responseObject = delivery.serializer->responseObjectForResponse(task->response(), NLResponseBody(bytes),
                                                                            &serializationError);
        }
        if (fileURL) responseObject = Value(fileURL);
        if (responseObject) (*userInfo)[NLNetworkingTaskDidCompleteSerializedResponseKey] = responseObject;
        if (serializationError) (*userInfo)[NLNetworkingTaskDidCompleteErrorKey] = Value(serializationError);
        deliver(delivery.group, delivery.queue, std::move(handler), task, std::move(userInfo),
                std::move(responseObject), serializationError);
    });
}

// ---------------------------------------------------------------- helpers

NSErrorPtr NLMoveDownloadedFile(const std::shared_ptr<NSURLSessionDownloadTask>& task, const std::string& location,
                                const NSURLPtr& destination) {
    NSErrorPtr error;
    if (destination && destination->isFileURL() &&
        NSFileManager::defaultManager()->moveItemAtPath(location, destination->path(), &error))
        return nullptr;
    if (!error) {
        Value info{{NSFilePathErrorKey, Value(destination ? destination->absoluteString() : std::string())}};
        error = NSError::errorWithDomain(NSCocoaErrorDomain, NSFileWriteUnknownError, info);
    }
    NSNotificationCenter::defaultCenter()->postNotificationName(NLURLSessionDownloadTaskDidFailToMoveFileNotification,
                                                                task, error->userInfo());
    return error;
}

void NLBindProgressToTask(const std::shared_ptr<NSProgress>& progress, const std::shared_ptr<NSURLSessionTask>& task) {
    if (!progress) return;
    std::weak_ptr<NSURLSessionTask> weak = task;
    progress->setCancellable(true);
    progress->setPausable(true);
    progress->setCancellationHandler([weak] {
        if (auto t = weak.lock()) t->cancel();
    });
    progress->setPausingHandler([weak] {
        if (auto t = weak.lock()) t->suspend();
    });
    progress->setResumingHandler([weak] {
        if (auto t = weak.lock()) t->resume();
    });
}

std::int64_t NLExpectedBytesToSend(const std::shared_ptr<NSURLSessionTask>& task, std::int64_t reported) {
    if (reported != NSURLSessionTransferSizeUnknown) return reported;
    auto request = task ? task->originalRequest() : nullptr;
    auto field = request ? request->valueForHTTPHeaderField("Content-Length") : std::nullopt;
    if (!field || field->empty()) return reported;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(field->c_str(), &end, 10);
    return end && *end == '\0' && errno == 0 && value >= 0 ? value : reported;
}
