// Protects what an ad slot reports and sends: events to its owner, click
// bookkeeping, tracking pings, click URLs and the ad hosts they are signed
// for, each response type, announced sizes, the slot's request parameters and
// the core page's answers; and that a released slot hears nothing.
#include <doctest/doctest.h>

#include <cmath>

#include "SlotTestOwner.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKStatisticDictionary.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/foundation/NSDecimalNumber.h"
#include "platform/foundation/NSUserDefaults.h"

using slottest::SlotFixture;

namespace {
Value urls(std::initializer_list<const char*> texts) {
    Value list = Value::array();
    for (const char* text : texts) list.append(Value(text));
    return list;
}


NSValue boxed(CGFloat width, CGFloat height, std::uint64_t flags = AKAdSizeFlagCustom) {
    return NSValueFromAKAdSize(AKAdSize{{width, height}, flags});
}
}  // namespace

TEST_CASE("slot: events, clicks, pings and click URLs, as one table") {
    adkittest::QuietLog quiet;
    SlotFixture f;
    f.loadAd(SlotFixture::adRequest(Value{{"click_urls", urls({"http://t.example/c1", "http://t.example/c2"})},
                                          {"impression_urls", urls({"http://t.example/i1"})},
                                          {"manual_impression_urls", urls({"http://t.example/m1"})}}));
    CHECK(f.owner->joined() == "adView; finished");
    CHECK(f.trackers->tracked == std::vector<std::string>{"http://t.example/i1"});  // a banner's impression
    auto& slot = *f.slot;
    const auto stats = slot.ad()->statistics();
    struct Row {
        std::function<void()> run;
        const char* owner;         // the owner's last line
        std::vector<std::string> pinged;  // the pings this row added
    };
    const Row rows[] = {
        {[&] { slot.adWillPresentScreen(); }, "willPresent", {}},
        {[&] { slot.adWillDismissScreen(); }, "willDismiss", {}},
        {[&] { slot.adDidDismissScreen(false); }, "willDismiss", {}},  // a stacked screen's: not handed on
        {[&] { slot.adDidDismissScreen(true); }, "didDismiss", {}},
        {[&] { slot.adWasClicked(); }, "didDismiss", {}},
        {[&] { slot.adWillLeaveApplication(); }, "willLeave", {}},
        {[&] { slot.pingClickURLs(); }, "willLeave", {"http://t.example/c1", "http://t.example/c2"}},
        {[&] { slot.pingManualTrackingURLs(); }, "willLeave", {"http://t.example/m1"}},
        {[&] { slot.adFailedToReceiveContentWithError(AKRequestError::errorWithCode(9)); }, "failed 9", {}},
    };
    for (const auto& row : rows) {
        const std::size_t before = f.trackers->tracked.size();
        row.run();
        CHECK(f.owner->last() == row.owner);
        CHECK(std::vector<std::string>(f.trackers->tracked.begin() + static_cast<long>(before), f.trackers->tracked.end()) ==
              row.pinged);
    }
    const auto clicks = NSDecimalNumber::fromValue(stats->objectForKey("pcc"));
    REQUIRE(clicks);
    CHECK(clicks->description() == "1");
    CHECK(stats->objectForKey("tclickcurr").isNumber());
    AKApplication::sharedApplication()->didBecomeActive();  // back from the click: the application stamps the ad
    CHECK(stats->objectForKey("tclick").count() == 1);

    // Click URLs: only ad hosts with an "ai" value are signed; an empty entry of the list names no host.
    const auto defaults = NSUserDefaults::standardUserDefaults();  // a fresh home's
    REQUIRE(defaults->setObject(Value("ads.example,"), "as_domains"));
    const std::string signedURL = slot.spamClickURLWithURL("http://x.ads.example/c?ai=abc&adurl=http://d.example/");
    CHECK(signedURL.starts_with("http://x.ads.example/c?ai=abc&"));
    CHECK(signedURL.ends_with("&adurl=http://d.example/"));
    CHECK(signedURL.size() > std::string("http://x.ads.example/c?ai=abc&adurl=http://d.example/").size());
    for (const char* unchanged : {"amsg://open?u=1", "about:blank", "http://ads.example/c", "http://ads.example/c?x=1",
                                  "http://ads.example/c?ai=", "http://badads.example/c?ai=abc",
                                  "http://other.test/a/b/c?ai=abc"}) {
        INFO(unchanged);
        CHECK(slot.spamClickURLWithURL(unchanged) == unchanged);
    }
    CHECK(stats->objectForKey("pit") == Value("b/c"));  // the ticket of a URL left unchanged
    CHECK(AKAdSlot::isAdKitAdURL(*NSURL::URLWithString("http://ads.example/")));
    REQUIRE(defaults->setObject(Value(""), "as_domains"));  // empty: the built-in list
    CHECK(AKAdSlot::isAdKitAdURL(*NSURL::URLWithString("http://cdn.ads.quorvane.net/x")));
    CHECK_FALSE(AKAdSlot::isAdKitAdURL(*NSURL::URLWithString("http://ads.example/")));
}

