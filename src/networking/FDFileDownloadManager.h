#pragma once
// The process-wide owner of the queue that runs file downloads and of the
// default download directory.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "networking/FDFileDownloader.h"
#include "platform/dispatch/NSOperation.h"

class FDFileDownloadManager : public NSObject {
public:
    FDFileDownloadManager();
    static std::shared_ptr<FDFileDownloadManager> sharedInstance();

    // A downloader into `customPath` (the default path when none or empty), queued.
    std::shared_ptr<FDFileDownloader> startDownloadWithURL(const NSURLPtr& url,
                                                           const std::optional<std::string>& customPath,
                                                           const std::shared_ptr<FDFileDownloaderDelegate>& delegate);
    std::shared_ptr<FDFileDownloader> startDownloadWithURL(const NSURLPtr& url,
                                                           const std::optional<std::string>& customPath,
                                                           FDFileDownloader::FirstResponseBlock firstResponse,
                                                           FDFileDownloader::ProgressBlock progress,
                                                           FDFileDownloader::ErrorBlock error,
                                                           FDFileDownloader::CompleteBlock complete);
    // Gives the downloader the default directory when it has none, then queues it.
    void startDownload(const std::shared_ptr<FDFileDownloader>& download);
    void cancelAllDownloadsAndRemoveFiles(bool removeFiles);

    std::string defaultDownloadPath() const;
    // Creates the directory; keeps the new path only when that succeeded.
    void setDefaultDownloadPath(const std::string& path);
    void setMaxConcurrentDownloads(std::int64_t count);
    std::uint64_t downloadCount() const;
    const std::shared_ptr<NSOperationQueue>& operationQueue() const { return operationQueue_; }

private:
    mutable std::mutex mutex_;
    std::string defaultDownloadPath_;
    std::shared_ptr<NSOperationQueue> operationQueue_;
};
