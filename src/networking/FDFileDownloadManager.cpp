#include "networking/FDFileDownloadManager.h"

#include "networking/FDFileManagerExtension.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"

FDFileDownloadManager::FDFileDownloadManager()
    : defaultDownloadPath_(NSTemporaryDirectory()), operationQueue_(std::make_shared<NSOperationQueue>()) {
    operationQueue_->setName("com.morvistalen.fdfiledownload.queue");
}

std::shared_ptr<FDFileDownloadManager> FDFileDownloadManager::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<FDFileDownloadManager>> instance(std::make_shared<FDFileDownloadManager>());
    return *instance;
}

std::shared_ptr<FDFileDownloader> FDFileDownloadManager::startDownloadWithURL(
    const NSURLPtr& url, const std::optional<std::string>& customPath,
    const std::shared_ptr<FDFileDownloaderDelegate>& delegate) {
    std::string path = customPath && !customPath->empty() ? *customPath : defaultDownloadPath();
    auto download = FDFileDownloader::initWithURL(url, path, delegate);
    startDownload(download);
    return download;
}

std::shared_ptr<FDFileDownloader> FDFileDownloadManager::startDownloadWithURL(
    const NSURLPtr& url, const std::optional<std::string>& customPath, FDFileDownloader::FirstResponseBlock firstResponse,
    FDFileDownloader::ProgressBlock progress, FDFileDownloader::ErrorBlock error,
    FDFileDownloader::CompleteBlock complete) {
    std::string path = customPath && !customPath->empty() ? *customPath : defaultDownloadPath();
    auto download = FDFileDownloader::initWithURL(url, path, std::move(firstResponse), std::move(progress),
                                                  std::move(error), std::move(complete));
    startDownload(download);
    return download;
}

void FDFileDownloadManager::startDownload(const std::shared_ptr<FDFileDownloader>& download) {
    if (!download) return;
    if (download->pathToDownloadDirectory().empty()) download->setPathToDownloadDirectory(defaultDownloadPath());
    operationQueue_->addOperation(download);
}

void FDFileDownloadManager::cancelAllDownloadsAndRemoveFiles(bool removeFiles) {
    for (const auto& op : operationQueue_->operations())
        if (auto download = std::dynamic_pointer_cast<FDFileDownloader>(op)) download->cancelDownloadAndRemoveFile(removeFiles);
}

std::string FDFileDownloadManager::defaultDownloadPath() const {
    std::lock_guard lock(mutex_);
    return defaultDownloadPath_;
}

void FDFileDownloadManager::setDefaultDownloadPath(const std::string& path) {
    NSErrorPtr error;
    if (NSFileManagerFDFileDownload::createDirFromPath(path, &error)) {
        std::lock_guard lock(mutex_);
        defaultDownloadPath_ = path;
        return;
    }
    if (error) NSLog("Error while setting default download path: %@", error->localizedDescription());
}

void FDFileDownloadManager::setMaxConcurrentDownloads(std::int64_t count) {
    operationQueue_->setMaxConcurrentOperationCount(static_cast<long>(count));
}

std::uint64_t FDFileDownloadManager::downloadCount() const { return operationQueue_->operationCount(); }
