#pragma once
// The downloads tab: a segmented control over two tables, the finished
// downloads (segment 0, records of the object store) and the downloads queued
// or running (segment 1, the download manager's list).
//
// A tap on a finished download plays its file in the screen's own full-screen
// player; a long press (1.2 s, acted on when it begins) offers to remove the
// record and the file (sheet tag 10). A tap on a running download offers to
// remove it, and for a stopped one (cancelled or failed) to resume it (sheet tag
// 20); the choice is carried out 0.5 s later through the download manager, even
// when the screen has gone by then. Each running row shows the status line
// "%i%% • %lis left • State: %@", kept current by the manager's notifications,
// which the screen observes while it is visible.
//
// The file of a finished download is the record's `linkLocal` (the manager
// names files uniquely, "Title (2).mp4"); a record without one falls back to the
// name the manager would give the title. A path outside the documents directory
// is never played or deleted.
//
// Main thread only; the table, sheet and notification callbacks arrive there.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/requests/AKBannerView.h"
#include "core/MoviesDownloadModel.h"
#include "networking/FDFileDownloader.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITableView.h"
#include "screens/MyViewController.h"

class MPMoviePlayerViewController;

inline constexpr long kDownloadFinishedSheetTag = 10;
inline constexpr long kDownloadRunningSheetTag = 20;
inline constexpr const char* kMovieDownloadCellIdentifier = "MovieDownloadCellIdentifier";

class DownloadViewController : public MyViewController,
                               public UIActionSheetDelegate,
                               public UITableViewDataSource,
                               public UITableViewDelegate,
                               public AKBannerViewDelegate {
public:
    // Interface elements of the scene, not owned.
    std::weak_ptr<AKBannerView> bannerView;
    std::weak_ptr<UISegmentedControl> actionSegment;
    std::weak_ptr<UIView> contentView;
    std::weak_ptr<UITableView> downloadTable;
    std::weak_ptr<UITableView> downloadingTable;

    // Life cycle.
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void didReceiveMemoryWarning() override;

    // Own operations.
    void configurationView();
    void refreshMoviesDownloading();
    void refreshMoviesDownloads();
    void updateTableViewCellAtDownload(const std::shared_ptr<FDFileDownloader>& download);
    std::string subtitleForDownload(const std::shared_ptr<FDFileDownloader>& download) const;

    // Actions.
    void changeValue(UISegmentedControl& sender);
    void updateMoviesDownload(UIGestureRecognizer& recognizer);

    // Notification handlers.
    void startDownloadMovie(const NSNotification& notification);
    void stopDownloadMovie(const NSNotification& notification);
    void updateStatusDownloadMovie(const NSNotification& notification);
    void finishDownloadMovie(const NSNotification& notification);

    // UITableViewDataSource and UITableViewDelegate, for both tables.
    long numberOfRowsInSection(UITableView& tableView, long section) override;
    UITableViewCellPtr cellForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
    std::optional<CGFloat> heightForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
    std::optional<CGFloat> heightForHeaderInSection(UITableView& tableView, long section) override;
    std::optional<CGFloat> heightForFooterInSection(UITableView& tableView, long section) override;
    void didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;

    // UIActionSheetDelegate.
    void clickedButtonAtIndex(UIActionSheet& actionSheet, long buttonIndex) override;

    // What the screen holds (read by tests and the device screen's facts).
    const std::vector<std::shared_ptr<MoviesDownloadModel>>& moviesDownload() const { return moviesDownload_; }
    const std::vector<std::shared_ptr<FDFileDownloader>>& moviesDownloading() const { return moviesDownloading_; }
    const std::shared_ptr<UIActionSheet>& dialog() const { return dialog_; }
    // The player the screen presented, while it is up.
    std::shared_ptr<MPMoviePlayerViewController> moviePlayer() const { return moviePlayer_.lock(); }

    // The file a finished download's record stands for: its linkLocal, else the
    // name the download manager gives the title; none when that path lies
    // outside the documents directory.
    static std::optional<std::string> finishedFilePath(const MoviesDownloadModel& record);

private:
    void observeDownloads();
    void stopObservingDownloads();
    void playFinishedDownload(const std::shared_ptr<MoviesDownloadModel>& record);
    void moviePlayerDidFinish(const NSNotification& notification);
    void showSheet(const std::string& title, std::vector<std::string> buttons, long tag);
    void removeFinishedDownload(const std::shared_ptr<MoviesDownloadModel>& record);
    void addPullToRefresh(const std::shared_ptr<UITableView>& table, void (DownloadViewController::*refresh)());
    UITableViewCellPtr finishedCell(const NSIndexPath& indexPath);
    UITableViewCellPtr runningCell(const NSIndexPath& indexPath);
    // Loads the configured banner unit into bannerView (ScreenAds.h).
    void showBannerView();

    std::vector<std::shared_ptr<MoviesDownloadModel>> moviesDownload_;
    std::vector<std::shared_ptr<FDFileDownloader>> moviesDownloading_;
    std::shared_ptr<MoviesDownloadModel> movieSelect_;
    std::shared_ptr<FDFileDownloader> downloaderSelect_;
    std::shared_ptr<UIActionSheet> dialog_;
    std::weak_ptr<MPMoviePlayerViewController> moviePlayer_;
};
