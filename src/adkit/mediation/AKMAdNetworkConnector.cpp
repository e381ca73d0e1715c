#include "adkit/mediation/AKMAdNetworkConnector.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/mediation/AKMUtilities.h"

// ---- Creation and the waterfall's side ----------------------------------------------------

AKMAdNetworkConnector::AKMAdNetworkConnector(AKMMediationConfigPtr config, AKMAdNetworkConfigPtr networkConfig)
    : mediationConfig_(std::move(config)), networkConfig_(std::move(networkConfig)) {
    strippedCredentials_ = networkConfig_->credentials().isDictionary() ? networkConfig_->credentials().copy()
                                                                        : Value::dictionary();
    const Value share = strippedCredentials_["gwhirl_share_location"];
    shareLocation_ = share.string() && *share.string() == "1";
    strippedCredentials_.removeObjectForKey("gwhirl_share_location");
}

AKMAdNetworkConnector::~AKMAdNetworkConnector() {
    adManager_.reset();
    delegate_.reset();
    if (adapter_) adapter_->stopBeingDelegate();
}

std::shared_ptr<AKMAdNetworkConnector> AKMAdNetworkConnector::make(const AKAdTypePtr& adType,
                                                                   AKMMediationConfigPtr config,
                                                                   AKMAdNetworkConfigPtr networkConfig) {
    std::shared_ptr<AKMAdNetworkConnector> connector;
    if (adType && adType->isInterstitial())
        connector = std::make_shared<AKMAdNetworkConnectorInterstitial>(std::move(config), std::move(networkConfig));
    else
        connector = std::make_shared<AKMAdNetworkConnectorBanner>(std::move(config), std::move(networkConfig));
    connector->createAdapter();
    return connector;
}

void AKMAdNetworkConnector::createAdapter() {
    const auto& className = networkConfig_->adapterClass();
    if (!className) return;
    adapter_ = std::dynamic_pointer_cast<AKMAdNetworkAdapting>(ClassRegistry::create(*className));
    if (adapter_) adapter_->initWithAKMAdNetworkConnector(std::static_pointer_cast<AKMAdNetworkConnector>(shared_from_this()));
}

void AKMAdNetworkConnector::getAdFromAdapterWithType(const AKAdTypePtr& type) {
    if (!type || !adapter_) return;
    if (type->isInterstitial()) {
        adapter_->getInterstitial();
    } else if (AKAdSizeIsValid(type->adSize())) {
        adapter_->getBannerWithSize(type->adSize());
    }
}

void AKMAdNetworkConnector::askAdapterToStopBeingDelegate() {
    if (adapter_) adapter_->stopBeingDelegate();
}

bool AKMAdNetworkConnector::askAdapterIsBannerAnimationOK(std::int64_t animationType) {
    return adapter_ && adapter_->isBannerAnimationOK(animationType);
}

std::shared_ptr<AKMDelegate> AKMAdNetworkConnector::attachedDelegate() const {
    return adManager_.lock() ? delegate_.lock() : nullptr;
}

// ---- What adapters see ---------------------------------------------------------------------

std::optional<std::string> AKMAdNetworkConnector::publisherId() const { return networkConfig_->publisherID(); }

bool AKMAdNetworkConnector::testMode() const {
    auto d = delegate();
    return d && d->akmTestMode();
}

std::shared_ptr<AKAdNetworkExtras> AKMAdNetworkConnector::networkExtras() const {
    const std::string className = networkConfig_->adapterClass().value_or("");
    auto extrasClass = ClassRegistry::callClassOperation(className, kAKMNetworkExtrasClassOperation);
    if (!extrasClass) {
        AKMacros::pubLog("Adapter class " + (className.empty() ? std::string("(null)") : className) +
                         " does not response to SEL: " + kAKMNetworkExtrasClassOperation +
                         ". Unable to retrieve network extras.");
        return nullptr;
    }
    auto d = delegate();
    const std::string* name = extrasClass->string();
    return d && name ? d->networkExtrasFor(*name) : nullptr;
}

std::shared_ptr<UIViewController> AKMAdNetworkConnector::viewControllerForPresentingModalView() const {
    auto d = delegate();
    return d ? d->viewControllerForPresentingModalView() : nullptr;
}

std::optional<bool> AKMAdNetworkConnector::childDirectedTreatment() const {
    auto d = delegate();
    return d ? d->childDirectedTreatment() : std::nullopt;
}

std::int64_t AKMAdNetworkConnector::userGender() const {
    auto d = delegate();
    return d ? d->userGender() : 0;
}

std::optional<Date> AKMAdNetworkConnector::userBirthday() const {
    auto d = delegate();
    return d ? d->userBirthday() : std::nullopt;
}

bool AKMAdNetworkConnector::userHasLocation() const {
    if (!shareLocation_) return false;
    auto d = delegate();
    auto location = d ? d->userLocation() : nullptr;
    return location && location->isPreciseLocation();
}

double AKMAdNetworkConnector::userLatitude() const {
    return userHasLocation() ? delegate()->userLocation()->latitude() : 0.0;
}

double AKMAdNetworkConnector::userLongitude() const {
    return userHasLocation() ? delegate()->userLocation()->longitude() : 0.0;
}

double AKMAdNetworkConnector::userLocationAccuracyInMeters() const {
    return userHasLocation() ? delegate()->userLocation()->accuracy() : 0.0;
}

std::optional<std::string> AKMAdNetworkConnector::userLocationDescription() const {
    if (!shareLocation_) return std::nullopt;
    auto d = delegate();
    auto location = d ? d->userLocation() : nullptr;
    if (!location) return std::nullopt;
    return location->locationDescription();
}

