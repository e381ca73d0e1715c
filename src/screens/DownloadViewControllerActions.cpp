// What the downloads screen does with a chosen download: plays or removes a
// finished one, removes or resumes a running one.
#include <filesystem>
#include <system_error>

#include "core/DownloadManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "screens/DownloadViewController.h"
#include "screens/ScreenStyle.h"

namespace {

constexpr const char* kFinishedSuffix = ".mp4";

// Whether `path` names something inside `folder` (links resolved on both sides).
bool isInside(const std::string& path, const std::string& folder) {
    std::error_code error;
    const auto base = std::filesystem::weakly_canonical(folder, error);
    if (error) return false;
    const auto target = std::filesystem::weakly_canonical(path, error);
    if (error) return false;
    const auto relative = target.lexically_relative(base);
    if (relative.empty() || relative == ".") return false;
    return *relative.begin() != "..";
}

}  // namespace

std::optional<std::string> DownloadViewController::finishedFilePath(const MoviesDownloadModel& record) {
    const std::string documents = DownloadManager::documentsDirectory();
    std::string path = record.linkLocal();
    if (path.empty())
        path = stringByAppendingPathComponent(documents, FDFileDownloader::safeFileName(record.title()) + kFinishedSuffix);
    if (!isInside(path, documents)) {
        NSLog("The file %@ of a finished download is outside the documents; it is left alone", path);
        return std::nullopt;
    }
    return path;
}

// ------------------------------------------------------------------ playing

void DownloadViewController::playFinishedDownload(const std::shared_ptr<MoviesDownloadModel>& record) {
    QV_ASSERT_MAIN_THREAD();
    auto path = finishedFilePath(*record);
    auto url = path ? NSURL::fileURLWithPath(*path, false) : nullptr;
    auto player = url ? MPMoviePlayerViewController::initWithContentURL(url->absoluteString()) : nullptr;
    if (!player) return;
    // The screen dismisses its player itself, once: the player's own dismissal is off.
    player->setDismissesItselfWhenPlaybackFinishes(false);
    presentMoviePlayerViewControllerAnimated(*this, player);
    moviePlayer_ = player;
    auto moviePlayer = player->moviePlayer();
    moviePlayer->setMovieSourceType(MPMovieSourceTypeFile);
    if (moviePlayer->respondsToSetAllowsAirPlay()) moviePlayer->setAllowsAirPlay(true);
    NSNotificationCenter::defaultCenter()->addObserver(
        self<NSObject>(), [this](const NSNotification& n) { moviePlayerDidFinish(n); },
        MPMoviePlayerPlaybackDidFinishNotification, moviePlayer);
    moviePlayer->play();
}

void DownloadViewController::moviePlayerDidFinish(const NSNotification& notification) {
    NSNotificationCenter::defaultCenter()->removeObserver(this, MPMoviePlayerPlaybackDidFinishNotification,
                                                          notification.object().get());
    auto player = moviePlayer_.lock();
    if (!player || notification.object() != player->moviePlayer()) return;
    moviePlayer_.reset();
    dismissMoviePlayerViewControllerAnimated(*this);
}

// ------------------------------------------------------------------ sheets

void DownloadViewController::clickedButtonAtIndex(UIActionSheet& actionSheet, long buttonIndex) {
    QV_ASSERT_MAIN_THREAD();
    const std::string button = actionSheet.buttonTitleAtIndex(buttonIndex);
    if (dialog_.get() == &actionSheet) dialog_.reset();
    if (button == "Cancel") return;
    if (actionSheet.tag() == kDownloadFinishedSheetTag) {
        if (button == "Remove" && movieSelect_) removeFinishedDownload(movieSelect_);
        return;
    }
    if (actionSheet.tag() != kDownloadRunningSheetTag || !downloaderSelect_) return;
    // Carried out even when the screen has gone by then: the block holds the
    // download and its manager, not the screen.
    auto download = downloaderSelect_;
    auto manager = DownloadManager::downloadManager();
    if (button == "Remove") runAfterHalfSecond([manager, download] { manager->deleteMovieDownloading(download); });
    else if (button == "Resume")
        runAfterHalfSecond([manager, download] { (void)manager->resumeMovieDownloading(download); });
}

void DownloadViewController::removeFinishedDownload(const std::shared_ptr<MoviesDownloadModel>& record) {
    auto context = record->managedObjectContext();
    if (!context) return;
    const auto path = finishedFilePath(*record);
    context->deleteObject(record);
    NSErrorPtr error;
    if (!context->save(&error)) {
        // Only this delete is taken back: other pending changes of the shared
        // context (the download manager's) stay as they are.
        context->insertObject(record);
        NSLog("The finished download could not be removed: %@", error ? error->localizedDescription() : "");
        showFailureAlert("Failed to remove this movie. Please retry again.");
        return;
    }
    std::erase(moviesDownload_, record);
    if (auto table = downloadTable.lock()) table->reloadData();
    std::error_code ignored;  // a file that is gone or cannot be deleted is left as it is
    if (path) std::filesystem::remove(*path, ignored);
}
