// Protects nothing itself: the scripted mediation networks the mediation tests drive.
#include "MediationTestClasses.h"

#include <doctest/doctest.h>

#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/mediation/AKMConfig.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/uikit/UIView.h"

// ---- The script ----------------------------------------------------------------------------------

namespace {

long numberOr(const Value& values, const char* key, long fallback) {
    auto text = AKMTextValue(values[key]);
    if (!text) return fallback;
    try {
        return std::stol(*text);
    } catch (const std::exception&) {
        return fallback;  // not a number: the default stays
    }
}

bool flag(const Value& values, const char* key) { return AKMTextValue(values[key]) == std::optional<std::string>("1"); }

}  // namespace

QVScript QVScript::fromValues(const Value& values) {
    QVScript script;
    script.fill = AKMTextValue(values["fill"]).value_or("never");
    script.afterMs = numberOr(values, "after_ms", 0);
    script.late = flag(values, "late");
    script.refreshMs = numberOr(values, "refresh_ms", 0);
    script.refreshFail = flag(values, "refresh_fail");
    script.message = AKMTextValue(values["message"]);
    return script;
}

QVScript QVScript::fromParameter(const std::optional<std::string>& parameter) {
    auto parsed = parameter ? Value::fromJSON(*parameter) : std::nullopt;
    return fromValues(parsed && parsed->isDictionary() ? *parsed : Value::dictionary());
}

// ---- Live instances ------------------------------------------------------------------------------

namespace {

struct LiveInstances {
    int adapters = 0;
    int customEvents = 0;
    int notCustomEventsMade = 0;
    std::weak_ptr<QVScriptedNetwork> latestAdapter;
    std::weak_ptr<QVScriptedNetwork> latestCustomEvent;
};

LiveInstances& live() {
    static LiveInstances instances;  // main thread only
    return instances;
}

}  // namespace

std::shared_ptr<QVScriptedNetwork> QVScriptedNetwork::latestAdapter() { return live().latestAdapter.lock(); }
std::shared_ptr<QVScriptedNetwork> QVScriptedNetwork::latestCustomEvent() { return live().latestCustomEvent.lock(); }
int QVScriptedNetwork::liveAdapters() { return live().adapters; }
int QVScriptedNetwork::liveCustomEvents() { return live().customEvents; }
int QVScriptedNetwork::notACustomEventsMade() { return live().notCustomEventsMade; }

// ---- Running the script --------------------------------------------------------------------------

QVScriptedNetwork::QVScriptedNetwork() = default;
QVScriptedNetwork::~QVScriptedNetwork() = default;

void QVScriptedNetwork::startScript(Asked asked, AKAdSize size, QVScript script) {
    QV_ASSERT_MAIN_THREAD();
    asked_ = asked;
    size_ = size;
    script_ = std::move(script);
    if (script_.fill == "never") return;
    if (script_.afterMs <= 0) {
        answer();
        return;
    }
    afterDelay(script_.afterMs, [](QVScriptedNetwork& network) { network.answer(); });
}

void QVScriptedNetwork::afterDelay(long ms, std::function<void(QVScriptedNetwork&)> step) {
    auto network = selfNetwork();
    std::weak_ptr<QVScriptedNetwork> weak = network;
    // A late network stays alive until its answer went out; any other goes with its owner.
    std::shared_ptr<QVScriptedNetwork> keep = script_.late ? network : nullptr;
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, ms * static_cast<std::int64_t>(NSEC_PER_MSEC)),
                   dispatch_get_main_queue(), [weak, keep, step = std::move(step)] {
                       if (auto alive = weak.lock()) step(*alive);
                   });
}

void QVScriptedNetwork::answer() {
    if (!mayReport()) return;
    if (script_.fill == "banner") {
        deliverBanner();
    } else if (script_.fill == "interstitial") {
        reportInterstitial(interstitialAd());
    } else {
        reportFailure(failure(script_.fill == "nofill"));
    }
}

void QVScriptedNetwork::deliverBanner() {
    const CGSize size = asked_ == Asked::banner ? AKAdSizeToCGSize(size_) : CGSizeMake(320, 480);
    lastBanner_ = std::make_shared<UIView>(CGRectMake(0, 0, size.width, size.height));
    ++bannersDelivered_;
    auto keep = selfNetwork();  // a report may free the network's owner
    reportBanner(lastBanner_);
    scheduleRefresh();
}

