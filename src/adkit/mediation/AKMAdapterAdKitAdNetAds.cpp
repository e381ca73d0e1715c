#include "adkit/mediation/AKMAdapterAdKitAdNetAds.h"

#include "adkit/foundation/AKDevice.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKInterstitial.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"

namespace {

constexpr const char* kSimulatorTestDevice = "Simulator";

// The publisher's additional parameters for this network, as a new dictionary.
Value publisherParameters(const AKMAdNetworkConnector& connector) {
    const auto extras = std::dynamic_pointer_cast<AKAdNetExtras>(connector.networkExtras());
    const Value given = extras ? extras->additionalParameters() : Value();
    return given.isDictionary() ? given.copy() : Value::dictionary();
}

// The additional parameters of the nested request.
Value additionalParameters(const AKMAdNetworkConnector& connector) {
    Value parameters = publisherParameters(connector);
    const auto& entry = *connector.networkConfig();
    if (auto hac = AKMTextValue(connector.credentials()[AKMAdapterAdKitAdNetAds::kHacCredential]))
        parameters.setObject(AKMAdapterAdKitAdNetAds::kHacCredential, *hac);
    parameters.setObject(AKMAdapterAdKitAdNetAds::kMediationFlagKey, "1");
    if (const auto pairs = entry.extras().dictionaryRef()) {
        for (const auto& [key, value] : *pairs)
            if (value.isString()) parameters.setObject(key, value);
    }
    if (entry.ad().isDictionary()) parameters.setObject(AKMAdapterAdKitAdNetAds::kAdKey, entry.ad().copy());
    return parameters;
}

// "man": each entry's adapter-name list in waterfall order (null without one); "mcan": this adapter.
Value privateMediationExtras(const AKMAdNetworkConnector& connector) {
    Value lists = Value::array();
    for (const auto& entry : connector.mediationConfig()->adNetworkConfigs()) {
        if (!entry->hasAdapterList()) {
            lists.append(Value());
            continue;
        }
        Value names = Value::array();
        for (const auto& name : entry->adapterList()) names.append(name);
        lists.append(names);
    }
    Value extras = Value::dictionary();
    extras.setObject("man", lists);
    extras.setObject("mcan", AKMAdNetworkAdapter::kAdKitAdapterClassName);
    return extras;
}

void setTargeting(AKRequest& request, const AKMAdNetworkConnector& connector) {
    if (connector.testMode())
        request.setTestDevices({kSimulatorTestDevice, AKDevice::currentDevice()->deviceIdentifier()});
    if (const auto childDirected = connector.childDirectedTreatment()) request.tagForChildDirectedTreatment(*childDirected);
    request.setGender(connector.userGender());
    request.setBirthday(connector.userBirthday());
    if (connector.userHasLocation()) {
        request.setLocationWithLatitude(connector.userLatitude(), connector.userLongitude(),
                                        connector.userLocationAccuracyInMeters());
    } else if (const auto description = connector.userLocationDescription()) {
        request.setLocationWithDescription(*description);
    }
    const Value keywords = connector.userKeywords();
    if (keywords.isArray()) request.setKeywords(keywords.copy());
}

}  // namespace

AKMAdapterAdKitAdNetAds::~AKMAdapterAdKitAdNetAds() { detachAdObjects(); }

const std::string& AKMAdapterAdKitAdNetAds::adapterVersion() { return AKRequest::sdkVersion(); }

void AKMAdapterAdKitAdNetAds::initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) {
    connector_ = connector;
}

// ---- The request -----------------------------------------------------------------------

std::shared_ptr<AKRequest> AKMAdapterAdKitAdNetAds::request() const {
    auto request = AKRequest::request();
    const auto connector = connector_.lock();
    if (!connector) return request;
    setTargeting(*request, *connector);
    auto extras = std::make_shared<AKAdNetExtras>();
    extras->setAdditionalParameters(additionalParameters(*connector));
    request->registerAdNetworkExtras(extras);
    request->setPrivateMediationExtras(privateMediationExtras(*connector));
    return request;
}

std::shared_ptr<AKAdSlot> AKMAdapterAdKitAdNetAds::slotFromConnector(const std::shared_ptr<NSObject>& object) {
    const auto connector = std::dynamic_pointer_cast<AKMAdNetworkConnector>(object);
    const auto manager = connector ? connector->adManager() : nullptr;
    const auto glue = manager ? std::dynamic_pointer_cast<AKMToAKGlue>(manager->delegate()) : nullptr;
    return glue ? glue->slot() : nullptr;
}

void AKMAdapterAdKitAdNetAds::prepareNestedSlot(AKAdSlot& nested) const {
    const auto mediating = slotFromConnector(connector_.lock());
    nested.setMediationNestingDepth(mediating ? mediating->mediationNestingDepth() + 1 : 1);
    const auto from = mediating ? mediating->webViewDelegate() : nullptr;
    const auto to = nested.webViewDelegate();
    if (from && to && from->opener() && to->opener())
        to->opener()->setAutoClickProtected(from->opener()->autoClickProtected());
}

// ---- Attempts --------------------------------------------------------------------------

