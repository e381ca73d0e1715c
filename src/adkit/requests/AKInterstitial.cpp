#include "adkit/requests/AKInterstitial.h"

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKViewUtilities.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/rendering/AKWebViewDelegate.h"
#include "adkit/requests/AKAdSlot.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"

namespace {
// The full-screen controller's own refusal line, for a presenter it cannot use.
constexpr const char* kNoPresenterLog = "No UIViewController supplied to the ad. Cannot continue.";
constexpr std::int64_t kInterstitialAlreadyUsed = 6;
constexpr std::int64_t kNoAdToShow = 1;
}  // namespace

// ---- Creation and end -----------------------------------------------------------------------

std::shared_ptr<AKInterstitial> AKInterstitial::make() {
    std::shared_ptr<AKInterstitial> made(new AKInterstitial());
    made->setUp();
    return made;
}

void AKInterstitial::setUp() {
    QV_ASSERT_MAIN_THREAD();
    const auto me = self<AKInterstitial>();
    slot_ = AKAdSlot::make(AKDevice::currentDevice()->standardizedScreenBounds());
    slot_->setInterstitial(me);
    slot_->setSlotDelegate(std::static_pointer_cast<AKSlotDelegate>(me));
    slot_->setAdEventDelegate(std::static_pointer_cast<AKSlotAdEventDelegate>(me));

    const auto webView = slot_->webView();
    webView->configureAsInterstitialAdView();
    viewController_ = AKWebAppViewController::make(webView);
    viewController_->setInterstitial(me, slot_);
    webView->setViewController(viewController_);

    std::weak_ptr<AKInterstitial> weak = me;
    AKNotificationCenter::defaultCenter()->addObserver(
        me,
        [weak](const NSNotification& note) {
            if (const auto interstitial = weak.lock()) interstitial->webAction(note.userInfo());
        },
        kDidReceiveWebActionNotification, webView);
}

AKInterstitial::~AKInterstitial() {
    if (!slot_) return;
    slot_->finishViewabilityReporting();
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    AKNotificationCenter::defaultCenter()->removeObserver(this);
    // A web view already handed to its presentation keeps its controller.
    const auto webView = slot_->webView();
    if (webView && viewController_ && webView->viewController() == viewController_) webView->setViewController(nullptr);
    slot_->setInterstitial(nullptr);
    slot_->cancelPendingAndFutureActions();
}

// ---- Configuration --------------------------------------------------------------------------

std::optional<std::string> AKInterstitial::adUnitID() const { return slot_->adUnitID(); }

void AKInterstitial::setAdUnitID(const std::optional<std::string>& adUnitID) { slot_->setAdUnitID(adUnitID); }

std::optional<std::string> AKInterstitial::adNetworkClassName() const { return slot_->adNetworkClassName(); }

// ---- Loading and presentation ---------------------------------------------------------------

void AKInterstitial::loadRequest(const std::shared_ptr<AKRequest>& request) {
    QV_ASSERT_MAIN_THREAD();
    request_ = request;
    if (hasBeenUsed_) {
        sendInterstitialUsageError();
        return;
    }
    slot_->loadRequest(request);
}

bool AKInterstitial::isReady() const { return slot_->state() == AKSlotStateValidAd; }

bool AKInterstitial::canPresentFrom(const std::shared_ptr<UIViewController>& root) {
    // Checked before anything is recorded: an impression is only for an ad that shows.
    if (!root || !root->isViewLoaded() || !root->view()->window()) {
        AKMacros::pubLog(kNoPresenterLog);
        return false;
    }
    return true;
}

bool AKInterstitial::canPresentFullScreen() {
    if (hasBeenUsed_) {
        sendInterstitialUsageError();
        return false;
    }
    if (!isReady()) {
        AKMacros::pubLog(kNotReadyLog);
        return false;
    }
    return true;
}

void AKInterstitial::presentFromRootViewController(const std::shared_ptr<UIViewController>& root) {
    QV_ASSERT_MAIN_THREAD();
    if (!canPresentFrom(root) || !canPresentFullScreen()) return;
    const auto keep = self<AKInterstitial>();  // the delegate may let go of it while it presents
    if (slot_->isMediating()) {
        slot_->presentMediatedInterstitialFromRootViewController(root);
    } else {
        presentWebAd(root);
    }
    hasPresentedFullScreen();
}

