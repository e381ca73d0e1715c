#include "core/DownloadManager.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/AppDelegate.h"
#include "networking/FDFileDownloadManager.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UIWindow.h"

namespace {

constexpr std::size_t kDownloadsTabIndex = 3;
constexpr const char* kFinishedSuffix = ".mp4";

std::shared_ptr<NSManagedObjectContext> applicationContext() {
    auto delegate = AppDelegate::shared();
    return delegate ? delegate->managedObjectContext() : nullptr;
}

// Saves the records; a failure is logged and answered false, the download goes on.
[[nodiscard]] bool saveRecords(const std::shared_ptr<NSManagedObjectContext>& context) {
    if (!context) return false;
    NSErrorPtr error;
    if (context->save(&error)) return true;
    NSLog("The download record could not be saved: %@", error ? error->localizedDescription() : "");
    return false;
}

std::uint64_t sizeOfFile(const std::string& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

DownloadManager::DownloadManager() : DownloadManager(applicationContext()) {}

DownloadManager::DownloadManager(std::shared_ptr<NSManagedObjectContext> context)
    : managedObjectContext_(std::move(context)) {
    MoviesDownloadModel::registerClass();
}

std::shared_ptr<DownloadManager> DownloadManager::downloadManager() {
    QV_ASSERT_MAIN_THREAD();
    // One per application delegate, kept on it: the manager works on that
    // delegate's store and window (a test that installs a new delegate gets a
    // manager of its own). Without a delegate, one for the process.
    static const char kManagerKey = 0;
    auto delegate = AppDelegate::shared();
    if (!delegate) {
        static ProcessLifetime<std::shared_ptr<DownloadManager>> detached(std::make_shared<DownloadManager>(nullptr));
        return *detached;
    }
    auto manager = delegate->associated<DownloadManager>(&kManagerKey);
    if (!manager) {
        manager = std::make_shared<DownloadManager>(delegate->managedObjectContext());
        delegate->setAssociatedObject(&kManagerKey, manager);
    }
    return manager;
}

std::string DownloadManager::documentsDirectory() {
    auto paths = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return paths.empty() ? NSTemporaryDirectory() : paths.front();
}

// ------------------------------------------------------------------ queueing

std::shared_ptr<FDFileDownloader> DownloadManager::makeDownloader(const NSURLPtr& url, const std::string& fileName) {
    auto download = FDFileDownloader::initWithURL(url, documentsDirectory(), self<DownloadManager>());
    download->setFileName(fileName);
    return download;
}

std::string DownloadManager::uniqueFileName(const std::string& title) const {
    std::string base = FDFileDownloader::safeFileName(title);
    std::string documents = documentsDirectory();
    auto manager = NSFileManager::defaultManager();
    for (int n = 1;; ++n) {
        std::string candidate = n == 1 ? base : base + " (" + std::to_string(n) + ")";
        std::string partial = stringByAppendingPathComponent(documents, candidate);
        std::string finished = partial + kFinishedSuffix;
        bool taken = manager->fileExistsAtPath(partial) || manager->fileExistsAtPath(finished);
        taken = taken || std::any_of(moviesDownloading_.begin(), moviesDownloading_.end(),
                                     [&](const auto& d) { return d->fileName() == candidate; });
        if (!taken && managedObjectContext_) {
            auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesDownloadModel");
            request->setPredicate(NSPredicate::predicateWithFormat("linkLocal == %@", {Value(finished)}));
            NSErrorPtr error;
            taken = !managedObjectContext_->executeFetchRequest(request, &error).empty();
        }
        if (!taken) return candidate;
    }
}

std::shared_ptr<FDFileDownloader> DownloadManager::startDownloadMovies(const Value& chapter) {
    QV_ASSERT_MAIN_THREAD();
    Value link = chapter["link"];
    Value title = chapter["title"];
    if (!link.isString() || !title.isString()) {
        NSLog("Download refused: the chapter has no link or no title");
        return nullptr;
    }
    auto url = NSURL::URLWithString(link.stringValue());
    if (!url) {
        NSLog("Download refused: %@ is not a URL", link.stringValue());
        return nullptr;
    }
    std::string fileName = uniqueFileName(title.stringValue());
    auto download = makeDownloader(url, fileName);
    if (!moviesDownloading_.empty()) download->addDependentDownload(moviesDownloading_.back());
    FDFileDownloadManager::sharedInstance()->startDownload(download);
    moviesDownloading_.push_back(download);
    addMoviesDownloading(download, chapter,
                         stringByAppendingPathComponent(documentsDirectory(), fileName) + kFinishedSuffix);
    post(kStartDownloadMovieNotification, download);
    return download;
}

bool DownloadManager::addMoviesDownloading(const std::shared_ptr<FDFileDownloader>& download, const Value& chapter,
                                           const std::string& linkLocal) {
    QV_ASSERT_MAIN_THREAD();
    if (!managedObjectContext_) return false;
    auto object = NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", managedObjectContext_);
    auto model = std::dynamic_pointer_cast<MoviesDownloadModel>(object);
    if (!model) return false;
    model->setTitle(chapter["title"].stringValue());
    model->setLinkUrl(chapter["link"].stringValue());
    model->setPercentDownload(0);
    model->setByteDownloading(0);
    model->setByteDownload(1);
    model->setIsDownload(false);
    model->setLinkLocal(linkLocal);
    // Unsaved, the record stays out of the index: its progress changes nothing stored.
    if (!saveRecords(managedObjectContext_)) return false;
    changeBadge(+1);
    track(download, model, 0);
    return true;
}

// ------------------------------------------------------------------ records

void DownloadManager::track(const std::shared_ptr<FDFileDownloader>& download,
                            std::shared_ptr<MoviesDownloadModel> model, int savedBand) {
    tracked_[download] = Tracked{std::move(model), savedBand};
}

std::shared_ptr<MoviesDownloadModel> DownloadManager::recordOfDownload(
    const std::shared_ptr<FDFileDownloader>& download) const {
    auto it = tracked_.find(download);
    return it == tracked_.end() ? nullptr : it->second.model;
}

std::shared_ptr<MoviesDownloadModel> DownloadManager::getMoviesModelByLink(const std::string& key) const {
    for (const auto& download : moviesDownloading_)
        if (auto model = recordOfDownload(download); model && getDownloadURL(download) == key) return model;
    return nullptr;
}

std::vector<std::shared_ptr<MoviesDownloadModel>> DownloadManager::getListMoviesModel() const {
    std::vector<std::shared_ptr<MoviesDownloadModel>> out;
    for (const auto& download : moviesDownloading_)
        if (auto model = recordOfDownload(download)) out.push_back(model);
    return out;
}

void DownloadManager::newProgressForDownload(const std::shared_ptr<FDFileDownloader>& download) {
    QV_ASSERT_MAIN_THREAD();
    auto it = tracked_.find(download);
    if (it == tracked_.end() || !it->second.model) return;
    const auto& model = it->second.model;
    std::int64_t total = download->totalFileLength();
    if (total < 0) return;  // unknown length: the percentage stays as it was
    double onDisk = static_cast<double>(download->totalBytesInFile());
    float percent = total == 0 ? 0.0f : static_cast<float>(onDisk / static_cast<double>(total) * 100.0);
    model->setPercentDownload(percent);
    // Saved when the percentage enters a new 5 % band.
    int band = static_cast<int>(std::floor(percent / 5.0f));
    if (band > it->second.savedBand) {
        it->second.savedBand = band;
        // A failed save is logged; the percentage stays in memory for the next band's save.
        (void)saveRecords(managedObjectContext_);
    }
}

void DownloadManager::updateMovieDownloading(const std::shared_ptr<FDFileDownloader>& download,
                                             const std::shared_ptr<MoviesDownloadModel>& model) {
    QV_ASSERT_MAIN_THREAD();
    if (!model) return;
    const bool saved = saveRecords(managedObjectContext_);
    if (model->isDownload()) {
        // Unsaved, the stored record still counts as running, and so does the badge.
        if (saved) changeBadge(-1);
        untrack(download);
        removeFromList(download);
    }
}

// ------------------------------------------------------------------ events

void DownloadManager::downloadDidReceiveFirstResponse(const std::shared_ptr<FDFileDownloader>& download,
                                                      const std::shared_ptr<NSURLResponse>&) {
    QV_ASSERT_MAIN_THREAD();
    if (!indexOf(download)) return;
    auto model = recordOfDownload(download);
    if (!model) return;
    // The bytes this transfer continues from (0 when it had to start over).
    model->setByteDownloading(static_cast<float>(download->resumeOffset()));
}

void DownloadManager::downloadDidReceiveData(const std::shared_ptr<FDFileDownloader>& download, std::uint64_t,
                                             std::int64_t, float) {
    QV_ASSERT_MAIN_THREAD();
    if (!indexOf(download)) return;
    newProgressForDownload(download);
    post(kUpdateStatusDownloadMovieNotification, download);
}

void DownloadManager::downloadDidStopWithError(const std::shared_ptr<FDFileDownloader>& download, const NSErrorPtr&) {
    QV_ASSERT_MAIN_THREAD();
    if (!indexOf(download)) return;
    post(kStopDownloadMovieNotification, download);
}

void DownloadManager::downloadDidFinishWithSuccess(const std::shared_ptr<FDFileDownloader>& download, bool success,
                                                   const std::optional<std::string>&) {
    QV_ASSERT_MAIN_THREAD();
    // A replaced or removed downloader is no longer ours.
    if (!indexOf(download)) return;
    if (success)
        finalise(download);
    else
        post(kStopDownloadMovieNotification, download);
}

void DownloadManager::finalise(const std::shared_ptr<FDFileDownloader>& download) {
    std::string partial = download->pathToFile();
    std::string finished = partial + kFinishedSuffix;
    // Same folder, same file system: a rename, never a copy.
    std::error_code ec;
    std::filesystem::rename(partial, finished, ec);
    if (ec) {
        NSLog("The finished download %@ could not be renamed: %@", partial, ec.message());
        post(kStopDownloadMovieNotification, download);
        return;
    }
    auto model = recordOfDownload(download);
    if (model) {
        model->setIsDownload(true);
        model->setPercentDownload(100);
        model->setLinkLocal(finished);
        updateMovieDownloading(download, model);
    } else {
        removeFromList(download);
    }
    post(kFinishDownloadMovieNotification, download);
}

// ------------------------------------------------------------------ remove and resume

void DownloadManager::deleteMovieDownloading(const std::shared_ptr<FDFileDownloader>& download) {
    QV_ASSERT_MAIN_THREAD();
    auto index = indexOf(download);
    if (!index) return;
    auto model = recordOfDownload(download);
    if (model) {
        if (auto context = model->managedObjectContext()) {
            context->deleteObject(model);
            // The removal goes on after a failed save (logged): the user asked for it.
            (void)saveRecords(context);
        }
        changeBadge(-1);
    }
    download->cancelDownloadAndRemoveFile(true);
    untrack(download);
    removeFromList(download);
    post(kRemoveDownloadingMovieNotification, download);
}

std::shared_ptr<FDFileDownloader> DownloadManager::resumeMovieDownloading(const std::shared_ptr<FDFileDownloader>& old) {
    QV_ASSERT_MAIN_THREAD();
    auto index = indexOf(old);
    if (!index) return nullptr;
    auto state = old->state();
    if (state != FDFileDownloaderStateCancelled && state != FDFileDownloaderStateFailed) return nullptr;
    auto key = getDownloadURL(old);
    auto url = key ? NSURL::URLWithString(*key) : nullptr;
    if (!url) return nullptr;

    auto model = recordOfDownload(old);
    std::uint64_t onDisk = sizeOfFile(old->pathToFile());
    if (model && onDisk > 0) {
        model->setByteDownloading(static_cast<float>(onDisk));
        // Logged when it fails; the new transfer still continues from the partial file.
        (void)saveRecords(managedObjectContext_);
    }
    auto fresh = makeDownloader(url, old->fileName());
    // Starts only once the old transfer has closed the file.
    fresh->addDependentDownload(old);
    std::size_t i = *index;
    if (i + 1 < moviesDownloading_.size()) {
        // The new dependency first: between the two the follower must not look ready.
        moviesDownloading_[i + 1]->addDependentDownload(fresh);
        moviesDownloading_[i + 1]->removeDependency(old);
    }
    old->cancelDownloadAndRemoveFile(false);
    // The record follows the download to its new downloader.
    if (auto it = tracked_.find(old); it != tracked_.end()) {
        track(fresh, it->second.model, it->second.savedBand);
        untrack(old);
    }
    moviesDownloading_[i] = fresh;
    FDFileDownloadManager::sharedInstance()->startDownload(fresh);
    post(kResumeDownloadingMovieNotification, fresh);
    return fresh;
}

void DownloadManager::resumeDownloads() {
    QV_ASSERT_MAIN_THREAD();
    if (!managedObjectContext_) return;
    auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesDownloadModel");
    request->setPredicate(NSPredicate::predicateWithFormat("isDownload == %@", {Value(false)}));
    NSErrorPtr error;
    auto records = managedObjectContext_->executeFetchRequest(request, &error);
    std::string documents = documentsDirectory();
    for (const auto& object : records) {
        auto model = std::dynamic_pointer_cast<MoviesDownloadModel>(object);
        if (!model) continue;
        auto url = NSURL::URLWithString(model->linkUrl());
        // A record whose download is listed already runs.
        const bool listed = std::any_of(tracked_.begin(), tracked_.end(),
                                        [&](const auto& entry) { return entry.second.model == model; });
        if (!url || listed) continue;
        // The partial file is the finished name without its suffix, in the documents.
        std::string finished = lastPathComponent(model->linkLocal());
        std::string suffix = kFinishedSuffix;
        if (finished.size() <= suffix.size() || finished.compare(finished.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::string fileName = FDFileDownloader::safeFileName(finished.substr(0, finished.size() - suffix.size()));
        auto download = makeDownloader(url, fileName);
        if (!moviesDownloading_.empty()) download->addDependentDownload(moviesDownloading_.back());
        model->setByteDownloading(static_cast<float>(sizeOfFile(download->pathToFile())));
        moviesDownloading_.push_back(download);
        track(download, model, static_cast<int>(std::floor(model->percentDownload() / 5.0f)));
        changeBadge(+1);
        FDFileDownloadManager::sharedInstance()->startDownload(download);
        post(kResumeDownloadingMovieNotification, download);
    }
    // Logged when it fails; the downloads run with their offsets in memory.
    (void)saveRecords(managedObjectContext_);
}

// ------------------------------------------------------------------ helpers

std::optional<std::size_t> DownloadManager::indexOf(const std::shared_ptr<FDFileDownloader>& download) const {
    auto it = std::find(moviesDownloading_.begin(), moviesDownloading_.end(), download);
    if (it == moviesDownloading_.end()) return std::nullopt;
    return static_cast<std::size_t>(it - moviesDownloading_.begin());
}

void DownloadManager::removeFromList(const std::shared_ptr<FDFileDownloader>& download) {
    auto index = indexOf(download);
    if (!index) return;
    std::size_t i = *index;
    // The one after it now waits for the one before it, keeping the chain.
    if (i + 1 < moviesDownloading_.size()) {
        auto& next = moviesDownloading_[i + 1];
        if (i > 0) next->addDependentDownload(moviesDownloading_[i - 1]);
        next->removeDependency(download);
    }
    moviesDownloading_.erase(moviesDownloading_.begin() + static_cast<long>(i));
}

void DownloadManager::changeBadge(int delta) {
    auto delegate = AppDelegate::shared();
    auto window = delegate ? delegate->window() : nullptr;
    auto tabBarController =
        window ? std::dynamic_pointer_cast<UITabBarController>(window->rootViewController()) : nullptr;
    if (!tabBarController || !tabBarController->tabBar()) return;
    const auto& items = tabBarController->tabBar()->items();
    if (items.size() <= kDownloadsTabIndex) return;
    auto item = items[kDownloadsTabIndex];
    int count = item->badgeValue() ? std::atoi(item->badgeValue()->c_str()) : 0;
    count = std::max(0, count + delta);
    if (count == 0)
        item->setBadgeValue(std::nullopt);
    else
        item->setBadgeValue(format("%d", count));
}

void DownloadManager::post(const char* name, const std::shared_ptr<FDFileDownloader>& download) {
    NSNotificationCenter::defaultCenter()->postNotificationName(name, download);
}
