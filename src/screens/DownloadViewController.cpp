#include "screens/DownloadViewController.h"

#include <cmath>

#include "core/AppDelegate.h"
#include "core/DownloadManager.h"
#include "core/FDFileDownloaderCustom.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILongPressGestureRecognizer.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarController.h"
#include "screens/ScreenStyle.h"
#include "screens/ScreenAds.h"
#include "ui/layout/LYLayout.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

namespace {

constexpr CGFloat kTableLift = 30;
constexpr double kRemovePressDuration = 1.2;

const char* stateName(FDFileDownloaderState state) {
    switch (state) {
        case FDFileDownloaderStateReady: return "Ready";
        case FDFileDownloaderStateDownloading: return "Downloading";
        case FDFileDownloaderStateDone: return "Done";
        case FDFileDownloaderStateCancelled: return "Cancelled";
        case FDFileDownloaderStateFailed: return "Pause";
        default: return "Unknown";
    }
}

bool isStopped(FDFileDownloaderState state) {
    return state == FDFileDownloaderStateCancelled || state == FDFileDownloaderStateFailed;
}

template <class T>
const T* itemAt(const std::vector<std::shared_ptr<T>>& list, const NSIndexPath& indexPath) {
    if (indexPath.section != 0 || indexPath.row() < 0 || indexPath.row() >= static_cast<long>(list.size()))
        return nullptr;
    return list[static_cast<std::size_t>(indexPath.row())].get();
}

}  // namespace

// ------------------------------------------------------------------ life cycle

void DownloadViewController::viewDidLoad() {
    QV_ASSERT_MAIN_THREAD();
    if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true);
    MyViewController::viewDidLoad();
    const CGColorRef colour = screenColor()->CGColor();
    if (auto tabs = tabBarController()) tabs->tabBar()->setBarTintColor(colour);
    if (auto navigation = navigationController()) navigation->navigationBar()->setTintColor(colour);
    view()->setBackgroundColor(colour);
    configurationView();
    if (auto segment = actionSegment.lock()) segment->setSelectedSegmentIndex(0);
    addPullToRefresh(downloadingTable.lock(), &DownloadViewController::refreshMoviesDownloading);
    addPullToRefresh(downloadTable.lock(), &DownloadViewController::refreshMoviesDownloads);
}

void DownloadViewController::addPullToRefresh(const std::shared_ptr<UITableView>& table,
                                              void (DownloadViewController::*refresh)()) {
    if (!table) return;
    std::weak_ptr<UITableView> weakTable = table;
    std::weak_ptr<DownloadViewController> weak = weakSelf<DownloadViewController>();
    addPullToRefreshWithActionHandler(table, [weakTable, weak, refresh] {
        if (auto t = weakTable.lock())
            if (auto header = pullToRefreshView(*t)) header->setActivityIndicatorViewStyle(1);
        runAfterHalfSecond([weak, refresh] {
            if (auto screen = weak.lock()) ((*screen).*refresh)();
        });
    });
}

void DownloadViewController::showBannerView() {
    loadConfiguredBanner(bannerView.lock(), self<DownloadViewController>(), self<DownloadViewController>());
}

void DownloadViewController::configurationView() {
    moviesDownload_.clear();
    moviesDownloading_.clear();
    for (const auto& table : {downloadingTable.lock(), downloadTable.lock()}) {
        if (!table) continue;
        CGRect frame = table->frame();
        frame.origin.y -= kTableLift;
        table->setFrame(frame);
    }
    sizeBannerArea(bannerView.lock(), BannerArea::List);
}

void DownloadViewController::viewWillAppear(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    MyViewController::viewWillAppear(animated);
    observeDownloads();
    auto delegate = AppDelegate::shared();
    if (delegate && delegate->checkShowAdvertising()) showBannerView();
    refreshMoviesDownloading();
    refreshMoviesDownloads();
}

void DownloadViewController::viewWillDisappear(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    MyViewController::viewWillDisappear(animated);
    stopObservingDownloads();
}

void DownloadViewController::didReceiveMemoryWarning() { MyViewController::didReceiveMemoryWarning(); }

void DownloadViewController::observeDownloads() {
    auto center = NSNotificationCenter::defaultCenter();
    auto me = self<NSObject>();
    stopObservingDownloads();  // never twice
    center->addObserver(me, [this](const NSNotification& n) { startDownloadMovie(n); }, kStartDownloadMovieNotification);
    for (const char* name : {kResumeDownloadingMovieNotification, kRemoveDownloadingMovieNotification})
        center->addObserver(me, [this](const NSNotification&) { refreshMoviesDownloading(); }, name);
    center->addObserver(me, [this](const NSNotification& n) { stopDownloadMovie(n); }, kStopDownloadMovieNotification);
    center->addObserver(me, [this](const NSNotification& n) { updateStatusDownloadMovie(n); },
                        kUpdateStatusDownloadMovieNotification);
    center->addObserver(me, [this](const NSNotification& n) { finishDownloadMovie(n); },
                        kFinishDownloadMovieNotification);
}

