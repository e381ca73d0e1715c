// NLURLSessionManager: construction, settings, task making, the record table,
// task lists, invalidation, archiving and copying. The session's events are in
// NLURLSessionManagerEvents.cpp.
#include "networking/NLURLSessionManager.h"

#include <mutex>

#include "networking/NLNetworkActivityIndicatorManager.h"
#include "networking/NLSecurityPolicy.h"
#include "networking/NSURLSessionTaskStateObserving.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

// The activity indicator finds a session task's request through this lookup.
void installActivityIndicatorLookup() {
    static std::once_flag once;
    std::call_once(once, [] {
        NLNetworkActivityIndicatorManager::addRequestLookup([](const NSObject& object) -> std::shared_ptr<NSURLRequest> {
            auto task = dynamic_cast<const NSURLSessionTask*>(&object);
            return task ? task->originalRequest() : nullptr;
        });
    });
}

}  // namespace

// ---------------------------------------------------------------- construction

NLURLSessionManager::NLURLSessionManager(Token)
    : operationQueue_(std::make_shared<NSOperationQueue>()),
      responseSerializer_(NLJSONResponseSerializer::serializer()),
      securityPolicy_(NLSecurityPolicy::defaultPolicy()),
      reachabilityManager_(NLSharedNetworkReachabilityManager()),
      lock_(std::make_shared<NSLock>()) {
    operationQueue_->setMaxConcurrentOperationCount(1);
    lock_->setName(NLURLSessionManagerLockName);
}

NLURLSessionManager::~NLURLSessionManager() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
}

std::shared_ptr<NLURLSessionManager> NLURLSessionManager::initWithSessionConfiguration(
    NSURLSessionConfigurationPtr configuration) {
    auto manager = std::make_shared<NLURLSessionManager>(Token{});
    manager->setUpWithSessionConfiguration(std::move(configuration));
    return manager;
}

void NLURLSessionManager::setUpWithSessionConfiguration(NSURLSessionConfigurationPtr configuration) {
    NLInstallSessionTaskStateObserving();
    installActivityIndicatorLookup();
    sessionConfiguration_ = configuration ? std::move(configuration)
                                          : NSURLSessionConfiguration::defaultSessionConfiguration();
    auto self = this->self<NLURLSessionManager>();
    session_ = NSURLSession::sessionWithConfiguration(sessionConfiguration_, self, operationQueue_);

    // Tasks the session already has (a re-created background session) are followed too.
    const auto existing = session_->tasks();
    for (const auto& task : existing.dataTasks) addDelegateForDataTask(task, nullptr);
    for (const auto& task : existing.uploadTasks) addDelegateForUploadTask(task, nullptr, nullptr);
    for (const auto& task : existing.downloadTasks) addDelegateForDownloadTask(task, nullptr, nullptr, nullptr);

    std::weak_ptr<NLURLSessionManager> weak = self;
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(
        self,
        [weak](const NSNotification& notification) {
            if (auto manager = weak.lock()) manager->taskDidResume(notification);
        },
        NLNetworkingSessionTaskDidResumeNotification);
    center->addObserver(
        self,
        [weak](const NSNotification& notification) {
            if (auto manager = weak.lock()) manager->taskDidSuspend(notification);
        },
        NLNetworkingSessionTaskDidSuspendNotification);
}

const dispatch_queue_t& NLURLSessionManager::taskCreationQueue() {
    static ProcessLifetime<dispatch_queue_t> queue(
        dispatch_queue_create(NLURLSessionManagerCreationQueueLabel, DISPATCH_QUEUE_SERIAL));
    return *queue;
}

const dispatch_queue_t& NLURLSessionManager::processingQueue() {
    static ProcessLifetime<dispatch_queue_t> queue(
        dispatch_queue_create(NLURLSessionManagerProcessingQueueLabel, DISPATCH_QUEUE_CONCURRENT));
    return *queue;
}

