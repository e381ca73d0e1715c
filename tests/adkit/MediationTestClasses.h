#pragma once
// Scripted mediation networks for the mediation tests, registered with
// ClassRegistry before main (so they exist before the ad library's early
// activities and are among the available adapters):
//
//   QVScriptedAdapter        an adapter (AKMAdNetworkAdapting), scripted by the
//                            entry's credentials ("data" of the server's JSON);
//   QVConformingSubclass     a subclass of it declaring nothing itself;
//   QVOldInterfaceAdapter    declares the adapter protocol, but its instances
//                            do not answer "getBannerWithSize:";
//   QVScriptedCustomEvent    a custom event declaring AKCustomEventBanner and
//                            AKCustomEventInterstitial, scripted by its
//                            "parameter" text, which holds the script as a JSON
//                            object (text that is not one: the empty script);
//   QVInterstitialOnlyCustomEvent  the same object, declaring only
//                            AKCustomEventInterstitial;
//   QVNotACustomEvent        declares neither custom-event protocol.
//
// The script (text values; a number counts as its decimal text):
//   "fill"        "banner" | "interstitial" | "nofill" | "error" | "never"
//                 (missing: "never"). The adapter reports the kind named,
//                 whatever it was asked for (so a mismatch can be scripted);
//                 a custom event reports the ad of the kind it was asked for
//                 for either word. "nofill" fails with domain "com.adkit.ads"
//                 code 1, "error" with kQVScriptedErrorDomain code 2; both take
//                 their message from "message" (a default text otherwise).
//   "after_ms"    delay of the answer on the Clock, on the main queue; missing
//                 or "0": at once, inside the asking call.
//   "late"        "1": answers (and user events) still go out after
//                 stopBeingDelegate (a custom event keeps the delegate it had),
//                 and a pending answer keeps the network alive until it went
//                 out; otherwise nothing goes out after stopping.
//   "refresh_ms"  T > 0: after delivering a banner, delivers a new one every T
//                 ms ("refresh_fail" "1": each refresh fails with the "error"
//                 failure instead).
// Banner views are plain UIViews of the asked size (320x480 when a banner
// answers an interstitial request). An interstitial ad is a plain object the
// network owns.
//
// QVRecordingWaterfall stands in for the waterfall and the glue around one
// real connector (QVRecordingWaterfall::connect): it records, as text, every
// result and event the connector forwards, in order.
//
// The test-side handle: QVScriptedNetwork::latestAdapter() / latestCustomEvent()
// (the most recent live one that was given its connector / its request; null
// once freed), its user events, its record of calls, and the counts of live
// instances (to show that networks are freed). Main thread only; every delay
// runs on the Clock, so tests can drive it with virtual time.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/mediation/AKCustomEventBanner.h"
#include "adkit/mediation/AKCustomEventInterstitial.h"
#include "adkit/mediation/AKCustomEventRequest.h"
#include "adkit/mediation/AKMAdNetworkAdapter.h"
#include "adkit/mediation/AKMDelegate.h"
#include "platform/foundation/Value.h"

class UIView;

inline constexpr const char* kQVScriptedErrorDomain = "qv.scripted";

struct QVScript {
    std::string fill = "never";
    long afterMs = 0;
    bool late = false;
    long refreshMs = 0;
    bool refreshFail = false;
    std::optional<std::string> message;

    // From a dictionary of text values (credentials, or the parsed parameter).
    static QVScript fromValues(const Value& values);
    // From the JSON text of a custom event's parameter.
    static QVScript fromParameter(const std::optional<std::string>& parameter);
};

// What both scripted kinds share: running the script and the user events.
class QVScriptedNetwork {
public:
    enum class Asked { nothing, banner, interstitial };

    virtual ~QVScriptedNetwork();

    // The most recent live adapter (given its connector) / custom event (given
    // its request); null when it is gone.
    static std::shared_ptr<QVScriptedNetwork> latestAdapter();
    static std::shared_ptr<QVScriptedNetwork> latestCustomEvent();
    static int liveAdapters();      // QVScriptedAdapter and its subclass
    static int liveCustomEvents();  // both scripted custom-event classes
    static int notACustomEventsMade();  // ever made, to show the class is refused unmade

    // User events, each sent as the asked kind's event (nothing when it has none):
    void click();             // banner: click (adapter: clickDidOccurInBanner)
    // banner: will-present modal; interstitial: will-present (what the adapter's
    // presentInterstitialFromRootViewController and the custom event's
    // presentFromRootViewController send).
    void present();
    void willDismiss();       // banner: will-dismiss modal; interstitial: will-dismiss
    void dismiss();           // did-dismiss only
    void leaveApplication();  // will-leave-application

