// The public banner: creation, sizes, the slot's questions and the slot's
// events carried to the banner's delegate (see AKBannerView.h).
#include "adkit/requests/AKBannerView.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKViewUtilities.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKAdType.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"

AKBannerView::AKBannerView(CGRect frame) : UIView(frame) {}

AKBannerView::~AKBannerView() {
    if (slot_) {
        slot_->finishViewabilityReporting();
        slot_->cancelPendingAndFutureActions();
    }
    NSNotificationCenter::defaultCenter()->removeObserver(this);
}

void AKBannerView::logInvalidAdSize(AKAdSize size) {
    AKMacros::pubLog("Unable to set adSize property with " + AKAdSizeDescription(size) +
                     ". Please use one of the standard ad sizes or create a custom ad size using AKAdSizeFromCGSize.");
}

void AKBannerView::commonInitWithAdSize(AKAdSize size) {
    QV_ASSERT_MAIN_THREAD();
    slot_ = AKAdSlot::make(UIView::bounds());
    const auto me = self<AKBannerView>();
    slot_->setSlotDelegate(std::static_pointer_cast<AKSlotDelegate>(me));
    slot_->setAdEventDelegate(std::static_pointer_cast<AKSlotAdEventDelegate>(me));
    const auto web = slot_->webView();
    web->configureAsBannerAdView();
    setAdView(web);
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setClipsToBounds(true);
    // A new slot holds the interstitial type: a banner is a banner from the
    // start, of the zero size until a valid size is applied (an invalid one
    // from the coder's frame leaves it so, rather than loading interstitials).
    slot_->setAdTypeAndReloadRequest(AKAdType::bannerAdTypeForSize(AKAdSize{CGSizeZero, 0}), false);
    setAdSizeAndReload(size, false);
}

// ---- Public interface -------------------------------------------------------------------

std::optional<std::string> AKBannerView::adUnitID() const { return slot_->adUnitID(); }

void AKBannerView::setAdUnitID(const std::optional<std::string>& adUnitID) { slot_->setAdUnitID(adUnitID); }

void AKBannerView::setRootViewController(const std::shared_ptr<UIViewController>& controller) {
    QV_ASSERT_MAIN_THREAD();
    if (controller == rootViewController_.lock()) return;
    rootViewController_ = controller;
    if (const auto web = slot_->webView()) web->setViewController(controller);
    if (const auto mediated = std::dynamic_pointer_cast<AKBannerView>(adView_)) mediated->setRootViewController(controller);
}

void AKBannerView::loadRequest(const std::shared_ptr<AKRequest>& request) {
    QV_ASSERT_MAIN_THREAD();
    if (!rootViewController()) {
        AKMacros::pubLog("Must set the rootViewController property of AKBannerView before calling loadRequest:");
        slot_->adFailedToReceiveContentWithError(AKRequestError::errorWithCode(0, request.get()));
        return;
    }
    slot_->loadRequest(request);
}

AKAdSize AKBannerView::adSize() const {
    const auto& type = slot_ ? slot_->adType() : nullptr;
    return type ? type->adSize() : AKAdSize{CGSizeZero, 0};
}

void AKBannerView::setAdSize(AKAdSize size) {
    setAdSizeAndReload(size, true);
    if (!translatesAutoresizingMaskIntoConstraints()) invalidateIntrinsicContentSize();
}

bool AKBannerView::hasAutoRefreshed() const { return slot_->hasAutoRefreshed(); }

std::optional<std::string> AKBannerView::adNetworkClassName() const { return slot_->adNetworkClassName(); }

std::shared_ptr<UIView> AKBannerView::mediatedAdView() const { return slot_->isMediating() ? adView_ : nullptr; }

std::shared_ptr<AKWebView> AKBannerView::webView() const { return slot_->webView(); }

void AKBannerView::setAdView(const std::shared_ptr<UIView>& view) {
    if (view == adView_) return;
    if (adView_) adView_->removeFromSuperview();
    adView_ = view;
    if (view) addSubview(view);
}

// ---- Platform view overrides ------------------------------------------------------------

void AKBannerView::setFrame(CGRect frame) {
    UIView::setFrame(frame);
    if (!slot_) return;  // the platform view's own set-up
    const CGSize current = AKAdSizeToCGSize(adSize());
    if (current.width != frame.size.width || current.height != frame.size.height) {
        setAdSize(AKAdSizeFromCGSize(frame.size));
    }
}