Value AKMAdNetworkConnector::userKeywords() const {
    auto d = delegate();
    return d ? d->userKeywords() : Value();
}

// ---- Pings ---------------------------------------------------------------------------------

void AKMAdNetworkConnector::sendClickPing() {
    if (clicked_ || !adManager_.lock()) return;
    clicked_ = true;
    AKMUtilities::trackMediationURLsFromTemplates({mediationConfig_->clickURLs(), AKMUtilities::defaultClickTemplate(),
                                                   networkConfig_->networkID(), networkConfig_->allocationID(),
                                                   mediationConfig_->qdata(), mediationConfig_->appKey(),
                                                   didNetworkRefresh_, std::nullopt, std::nullopt});
}

void AKMAdNetworkConnector::sendImpressionPing() {
    auto d = attachedDelegate();
    if (!adManager_.lock()) return;
    std::optional<std::string> durations = d ? d->adapterDurationsParameter() : std::nullopt;
    std::optional<std::string> exitCodes = d ? d->adapterExitCodesParameter() : std::nullopt;
    if (d) d->resetTimingAdapters();
    const Value& own = networkConfig_->impressionURLs();
    AKMUtilities::trackMediationURLsFromTemplates({own.isNull() ? mediationConfig_->impressionURLs() : own,
                                                   AKMUtilities::defaultImpressionTemplate(),
                                                   networkConfig_->networkID(), networkConfig_->allocationID(),
                                                   mediationConfig_->qdata(), mediationConfig_->appKey(),
                                                   didNetworkRefresh_, durations, exitCodes});
}

// ---- Banner events -------------------------------------------------------------------------

void AKMAdNetworkConnectorBanner::adapterDidReceiveAdView(AKMAdNetworkAdapting& adapter,
                                                          const std::shared_ptr<UIView>& view) {
    auto manager = adManager();
    if (!isOwnAdapter(adapter) || !manager || !manager->acceptsAnswersFrom(*this)) return;
    const auto keep = shared_from_this();
    didNetworkRefresh_ = didNetworkReturn_;
    didNetworkReturn_ = true;
    clicked_ = false;
    manager->adRequestReturnsFromConnectorWithView(*this, view);
    sendImpressionPing();
}

void AKMAdNetworkConnectorBanner::adapterDidFailAd(AKMAdNetworkAdapting& adapter, const NSErrorPtr& error) {
    auto manager = adManager();
    if (!isOwnAdapter(adapter) || !manager || !manager->acceptsAnswersFrom(*this)) return;
    didNetworkRefresh_ = didNetworkReturn_;
    didNetworkReturn_ = true;
    manager->adRequestFailedFromConnectorWithError(*this, error);
}

void AKMAdNetworkConnectorBanner::adapterClickDidOccurInBanner(AKMAdNetworkAdapting& adapter,
                                                               const std::shared_ptr<UIView>&) {
    if (isOwnAdapter(adapter)) sendClickPing();
}

void AKMAdNetworkConnectorBanner::adapterWillPresentFullScreenModal(AKMAdNetworkAdapting&) {
    if (auto d = attachedDelegate()) d->akmWillPresentFullScreenModal();
    sendClickPing();
}

void AKMAdNetworkConnectorBanner::adapterWillDismissFullScreenModal(AKMAdNetworkAdapting&) {
    if (auto d = attachedDelegate()) d->akmWillDismissFullScreenModal();
}

void AKMAdNetworkConnectorBanner::adapterDidDismissFullScreenModal(AKMAdNetworkAdapting&) {
    if (auto d = attachedDelegate()) d->akmDidDismissFullScreenModal();
}

void AKMAdNetworkConnectorBanner::adapterWillLeaveApplication(AKMAdNetworkAdapting&) {
    if (auto d = attachedDelegate()) d->akmWillLeaveApplication();
    sendClickPing();
}

// ---- Interstitial events -------------------------------------------------------------------

void AKMAdNetworkConnectorInterstitial::adapterDidReceiveInterstitial(AKMAdNetworkAdapting& adapter,
                                                                      const std::shared_ptr<NSObject>& ad) {
    auto manager = adManager();
    if (!isOwnAdapter(adapter) || !manager || !manager->acceptsAnswersFrom(*this)) return;
    clicked_ = false;
    manager->adRequestReturnsFromConnectorWithInterstitial(*this, ad);
}

void AKMAdNetworkConnectorInterstitial::adapterDidFailInterstitial(AKMAdNetworkAdapting& adapter,
                                                                   const NSErrorPtr& error) {
    auto manager = adManager();
    if (!isOwnAdapter(adapter) || !manager || !manager->acceptsAnswersFrom(*this)) return;
    manager->adRequestFailedFromConnectorWithError(*this, error);
}

void AKMAdNetworkConnectorInterstitial::adapterWillPresentInterstitial(AKMAdNetworkAdapting&) {
    if (auto d = attachedDelegate()) d->akmWillPresentInterstitial();
    sendImpressionPing();
}

void AKMAdNetworkConnectorInterstitial::adapterWillDismissInterstitial(AKMAdNetworkAdapting&) {
    calledWillDismissInterstitial_ = true;
    if (auto d = attachedDelegate()) d->akmWillDismissInterstitial();
}

void AKMAdNetworkConnectorInterstitial::adapterDidDismissInterstitial(AKMAdNetworkAdapting& adapter) {
    if (!calledWillDismissInterstitial_) adapterWillDismissInterstitial(adapter);
    if (auto d = attachedDelegate()) d->akmDidDismissInterstitial();
}

void AKMAdNetworkConnectorInterstitial::adapterWillLeaveApplication(AKMAdNetworkAdapting&) {
    if (auto d = attachedDelegate()) d->akmWillLeaveApplication();
}
