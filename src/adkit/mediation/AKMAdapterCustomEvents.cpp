#include "adkit/mediation/AKMAdapterCustomEvents.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/mediation/AKCustomEventRequest.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"

namespace {
constexpr long kCustomEventErrorCode = 1;
}  // namespace

AKMAdapterCustomEvents::~AKMAdapterCustomEvents() { stopBeingDelegate(); }

void AKMAdapterCustomEvents::initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) {
    connector_ = connector;
}

std::shared_ptr<AKMAdNetworkConnector> AKMAdapterCustomEvents::activeConnector() const {
    return stopped_ ? nullptr : connector_.lock();
}

// ---- Making the custom event ---------------------------------------------------------------

void AKMAdapterCustomEvents::callBackToConnectorWithError(const std::string& message, bool isInterstitial) {
    auto connector = activeConnector();
    if (!connector) return;
    auto error = NSError::make(kAKMCustomEventErrorDomain, kCustomEventErrorCode, message);
    if (isInterstitial)
        connector->adapterDidFailInterstitial(*this, error);
    else
        connector->adapterDidFailAd(*this, error);
}

void AKMAdapterCustomEvents::failNotConforming(const std::string& className, const char* protocol,
                                               bool isInterstitial) {
    const std::string message =
        "Custom Event class " + className + " does not conform to the " + protocol + " protocol.";
    AKMacros::pubLog(message);
    callBackToConnectorWithError(message, isInterstitial);
}

std::shared_ptr<NSObject> AKMAdapterCustomEvents::customEventWithCredentials(bool isInterstitial) {
    auto connector = activeConnector();
    if (!connector) return nullptr;
    const auto className = AKMTextValue(connector->credentials()["class_name"]);
    if (!className) {
        callBackToConnectorWithError("No class name for the Custom Event.", isInterstitial);
        return nullptr;
    }
    // A class that declares neither protocol is refused before any instance of it is made.
    const bool declaresEither = ClassRegistry::conformsTo(*className, kAKCustomEventBannerProtocol) ||
                                ClassRegistry::conformsTo(*className, kAKCustomEventInterstitialProtocol);
    if (NSClassExists(*className) && !declaresEither) {
        failNotConforming(*className,
                          isInterstitial ? kAKCustomEventInterstitialProtocol : kAKCustomEventBannerProtocol,
                          isInterstitial);
        return nullptr;
    }
    auto object = NSClassExists(*className) ? ClassRegistry::create(*className) : nullptr;
    if (!object) {  // not linked, or linked without a way to make it
        const std::string message = "Cannot find Custom Event class named " + *className + ".";
        AKMacros::pubLog(message);
        callBackToConnectorWithError(message, isInterstitial);
    }
    return object;
}

// ---- The attempts --------------------------------------------------------------------------

std::optional<AKMAdapterCustomEvents::Attempt> AKMAdapterCustomEvents::prepareAttempt(bool isInterstitial) {
    auto object = customEventWithCredentials(isInterstitial);
    auto connector = activeConnector();
    if (!object || !connector) return std::nullopt;
    const Value& credentials = connector->credentials();
    Attempt attempt{AKMTextValue(credentials["class_name"]).value_or(""), AKMTextValue(credentials["parameter"]),
                    AKMTextValue(credentials["label"]), nullptr, std::move(object)};
    attempt.request = AKCustomEventRequest::initWithConnector(*connector, attempt.label);
    return attempt;
}

template <class Protocol>
std::shared_ptr<Protocol> AKMAdapterCustomEvents::conformingEvent(const Attempt& attempt, const char* protocol,
                                                                  bool isInterstitial) {
    auto event = std::dynamic_pointer_cast<Protocol>(attempt.object);
    if (event && ClassRegistry::conformsTo(attempt.className, protocol)) return event;
    failNotConforming(attempt.className, protocol, isInterstitial);
    return nullptr;
}

void AKMAdapterCustomEvents::getBannerWithSize(AKAdSize size) {
    QV_ASSERT_MAIN_THREAD();
    auto keepAlive = self<AKMAdapterCustomEvents>();  // a report below may release the adapter's connector
    auto attempt = prepareAttempt(false);
    if (!attempt) return;
    auto banner = conformingEvent<AKCustomEventBanner>(*attempt, kAKCustomEventBannerProtocol, false);
    if (!banner) return;
    // Kept before the request, so that a report inside it finds the event in place.
    customEventBanner_ = banner;
    banner->setDelegate(self<AKCustomEventBannerDelegate>());
    banner->requestBannerAd(size, attempt->parameter, attempt->label, attempt->request);
}

void AKMAdapterCustomEvents::getInterstitial() {
    QV_ASSERT_MAIN_THREAD();
    auto keepAlive = self<AKMAdapterCustomEvents>();  // a report below may release the adapter's connector
    auto attempt = prepareAttempt(true);
    if (!attempt) return;
    auto interstitial =
        conformingEvent<AKCustomEventInterstitial>(*attempt, kAKCustomEventInterstitialProtocol, true);
    if (!interstitial) return;
    customEventInterstitial_ = interstitial;
    interstitial->setDelegate(self<AKCustomEventInterstitialDelegate>());
    interstitial->requestInterstitialAd(attempt->parameter, attempt->label, attempt->request);
}