const dispatch_group_t& NLURLSessionManager::sharedCompletionGroup() {
    static ProcessLifetime<dispatch_group_t> group(dispatch_group_create());
    return *group;
}

// ---------------------------------------------------------------- settings

std::shared_ptr<NLHTTPResponseSerializer> NLURLSessionManager::responseSerializer() const {
    std::lock_guard guard(settingsMutex_);
    return responseSerializer_;
}

void NLURLSessionManager::setResponseSerializer(std::shared_ptr<NLHTTPResponseSerializer> serializer) {
    if (!serializer) return;
    std::lock_guard guard(settingsMutex_);
    responseSerializer_ = std::move(serializer);
}

std::shared_ptr<NLSecurityPolicy> NLURLSessionManager::securityPolicy() const {
    std::lock_guard guard(settingsMutex_);
    return securityPolicy_;
}

void NLURLSessionManager::setSecurityPolicy(std::shared_ptr<NLSecurityPolicy> policy) {
    std::lock_guard guard(settingsMutex_);
    securityPolicy_ = std::move(policy);
}

std::shared_ptr<NLNetworkReachabilityManager> NLURLSessionManager::reachabilityManager() const {
    std::lock_guard guard(settingsMutex_);
    return reachabilityManager_;
}

void NLURLSessionManager::setReachabilityManager(std::shared_ptr<NLNetworkReachabilityManager> manager) {
    std::lock_guard guard(settingsMutex_);
    reachabilityManager_ = std::move(manager);
}

dispatch_queue_t NLURLSessionManager::completionQueue() const {
    std::lock_guard guard(settingsMutex_);
    return completionQueue_;
}

void NLURLSessionManager::setCompletionQueue(dispatch_queue_t queue) {
    std::lock_guard guard(settingsMutex_);
    completionQueue_ = std::move(queue);
}

dispatch_group_t NLURLSessionManager::completionGroup() const {
    std::lock_guard guard(settingsMutex_);
    return completionGroup_;
}

void NLURLSessionManager::setCompletionGroup(dispatch_group_t group) {
    std::lock_guard guard(settingsMutex_);
    completionGroup_ = std::move(group);
}

// clang-format off
void NLURLSessionManager::setSessionDidBecomeInvalidBlock(SessionDidBecomeInvalidBlock b) { setSlot(&Callbacks::sessionDidBecomeInvalid, std::move(b)); }
void NLURLSessionManager::setSessionDidReceiveAuthenticationChallengeBlock(SessionDidReceiveAuthenticationChallengeBlock b) { setSlot(&Callbacks::sessionDidReceiveAuthenticationChallenge, std::move(b)); }
void NLURLSessionManager::setDidFinishEventsForBackgroundURLSessionBlock(DidFinishEventsForBackgroundURLSessionBlock b) { setSlot(&Callbacks::didFinishEventsForBackgroundURLSession, std::move(b)); }
void NLURLSessionManager::setTaskWillPerformHTTPRedirectionBlock(TaskWillPerformHTTPRedirectionBlock b) { setSlot(&Callbacks::taskWillPerformHTTPRedirection, std::move(b)); }
void NLURLSessionManager::setTaskDidReceiveAuthenticationChallengeBlock(TaskDidReceiveAuthenticationChallengeBlock b) { setSlot(&Callbacks::taskDidReceiveAuthenticationChallenge, std::move(b)); }
void NLURLSessionManager::setTaskNeedNewBodyStreamBlock(TaskNeedNewBodyStreamBlock b) { setSlot(&Callbacks::taskNeedNewBodyStream, std::move(b)); }
void NLURLSessionManager::setTaskDidSendBodyDataBlock(TaskDidSendBodyDataBlock b) { setSlot(&Callbacks::taskDidSendBodyData, std::move(b)); }
void NLURLSessionManager::setTaskDidCompleteBlock(TaskDidCompleteBlock b) { setSlot(&Callbacks::taskDidComplete, std::move(b)); }
void NLURLSessionManager::setDataTaskDidReceiveResponseBlock(DataTaskDidReceiveResponseBlock b) { setSlot(&Callbacks::dataTaskDidReceiveResponse, std::move(b)); }
void NLURLSessionManager::setDataTaskDidBecomeDownloadTaskBlock(DataTaskDidBecomeDownloadTaskBlock b) { setSlot(&Callbacks::dataTaskDidBecomeDownloadTask, std::move(b)); }
void NLURLSessionManager::setDataTaskDidReceiveDataBlock(DataTaskDidReceiveDataBlock b) { setSlot(&Callbacks::dataTaskDidReceiveData, std::move(b)); }
void NLURLSessionManager::setDataTaskWillCacheResponseBlock(DataTaskWillCacheResponseBlock b) { setSlot(&Callbacks::dataTaskWillCacheResponse, std::move(b)); }
void NLURLSessionManager::setDownloadTaskDidFinishDownloadingBlock(DownloadTaskDidFinishDownloadingBlock b) { setSlot(&Callbacks::downloadTaskDidFinishDownloading, std::move(b)); }
void NLURLSessionManager::setDownloadTaskDidWriteDataBlock(DownloadTaskDidWriteDataBlock b) { setSlot(&Callbacks::downloadTaskDidWriteData, std::move(b)); }
void NLURLSessionManager::setDownloadTaskDidResumeBlock(DownloadTaskDidResumeBlock b) { setSlot(&Callbacks::downloadTaskDidResume, std::move(b)); }
// clang-format on