TEST_CASE("slot: each response type, announced sizes and the core page's answers") {
    adkittest::QuietLog log;
    SlotFixture f;
    auto& slot = *f.slot;
    const Value json{{"Content-Type", "application/json"}};
    const auto headers = [&](const char* name) {
        Value h = json.copy();
        h.setObject(name, "1");
        return h;
    };
    SUBCASE("mediation: a body without networks fails with code 7, an unknown type is reset to the slot's") {
        slot.loadRequest(SlotFixture::adRequest(Value{{"ad_html", "{}"}}, headers("X-Adnet-Mediation")));
        adkittest::waitFor([&] { return slot.state() == AKSlotStateFailed; }, "the mediation response to fail");
        CHECK(f.owner->last() == "failed 7");
        slot.loadRequest(SlotFixture::adRequest(
            Value{{"ad_html", R"({"ad_type": "nonsense", "settings": {"refresh": 60}, "ad_networks": []})"}},
            headers("X-Adnet-Mediation")));
        adkittest::waitFor([&] { return f.owner->last() == "failed 9"; }, "the empty waterfall to end in no fill");
        CHECK(slot.isMediating());
        CHECK(log.contains("Warning: mediated ad type is unknown or invalid. Resetting type to "));
        CHECK(slot.reloadInterval() == 60);
    }
    SUBCASE("native ads are refused and retried; custom rendering is offered to the owner") {
        slot.loadRequest(SlotFixture::adRequest(Value{{"ad_html", "{}"}, {"refresh_rate", 15}}, headers("X-Adnet-Native")));
        adkittest::waitFor([&] { return slot.state() == AKSlotStateFailed; }, "the native response to fail");
        CHECK(f.owner->last() == "failed 11");
        CHECK(slot.hasReloadTimer());
        f.loadUntilRendering(SlotFixture::adRequest(Value(), headers("X-Adnet-Custom-Rendering-Allowed")));
        CHECK(f.owner->joined().find("customRendering?") != std::string::npos);
        f.page().finishLoad();
        f.owner->rendersItself = true;
        slot.loadRequest(SlotFixture::adRequest(Value(), headers("X-Adnet-Custom-Rendering-Allowed")));
        adkittest::waitFor([&] { return !slot.isReloadable(); }, "the owner to take the rendering");
        CHECK_FALSE(slot.hasReloadTimer());
    }
    SUBCASE("an announced size among the owner's sizes resizes; another leaves the view as it is") {
        f.owner->sizes = Value::array({Value(NSValueFromAKAdSize(kAKAdSizeMediumRectangle))});
        f.owner->ownerBounds = CGRectMake(0, 0, 300, 250);
        f.loadAd(SlotFixture::adRequest(Value(), Value{{"X-Adnet-Ad-Size", "300x250"}}));
        CHECK(f.owner->joined() == "adView; willResize; setAdSize 300x250 reload=0; finished");
        CHECK(slot.webView()->frame() == CGRectMake(0, 0, 300, 250));
        f.owner->calls.clear();
        f.loadAd(SlotFixture::adRequest(Value(), Value{{"X-Adnet-Ad-Size", "728x90"}}));
        CHECK(f.owner->joined() == "adView; finished");
        CHECK(slot.newAdSize() == CGSizeZero);
    }
    SUBCASE("the core page's answers") {
        slot.loadRequest(AKRequest::request());
        REQUIRE(slot.state() == AKSlotStateRequestingAdURL);
        slot.loadAdURLWithParameters(Value{{"url", "ftp://ads.example/ad"}});  // only http(s) is fetched
        CHECK(f.owner->last() == "failed 13");
        slot.loadRequest(AKRequest::request());
        slot.loadAdURLWithParameters(Value{{"errors", "bad"}});
        CHECK(f.owner->last() == "failed 0");
        slot.loadRequest(AKRequest::request());
        slot.buildAdURLFailedWithError(AKRequestError::errorWithCode(5));
        CHECK(f.owner->last() == "failed 5");
        CHECK(slot.state() == AKSlotStateFailed);
        slot.loadRequest(AKRequest::request());
        slot.failedJavaScriptFile();
        CHECK(slot.state() == AKSlotStateCorePageFailed);
        slot.loadRequest(AKRequest::request());
        const auto statistics = AKApplication::sharedApplication()->statistics();
        slot.loadAdURLWithParameters(Value{{"url", "http://127.0.0.1:9/ad"},
                                           {"request_scenario", "offline_buffer"},
                                           {"enable_auto_click_protection", "1"}});
        CHECK(slot.state() == AKSlotStateFetchingAdContent);
        CHECK(slot.webViewDelegate()->opener()->autoClickProtected());
        CHECK(statistics->objectForKey("losn") == statistics->objectForKey("seq_num"));
        slot.invalidJavaScriptRequest();  // not waiting for the page any more: dropped
        CHECK(slot.state() == AKSlotStateFetchingAdContent);
    }
}