void AKMAdapterCustomEvents::stopBeingDelegate() {
    stopped_ = true;
    if (customEventBanner_) customEventBanner_->setDelegate(std::shared_ptr<AKCustomEventBannerDelegate>());
    if (customEventInterstitial_)
        customEventInterstitial_->setDelegate(std::shared_ptr<AKCustomEventInterstitialDelegate>());
}

bool AKMAdapterCustomEvents::isBannerAnimationOK(std::int64_t) { return true; }

void AKMAdapterCustomEvents::presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) {
    QV_ASSERT_MAIN_THREAD();
    auto keepAlive = self<AKMAdapterCustomEvents>();  // the event reports inside the call
    if (customEventInterstitial_) customEventInterstitial_->presentFromRootViewController(root);
}

// ---- Relaying ------------------------------------------------------------------------------

std::shared_ptr<AKMAdNetworkConnector> AKMAdapterCustomEvents::relayTo(const AKCustomEventBanner& event) const {
    return &event == customEventBanner_.get() ? activeConnector() : nullptr;
}

std::shared_ptr<AKMAdNetworkConnector> AKMAdapterCustomEvents::relayTo(const AKCustomEventInterstitial& event) const {
    return &event == customEventInterstitial_.get() ? activeConnector() : nullptr;
}

void AKMAdapterCustomEvents::customEventBannerDidReceiveAd(AKCustomEventBanner& event,
                                                           const std::shared_ptr<UIView>& view) {
    if (auto connector = relayTo(event)) connector->adapterDidReceiveAdView(*this, view);
}

void AKMAdapterCustomEvents::customEventBannerDidFailAd(AKCustomEventBanner& event, const NSErrorPtr& error) {
    if (auto connector = relayTo(event)) connector->adapterDidFailAd(*this, error);
}

void AKMAdapterCustomEvents::customEventBannerClickDidOccurInAd(AKCustomEventBanner& event,
                                                                const std::shared_ptr<UIView>& view) {
    if (auto connector = relayTo(event)) connector->adapterClickDidOccurInBanner(*this, view);
}

void AKMAdapterCustomEvents::customEventBannerWillPresentModal(AKCustomEventBanner& event) {
    if (auto connector = relayTo(event)) connector->adapterWillPresentFullScreenModal(*this);
}

void AKMAdapterCustomEvents::customEventBannerWillDismissModal(AKCustomEventBanner& event) {
    if (auto connector = relayTo(event)) connector->adapterWillDismissFullScreenModal(*this);
}

void AKMAdapterCustomEvents::customEventBannerDidDismissModal(AKCustomEventBanner& event) {
    if (auto connector = relayTo(event)) connector->adapterDidDismissFullScreenModal(*this);
}

void AKMAdapterCustomEvents::customEventBannerWillLeaveApplication(AKCustomEventBanner& event) {
    if (auto connector = relayTo(event)) connector->adapterWillLeaveApplication(*this);
}

std::shared_ptr<UIViewController> AKMAdapterCustomEvents::viewControllerForPresentingModalView() {
    auto connector = connector_.lock();
    return connector ? connector->viewControllerForPresentingModalView() : nullptr;
}

void AKMAdapterCustomEvents::customEventInterstitialDidReceiveAd(AKCustomEventInterstitial& event,
                                                                 const std::shared_ptr<NSObject>& ad) {
    if (auto connector = relayTo(event)) connector->adapterDidReceiveInterstitial(*this, ad);
}

void AKMAdapterCustomEvents::customEventInterstitialDidFailAd(AKCustomEventInterstitial& event,
                                                              const NSErrorPtr& error) {
    if (auto connector = relayTo(event)) connector->adapterDidFailInterstitial(*this, error);
}

void AKMAdapterCustomEvents::customEventInterstitialWillPresent(AKCustomEventInterstitial& event) {
    if (auto connector = relayTo(event)) connector->adapterWillPresentInterstitial(*this);
}

void AKMAdapterCustomEvents::customEventInterstitialWillDismiss(AKCustomEventInterstitial& event) {
    if (auto connector = relayTo(event)) connector->adapterWillDismissInterstitial(*this);
}

void AKMAdapterCustomEvents::customEventInterstitialDidDismiss(AKCustomEventInterstitial& event) {
    if (auto connector = relayTo(event)) connector->adapterDidDismissInterstitial(*this);
}

void AKMAdapterCustomEvents::customEventInterstitialWillLeaveApplication(AKCustomEventInterstitial& event) {
    if (auto connector = relayTo(event)) connector->adapterWillLeaveApplication(*this);
}

// ---- Registration --------------------------------------------------------------------------

void AKMAdapterCustomEventsRegister() {
    ClassRegistry::registerProtocol(kAKCustomEventBannerProtocol);
    ClassRegistry::registerProtocol(kAKCustomEventInterstitialProtocol);
    AKMAdNetworkAdapter::registerAdapterClass(
        {"AKMAdapterCustomEvents", "NSObject",
         [] { return std::static_pointer_cast<NSObject>(std::make_shared<AKMAdapterCustomEvents>()); },
         AKRequest::sdkVersion(), "AKCustomEventExtras", false});
}