// ---------------------------------------------------------------- the record table

std::shared_ptr<NLURLSessionManagerTaskDelegate> NLURLSessionManager::delegateForTask(const TaskPtr& task) const {
    if (!task) return nullptr;
    std::lock_guard guard(*lock_);
    auto found = mutableTaskDelegatesKeyedByTaskIdentifier_.find(task->taskIdentifier());
    if (found == mutableTaskDelegatesKeyedByTaskIdentifier_.end()) return nullptr;
    // Identifiers are per session: a task of another session may carry the same one.
    return found->second->isRecordOf(task) ? found->second : nullptr;
}

void NLURLSessionManager::setDelegate(const std::shared_ptr<NLURLSessionManagerTaskDelegate>& delegate,
                                      const TaskPtr& task) {
    if (!delegate || !task) return;
    delegate->setTask(task);
    std::lock_guard guard(*lock_);
    mutableTaskDelegatesKeyedByTaskIdentifier_[task->taskIdentifier()] = delegate;
}

void NLURLSessionManager::removeDelegateForTask(const TaskPtr& task) {
    if (!task) return;
    std::lock_guard guard(*lock_);
    auto found = mutableTaskDelegatesKeyedByTaskIdentifier_.find(task->taskIdentifier());
    if (found != mutableTaskDelegatesKeyedByTaskIdentifier_.end() && found->second->isRecordOf(task))
        mutableTaskDelegatesKeyedByTaskIdentifier_.erase(found);
}

void NLURLSessionManager::removeAllDelegates() {
    std::map<unsigned long, std::shared_ptr<NLURLSessionManagerTaskDelegate>> gone;
    {
        std::lock_guard guard(*lock_);
        gone.swap(mutableTaskDelegatesKeyedByTaskIdentifier_);
    }
    // The records (and what their callbacks hold) go outside the lock.
}

std::shared_ptr<NLURLSessionManagerTaskDelegate> NLURLSessionManager::addDelegateForDataTask(
    const TaskPtr& task, NLURLSessionCompletionHandler handler) {
    auto delegate = std::make_shared<NLURLSessionManagerTaskDelegate>(self<NLURLSessionManager>(), task);
    delegate->setCompletionHandler(std::move(handler));
    setDelegate(delegate, task);
    return delegate;
}