void QVScriptedNetwork::scheduleRefresh() {
    if (script_.refreshMs <= 0 || !mayReport()) return;
    afterDelay(script_.refreshMs, [](QVScriptedNetwork& network) {
        if (!network.mayReport()) return;
        if (!network.script_.refreshFail) {
            network.deliverBanner();
            return;
        }
        auto keep = network.selfNetwork();
        network.reportFailure(network.failure(false));
        network.scheduleRefresh();
    });
}

std::shared_ptr<NSObject> QVScriptedNetwork::interstitialAd() {
    if (!interstitialAd_) interstitialAd_ = std::make_shared<NSObject>();
    return interstitialAd_;
}

NSErrorPtr QVScriptedNetwork::failure(bool noFill) const {
    if (noFill) return NSError::make("com.adkit.ads", 1, script_.message.value_or("Scripted: no fill."));
    return NSError::make(kQVScriptedErrorDomain, 2, script_.message.value_or("Scripted: network error."));
}

void QVScriptedNetwork::sendEvent(Event event) {
    QV_ASSERT_MAIN_THREAD();
    if (!mayReport() || asked_ == Asked::nothing) return;
    auto keep = selfNetwork();
    reportEvent(event);
}

void QVScriptedNetwork::click() { sendEvent(Event::click); }
void QVScriptedNetwork::present() { sendEvent(Event::present); }
void QVScriptedNetwork::willDismiss() { sendEvent(Event::willDismiss); }
void QVScriptedNetwork::dismiss() { sendEvent(Event::didDismiss); }
void QVScriptedNetwork::leaveApplication() { sendEvent(Event::leave); }

// ---- The adapter ---------------------------------------------------------------------------------

QVScriptedAdapter::QVScriptedAdapter() { ++live().adapters; }
QVScriptedAdapter::~QVScriptedAdapter() { --live().adapters; }

std::shared_ptr<QVScriptedNetwork> QVScriptedAdapter::selfNetwork() { return self<QVScriptedAdapter>(); }

void QVScriptedAdapter::initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) {
    QV_ASSERT_MAIN_THREAD();
    connector_ = connector;
    live().latestAdapter = selfNetwork();
}

void QVScriptedAdapter::getBannerWithSize(AKAdSize size) {
    record("banner " + AKAdSizeDescription(size));
    auto connector = connector_.lock();
    startScript(Asked::banner, size, QVScript::fromValues(connector ? connector->credentials() : Value()));
}

void QVScriptedAdapter::getInterstitial() {
    record("interstitial");
    auto connector = connector_.lock();
    startScript(Asked::interstitial, kAKAdSizeInvalid,
                QVScript::fromValues(connector ? connector->credentials() : Value()));
}

void QVScriptedAdapter::stopBeingDelegate() {
    record("stop");
    markStopped();
}

bool QVScriptedAdapter::isBannerAnimationOK(std::int64_t) { return true; }

void QVScriptedAdapter::presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>&) {
    record("present");
    present();
}

void QVScriptedAdapter::changeAdSizeTo(AKAdSize size) { record("change " + AKAdSizeDescription(size)); }

void QVScriptedAdapter::reportBanner(const std::shared_ptr<UIView>& view) {
    if (auto connector = connector_.lock()) connector->adapterDidReceiveAdView(*this, view);
}

void QVScriptedAdapter::reportInterstitial(const std::shared_ptr<NSObject>& ad) {
    if (auto connector = connector_.lock()) connector->adapterDidReceiveInterstitial(*this, ad);
}

void QVScriptedAdapter::reportFailure(const NSErrorPtr& error) {
    auto connector = connector_.lock();
    if (!connector) return;
    if (asked() == Asked::interstitial)
        connector->adapterDidFailInterstitial(*this, error);
    else
        connector->adapterDidFailAd(*this, error);
}