void DownloadViewController::stopObservingDownloads() {
    auto center = NSNotificationCenter::defaultCenter();
    for (const char* name : {kStartDownloadMovieNotification, kResumeDownloadingMovieNotification,
                             kRemoveDownloadingMovieNotification, kStopDownloadMovieNotification,
                             kUpdateStatusDownloadMovieNotification, kFinishDownloadMovieNotification})
        center->removeObserver(this, name);
}

// ------------------------------------------------------------------ lists

void DownloadViewController::refreshMoviesDownloading() {
    QV_ASSERT_MAIN_THREAD();
    moviesDownloading_ = DownloadManager::downloadManager()->getListDownloading();
    if (auto table = downloadingTable.lock()) {
        table->reloadData();
        if (auto header = pullToRefreshView(*table)) header->stopAnimating();
    }
}

void DownloadViewController::refreshMoviesDownloads() {
    QV_ASSERT_MAIN_THREAD();
    moviesDownload_.clear();
    auto delegate = AppDelegate::shared();
    if (auto context = delegate ? delegate->managedObjectContext() : nullptr) {
        auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesDownloadModel");
        request->setPredicate(NSPredicate::predicateWithFormat("isDownload == %@", {Value(true)}));
        NSErrorPtr error;  // a failed fetch leaves the list empty
        for (const auto& object : context->executeFetchRequest(request, &error))
            if (auto record = std::dynamic_pointer_cast<MoviesDownloadModel>(object)) moviesDownload_.push_back(record);
    }
    if (auto table = downloadTable.lock()) {
        table->reloadData();
        if (auto header = pullToRefreshView(*table)) header->stopAnimating();
    }
}

void DownloadViewController::startDownloadMovie(const NSNotification&) { refreshMoviesDownloading(); }

void DownloadViewController::stopDownloadMovie(const NSNotification& notification) {
    // A stopped download's row shows its new state ("Pause", "Cancelled") at once.
    updateTableViewCellAtDownload(std::dynamic_pointer_cast<FDFileDownloader>(notification.object()));
}

void DownloadViewController::updateStatusDownloadMovie(const NSNotification& notification) {
    updateTableViewCellAtDownload(std::dynamic_pointer_cast<FDFileDownloader>(notification.object()));
}

void DownloadViewController::finishDownloadMovie(const NSNotification&) {
    refreshMoviesDownloading();
    refreshMoviesDownloads();
}

void DownloadViewController::updateTableViewCellAtDownload(const std::shared_ptr<FDFileDownloader>& download) {
    if (!download) return;
    auto table = downloadingTable.lock();
    if (!table) return;
    for (std::size_t i = 0; i < moviesDownloading_.size(); ++i) {
        if (moviesDownloading_[i] != download) continue;
        auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(static_cast<long>(i), 0));
        if (cell && cell->detailTextLabel()) cell->detailTextLabel()->setText(subtitleForDownload(download));
        return;
    }
}

std::string DownloadViewController::subtitleForDownload(const std::shared_ptr<FDFileDownloader>& download) const {
    if (!download) return {};
    float percent = download->progress() * 100.0f;
    // The download's own record: another download of the same chapter has its own.
    if (auto record = DownloadManager::downloadManager()->recordOfDownload(download))
        if (record->percentDownload() > 0) percent = record->percentDownload();
    // Nothing measured yet (or no length announced) reads as 0.
    if (std::isnan(percent) || percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    return format("%i%% \u2022 %lis left \u2022 State: %@", static_cast<int>(percent),
                  static_cast<long>(download->remainingTime()), stateName(download->state()));
}

void DownloadViewController::changeValue(UISegmentedControl& sender) {
    auto running = downloadingTable.lock();
    auto finished = downloadTable.lock();
    if (!running || !finished) return;
    const bool showRunning = sender.selectedSegmentIndex() == 1;
    running->setHidden(!showRunning);
    finished->setHidden(showRunning);
    (showRunning ? running : finished)->reloadData();
}

// ------------------------------------------------------------------ tables

long DownloadViewController::numberOfRowsInSection(UITableView& tableView, long) {
    // Both tables count the list of the segment selected now, not their own: with
    // segment 1 the running downloads, with any other the finished ones. Only the
    // visible table is reloaded when the segment changes, and each builds its cells
    // from its own list (a row past that list is an empty cell).
    if (&tableView != downloadingTable.lock().get() && &tableView != downloadTable.lock().get()) return 0;
    auto segment = actionSegment.lock();
    const bool running = segment && segment->selectedSegmentIndex() == 1;
    return static_cast<long>(running ? moviesDownloading_.size() : moviesDownload_.size());
}

UITableViewCellPtr DownloadViewController::cellForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    if (&tableView == downloadingTable.lock().get()) return runningCell(indexPath);
    if (&tableView == downloadTable.lock().get()) return finishedCell(indexPath);
    return nullptr;
}

