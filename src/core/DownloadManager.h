#pragma once
// The application's video downloads: one after another, each with its stored
// record, the downloads tab's badge and six notifications for the screens.
//
// A download is queued with a chapter ({"link", "title"}); it waits for the
// download queued before it, writes a partial file in the documents directory
// and, when it has finished (the transfer ended normally and the file holds the
// whole announced length), the partial file is renamed to "<name>.mp4" and its
// record marked. Names come from the chapter's title made safe as one file name
// and unique among the documents and the running downloads.
//
// A record save that fails is logged and the download goes on. A record that could
// not be saved when queued stays out of the index; a download finalised while its
// record cannot be saved leaves the list, but the stored record still reads as
// unfinished, so the badge keeps counting it.
//
// Everything here runs on the main thread (asserted in debug builds); the
// downloader's events arrive there.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/FDFileDownloaderCustom.h"
#include "core/MoviesDownloadModel.h"
#include "networking/FDFileDownloader.h"
#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

inline constexpr const char* kStartDownloadMovieNotification = "kStartDownloadMovieNotification";
inline constexpr const char* kUpdateStatusDownloadMovieNotification = "kUpdateStatusDownloadMovieNotification";
inline constexpr const char* kStopDownloadMovieNotification = "kStopDownloadMovieNotification";
inline constexpr const char* kFinishDownloadMovieNotification = "kFinishDownloadMovieNotification";
inline constexpr const char* kRemoveDownloadingMovieNotification = "kRemoveDownloadingMovieNotification";
inline constexpr const char* kResumeDownloadingMovieNotification = "kResumeDownloadingMovieNotification";

class DownloadManager : public NSObject, public FDFileDownloaderDelegate {
public:
    // Takes the application delegate's object-store context.
    DownloadManager();
    explicit DownloadManager(std::shared_ptr<NSManagedObjectContext> context);

    // The application's instance: one per application delegate, on its store
    // (a detached one without a store when there is no delegate). Main thread.
    static std::shared_ptr<DownloadManager> downloadManager();

    // Queues the chapter ("link" and "title", both strings). Returns the new
    // downloader, or null when the chapter has no loadable link.
    std::shared_ptr<FDFileDownloader> startDownloadMovies(const Value& chapter);
    // Removes an unfinished download, its record and its partial file.
    void deleteMovieDownloading(const std::shared_ptr<FDFileDownloader>& download);
    // Restarts a stopped download (cancelled or failed) with a new downloader in
    // its place, continuing its partial file. Returns the new downloader; null
    // (nothing changes) for a download that is not listed or not stopped.
    std::shared_ptr<FDFileDownloader> resumeMovieDownloading(const std::shared_ptr<FDFileDownloader>& download);
    // Queues again the unfinished downloads of the stored records that are not
    // listed (after the application was restarted), each continuing its partial file.
    void resumeDownloads();

    // The downloads queued and neither finished nor removed, oldest first.
    const std::vector<std::shared_ptr<FDFileDownloader>>& getListDownloading() const { return moviesDownloading_; }
    // The record of a download by its key (getDownloadURL): that of the oldest
    // listed download of the URL; null when none. Two downloads of one chapter
    // share the key, so the screens ask by download (recordOfDownload).
    std::shared_ptr<MoviesDownloadModel> getMoviesModelByLink(const std::string& key) const;
    // The record of this very download; null when it has none.
    std::shared_ptr<MoviesDownloadModel> recordOfDownload(const std::shared_ptr<FDFileDownloader>& download) const;
    // The records of the listed downloads, oldest first.
    std::vector<std::shared_ptr<MoviesDownloadModel>> getListMoviesModel() const;
    const std::shared_ptr<NSManagedObjectContext>& managedObjectContext() const { return managedObjectContext_; }

    // Steps.
    bool addMoviesDownloading(const std::shared_ptr<FDFileDownloader>& download, const Value& chapter,
                              const std::string& linkLocal);
    void updateMovieDownloading(const std::shared_ptr<FDFileDownloader>& download,
                                const std::shared_ptr<MoviesDownloadModel>& model);
    void newProgressForDownload(const std::shared_ptr<FDFileDownloader>& download);

    // FDFileDownloaderDelegate.
    void downloadDidReceiveFirstResponse(const std::shared_ptr<FDFileDownloader>& download,
                                         const std::shared_ptr<NSURLResponse>& response) override;
    void downloadDidReceiveData(const std::shared_ptr<FDFileDownloader>& download, std::uint64_t received,
                                std::int64_t total, float progress) override;
    void downloadDidStopWithError(const std::shared_ptr<FDFileDownloader>& download, const NSErrorPtr& error) override;
    void downloadDidFinishWithSuccess(const std::shared_ptr<FDFileDownloader>& download, bool success,
                                      const std::optional<std::string>& path) override;

    // The documents directory downloads are written to.
    static std::string documentsDirectory();

private:
    std::shared_ptr<FDFileDownloader> makeDownloader(const NSURLPtr& url, const std::string& fileName);
    std::optional<std::size_t> indexOf(const std::shared_ptr<FDFileDownloader>& download) const;
    std::string uniqueFileName(const std::string& title) const;
    void finalise(const std::shared_ptr<FDFileDownloader>& download);
    void removeFromList(const std::shared_ptr<FDFileDownloader>& download);
    void changeBadge(int delta);
    void post(const char* name, const std::shared_ptr<FDFileDownloader>& download);

    // Each download's own record: keyed by the downloader, not by its URL, since
    // several downloads of one chapter may be listed at once.
    struct Tracked {
        std::shared_ptr<MoviesDownloadModel> model;
        int savedBand = 0;  // the 5 % band last saved
    };
    void track(const std::shared_ptr<FDFileDownloader>& download, std::shared_ptr<MoviesDownloadModel> model,
               int savedBand);
    void untrack(const std::shared_ptr<FDFileDownloader>& download) { tracked_.erase(download); }

    std::vector<std::shared_ptr<FDFileDownloader>> moviesDownloading_;
    std::map<std::shared_ptr<FDFileDownloader>, Tracked> tracked_;
    std::shared_ptr<NSManagedObjectContext> managedObjectContext_;
};