void QVScriptedAdapter::reportEvent(Event event) {
    auto connector = connector_.lock();
    if (!connector) return;
    const bool banner = asked() == Asked::banner;
    switch (event) {
        case Event::click:
            if (banner) connector->adapterClickDidOccurInBanner(*this, lastBanner());
            break;
        case Event::present:
            banner ? connector->adapterWillPresentFullScreenModal(*this) : connector->adapterWillPresentInterstitial(*this);
            break;
        case Event::willDismiss:
            banner ? connector->adapterWillDismissFullScreenModal(*this) : connector->adapterWillDismissInterstitial(*this);
            break;
        case Event::didDismiss:
            banner ? connector->adapterDidDismissFullScreenModal(*this) : connector->adapterDidDismissInterstitial(*this);
            break;
        case Event::leave:
            connector->adapterWillLeaveApplication(*this);
            break;
    }
}

// ---- The custom event ----------------------------------------------------------------------------

namespace {
// A custom event answers either fill word with the ad of the kind it was asked for.
QVScript askedKind(QVScript script, const char* kind) {
    if (script.fill == "banner" || script.fill == "interstitial") script.fill = kind;
    return script;
}
}  // namespace

QVScriptedCustomEvent::QVScriptedCustomEvent() { ++live().customEvents; }
QVScriptedCustomEvent::~QVScriptedCustomEvent() { --live().customEvents; }

std::shared_ptr<QVScriptedNetwork> QVScriptedCustomEvent::selfNetwork() { return self<QVScriptedCustomEvent>(); }

void QVScriptedCustomEvent::setDelegate(const std::shared_ptr<AKCustomEventBannerDelegate>& delegate) {
    bannerDelegate_ = delegate;
}

void QVScriptedCustomEvent::setDelegate(const std::shared_ptr<AKCustomEventInterstitialDelegate>& delegate) {
    interstitialDelegate_ = delegate;
}

void QVScriptedCustomEvent::takeRequest(const std::optional<std::string>& parameter,
                                        const std::optional<std::string>& label,
                                        const std::shared_ptr<AKCustomEventRequest>& request) {
    QV_ASSERT_MAIN_THREAD();
    parameter_ = parameter;
    label_ = label;
    request_ = request;
    requestBannerDelegate_ = bannerDelegate_;
    requestInterstitialDelegate_ = interstitialDelegate_;
    live().latestCustomEvent = selfNetwork();
}

void QVScriptedCustomEvent::requestBannerAd(AKAdSize adSize, const std::optional<std::string>& parameter,
                                            const std::optional<std::string>& label,
                                            const std::shared_ptr<AKCustomEventRequest>& request) {
    record("banner " + AKAdSizeDescription(adSize));
    takeRequest(parameter, label, request);
    startScript(Asked::banner, adSize, askedKind(QVScript::fromParameter(parameter), "banner"));
}

void QVScriptedCustomEvent::requestInterstitialAd(const std::optional<std::string>& parameter,
                                                  const std::optional<std::string>& label,
                                                  const std::shared_ptr<AKCustomEventRequest>& request) {
    record("interstitial");
    takeRequest(parameter, label, request);
    startScript(Asked::interstitial, kAKAdSizeInvalid, askedKind(QVScript::fromParameter(parameter), "interstitial"));
}

void QVScriptedCustomEvent::presentFromRootViewController(const std::shared_ptr<UIViewController>&) {
    record("present");
    present();
}

std::shared_ptr<AKCustomEventBannerDelegate> QVScriptedCustomEvent::bannerTarget() const {
    if (auto current = bannerDelegate_.lock()) return current;
    return script().late ? requestBannerDelegate_.lock() : nullptr;
}

std::shared_ptr<AKCustomEventInterstitialDelegate> QVScriptedCustomEvent::interstitialTarget() const {
    if (auto current = interstitialDelegate_.lock()) return current;
    return script().late ? requestInterstitialDelegate_.lock() : nullptr;
}

void QVScriptedCustomEvent::reportBanner(const std::shared_ptr<UIView>& view) {
    if (auto delegate = bannerTarget()) delegate->customEventBannerDidReceiveAd(*this, view);
}

void QVScriptedCustomEvent::reportInterstitial(const std::shared_ptr<NSObject>& ad) {
    if (auto delegate = interstitialTarget()) delegate->customEventInterstitialDidReceiveAd(*this, ad);
}

void QVScriptedCustomEvent::reportFailure(const NSErrorPtr& error) {
    if (asked() == Asked::interstitial) {
        if (auto delegate = interstitialTarget()) delegate->customEventInterstitialDidFailAd(*this, error);
    } else if (auto delegate = bannerTarget()) {
        delegate->customEventBannerDidFailAd(*this, error);
    }
}