TEST_CASE("slot: request parameters take the load's extras once, and a released slot hears nothing") {
    adkittest::QuietLog quiet;
    SlotFixture f;
    auto& slot = *f.slot;
    slot.setAdTypeAndReloadRequest(AKAdType::bannerAdTypeForSize(kAKAdSizeSmartBannerPortrait), false);
    f.owner->sizes = Value::array({Value(NSValueFromAKAdSize(kAKAdSizeMediumRectangle)), Value(boxed(-5, 50)),
                                   Value(boxed(NAN, 50))});
    f.owner->ownerFrame = CGRectMake(10, 20, 320, 50);
    f.owner->position = Value{{"x", 1}, {"y", 2}};
    f.owner->purchases = std::make_shared<AKInAppPurchaseDelegate>();
    slot.setManualImpressionsEnabled(true);
    auto request = AKRequest::request();
    request->setAdditionalParameters(Value{{"_useOnce", 1}, {"k", "v"}});
    slot.loadRequest(request);
    CHECK(request->parameters()["extras"].isNull());  // taken by this load
    slot.setRequestID("7");
    CHECK(slot.description().find("ad unit ID:unit-1") != std::string::npos);
    const Value first = slot.requestParameters();
    const Value second = slot.requestParameters();
    CHECK(second["extras"]["k"] == Value("v"));
    CHECK(first["extras"] == second["extras"]);
    CHECK(first["slotname"] == Value("unit-1"));
    CHECK(first["sz"].stringValue() == "300x250|0x50");
    CHECK(first["ad_frame"] == Value{{"x", 10.0}, {"y", 20.0}, {"w", 320.0}, {"h", 50.0}});
    CHECK(first["ad_bounds"] == Value{{"x", 0.0}, {"y", 0.0}, {"w", 320.0}, {"h", 50.0}});
    CHECK(first["smart_w"] == Value("full"));
    CHECK(first["smart_h"] == Value("auto"));
    CHECK(first["request_id"] == Value("7"));
    CHECK(first["ad_pos"] == f.owner->position);
    CHECK(first["d_imp_hdr"] == Value("1"));
    CHECK(first["iap_set"] == Value("1"));
    CHECK(first["force_https"] == Value("1"));
    CHECK(first["quality_signals"]["app"].isDictionary());
    CHECK(AKRequestJSONReadyParameters(first));  // statistics' decimals travel as JSON numbers
    CHECK(first["dpt"].isNull());
    CHECK(first["adapters"] == AKMAdNetworkAdapter::availableAdapterNames());  // the adapters the build knows
    CHECK(first["adapters"].count() >= 3);
    CHECK(first["format"].isNull());
    REQUIRE(NSUserDefaults::standardUserDefaults()->setObject(Value(false), "adkit_ak_use_https"));
    CHECK(slot.requestParameters()["force_https"].isNull());
    slot.cancelPendingActions();
    slot.loadRequest(request);  // the second load of the request has no extras left
    CHECK(slot.requestParameters()["extras"].isNull());

    auto interstitial = f.makeSlot(false);
    interstitial->loadRequest(AKRequest::request());
    const Value parameters = interstitial->requestParameters();
    CHECK(parameters["format"] == Value("interstitial_mb"));
    CHECK(parameters["sz"].isNull());
    CHECK(parameters["ad_frame"].isNull());

    // Released while the page builds its request, or while its ad is fetched: nothing more reaches anyone.
    f.owner->calls.clear();
    const std::weak_ptr<AKAdSlot> waiting = interstitial;
    interstitial.reset();
    CHECK(waiting.expired());
    auto fetching = f.makeSlot();
    fetching->loadRequest(SlotFixture::adRequest());
    REQUIRE(fetching->state() == AKSlotStateFetchingAdContent);
    fetching.reset();
    adkittest::drainMainQueue();
    CHECK(f.owner->calls.empty());
    CHECK(AKMRAIDInterceptor::canInitWithRequestCounter() == 1);  // the first slot's load only
}
