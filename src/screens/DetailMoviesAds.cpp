// The detail page's ad slots: the banner area, the banner, the interstitial
// and the stream dialog an interstitial holds until it closes.
#include "adkit/requests/AKRequest.h"
#include "core/AppDelegate.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "screens/DetailMoviesViewController.h"
#include "screens/ScreenAds.h"
#include "screens/ScreenStyle.h"

void DetailMoviesViewController::sizeBannerArea() { ::sizeBannerArea(outlets_.bannerView.lock(), BannerArea::Detail); }

void DetailMoviesViewController::showBannerView() {
    // The configured unit only decides whether a banner loads; the page shows its own.
    if (!configuredBannerUnit()) return;
    auto self = this->self<DetailMoviesViewController>();
    loadBanner(outlets_.bannerView.lock(), kDetailBannerUnit, self, self);
}

std::shared_ptr<AKRequest> DetailMoviesViewController::createRequest() { return createAdRequest(); }

void DetailMoviesViewController::showInterstitial() {
    QV_ASSERT_MAIN_THREAD();
    // No ad request goes out while the configuration has ads off.
    if (!adsAreOn()) return;
    auto delegate = AppDelegate::shared();
    interstitial_ = AKInterstitial::make();
    interstitial_->setDelegate(self<DetailMoviesViewController>());
    if (delegate && delegate->localAds() <= 1)
        interstitial_->setAdUnitID(configuredAdUnit(kInterstitialUnitKey));
    else
        interstitial_->setAdUnitID(std::string(kDetailInterstitialUnit));
    interstitial_->loadRequest(createRequest());
}

bool DetailMoviesViewController::displayInterstitial() {
    QV_ASSERT_MAIN_THREAD();
    if (!interstitial_ || !interstitial_->isReady() || interstitial_->hasBeenUsed()) return false;
    const std::uint64_t choice = chapterChoice_;
    heldDialog_ = HeldDialog{chapterCurrent_, listStreamMovie_, choice, interstitial_, false};
    const auto keep = interstitial_;  // a delegate call may replace interstitial_ meanwhile
    keep->presentFromRootViewController(self<DetailMoviesViewController>());
    if (!keep->hasBeenUsed()) {
        heldDialog_.reset();
        return false;
    }
    // The presentation must have begun by the end of this main-loop pass.
    std::weak_ptr<DetailMoviesViewController> weak = self<DetailMoviesViewController>();
    dispatch_async(dispatch_get_main_queue(), [weak, choice] {
        if (auto page = weak.lock()) page->releaseUnpresentedDialog(choice);
    });
    return true;
}

void DetailMoviesViewController::releaseUnpresentedDialog(std::uint64_t choice) {
    if (!heldDialog_ || heldDialog_->choice != choice || heldDialog_->presenting) return;
    NSLog("The interstitial did not cover the screen; the stream dialog shows now");
    const HeldDialog held = *heldDialog_;
    heldDialog_.reset();
    showInterstitial();  // the used one serves no later release
    if (chapterChoice_ == held.choice && isOnScreen()) showStreamDialog(held.chapter, held.streams);
}

bool DetailMoviesViewController::holdsDialogFor(const AKInterstitial& interstitial) const {
    return heldDialog_ && heldDialog_->interstitial.lock().get() == &interstitial;
}

bool DetailMoviesViewController::isCoveredByInterstitial() {
    return heldDialog_ && heldDialog_->presenting && isViewLoaded() && view()->window();
}

void DetailMoviesViewController::holdDialogUnderInterstitial() {
    // The reply of the chapter chosen last: the one the close answers.
    if (!heldDialog_) return;
    heldDialog_->chapter = chapterCurrent_;
    heldDialog_->streams = listStreamMovie_;
    heldDialog_->choice = chapterChoice_;
}

void DetailMoviesViewController::interstitialDidReceiveAd(AKInterstitial&) {
    NSLog("receive interstitial");
    isShowInterstitial_ = true;
}

void DetailMoviesViewController::interstitialDidFailToReceiveAdWithError(AKInterstitial&, const NSErrorPtr& error) {
    NSLog("failed to receive interstitial with error:%@", error);  // the error's description
    isShowInterstitial_ = false;
}

void DetailMoviesViewController::interstitialWillPresentScreen(AKInterstitial& interstitial) {
    if (holdsDialogFor(interstitial)) heldDialog_->presenting = true;
}

void DetailMoviesViewController::interstitialWillDismissScreen(AKInterstitial& interstitial) {
    QV_ASSERT_MAIN_THREAD();
    std::optional<HeldDialog> held;
    if (holdsDialogFor(interstitial)) held.swap(heldDialog_);
    showInterstitial();
    NSNotificationCenter::defaultCenter()->postNotificationName(kRefreshMovieViewNotification);
    if (!held) return;  // its reply was answered already
    std::weak_ptr<DetailMoviesViewController> weak = self<DetailMoviesViewController>();
    runAfterHalfSecond([weak, chapter = held->chapter, streams = held->streams, choice = held->choice] {
        auto page = weak.lock();
        // A newer chapter answers for itself; a page off the screen opens nothing.
        if (!page || page->chapterChoice_ != choice || !page->isOnScreen()) return;
        page->showStreamDialog(chapter, streams);
    });
}