    Asked asked() const { return asked_; }
    const QVScript& script() const { return script_; }
    bool stopped() const { return stopped_; }
    // "banner <size>", "interstitial", "stop", "present", "change <size>", in call order.
    const std::vector<std::string>& calls() const { return calls_; }
    // Banners delivered so far (refreshes included) and the last one.
    int bannersDelivered() const { return bannersDelivered_; }
    const std::shared_ptr<UIView>& lastBanner() const { return lastBanner_; }

protected:
    enum class Event { click, present, willDismiss, didDismiss, leave };
    QVScriptedNetwork();
    void startScript(Asked asked, AKAdSize size, QVScript script);
    void record(std::string call) { calls_.push_back(std::move(call)); }
    void markStopped() { stopped_ = true; }
    // Whether anything may still go out.
    bool mayReport() const { return !stopped_ || script_.late; }
    std::shared_ptr<NSObject> interstitialAd();
    NSErrorPtr failure(bool noFill) const;

    // The kind's own reports.
    virtual void reportBanner(const std::shared_ptr<UIView>& view) = 0;
    virtual void reportInterstitial(const std::shared_ptr<NSObject>& ad) = 0;
    virtual void reportFailure(const NSErrorPtr& error) = 0;
    virtual void reportEvent(Event event) = 0;
    // The object as a shared pointer of this interface (for the delayed answers).
    virtual std::shared_ptr<QVScriptedNetwork> selfNetwork() = 0;

private:
    void answer();
    void deliverBanner();
    void scheduleRefresh();
    void afterDelay(long ms, std::function<void(QVScriptedNetwork&)> step);
    void sendEvent(Event event);

    Asked asked_ = Asked::nothing;
    AKAdSize size_ = kAKAdSizeInvalid;
    QVScript script_;
    bool stopped_ = false;
    std::vector<std::string> calls_;
    int bannersDelivered_ = 0;
    std::shared_ptr<UIView> lastBanner_;
    std::shared_ptr<NSObject> interstitialAd_;
};

class QVScriptedAdapter : public AKMAdNetworkAdapting, public QVScriptedNetwork {
public:
    QVScriptedAdapter();
    ~QVScriptedAdapter() override;
    void initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) override;
    void getBannerWithSize(AKAdSize size) override;
    void getInterstitial() override;
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int64_t animationType) override;
    void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) override;
    void changeAdSizeTo(AKAdSize size) override;

protected:
    void reportBanner(const std::shared_ptr<UIView>& view) override;
    void reportInterstitial(const std::shared_ptr<NSObject>& ad) override;
    void reportFailure(const NSErrorPtr& error) override;
    void reportEvent(Event event) override;
    std::shared_ptr<QVScriptedNetwork> selfNetwork() override;

private:
    std::weak_ptr<AKMAdNetworkConnector> connector_;
};

class QVConformingSubclass : public QVScriptedAdapter {};

class QVOldInterfaceAdapter : public NSObject {};

class QVScriptedCustomEvent : public NSObject,
                              public AKCustomEventBanner,
                              public AKCustomEventInterstitial,
                              public QVScriptedNetwork {
public:
    QVScriptedCustomEvent();
    ~QVScriptedCustomEvent() override;

    void requestBannerAd(AKAdSize adSize, const std::optional<std::string>& parameter,
                         const std::optional<std::string>& label,
                         const std::shared_ptr<AKCustomEventRequest>& request) override;
    void requestInterstitialAd(const std::optional<std::string>& parameter, const std::optional<std::string>& label,
                               const std::shared_ptr<AKCustomEventRequest>& request) override;
    void presentFromRootViewController(const std::shared_ptr<UIViewController>& root) override;

    std::shared_ptr<AKCustomEventBannerDelegate> bannerDelegate() const override { return bannerDelegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKCustomEventBannerDelegate>& delegate) override;
    std::shared_ptr<AKCustomEventInterstitialDelegate> interstitialDelegate() const override {
        return interstitialDelegate_.lock();
    }
    void setDelegate(const std::shared_ptr<AKCustomEventInterstitialDelegate>& delegate) override;

    // What the request carried.
    const std::optional<std::string>& parameter() const { return parameter_; }
    const std::optional<std::string>& label() const { return label_; }
    const std::shared_ptr<AKCustomEventRequest>& request() const { return request_; }

protected:
    void reportBanner(const std::shared_ptr<UIView>& view) override;
    void reportInterstitial(const std::shared_ptr<NSObject>& ad) override;
    void reportFailure(const NSErrorPtr& error) override;
    void reportEvent(Event event) override;
    std::shared_ptr<QVScriptedNetwork> selfNetwork() override;

private:
    void takeRequest(const std::optional<std::string>& parameter, const std::optional<std::string>& label,
                     const std::shared_ptr<AKCustomEventRequest>& request);
    std::shared_ptr<AKCustomEventBannerDelegate> bannerTarget() const;
    std::shared_ptr<AKCustomEventInterstitialDelegate> interstitialTarget() const;

    std::optional<std::string> parameter_;
    std::optional<std::string> label_;
    std::shared_ptr<AKCustomEventRequest> request_;
    std::weak_ptr<AKCustomEventBannerDelegate> bannerDelegate_;
    std::weak_ptr<AKCustomEventInterstitialDelegate> interstitialDelegate_;
    // The delegates when the request came: a "late" event keeps reporting to them.
    std::weak_ptr<AKCustomEventBannerDelegate> requestBannerDelegate_;
    std::weak_ptr<AKCustomEventInterstitialDelegate> requestInterstitialDelegate_;
};