void AKMAdapterAdKitAdNetAds::getBannerWithSize(AKAdSize size) {
    QV_ASSERT_MAIN_THREAD();
    const auto keep = shared_from_this();  // a load may fail at once and drop this adapter
    const auto connector = connector_.lock();
    auto banner = AKBannerView::makeWithAdSize(size);
    if (!connector || !banner) return;  // the waterfall only asks for valid sizes; else it times out
    const auto request = this->request();
    banner->setAdUnitID(connector->publisherId());
    banner->setDelegate(self<AKMAdapterAdKitAdNetAds>());
    banner->setRootViewController(connector->viewControllerForPresentingModalView());
    banner->setCreatedOnMediationRequest(true);
    prepareNestedSlot(*banner->slot());
    banner_ = banner;
    banner->loadRequest(request);
}

void AKMAdapterAdKitAdNetAds::getInterstitial() {
    QV_ASSERT_MAIN_THREAD();
    const auto keep = shared_from_this();  // a load may fail at once and drop this adapter
    const auto connector = connector_.lock();
    if (!connector) return;
    const auto request = this->request();
    auto interstitial = AKInterstitial::make();
    interstitial->setAdUnitID(connector->publisherId());
    interstitial->setDelegate(self<AKMAdapterAdKitAdNetAds>());
    prepareNestedSlot(*interstitial->slot());
    interstitial_ = interstitial;
    interstitial->loadRequest(request);
}

void AKMAdapterAdKitAdNetAds::stopBeingDelegate() { detachAdObjects(); }

void AKMAdapterAdKitAdNetAds::detachAdObjects() {
    if (banner_) banner_->setDelegate(nullptr);
    if (interstitial_) interstitial_->setDelegate(nullptr);
}

void AKMAdapterAdKitAdNetAds::presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) {
    const auto keep = shared_from_this();  // presenting reports will-present to the connector
    if (interstitial_) interstitial_->presentFromRootViewController(root);
}

void AKMAdapterAdKitAdNetAds::changeAdSizeTo(AKAdSize size) {
    const auto keep = shared_from_this();  // the banner reloads; a failure may report at once
    if (banner_) banner_->setAdSize(size);
}

// ---- Delegate calls to connector events ------------------------------------------------

void AKMAdapterAdKitAdNetAds::report(
    const std::function<void(AKMAdNetworkConnector& connector, AKMAdNetworkAdapting& adapter)>& events) {
    const auto keep = shared_from_this();  // the report may drop this adapter
    if (const auto connector = connector_.lock()) events(*connector, *this);
}

void AKMAdapterAdKitAdNetAds::adViewDidReceiveAd(AKBannerView& banner) {
    const auto view = banner.self<UIView>();
    report([&](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterDidReceiveAdView(a, view); });
}

void AKMAdapterAdKitAdNetAds::adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) {
    report([&](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterDidFailAd(a, error); });
}

void AKMAdapterAdKitAdNetAds::adViewWillPresentScreen(AKBannerView& banner) {
    const auto view = banner.self<UIView>();
    report([&](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) {
        c.adapterClickDidOccurInBanner(a, view);
        c.adapterWillPresentFullScreenModal(a);
    });
}

void AKMAdapterAdKitAdNetAds::adViewWillDismissScreen(AKBannerView&) {
    report([](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterWillDismissFullScreenModal(a); });
}

void AKMAdapterAdKitAdNetAds::adViewDidDismissScreen(AKBannerView&) {
    report([](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterDidDismissFullScreenModal(a); });
}

void AKMAdapterAdKitAdNetAds::adViewWillLeaveApplication(AKBannerView& banner) {
    const auto view = banner.self<UIView>();
    report([&](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) {
        c.adapterClickDidOccurInBanner(a, view);
        c.adapterWillLeaveApplication(a);
    });
}

void AKMAdapterAdKitAdNetAds::interstitialDidReceiveAd(AKInterstitial& interstitial) {
    const auto ad = interstitial.self<NSObject>();
    report([&](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterDidReceiveInterstitial(a, ad); });
}

void AKMAdapterAdKitAdNetAds::interstitialDidFailToReceiveAdWithError(AKInterstitial&, const NSErrorPtr& error) {
    report([&](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterDidFailInterstitial(a, error); });
}

void AKMAdapterAdKitAdNetAds::interstitialWillPresentScreen(AKInterstitial&) {
    report([](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterWillPresentInterstitial(a); });
}

void AKMAdapterAdKitAdNetAds::interstitialWillDismissScreen(AKInterstitial&) {
    report([](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterWillDismissInterstitial(a); });
}

void AKMAdapterAdKitAdNetAds::interstitialDidDismissScreen(AKInterstitial&) {
    report([](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterDidDismissInterstitial(a); });
}

void AKMAdapterAdKitAdNetAds::interstitialWillLeaveApplication(AKInterstitial&) {
    report([](AKMAdNetworkConnector& c, AKMAdNetworkAdapting& a) { c.adapterWillLeaveApplication(a); });
}

// ---- Registration ----------------------------------------------------------------------

// Registering again replaces the class with the same one.
void AKMAdapterAdKitAdNetAdsRegister() {
    AKMAdNetworkAdapter::registerAdapterClass({AKMAdNetworkAdapter::kAdKitAdapterClassName, "NSObject",
                                               [] { return std::make_shared<AKMAdapterAdKitAdNetAds>(); },
                                               AKMAdapterAdKitAdNetAds::adapterVersion(),
                                               AKMAdapterAdKitAdNetAds::kNetworkExtrasClassName, true});
}