void NLURLSessionManager::addDelegateForUploadTask(const UploadTaskPtr& task, std::shared_ptr<NSProgress>* progress,
                                                   NLURLSessionCompletionHandler handler) {
    auto delegate = addDelegateForDataTask(task, std::move(handler));
    const std::int64_t total = NLExpectedBytesToSend(task, task->countOfBytesExpectedToSend());
    delegate->setUploadProgress(NSProgress::progressWithTotalUnitCount(total));
    if (progress) *progress = delegate->uploadProgress();
}

void NLURLSessionManager::addDelegateForDownloadTask(const DownloadTaskPtr& task, std::shared_ptr<NSProgress>* progress,
                                                     DestinationBlock destination,
                                                     NLURLSessionCompletionHandler handler) {
    auto delegate = addDelegateForDataTask(task, std::move(handler));
    if (destination)
        delegate->setDownloadTaskDidFinishDownloading(
            [destination = std::move(destination)](const NSURLSessionPtr&, const DownloadTaskPtr& downloadTask,
                                                   const NSURLPtr& location) {
                return destination(location, downloadTask->response());
            });
    if (progress) *progress = delegate->downloadProgress();
}

std::shared_ptr<NSProgress> NLURLSessionManager::uploadProgressForTask(const TaskPtr& task) const {
    auto delegate = delegateForTask(task);
    return delegate ? delegate->uploadProgress() : nullptr;
}

std::shared_ptr<NSProgress> NLURLSessionManager::downloadProgressForTask(const TaskPtr& task) const {
    auto delegate = delegateForTask(task);
    return delegate ? delegate->downloadProgress() : nullptr;
}

// ---------------------------------------------------------------- making tasks

template <class T>
std::shared_ptr<T> NLURLSessionManager::makeTask(const std::function<std::shared_ptr<T>()>& make) const {
    std::shared_ptr<T> task;
    dispatch_sync(taskCreationQueue(), [&] { task = make(); });
    return task;
}

NLURLSessionManager::DataTaskPtr NLURLSessionManager::dataTaskWithRequest(
    const std::shared_ptr<NSURLRequest>& request, NLURLSessionCompletionHandler completionHandler) {
    auto task = makeTask<NSURLSessionDataTask>([&] { return session_->dataTaskWithRequest(request); });
    if (task) addDelegateForDataTask(task, std::move(completionHandler));
    return task;
}

NLURLSessionManager::UploadTaskPtr NLURLSessionManager::uploadTaskWithRequest(
    const std::shared_ptr<NSURLRequest>& request, const std::string& fromFile, std::shared_ptr<NSProgress>* progress,
    NLURLSessionCompletionHandler completionHandler) {
    auto task = makeTask<NSURLSessionUploadTask>([&] { return session_->uploadTaskWithRequest(request, fromFile); });
    // A background session may refuse a file for a moment: a few more tries.
    if (!task && recreatesUploads_ && sessionConfiguration_->identifier())
        for (int attempt = 0; attempt < 3 && !task; ++attempt) task = session_->uploadTaskWithRequest(request, fromFile);
    if (task) addDelegateForUploadTask(task, progress, std::move(completionHandler));
    return task;
}

NLURLSessionManager::UploadTaskPtr NLURLSessionManager::uploadTaskWithRequest(
    const std::shared_ptr<NSURLRequest>& request, const Data& fromData, std::shared_ptr<NSProgress>* progress,
    NLURLSessionCompletionHandler completionHandler) {
    auto task = makeTask<NSURLSessionUploadTask>([&] { return session_->uploadTaskWithRequest(request, fromData); });
    if (task) addDelegateForUploadTask(task, progress, std::move(completionHandler));
    return task;
}

