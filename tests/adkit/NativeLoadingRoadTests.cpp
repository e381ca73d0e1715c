// Protects the native ad loading roads on the real engine against the ad server:
// the ad loader's ads from the app-event creative (images, click, impression),
// its failures (app-event loads and its own slot's native responses), its
// delegate and ad-type checks, the preprocessor's answers through the native
// support page (once only, later on the main queue, 5 s limit on the virtual
// clock, a late answer dropped) and the lifetimes of what is released mid-load.
#include <doctest/doctest.h>

#include <fstream>
#include <iterator>

#include "SlotEngineRoad.h"
#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/requests/AKAdLoader.h"
#include "adkit/requests/AKAdPreprocessor.h"
#include "adkit/requests/AKNativeAppInstallAd.h"
#include "adkit/requests/AKNativeContentAd.h"
#include "adkit/requests/PMABannerView.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/uikit/UIViewController.h"
#include "platform/dispatch/Dispatch.h"

namespace {

using adkittest::waitFor;

// The shipped unit table (resources/adserver/units.json).
nlohmann::json shippedUnits() {
    std::ifstream in(testsupport::AdPeer::adServerRoot() + "/units.json");
    return nlohmann::json::parse(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

// Runs what the main queue holds now (and what that queues in turn).
void drain() { adkittest::drainMainQueue(); }

struct Completion {
    int calls = 0;
    std::optional<Value> configuration;
    std::shared_ptr<AKAdSlot> slot;
    NSErrorPtr error;
    AKAdPreprocessor::CompletionHandler handler() {
        return [this](const std::optional<Value>& c, const std::shared_ptr<AKAdSlot>& s, const NSErrorPtr& e) {
            ++calls;
            configuration = c;
            slot = s;
            error = e;
        };
    }
};

// A content configuration; `preprocess` (when given) tells the support page how to answer.
std::string configuration(const nlohmann::json& preprocess = nullptr) {
    nlohmann::json ad = {{"type", "native"},
                         {"template_id", 1},
                         {"headline", "Tonight"},
                         {"body", "Three new series"},
                         {"tracking_urls_and_actions", {{"adkit_click_tracking_url", "https://127.0.0.1/c"}}}};
    nlohmann::json made = {{"ads", {ad}}};
    if (!preprocess.is_null()) made["preprocess"] = preprocess;
    return made.dump();
}

struct NativeRoad : slotroad::EngineSlots {
    adkittest::VirtualTime time{0};
    NativeRoad() : EngineSlots(shippedUnits()["units"]) {
        NSUserDefaults::standardUserDefaults()->setObject(
            Value(server.origin("https") + "/adnet/static/mad/sdk/native/native_ads.html"), "native_ad_support_url");
    }
};

// A loader delegate for both formats that keeps what it heard.
class BothFormatsDelegate : public NSObject,
                            public AKNativeContentAdLoaderDelegate,
                            public AKNativeAppInstallAdLoaderDelegate {
public:
    std::vector<std::shared_ptr<AKNativeAd>> ads;
    std::vector<NSErrorPtr> errors;
    std::size_t total() const { return ads.size() + errors.size(); }
    std::string className() const override { return "NativeRoadBothDelegate"; }
    void adLoaderDidFailToReceiveAdWithError(AKAdLoader&, const NSErrorPtr& error) override { errors.push_back(error); }
    void adLoaderDidReceiveNativeContentAd(AKAdLoader&, const std::shared_ptr<AKNativeContentAd>& ad) override {
        ads.push_back(ad);
    }
    void adLoaderDidReceiveNativeAppInstallAd(AKAdLoader&, const std::shared_ptr<AKNativeAppInstallAd>& ad) override {
        ads.push_back(ad);
    }
};
// A delegate whose class conforms to the content protocol alone.
class ContentOnlyDelegate : public NSObject, public AKNativeContentAdLoaderDelegate {
public:
    std::string className() const override { return "NativeRoadContentDelegate"; }
    void adLoaderDidFailToReceiveAdWithError(AKAdLoader&, const NSErrorPtr&) override {}
    void adLoaderDidReceiveNativeContentAd(AKAdLoader&, const std::shared_ptr<AKNativeContentAd>&) override {}
};
void registerDelegateClasses() {
    AKNativeAd::initialize();
    ClassRegistry::registerClass({"NativeRoadBothDelegate", "NSObject",
                                  {kAKNativeContentAdLoaderDelegateProtocol, kAKNativeAppInstallAdLoaderDelegateProtocol},
                                  nullptr});
    ClassRegistry::registerClass(
        {"NativeRoadContentDelegate", "NSObject", {kAKNativeContentAdLoaderDelegateProtocol}, nullptr});
}

// An ad loader for the unit and ad types with a delegate for both formats.
struct LoaderUnderTest {
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::shared_ptr<BothFormatsDelegate> delegate = std::make_shared<BothFormatsDelegate>();
    std::shared_ptr<AKAdLoader> loader;
    LoaderUnderTest(const std::string& unit, const std::vector<std::string>& adTypes) {
        registerDelegateClasses();
        loader = AKAdLoader::make(unit, root, adTypes);
        REQUIRE(loader);
        loader->setDelegate(delegate);
        REQUIRE(loader->delegate() == delegate);
    }
    BothFormatsDelegate& heard() { return *delegate; }
};

// A preprocessor whose support page never answers, once the page has been asked.
std::shared_ptr<AKAdPreprocessor> askedNeverAnswering(Completion& done) {
    auto preprocessor = AKAdPreprocessor::make("native-preprocess");
    preprocessor->preprocessNativeAdJSON(configuration({{"answer", "never"}}), done.handler());
    waitFor([&] { return preprocessor->slot()->state() == AKSlotStateValidAd; }, "the support page to load");
    return preprocessor;
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("native preprocessor: a rewrite and a text that is no JSON come once and later, a silent page times out once after 5 s") {
    adkittest::QuietLog quiet;
    NativeRoad road;
    auto rewriting = AKAdPreprocessor::make("native-preprocess");
    Completion rewritten;
    rewriting->preprocessNativeAdJSON(configuration({{"answer", "rewrite"}}), rewritten.handler());
    waitFor([&] { return rewritten.calls > 0; }, "the rewritten configuration");
    REQUIRE(rewritten.configuration);
    CHECK((*rewritten.configuration)["ads"][0]["headline"].stringValue() == "Tonight (rewritten)");
    CHECK(rewritten.slot == rewriting->slot());
    CHECK(rewritten.error == nullptr);

    // No JSON: the decoding error, later and once, loading nothing.
    auto refusing = AKAdPreprocessor::make("native-preprocess");
    Completion refused;
    refusing->preprocessNativeAdJSON("{not json", refused.handler());
    CHECK(refused.calls == 0);
    drain();
    CHECK(refused.error != nullptr);
    CHECK(refusing->slot()->state() == AKSlotStateIdle);

    // Silent pages: one released while asked is destroyed at once and never completes;
    // the other times out once, and its page's late answer is dropped.
    Completion released, timedOut;
    auto preprocessor = askedNeverAnswering(released);
    std::weak_ptr<AKAdPreprocessor> weak = preprocessor;
    std::weak_ptr<AKAdSlot> slot = preprocessor->slot();
    preprocessor = askedNeverAnswering(timedOut);
    CHECK(weak.expired());
    CHECK(slot.expired());
    Clock::advance(4.9);
    drain();
    CHECK(timedOut.calls == 0);
    Clock::advance(0.2);  // past 5 s (sums of seconds round)
    waitFor([&] { return timedOut.calls > 0; }, "the time-out");
    REQUIRE(timedOut.error);
    CHECK(timedOut.error->domain() == AKPrivateErrorDomain);
    CHECK(timedOut.error->code() == 2);
    CHECK(timedOut.error->localizedDescription() == "Timed out.");
    int heard = 0;
    auto token = AKNotificationCenter::defaultCenter()->addObserverForName(
        AKAdPreprocessor::kNotificationName, preprocessor->slot()->webView(), nullptr,
        [&](const NSNotification&) { ++heard; });
    (void)preprocessor->slot()->webView()->stringByEvaluatingJavaScriptFromString(
        "adkit.adnet.sendMessage('nativeAdPreProcess', {success: JSON.stringify({ads: []})})");
    waitFor([&] { return heard == 1; }, "the late answer to be posted");
    drain();
    CHECK(released.calls == 0);
    CHECK(rewritten.calls == 1);
    CHECK(refused.calls == 1);
    CHECK(timedOut.calls == 1);
    AKNotificationCenter::defaultCenter()->removeObserver(token.get());
}

TEST_CASE("ad loader road: a content ad from the app-event creative with its images, a click in the server's log, one impression") {
    adkittest::QuietLog quiet;
    NativeRoad road;
    LoaderUnderTest t("native-content", {"1", "2"});

    // Ad types that name no class make no loader; a delegate lacking a requested protocol is refused.
    CHECK_FALSE(AKAdLoader::make("native-content", t.root, {"1", "9"}));
    CHECK(quiet.contains("Error: Invalid ad format requested: \"9\"."));
    t.loader->setDelegate(std::make_shared<ContentOnlyDelegate>());
    CHECK(quiet.contains("Delegate does not conform to the required protocol, AKNativeAppInstallAdLoaderDelegate."));
    CHECK(t.loader->delegate() == t.delegate);

    // Without a root view controller the hidden banner refuses the load at once.
    LoaderUnderTest rootless("native-content", {"1"});
    rootless.root.reset();
    rootless.loader->loadRequest(AKRequest::request());
    REQUIRE(rootless.heard().errors.size() == 1);
    CHECK(rootless.heard().errors[0]->code() == 0);
    CHECK(rootless.loader->appEventAdLoaders().empty());

    t.loader->loadRequest(AKRequest::request());
    waitFor([&] { return t.heard().total() > 0; }, "the content ad");
    INFO("error: " << (t.heard().errors.empty() ? std::string("none") : t.heard().errors[0]->description()));
    REQUIRE(t.heard().ads.size() == 1);
    const auto ad = std::dynamic_pointer_cast<AKNativeContentAd>(t.heard().ads[0]);
    REQUIRE(ad);
    CHECK(ad->image());
    CHECK(ad->logo());
    CHECK(ad->adUnitID() == "native-content");
    CHECK(ad->rootViewController() == t.root);
    CHECK(t.loader->appEventAdLoaders().empty());
    // The hidden banner asked for both formats, native version 1.
    CHECK(road.loggedQuery(slotroad::kAdPath, "native_templates") == std::vector<std::string>{"2,1"});
    CHECK(road.loggedQuery(slotroad::kAdPath, "native_version") == std::vector<std::string>{"1"});

    // Every required asset read, a click runs in the creative's page and reaches the server.
    CHECK(ad->headline() == "Tonight on Quorvane");
    (void)ad->body();
    CHECK(ad->attributionIcon());
    ad->performClickOnAsset("headline");
    waitFor([&] { return road.loggedQuery("/adnet/ping/click", "native") == std::vector<std::string>{"content"}; },
            "the native click in the server's log");

    auto trackers = renderingtest::RecordingClickTrackers::install();
    renderingtest::RecordingClickTrackers::Uninstall uninstall;
    ad->recordImpression();
    ad->recordImpression();
    REQUIRE(trackers->tracked.size() == 1);
    CHECK(trackers->tracked[0].ends_with("/adnet/ping/impression?native=content"));
}

TEST_CASE("ad loader road: failures and deliveries of app-event loads and of the loader's own slot") {
    adkittest::QuietLog quiet;
    NativeRoad road;
    struct Row {
        const char* unit;
        std::vector<std::string> adTypes;
        bool ownSlot;       // the loader's own slot loads the unit (a native response)
        bool timed;         // the result comes 5 s after the wait began
        long code;          // -1: an ad is delivered
        const char* message;  // the app-event loader's message (nullptr: not checked)
    };
    const Row rows[] = {
        {"banner", {"1", "2"}, false, true, 5, "Failed to receive ad configuration."},
        {"native-malformed", {"1", "2"}, false, false, 11, "Received malformed ad data."},
        {"native-content", {"2"}, false, false, 11, "Received invalid ad response."},
        {"native-app-install-404", {"1", "2"}, false, false, 2, "Couldn't load native ad assets."},
        {"native-content-optional-404", {"1", "2"}, false, false, -1, nullptr},
        {"native-content-no-images", {"1", "2"}, false, false, -1, nullptr},
        {"native-app-install", {"1", "2"}, false, false, -1, nullptr},
        {"native-content-delayed", {"1", "2"}, false, false, -1, nullptr},
        {"banner", {"1"}, true, false, 11, nullptr},
        {"native-preprocess", {"1"}, true, false, -1, nullptr},
        {"native-preprocess-invalid", {"1"}, true, false, 13, nullptr},
        {"native-preprocess-never", {"1", "2"}, true, true, 13, nullptr},
    };
    for (const auto& row : rows) {
        const std::string unitName = row.unit;
        CAPTURE(unitName);
        LoaderUnderTest t(row.unit, row.adTypes);
        const auto armed = [&] {  // the 5 s wait has begun
            if (row.ownSlot)
                return !t.loader->adPreprocessors().empty() &&
                       t.loader->adPreprocessors()[0]->slot()->state() == AKSlotStateValidAd;
            const auto& loads = t.loader->appEventAdLoaders();
            return !loads.empty() && loads[0]->loadingBannerView() &&
                   loads[0]->loadingBannerView()->slot()->state() == AKSlotStateValidAd;
        };
        if (row.ownSlot) {
            t.loader->slot()->loadRequest(AKRequest::request());
        } else {
            t.loader->loadRequest(AKRequest::request());
        }
        if (row.timed) {
            waitFor(armed, std::string("the wait of ") + row.unit + " to begin");
            Clock::advance(4.9);
            drain();
            CHECK(t.heard().total() == 0);
            Clock::advance(0.2);  // past 5 s (sums of seconds round)
        }
        INFO("own slot state " << t.loader->slot()->state() << ", app-event loads " << t.loader->appEventAdLoaders().size()
                               << ", preprocessors " << t.loader->adPreprocessors().size() << ", native ads "
                               << t.loader->nativeAds().size() << ", timed " << row.timed);
        waitFor([&] { return t.heard().total() > 0; }, std::string("the result of ") + row.unit);
        drain();
        CHECK(t.heard().total() == 1);
        // A native response makes the own slot's ad valid; an HTML response is not its to take.
        if (row.ownSlot) CHECK(t.loader->slot()->state() == (row.code == 11 ? AKSlotStateFailed : AKSlotStateValidAd));
        if (row.code < 0) {
            INFO("error: " << (t.heard().errors.empty() ? std::string("none") : t.heard().errors[0]->description()));
            REQUIRE(t.heard().ads.size() == 1);
            const auto& ad = t.heard().ads[0];
            CHECK(ad->slot());
            if (row.ownSlot) CHECK(ad->slot() != std::static_pointer_cast<AKSlot>(t.loader->slot()));
            const std::string unit = row.unit;
            const auto content = std::dynamic_pointer_cast<AKNativeContentAd>(ad);
            if (unit == "native-content-optional-404") {
                REQUIRE(content);
                CHECK(content->image());
                CHECK_FALSE(content->logo());  // the optional image that failed
            }
            if (unit == "native-content-no-images") CHECK_FALSE(content->image());
            if (unit == "native-app-install") CHECK(std::dynamic_pointer_cast<AKNativeAppInstallAd>(ad));
        } else {
            REQUIRE(t.heard().errors.size() == 1);
            const auto& error = t.heard().errors[0];
            CHECK(error->domain() == AKErrorDomain);
            CHECK(error->code() == row.code);
            if (row.message) CHECK(error->localizedDescription() == row.message);
        }
        CHECK(t.loader->appEventAdLoaders().empty());
        CHECK(t.loader->adPreprocessors().empty());
        CHECK(t.loader->nativeAds().empty());
        // Whatever was still timed is ignored once the load has reported.
        Clock::advance(6);
        drain();
        CHECK(t.heard().total() == 1);
    }
}

TEST_CASE("ad loader road: a loader released mid-load is destroyed with what it holds and its delegate hears nothing") {
    adkittest::QuietLog quiet;
    NativeRoad road;
    REQUIRE(road.server.order("fault", {{"path", "/adnet/static/creatives/native/image.png"}, {"kind", "delay"},
                                        {"ms", 3000}}) == 200);
    struct Row {
        const char* unit;
        bool ownSlot;
    };
    // Waiting for the app event, loading images (the image answers late), preprocessing.
    const Row rows[] = {{"banner", false}, {"native-content", false}, {"native-preprocess-never", true}};
    for (const auto& row : rows) {
        const std::string unitName = row.unit;
        CAPTURE(unitName);
        LoaderUnderTest t(row.unit, {"1", "2"});
        std::weak_ptr<NSObject> inFlight;  // the app-event loader's banner or native ad, or the preprocessor
        if (row.ownSlot) {
            t.loader->slot()->loadRequest(AKRequest::request());
            waitFor([&] { return !t.loader->adPreprocessors().empty() &&
                                 t.loader->adPreprocessors()[0]->slot()->state() == AKSlotStateValidAd; },
                    "the support page to be asked");
            inFlight = t.loader->adPreprocessors()[0];
        } else {
            t.loader->loadRequest(AKRequest::request());
            const bool images = std::string(row.unit) == "native-content";
            waitFor([&] {
                const auto& loads = t.loader->appEventAdLoaders();
                if (loads.empty()) return false;
                if (images) return loads[0]->loadingNativeAd() != nullptr;
                return loads[0]->loadingBannerView() &&
                       loads[0]->loadingBannerView()->slot()->state() == AKSlotStateValidAd;
            }, "the load to be under way");
            const auto& load = t.loader->appEventAdLoaders()[0];
            inFlight = images ? std::static_pointer_cast<NSObject>(load->loadingNativeAd())
                              : std::static_pointer_cast<NSObject>(load->loadingBannerView());
        }
        std::weak_ptr<AKAdLoader> loader = t.loader;
        t.loader.reset();
        CHECK(loader.expired());
        drain();
        CHECK(inFlight.expired());
        Clock::advance(6);
        drain();
        CHECK(t.heard().total() == 0);
    }
}