UITableViewCellPtr DownloadViewController::finishedCell(const NSIndexPath& indexPath) {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleDefault, kMovieDownloadCellIdentifier);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->setBackgroundColor(UIColor::clearColor()->CGColor());
    cell->textLabel()->setTextColor(UIColor::whiteColor()->CGColor());
    cell->textLabel()->setFont(UIFont::systemFontOfSize(15));
    if (const auto* record = itemAt(moviesDownload_, indexPath)) cell->textLabel()->setText(record->title());
    if (!cell->gestureRecognizers().empty()) cell->removeGestureRecognizer(cell->gestureRecognizers().back());
    std::weak_ptr<DownloadViewController> weak = weakSelf<DownloadViewController>();
    auto press = std::make_shared<UILongPressGestureRecognizer>(self<NSObject>(), [weak](UIGestureRecognizer& r) {
        if (auto screen = weak.lock()) screen->updateMoviesDownload(r);
    });
    press->setMinimumPressDuration(kRemovePressDuration);
    cell->addGestureRecognizer(press);
    return cell;
}

UITableViewCellPtr DownloadViewController::runningCell(const NSIndexPath& indexPath) {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleSubtitle, kMovieDownloadCellIdentifier);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->setBackgroundColor(UIColor::clearColor()->CGColor());
    const bool tablet = isTablet();
    cell->textLabel()->setTextColor(UIColor::whiteColor()->CGColor());
    cell->textLabel()->setFont(UIFont::systemFontOfSize(tablet ? 15 : 10));
    cell->detailTextLabel()->setTextColor(UIColor::whiteColor()->CGColor());
    cell->detailTextLabel()->setFont(UIFont::systemFontOfSize(tablet ? 13 : 9));
    if (indexPath.section == 0 && indexPath.row() >= 0 && indexPath.row() < static_cast<long>(moviesDownloading_.size())) {
        const auto& download = moviesDownloading_[static_cast<std::size_t>(indexPath.row())];
        cell->textLabel()->setText(download->fileName());
        cell->detailTextLabel()->setText(subtitleForDownload(download));
    }
    return cell;
}

std::optional<CGFloat> DownloadViewController::heightForRowAtIndexPath(UITableView&, const NSIndexPath&) { return 44; }
std::optional<CGFloat> DownloadViewController::heightForHeaderInSection(UITableView&, long) { return 0; }
std::optional<CGFloat> DownloadViewController::heightForFooterInSection(UITableView&, long) { return 0; }

void DownloadViewController::didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    if (&tableView == downloadTable.lock().get()) {
        if (itemAt(moviesDownload_, indexPath))
            playFinishedDownload(moviesDownload_[static_cast<std::size_t>(indexPath.row())]);
        return;
    }
    if (&tableView != downloadingTable.lock().get() || dialog_ || !itemAt(moviesDownloading_, indexPath)) return;
    downloaderSelect_ = moviesDownloading_[static_cast<std::size_t>(indexPath.row())];
    // Only a stopped download can be resumed; a queued or running one can only go.
    if (isStopped(downloaderSelect_->state()))
        showSheet("Do you want to remove or resume the downloading this movie?", {"Remove", "Resume"},
                  kDownloadRunningSheetTag);
    else
        showSheet("Do you want to remove the downloading this movie?", {"Remove"}, kDownloadRunningSheetTag);
}

void DownloadViewController::updateMoviesDownload(UIGestureRecognizer& recognizer) {
    // Once per press, when it begins, and only for a cell still in the table.
    if (recognizer.state() != UIGestureRecognizerStateBegan) return;
    auto table = downloadTable.lock();
    auto cell = std::dynamic_pointer_cast<UITableViewCell>(recognizer.view());
    if (!table || !cell) return;
    auto indexPath = table->indexPathForCell(*cell);
    if (!indexPath || !itemAt(moviesDownload_, *indexPath)) return;
    movieSelect_ = moviesDownload_[static_cast<std::size_t>(indexPath->row())];
    if (dialog_) return;
    showSheet("Do you want to remove this movie?", {"Remove"}, kDownloadFinishedSheetTag);
}

void DownloadViewController::showSheet(const std::string& title, std::vector<std::string> buttons, long tag) {
    dialog_ = UIActionSheet::initWithTitle(title, weakSelf<DownloadViewController>(), std::string("Cancel"),
                                           std::nullopt, std::move(buttons));
    dialog_->setTag(tag);
    dialog_->showInView(view());
}