NLURLSessionManager::UploadTaskPtr NLURLSessionManager::uploadTaskWithStreamedRequest(
    const std::shared_ptr<NSURLRequest>& request, std::shared_ptr<NSProgress>* progress,
    NLURLSessionCompletionHandler completionHandler) {
    auto task = makeTask<NSURLSessionUploadTask>([&] { return session_->uploadTaskWithStreamedRequest(request); });
    if (task) addDelegateForUploadTask(task, progress, std::move(completionHandler));
    return task;
}

NLURLSessionManager::DownloadTaskPtr NLURLSessionManager::downloadTaskWithRequest(
    const std::shared_ptr<NSURLRequest>& request, std::shared_ptr<NSProgress>* progress, DestinationBlock destination,
    NLURLSessionCompletionHandler completionHandler) {
    auto task = makeTask<NSURLSessionDownloadTask>([&] { return session_->downloadTaskWithRequest(request); });
    if (task) addDelegateForDownloadTask(task, progress, std::move(destination), std::move(completionHandler));
    return task;
}

NLURLSessionManager::DownloadTaskPtr NLURLSessionManager::downloadTaskWithResumeData(
    const Data& resumeData, std::shared_ptr<NSProgress>* progress, DestinationBlock destination,
    NLURLSessionCompletionHandler completionHandler) {
    auto task = makeTask<NSURLSessionDownloadTask>([&] { return session_->downloadTaskWithResumeData(resumeData); });
    if (task) addDelegateForDownloadTask(task, progress, std::move(destination), std::move(completionHandler));
    return task;
}

// ---------------------------------------------------------------- task lists, invalidation

std::vector<NLURLSessionManager::TaskPtr> NLURLSessionManager::tasks() const {
    const auto lists = session_->tasks();
    std::vector<TaskPtr> all;
    all.reserve(lists.dataTasks.size() + lists.uploadTasks.size() + lists.downloadTasks.size());
    all.insert(all.end(), lists.dataTasks.begin(), lists.dataTasks.end());
    all.insert(all.end(), lists.uploadTasks.begin(), lists.uploadTasks.end());
    all.insert(all.end(), lists.downloadTasks.begin(), lists.downloadTasks.end());
    return all;
}

std::vector<NLURLSessionManager::DataTaskPtr> NLURLSessionManager::dataTasks() const {
    return session_->tasks().dataTasks;
}

std::vector<NLURLSessionManager::UploadTaskPtr> NLURLSessionManager::uploadTasks() const {
    return session_->tasks().uploadTasks;
}

std::vector<NLURLSessionManager::DownloadTaskPtr> NLURLSessionManager::downloadTasks() const {
    return session_->tasks().downloadTasks;
}

void NLURLSessionManager::invalidateSessionCancelingTasks(bool cancelPendingTasks) {
    dispatch_async(dispatch_get_main_queue(), [session = session_, cancelPendingTasks] {
        if (cancelPendingTasks) session->invalidateAndCancel();
        else session->finishTasksAndInvalidate();
    });
}

// ---------------------------------------------------------------- description, archiving, copying

std::string NLURLSessionManager::description() const {
    auto self = std::const_pointer_cast<NSObject>(weak_from_this().lock());
    return format("<%@: %p, session: %@, operationQueue: %@>", className(), self, session_, operationQueue_);
}

Value NLURLSessionManager::encodeWithCoder() const {
    Value archive = Value::dictionary();
    archive.setObject("$class", className());
    archive.setObject("sessionConfiguration", session_->configuration()->encodeWithCoder());
    return archive;
}

std::shared_ptr<NLURLSessionManager> NLURLSessionManager::initWithCoder(const Value& archive) {
    auto configuration = NSURLSessionConfiguration::initWithCoder(archive["sessionConfiguration"]);
    if (!configuration) return nullptr;
    return initWithSessionConfiguration(std::move(configuration));
}

std::shared_ptr<NLURLSessionManager> NLURLSessionManager::copy() const {
    return initWithSessionConfiguration(session_->configuration());
}
