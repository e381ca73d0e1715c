// The detail page: a chapter's streams, the stream dialog, Play and Download.
#include "core/AppDelegate.h"
#include "core/DownloadManager.h"
#include "core/NLRestClient.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/DetailMoviesViewController.h"
#include "screens/MainStoryboard.h"
#include "screens/ScreenStyle.h"
#include "ui/progresshud/LOProgressHUD.h"

void DetailMoviesViewController::getListStreammByChapter(const Value& chapter) {
    QV_ASSERT_MAIN_THREAD();
    LOProgressHUD::showHUDAddedTo(view(), true);
    std::weak_ptr<DetailMoviesViewController> weak = self<DetailMoviesViewController>();
    const std::uint64_t choice = chapterChoice_;
    NLRestClient::sharedClient()->getListStreamOfChapter(
        chapter["id"].intValue(),
        [weak, choice](const Value& data) {
            auto page = weak.lock();
            if (!page) return;
            page->hideOverlay();
            if (!data.isArray() || data.count() == 0) return;
            // The reply of a chapter since replaced by another choice offers nothing.
            if (choice != page->chapterChoice_) return;
            page->listStreamMovie_ = data;
            // A reply for a page the user has left opens nothing over another screen;
            // one under the page's own interstitial waits for it to close.
            const bool covered = page->isCoveredByInterstitial();
            if (!covered && !page->isOnScreen()) return;
            // The pacing counts every reply with streams, also while ads are off.
            auto delegate = AppDelegate::shared();
            const bool release = delegate && delegate->showAdvertisingFullScreen();
            const bool adsOn = release && delegate->checkShowAdvertising();
            if (covered) page->holdDialogUnderInterstitial();
            else if (!adsOn || !page->displayInterstitial()) page->showStreamDialog();
        },
        [weak](const NSErrorPtr&) {
            if (auto page = weak.lock()) page->hideOverlay();
        });
}

void DetailMoviesViewController::showStreamDialog() { showStreamDialog(chapterCurrent_, listStreamMovie_); }

void DetailMoviesViewController::showStreamDialog(const Value& chapter, const Value& streams) {
    QV_ASSERT_MAIN_THREAD();
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    auto picker = storyboard ? storyboard->instantiate<ListStreamViewController>(
                                   ListStreamViewController::kStoryboardIdentifier)
                             : nullptr;
    if (!picker) {
        NSLog("The stream picker could not be made");
        return;
    }
    picker->setStreamArray(streams);
    picker->setDelegate(self<DetailMoviesViewController>());
    picker->view();  // the heading is an outlet of the picker's view
    if (auto heading = picker->movieName()) heading->setText(chapter["title"].stringValue());

    // A dialog still up (shown before an interstitial) goes before its successor.
    if (popoverController_ && popoverController_->isPopoverVisible()) popoverController_->dismissPopoverAnimated(false);
    popoverController_ = FLPopoverController::initWithContentViewController(picker);
    popoverController_->setPopoverLayoutMargins(UIEdgeInsetsMake(10, 10, 10, 10));
    popoverController_->setWantsDefaultContentAppearance(false);
    picker->view()->setFrame(CGRectMake(0, 0, kDialogWidth, kDialogHeight));
    popoverController_->setPopoverContentSize(CGSizeMake(kDialogWidth, kDialogHeight));
    popoverController_->presentPopoverAsDialogAnimated(true, FLAnimationOptionFade | FLAnimationOptionScale);
}

void DetailMoviesViewController::dismissPopover() {
    if (popoverController_) popoverController_->dismissPopoverAnimated(true, [] {});
}

std::optional<std::string> DetailMoviesViewController::playableLink(const Value& stream) const {
    const Value link = stream.isDictionary() ? stream["link"] : Value();
    std::optional<std::string> unescaped = link.isString() ? stringByReplacingPercentEscapes(*link.string()) : std::nullopt;
    // What the player and the download manager are handed must be a whole URL.
    auto url = unescaped ? NSURL::URLWithString(*unescaped) : nullptr;
    if (!url || !url->scheme() || !url->host()) {
        NSLog("Stream refused: its link %@ is not a URL once unescaped as UTF-8", link);
        showFailureAlert(kBadStreamLink);
        return std::nullopt;
    }
    return unescaped;
}

void DetailMoviesViewController::listStreamViewPlayStream(const Value& stream) {
    QV_ASSERT_MAIN_THREAD();
    dismissPopover();
    auto link = playableLink(stream);
    if (!link) return;
    if (auto delegate = AppDelegate::shared()) delegate->startPlaybackEventWithURLString(*link);
}

void DetailMoviesViewController::listStreamViewDownloadStream(const Value& stream) {
    QV_ASSERT_MAIN_THREAD();
    dismissPopover();
    auto link = playableLink(stream);
    if (!link) return;
    LOProgressHUD::showHUDAddedTo(view(), true);
    Value chapter = chapterCurrent_.isDictionary() ? chapterCurrent_.copy() : Value::dictionary();
    chapter.setObject("link", *link);
    // A queued download posts its start at once, which takes the overlay down.
    if (!DownloadManager::downloadManager()->startDownloadMovies(chapter)) {
        hideOverlay();
        showFailureAlert(kDownloadRefused);
    }
}

void DetailMoviesViewController::listStreamViewCancelView() { dismissPopover(); }

// ------------------------------------------------------------------ download notifications

void DetailMoviesViewController::startDownloadMovie(const NSNotification&) { hideOverlay(); }
void DetailMoviesViewController::stopDownloadMovie(const NSNotification&) { hideOverlay(); }
void DetailMoviesViewController::finishDownloadMovie(const NSNotification&) { hideOverlay(); }

void DetailMoviesViewController::observeDownloads() {
    if (observingDownloads_) return;
    observingDownloads_ = true;
    auto center = NSNotificationCenter::defaultCenter();
    std::weak_ptr<DetailMoviesViewController> weak = self<DetailMoviesViewController>();
    using Handler = void (DetailMoviesViewController::*)(const NSNotification&);
    const std::pair<const char*, Handler> handlers[] = {
        {kStartDownloadMovieNotification, &DetailMoviesViewController::startDownloadMovie},
        {kStopDownloadMovieNotification, &DetailMoviesViewController::stopDownloadMovie},
        {kFinishDownloadMovieNotification, &DetailMoviesViewController::finishDownloadMovie},
    };
    for (const auto& [name, handler] : handlers)
        center->addObserver(
            self<NSObject>(),
            [weak, handler](const NSNotification& n) {
                if (auto page = weak.lock()) ((*page).*handler)(n);
            },
            name);
}

void DetailMoviesViewController::stopObservingDownloads() {
    if (!observingDownloads_) return;
    observingDownloads_ = false;
    auto center = NSNotificationCenter::defaultCenter();
    for (const char* name : {kStartDownloadMovieNotification, kStopDownloadMovieNotification,
                             kFinishDownloadMovieNotification})
        center->removeObserver(this, name);
}