void AKBannerView::setBounds(CGRect bounds) {
    UIView::setBounds(bounds);
    setAdSize(AKAdSizeFromCGSize(bounds.size));
}

void AKBannerView::setAlpha(CGFloat alpha) { UIView::setAlpha(alpha != 0 ? 1.0 : 0.0); }

CGSize AKBannerView::intrinsicContentSize() const { return AKAdSizeToCGSize(adSize()); }

void AKBannerView::didMoveToWindow() {
    UIView::didMoveToWindow();
    if (slot_) slot_->bannerDidMoveToWindow(window() != nullptr);
}

// ---- AKSlotDelegate ---------------------------------------------------------------------

void AKBannerView::setAdSizeAndReload(AKAdSize size, bool reload) {
    QV_ASSERT_MAIN_THREAD();
    if (!slot_) return;
    if (AKAdSizeIsEqual(size, adSize())) return;
    if (!AKAdSizeIsValid(size)) {
        logInvalidAdSize(size);
        return;
    }
    UIView::setFrame(CGRect{UIView::frame().origin, AKAdSizeToCGSize(size)});
    slot_->setAdTypeAndReloadRequest(AKAdType::bannerAdTypeForSize(size), reload);
}

void AKBannerView::setAdSizeAndReload(const NSValue& adSize, bool reload) {
    if (const auto size = AKAdSizeFromNSValue(adSize)) setAdSizeAndReload(*size, reload);
}

void AKBannerView::slotDidReceiveAdView(AKSlot& /*slot*/, const std::shared_ptr<UIView>& view) { setAdView(view); }

// A hidden banner (or any view above it) shows nothing, so it is not
// refreshed either, not only when the ad view itself is hidden.
bool AKBannerView::slotShouldReloadCurrentRequest(AKSlot& /*slot*/) {
    if (!adView_ || !adView_->superview()) return false;
    for (auto view = adView_; view; view = view->superview())
        if (view->isHidden()) return false;
    return true;
}

Value AKBannerView::coordinatesOfContentInScreen() const {
    if (!adView_) return Value();
    return AKViewUtilities::positionOfView(adView_, *UIScreen::mainScreen());
}

std::shared_ptr<UIView> AKBannerView::swipeToViewControllerView() const {
    return std::const_pointer_cast<AKBannerView>(self<AKBannerView>());
}

// ---- Slot events to the delegate --------------------------------------------------------

void AKBannerView::callOnMainThread(const std::function<void(AKBannerView& banner)>& call) {
    std::shared_ptr<AKBannerView> kept = std::dynamic_pointer_cast<AKBannerView>(weak_from_this().lock());
    if (!kept) return;  // being destroyed: nobody hears of it
    AKMacros::runSynchronouslyOnMainThreadWithBlock([kept, &call] { call(*kept); });
}

// The delegate call of an event without arguments.
void AKBannerView::tellDelegate(void (AKBannerViewDelegate::*call)(AKBannerView&)) {
    callOnMainThread([call](AKBannerView& banner) {
        if (const auto d = banner.delegate()) ((*d).*call)(banner);
    });
}

void AKBannerView::slotFinishedLoadingAdContent(AKAdSlot& /*slot*/) {
    tellDelegate(&AKBannerViewDelegate::adViewDidReceiveAd);
}

void AKBannerView::slotDidFailToLoadAdContentWithError(AKAdSlot& /*slot*/, const NSErrorPtr& error) {
    callOnMainThread([error](AKBannerView& banner) {
        if (const auto d = banner.delegate()) d->adViewDidFailToReceiveAdWithError(banner, error);
    });
}

void AKBannerView::slotWillPresentScreen(AKAdSlot& /*slot*/) { tellDelegate(&AKBannerViewDelegate::adViewWillPresentScreen); }

void AKBannerView::slotWillDismissScreen(AKAdSlot& /*slot*/) { tellDelegate(&AKBannerViewDelegate::adViewWillDismissScreen); }

void AKBannerView::slotDidDismissScreen(AKAdSlot& /*slot*/) { tellDelegate(&AKBannerViewDelegate::adViewDidDismissScreen); }

void AKBannerView::slotWillLeaveApplication(AKAdSlot& /*slot*/) {
    tellDelegate(&AKBannerViewDelegate::adViewWillLeaveApplication);
}