class QVInterstitialOnlyCustomEvent : public QVScriptedCustomEvent {};

class QVNotACustomEvent : public NSObject {
public:
    QVNotACustomEvent();
};

// A recording waterfall and glue for one connector at a time.
// Made with std::make_shared (connect hands out shared pointers to it).
class QVRecordingWaterfall : public AKMDelegate,
                             public AKMAdManaging,
                             public std::enable_shared_from_this<QVRecordingWaterfall> {
public:
    // "banner", "interstitial", "failed <domain> <code> <message>", "will present modal",
    // "will dismiss modal", "did dismiss modal", "will present", "will dismiss",
    // "did dismiss", "leave", in call order.
    std::vector<std::string> events;
    // What networkExtrasFor answers, by extras class name.
    std::map<std::string, std::shared_ptr<AKAdNetworkExtras>> extras;
    bool testMode = false;
    AKLocationPtr location;
    std::shared_ptr<UIViewController> rootViewController;

    // A real connector for the one entry (JSON text of an "ad_networks" element)
    // with this waterfall as its manager and delegate; null (and a failed
    // check) when the configuration does not parse.
    std::shared_ptr<AKMAdNetworkConnector> connect(const AKAdTypePtr& type, const std::string& entryJSON);

    std::shared_ptr<UIViewController> viewControllerForPresentingModalView() override { return rootViewController; }
    void akmDidReceiveAd(const std::shared_ptr<UIView>&) override {}
    void akmDidReceiveInterstitial(const std::shared_ptr<NSObject>&) override {}
    void akmDidFailToReceiveAdWithError(const NSErrorPtr&) override {}
    void akmBannerAdRefreshFailedWithError(const NSErrorPtr&) override {}
    void akmWillPresentFullScreenModal() override { events.push_back("will present modal"); }
    void akmWillDismissFullScreenModal() override { events.push_back("will dismiss modal"); }
    void akmDidDismissFullScreenModal() override { events.push_back("did dismiss modal"); }
    void akmWillPresentInterstitial() override { events.push_back("will present"); }
    void akmWillDismissInterstitial() override { events.push_back("will dismiss"); }
    void akmDidDismissInterstitial() override { events.push_back("did dismiss"); }
    void akmWillLeaveApplication() override { events.push_back("leave"); }
    bool akmTestMode() override { return testMode; }
    std::shared_ptr<AKAdNetworkExtras> networkExtrasFor(const std::string& extrasClass) override;
    std::int64_t userGender() override { return 1; }
    std::optional<Date> userBirthday() override { return std::nullopt; }
    AKLocationPtr userLocation() override { return location; }
    Value userKeywords() override { return Value::array({"kw"}); }
    std::optional<bool> childDirectedTreatment() override { return std::nullopt; }
    void startTimingAdapter() override {}
    void endTimingAdapterWithExitCode(long) override {}
    void resetTimingAdapters() override {}
    std::optional<std::string> adapterDurationsParameter() override { return std::nullopt; }
    std::optional<std::string> adapterExitCodesParameter() override { return std::nullopt; }
    std::shared_ptr<AKMDelegate> delegate() const override { return delegate_.lock(); }
    void adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector&, const std::shared_ptr<UIView>&) override {
        events.push_back("banner");
    }
    void adRequestReturnsFromConnectorWithInterstitial(AKMAdNetworkConnector&,
                                                       const std::shared_ptr<NSObject>&) override {
        events.push_back("interstitial");
    }
    void adRequestFailedFromConnectorWithError(AKMAdNetworkConnector&, const NSErrorPtr& error) override;

private:
    std::weak_ptr<AKMDelegate> delegate_;
};