void QVScriptedCustomEvent::reportEvent(Event event) {
    if (asked() == Asked::interstitial) {
        auto delegate = interstitialTarget();
        if (!delegate) return;
        switch (event) {
            case Event::click: break;  // an interstitial custom event has no click event
            case Event::present: delegate->customEventInterstitialWillPresent(*this); break;
            case Event::willDismiss: delegate->customEventInterstitialWillDismiss(*this); break;
            case Event::didDismiss: delegate->customEventInterstitialDidDismiss(*this); break;
            case Event::leave: delegate->customEventInterstitialWillLeaveApplication(*this); break;
        }
        return;
    }
    auto delegate = bannerTarget();
    if (!delegate) return;
    switch (event) {
        case Event::click: delegate->customEventBannerClickDidOccurInAd(*this, lastBanner()); break;
        case Event::present: delegate->customEventBannerWillPresentModal(*this); break;
        case Event::willDismiss: delegate->customEventBannerWillDismissModal(*this); break;
        case Event::didDismiss: delegate->customEventBannerDidDismissModal(*this); break;
        case Event::leave: delegate->customEventBannerWillLeaveApplication(*this); break;
    }
}

// ---- The class that is no custom event -----------------------------------------------------------

QVNotACustomEvent::QVNotACustomEvent() { ++live().notCustomEventsMade; }

// ---- The recording waterfall --------------------------------------------------------------------

std::shared_ptr<AKMAdNetworkConnector> QVRecordingWaterfall::connect(const AKAdTypePtr& type,
                                                                     const std::string& entryJSON) {
    auto dictionary = Value::fromJSON(R"({"qdata": "q", "ad_networks": [)" + entryJSON + "]}");
    NSErrorPtr error;
    auto config = dictionary ? AKMMediationConfig::initWithAppKey("unit-scripted", *dictionary, &error) : nullptr;
    CHECK_MESSAGE((config && config->adNetworkConfigs().size() == 1), "the entry parses: ", entryJSON);
    if (!config || config->adNetworkConfigs().size() != 1) return nullptr;
    auto connector = AKMAdNetworkConnector::make(type, config, config->adNetworkConfigs()[0]);
    auto self = shared_from_this();
    delegate_ = self;
    connector->setGadmDelegate(self);
    connector->setAdManager(self);
    return connector;
}

std::shared_ptr<AKAdNetworkExtras> QVRecordingWaterfall::networkExtrasFor(const std::string& extrasClass) {
    auto found = extras.find(extrasClass);
    return found == extras.end() ? nullptr : found->second;
}

void QVRecordingWaterfall::adRequestFailedFromConnectorWithError(AKMAdNetworkConnector&, const NSErrorPtr& error) {
    events.push_back(error ? "failed " + error->domain() + " " + std::to_string(error->code()) + " " +
                                 error->localizedDescription()
                           : "failed");
}

// ---- Registration, before main -------------------------------------------------------------------

namespace {

template <class T>
ClassRegistry::Factory factoryOf() {
    return [] { return std::static_pointer_cast<NSObject>(std::make_shared<T>()); };
}

[[maybe_unused]] const bool registered = [] {
    AKMAdNetworkAdapter::registerAdapterClass(
        {"QVScriptedAdapter", "NSObject", factoryOf<QVScriptedAdapter>(), "scripted-1", "", true});
    ClassRegistry::registerClass({"QVConformingSubclass", "QVScriptedAdapter", {}, factoryOf<QVConformingSubclass>()});
    ClassRegistry::registerClass({"QVOldInterfaceAdapter", "NSObject", {kAKMAdNetworkAdapterProtocol},
                                  factoryOf<QVOldInterfaceAdapter>()});
    ClassRegistry::registerClass({"QVScriptedCustomEvent", "NSObject",
                                  {kAKCustomEventBannerProtocol, kAKCustomEventInterstitialProtocol},
                                  factoryOf<QVScriptedCustomEvent>()});
    ClassRegistry::registerClass({"QVInterstitialOnlyCustomEvent", "NSObject", {kAKCustomEventInterstitialProtocol},
                                  factoryOf<QVInterstitialOnlyCustomEvent>()});
    ClassRegistry::registerClass({"QVNotACustomEvent", "NSObject", {}, factoryOf<QVNotACustomEvent>()});
    return true;
}();

}  // namespace
