// Protects the native ad loading roads on the real engine against the ad server:
// the preprocessor's answers through the native support page (once only, later
// on the main queue, 5 s limit on the virtual clock, a late answer dropped) and
// the lifetimes of what is released in the middle of a load.
#include <doctest/doctest.h>

#include <fstream>
#include <iterator>

#include "SlotEngineRoad.h"
#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/requests/AKAdPreprocessor.h"
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

struct NativeRoad : slotroad::EngineRoadBase {
    adkittest::VirtualTime time{0};
    // The support page over http: a page loaded from its text allows no https
    // host of the test authority before a page of that host has loaded.
    NativeRoad() : EngineRoadBase(shippedUnits()) {
        NSUserDefaults::standardUserDefaults()->setObject(
            Value(server.origin("http") + "/adnet/static/mad/sdk/native/native_ads.html"), "native_ad_support_url");
    }
};

// Waits until the preprocessor's support page has loaded and been asked.
void waitForSupportPage(const AKAdPreprocessor& preprocessor) {
    waitFor([&] { return preprocessor.slot()->state() == AKSlotStateValidAd; }, "the support page to load");
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("native preprocessor: the support page's answers, once each and later on the main queue") {
    adkittest::QuietLog quiet;
    NativeRoad road;
    struct Row {
        const char* name;
        nlohmann::json preprocess;
        const char* headline;  // nullptr: a failure
        long code;
    };
    const Row rows[] = {
        {"given", nullptr, "Tonight", 0},
        {"rewritten", {{"answer", "rewrite"}}, "Tonight (rewritten)", 0},
        {"an answer that is no JSON", {{"answer", "invalid"}}, nullptr, 13},
    };
    for (const auto& row : rows) {
        CAPTURE(row.name);
        auto preprocessor = AKAdPreprocessor::make("native-preprocess");
        Completion done;
        preprocessor->preprocessNativeAdJSON(configuration(row.preprocess), done.handler());
        waitFor([&] { return done.calls > 0; }, std::string("the completion: ") + row.name);
        drain();
        CHECK(done.calls == 1);
        if (row.headline) {
            REQUIRE(done.configuration);
            CHECK((*done.configuration)["ads"][0]["headline"].stringValue() == row.headline);
            CHECK((*done.configuration)["preprocess"].isNull());
            CHECK(done.slot == preprocessor->slot());
            CHECK(done.error == nullptr);
        } else {
            CHECK_FALSE(done.configuration);
            REQUIRE(done.error);
            CHECK(done.error->domain() == AKErrorDomain);
            CHECK(done.error->code() == row.code);
        }
    }

    // A configuration that is no JSON fails with the decoding error, later and once, loading nothing.
    auto preprocessor = AKAdPreprocessor::make("native-preprocess");
    Completion done;
    preprocessor->preprocessNativeAdJSON("{not json", done.handler());
    CHECK(done.calls == 0);
    drain();
    CHECK(done.calls == 1);
    CHECK(done.error != nullptr);
    CHECK(preprocessor->slot()->state() == AKSlotStateIdle);
}

TEST_CASE("native preprocessor: a page that never answers times out once after 5 s and a late answer is dropped") {
    adkittest::QuietLog quiet;
    NativeRoad road;
    auto preprocessor = AKAdPreprocessor::make("native-preprocess");
    Completion done;
    preprocessor->preprocessNativeAdJSON(configuration({{"answer", "never"}}), done.handler());
    waitForSupportPage(*preprocessor);
    Clock::advance(4.9);
    drain();
    CHECK(done.calls == 0);
    Clock::advance(0.1);
    waitFor([&] { return done.calls > 0; }, "the time-out");
    REQUIRE(done.error);
    CHECK(done.error->domain() == AKPrivateErrorDomain);
    CHECK(done.error->code() == 2);
    CHECK(done.error->localizedDescription() == "Timed out.");

    // The page answers after all: the message reaches the web view's observers, the completion stays at one.
    int heard = 0;
    auto token = AKNotificationCenter::defaultCenter()->addObserverForName(
        AKAdPreprocessor::kNotificationName, preprocessor->slot()->webView(), nullptr,
        [&](const NSNotification&) { ++heard; });
    (void)preprocessor->slot()->webView()->stringByEvaluatingJavaScriptFromString(
        "adkit.adnet.sendMessage('nativeAdPreProcess', {success: JSON.stringify({ads: []})})");
    waitFor([&] { return heard == 1; }, "the late answer to be posted");
    drain();
    CHECK(done.calls == 1);
    AKNotificationCenter::defaultCenter()->removeObserver(token.get());
}

TEST_CASE("native preprocessor: released while its page is asked, it is destroyed and its time-out does nothing") {
    adkittest::QuietLog quiet;
    NativeRoad road;
    auto preprocessor = AKAdPreprocessor::make("native-preprocess");
    Completion done;
    preprocessor->preprocessNativeAdJSON(configuration({{"answer", "never"}}), done.handler());
    waitForSupportPage(*preprocessor);
    std::weak_ptr<AKAdPreprocessor> weak = preprocessor;
    std::weak_ptr<AKAdSlot> slot = preprocessor->slot();
    preprocessor.reset();
    CHECK(weak.expired());
    CHECK(slot.expired());
    Clock::advance(5);
    drain();
    CHECK(done.calls == 0);
}