void AKInterstitial::presentWebAd(const std::shared_ptr<UIViewController>& root) {
    const auto controller = viewController_;
    if (!controller) return;  // handed over once already
    slot_->webView()->setDelegate({});
    if (const auto& ad = slot_->ad()) controller->setSupportedOrientations(ad->supportedOrientations);
    controller->setSlot(slot_);
    slot_->didMakeAdImpression();
    controller->presentFromViewController(root);
    viewController_.reset();
}

void AKInterstitial::cancel() { slot_->cancelPendingAndFutureActions(); }

void AKInterstitial::sendInterstitialUsageError() {
    sendInterstitialError(AKRequestError::errorWithCode(kInterstitialAlreadyUsed, request_.get()));
}

void AKInterstitial::sendInterstitialError(const NSErrorPtr& error) {
    AKMacros::pubLog(error ? error->localizedDescription() : std::string("(null)"));
    slot_->didFailToReceiveAdWithError(error, false, true);
}

// ---- What the slot asks ---------------------------------------------------------------------

bool AKInterstitial::slotShouldReloadCurrentRequest(AKSlot& /*slot*/) { return false; }

Value AKInterstitial::coordinatesOfContentInScreen() const {
    const auto webView = slot_ ? slot_->webView() : nullptr;
    if (!webView) return Value();
    return AKViewUtilities::positionOfView(webView, *UIScreen::mainScreen());
}

void AKInterstitial::webAction(const Value& userInfo) {
    // While the slot renders, the navigation is the ad page's own load (the web
    // view reports it like any other): cancelling would end the load it belongs to.
    if (slot_->state() == AKSlotStateRendering) return;
    const Value action = userInfo["a"];
    if (action.isString() && action.stringValue() != "open") return;
    if (hasBeenUsed_ || !isReady()) {
        slot_->cancelPendingActions();
        return;
    }
    // A ready ad whose page opens or goes elsewhere by itself before it is shown
    // is ready no more: the publisher, told it was received, hears that it is
    // gone (the same cancel, reported as a failure).
    slot_->didFailToReceiveAdWithError(AKRequestError::errorWithCode(kNoAdToShow, request_.get()), false, true);
}

// ---- Slot events to the delegate ------------------------------------------------------------

void AKInterstitial::tellDelegate(const std::function<void(AKInterstitialDelegate&, AKInterstitial&)>& call) {
    const auto me = self<AKInterstitial>();
    AKMacros::runSynchronouslyOnMainThreadWithBlock([&] {
        if (const auto delegate = me->delegate()) call(*delegate, *me);
    });
}

void AKInterstitial::slotFinishedLoadingAdContent(AKAdSlot& /*slot*/) {
    tellDelegate([](AKInterstitialDelegate& d, AKInterstitial& i) { d.interstitialDidReceiveAd(i); });
}

void AKInterstitial::slotDidFailToLoadAdContentWithError(AKAdSlot& /*slot*/, const NSErrorPtr& error) {
    tellDelegate([error](AKInterstitialDelegate& d, AKInterstitial& i) {
        d.interstitialDidFailToReceiveAdWithError(i, error);
    });
}

void AKInterstitial::slotWillPresentScreen(AKAdSlot& /*slot*/) {
    tellDelegate([](AKInterstitialDelegate& d, AKInterstitial& i) { d.interstitialWillPresentScreen(i); });
}

void AKInterstitial::slotWillDismissScreen(AKAdSlot& /*slot*/) {
    tellDelegate([](AKInterstitialDelegate& d, AKInterstitial& i) { d.interstitialWillDismissScreen(i); });
}

void AKInterstitial::slotDidDismissScreen(AKAdSlot& /*slot*/) {
    tellDelegate([](AKInterstitialDelegate& d, AKInterstitial& i) { d.interstitialDidDismissScreen(i); });
}

void AKInterstitial::slotWillLeaveApplication(AKAdSlot& /*slot*/) {
    tellDelegate([](AKInterstitialDelegate& d, AKInterstitial& i) { d.interstitialWillLeaveApplication(i); });
}
