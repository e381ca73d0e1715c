// Protects native ads: which ad objects make an ad (wrong types count as missing), the image assets over the real ad server (404s, no images, the body cap, release while loading), and clicks and impressions through a real web view running the support page's script.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/requests/AKAdNetExtras.h"
#include "adkit/requests/AKNativeAppInstallAd.h"
#include "adkit/requests/AKNativeContentAd.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIImage.h"
#include "support/LoopbackHttpServer.h"

namespace {

constexpr const char* kNativePath = "/adnet/static/creatives/native/";

// An ad object of the format: its required keys, then `changes` (null values remove a key).
Value adObject(int templateID, const Value& changes = Value::dictionary()) {
    Value object{{"type", "native"},
                 {"template_id", templateID},
                 {"headline", "Headline"},
                 {"body", "Body"},
                 {"call_to_action", "Go"},
                 {"app_icon", Value{{"url", "https://ads.test/icon.png"}}},
                 {"tracking_urls_and_actions",
                  Value{{"adkit_click_tracking_url", "https://ads.test/click"},
                        {"impression_tracking_urls", Value::array({"https://ads.test/imp"})}}}};
    for (const auto& [key, value] : *changes.dictionaryRef()) {
        if (value.isNull()) object.dictionaryRef()->erase(key);
        else (*object.dictionaryRef())[key] = value;
    }
    return object;
}

std::shared_ptr<AKNativeAd> make(int templateID, const Value& changes = Value::dictionary()) {
    const Value configuration{{"ads", Value::array({adObject(templateID, changes)})}};
    const auto className = AKNativeAd::classFromAdConfigurationDictionary(configuration);
    REQUIRE(className);
    return AKNativeAd::initWithDictionary(*className, AKNativeAd::firstAdObjectInAdConfigurationDictionary(configuration));
}

struct LoadListener : AKNativeAdLoadDelegate {
    int finished = 0;
    int failed = 0;
    void nativeAdDidFinishLoadingAssets(AKNativeAd&) override { ++finished; }
    void nativeAdDidFailToLoadRequiredAssets(AKNativeAd&) override { ++failed; }
};

struct LogLines : AKLogChecker {
    std::vector<std::string> lines;
    void message(const std::string& text) override { lines.push_back(text); }
};

}  // namespace

TEST_CASE("native ad objects: what makes an ad, and values of the wrong type count as missing") {
    const Value attribution{{"text", "Ad"}, {"image", Value{{"url", "https://ads.test/a.png"}}}};
    struct Row {
        const char* name;
        int templateID;
        Value changes;
        bool made;
    };
    const Row rows[] = {
        {"content", 1, Value::dictionary(), true},
        {"app install", 2, Value::dictionary(), true},
        {"app install without app_icon", 2, Value{{"app_icon", Value()}}, false},
        {"app install without call to action", 2, Value{{"call_to_action", Value()}}, false},
        {"content without body", 1, Value{{"body", Value()}}, false},
        {"content without headline", 1, Value{{"headline", Value()}}, false},
        {"attribution text and image", 1, Value{{"attribution", attribution}}, true},
        {"attribution text without image URL", 1, Value{{"attribution", Value{{"text", "Ad"}}}}, false},
        {"attribution image URL without text", 2,
         Value{{"attribution", Value{{"image", Value{{"url", "https://ads.test/a.png"}}}}}}, false},
        {"no click tracking URL", 1, Value{{"tracking_urls_and_actions", Value::dictionary()}}, false},
        {"an empty click tracking URL", 1,
         Value{{"tracking_urls_and_actions", Value{{"adkit_click_tracking_url", ""}}}}, false},
        {"a headline that is a number", 1, Value{{"headline", 7}}, false},
        {"a body that is an array", 1, Value{{"body", Value::array({"Body"})}}, false},
        {"an app icon that is a string", 2, Value{{"app_icon", "https://ads.test/icon.png"}}, false},
        {"an icon URL that is an object", 2, Value{{"app_icon", Value{{"url", Value{{"u", "x"}}}}}}, false},
        {"attribution that is an array", 1, Value{{"attribution", Value::array({attribution})}}, true},
        {"attribution text that is a number", 1,
         Value{{"attribution", Value{{"text", 1}, {"image", Value{{"url", "https://ads.test/a.png"}}}}}}, false},
        {"tracking that is an array", 1, Value{{"tracking_urls_and_actions", Value::array({"https://ads.test/c"})}},
         false},
        {"a click URL that is a number", 1, Value{{"tracking_urls_and_actions", Value{{"adkit_click_tracking_url", 3}}}},
         false},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        CHECK((make(row.templateID, row.changes) != nullptr) == row.made);
    }

    // Optional values of the wrong type are missing; the rest reads as given.
    auto ad = std::dynamic_pointer_cast<AKNativeAppInstallAd>(
        make(2, Value{{"rating", "4.5"},
                      {"store", 3},
                      {"price", "Free"},
                      {"image", Value::array()},
                      {"tracking_urls_and_actions",
                       Value{{"adkit_click_tracking_url", "https://ads.test/click"},
                             {"impression_tracking_urls", "https://ads.test/imp"},
                             {"third_party_click_tracking_urls", Value::array({"https://ads.test/t", 5})},
                             {"click_actions", Value{{"a", 1}}}}}}));
    REQUIRE(ad);
    CHECK(ad->starRating() == 0);
    CHECK_FALSE(ad->store());
    CHECK(ad->price() == std::optional<std::string>("Free"));
    CHECK_FALSE(ad->imageURL());
    CHECK(ad->impressionTrackingURLs().empty());
    REQUIRE(ad->thirdPartyClickTrackingURLs().size() == 1);
    CHECK(ad->thirdPartyClickTrackingURLs()[0]->absoluteString() == "https://ads.test/t");
    CHECK(ad->clickActions() == Value::array());
    auto rated = std::dynamic_pointer_cast<AKNativeAppInstallAd>(make(2, Value{{"rating", 4.5}}));
    REQUIRE(rated);
    CHECK(rated->starRating() == 4.5);

    // Class lookups by configuration and by name.
    struct Lookup {
        Value configuration;
        std::optional<std::string> className;
    };
    const Lookup lookups[] = {
        {Value{{"ads", Value::array({adObject(1)})}}, "AKNativeContentAd"},
        {Value{{"ads", Value::array({adObject(1, Value{{"template_id", "2"}})})}}, "AKNativeAppInstallAd"},
        {Value{{"ads", Value::array({adObject(3)})}}, std::nullopt},
        {Value{{"ads", Value::array({adObject(1, Value{{"type", "banner"}})})}}, std::nullopt},
        {Value{{"ads", adObject(1)}}, std::nullopt},
        {Value{{"ads", Value::array({"text", adObject(1)})}}, std::nullopt},
    };
    for (const Lookup& lookup : lookups) CHECK(AKNativeAd::classFromAdConfigurationDictionary(lookup.configuration) == lookup.className);
    CHECK(AKNativeAd::requiredDelegateProtocol("AKNativeContentAd") == "AKNativeContentAdLoaderDelegate");
    CHECK(AKNativeAd::requestParametersForAdLoader("AKNativeAppInstallAd") == Value{{"format", 2}});
    CHECK(ClassRegistry::protocolConformsTo("AKNativeAppInstallAdLoaderDelegate", "AKAdLoaderDelegate"));
    CHECK(AKNativeAd::initWithDictionary("AKNativeAd", adObject(1)) == nullptr);

    // A support URL default that makes no URL gives the built-in page.
    testsupport::TempHome home;
    for (const Value& unusable : {Value("http://[broken"), Value(7)}) {
        NSUserDefaults::standardUserDefaults()->setObject(unusable, "native_ad_support_url");
        CHECK(AKNativeAd::supportHTMLURL()->absoluteString().ends_with("/adnet/static/mad/sdk/native/native_ads.html"));
    }
    NSUserDefaults::standardUserDefaults()->setObject(Value("https://support.test/page.html"), "native_ad_support_url");
    CHECK(AKNativeAd::supportHTMLURL()->absoluteString() == "https://support.test/page.html");
}

namespace {

struct NativeRoad : slotroad::EngineSlots {
    NativeRoad() : EngineSlots(nlohmann::json::object()) {}

    // The configuration file's ad object, its "{origin}" made this server's.
    Value adObjectOf(const std::string& file, const std::string& scheme = "https") const {
        const auto reply = server.get(server.origin("https") + kNativePath + file);
        REQUIRE(reply.status == 200);
        std::string text = reply.body;
        for (std::size_t at; (at = text.find("{origin}")) != std::string::npos;) text.replace(at, 8, server.origin(scheme));
        const auto configuration = Value::fromJSON(text);
        REQUIRE(configuration);
        return AKNativeAd::firstAdObjectInAdConfigurationDictionary(*configuration);
    }
    // The file's ad, without the keys in `dropped`, loading its assets.
    std::shared_ptr<AKNativeAd> load(const std::string& file, const std::shared_ptr<LoadListener>& listener,
                                     const std::vector<std::string>& dropped = {}) const {
        Value object = adObjectOf(file);
        for (const auto& key : dropped) object.dictionaryRef()->erase(key);
        auto ad = AKNativeAd::initWithDictionary(object["template_id"].integerValue() == 2 ? "AKNativeAppInstallAd"
                                                                                            : "AKNativeContentAd",
                                                 object);
        REQUIRE(ad);
        ad->setLoadingDelegate(listener);
        ad->loadAssets();
        return ad;
    }
    std::size_t requested(const std::string& fileName) const {
        return logged(std::string(kNativePath) + fileName).size();
    }
};

CGSize sizeOf(const std::shared_ptr<UIImage>& image) { return image ? image->size() : CGSizeMake(0, 0); }

}  // namespace

// The ad server and the real web engine from here on.
TEST_SUITE_BEGIN("engine");

TEST_CASE("native ad assets load from the ad server: 404s, no images, the body cap and release while loading") {
    NativeRoad road;
    struct Row {
        const char* file;
        std::vector<std::string> dropped;
        int finished;
        int failed;
    };
    const Row rows[] = {
        {"content.json", {}, 1, 0},
        {"content-optional-404.json", {}, 1, 0},
        // The failing optional logo is the last (the only) asset to end: the load still finishes.
        {"content-optional-404.json", {"image", "attribution"}, 1, 0},
        {"content-no-images.json", {}, 1, 0},  // nothing to load: finished on the next turn
        {"app-install.json", {}, 1, 0},
        {"app-install-404.json", {}, 0, 1},  // the required icon fails: reported once
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.file));
        CAPTURE(row.dropped.size());
        auto listener = std::make_shared<LoadListener>();
        auto ad = road.load(row.file, listener, row.dropped);
        CHECK(listener->finished + listener->failed == 0);  // never from inside loadAssets
        adkittest::waitFor(
            [&] {
                const bool allEnded = std::includes(ad->completedAssets().begin(), ad->completedAssets().end(),
                                                    ad->requestedAssets().begin(), ad->requestedAssets().end());
                return allEnded && listener->finished + listener->failed > 0;
            },
            "every asset of the ad to end and the loader to hear");
        CHECK(listener->finished == row.finished);
        CHECK(listener->failed == row.failed);
        CHECK(ad->failedToLoadRequiredAssets() == (row.failed > 0));
    }

    auto listener = std::make_shared<LoadListener>();
    auto content = std::dynamic_pointer_cast<AKNativeContentAd>(road.load("content.json", listener));
    adkittest::waitFor([&] { return listener->finished > 0; }, "the content ad's images");
    CHECK(sizeOf(content->image()).width == 320);
    CHECK(sizeOf(content->logo()).width == 48);
    CHECK(sizeOf(content->attributionIcon()).width == 16);
    auto optional404 = std::dynamic_pointer_cast<AKNativeContentAd>(road.load("content-optional-404.json", listener));
    adkittest::waitFor([&] { return listener->finished > 1; }, "the ad whose logo is missing");
    CHECK(optional404->image());
    CHECK_FALSE(optional404->logo());

    // A required icon whose body passes 16 MiB fails, though its bytes start as a whole PNG.
    const auto icon = road.server.get(road.server.origin("https") + kNativePath + "icon.png");
    REQUIRE(icon.status == 200);
    testsupport::LoopbackHttpServer large;
    large.route("GET", "/padded.png", testsupport::Reply::text(icon.body + std::string(17 << 20, '\0'), "image/png"));
    large.route("GET", "/icon.png", testsupport::Reply::text(icon.body, "image/png"));
    struct Icon {
        std::string url;
        int failed;
    };
    // An icon no request can be made for fails at once, yet the loader hears on a later turn.
    for (const Icon& row : {Icon{large.url("/icon.png"), 0}, Icon{large.url("/padded.png"), 1},
                            Icon{"ftp://127.0.0.1/icon.png", 1}}) {
        CAPTURE(row.url);
        auto capped = std::make_shared<LoadListener>();
        auto ad = AKNativeAd::initWithDictionary("AKNativeAppInstallAd", adObject(2, Value{{"app_icon", Value{{"url", row.url}}}}));
        REQUIRE(ad);
        ad->setLoadingDelegate(capped);
        ad->loadAssets();
        CHECK(capped->finished + capped->failed == 0);
        adkittest::waitFor([&] { return capped->finished + capped->failed > 0; }, "the icon's load to end");
        CHECK(capped->failed == row.failed);
        CHECK(capped->finished == 1 - row.failed);
    }

    // Released while loading: destroyed at once, and its loader hears nothing.
    auto released = std::make_shared<LoadListener>();
    std::weak_ptr<AKNativeAd> weak;
    const std::size_t imagesBefore = road.requested("image.png");
    {
        auto ad = road.load("app-install.json", released);
        weak = ad;
    }
    CHECK(weak.expired());
    auto sentinel = std::make_shared<LoadListener>();
    auto later = road.load("app-install.json", sentinel);
    adkittest::waitFor([&] { return sentinel->finished > 0 && road.requested("image.png") >= imagesBefore + 2; },
                       "both ads' images to be served and the later ad to finish");
    CHECK(released->finished + released->failed == 0);
}

TEST_CASE("native ad clicks run the support page's script once the required assets are read, and an impression pings once") {
    NativeRoad road;
    NSUserDefaults::standardUserDefaults()->setObject(
        Value(road.server.origin("https") + "/adnet/static/mad/sdk/native/native_ads.html"), "native_ad_support_url");
    auto slot = slotroad::EngineSlots::makeSlot(std::make_shared<slotroad::ErrorKeepingOwner>(), "native-support");
    auto request = AKRequest::request();
    auto extras = std::make_shared<AKAdNetExtras>();
    extras->setAdditionalParameters(Value{{"_requestUrl", AKNativeAd::supportHTMLURL()->absoluteString()}});
    request->registerAdNetworkExtras(extras);
    road.loadValid(*slot, request);
    NSUserDefaults::standardUserDefaults()->removeObjectForKey("native_ad_support_url");
    REQUIRE(slotroad::EngineSlots::evaluate(*slot, "typeof adkit.adnet.nativeAds.handleClick") == "function");
    // Keep what reaches the script, then let it go on.
    slotroad::EngineSlots::evaluate(*slot, "window.seen = []; (function (h) { adkit.adnet.nativeAds.handleClick ="
                                           " function (a) { window.seen.push(typeof a === 'string' ? a :"
                                           " JSON.stringify(a)); return h(a); }; })(adkit.adnet.nativeAds.handleClick);"
                                           " 'ok'");

    const Value object = road.adObjectOf("content.json", "http");
    auto ad = std::dynamic_pointer_cast<AKNativeContentAd>(AKNativeAd::initWithDictionary("AKNativeContentAd", object));
    REQUIRE(ad);
    ad->setSlot(slot);
    auto log = std::make_shared<LogLines>();
    AKMacros::setLogChecker(log);

    CHECK(ad->headline() == "Tonight on Quorvane");
    ad->performClickOnAsset("headline");
    ad->recordImpression();
    CHECK(log->lines == std::vector<std::string>{"All required assets must be displayed before performing clicks.",
                                                 "All required assets must be displayed before recording an impression."});
    CHECK(slotroad::EngineSlots::evaluate(*slot, "JSON.stringify(window.seen)") == "[]");
    CHECK_FALSE(ad->hasRecordedImpression());

    (void)ad->body();
    (void)ad->attributionIcon();
    ad->performClickOnAsset("headline");
    ad->recordImpression();
    ad->recordImpression();
    AKMacros::setLogChecker(nullptr);
    CHECK(log->lines.size() == 2);
    const auto clickJSON = Value{{"ad", object}, {"click", Value{{"template", "1"}, {"asset", "headline"}}}}.toJSON();
    REQUIRE(clickJSON);
    const auto seen = Value::fromJSON(slotroad::EngineSlots::evaluate(*slot, "JSON.stringify(window.seen)"));
    REQUIRE(seen);
    REQUIRE((*seen).arrayRef()->size() == 1);
    CHECK(Value::fromJSON(*(*seen)[0].string()) == Value::fromJSON(*clickJSON));
    adkittest::waitFor(
        [&] {
            return !road.logged("/adnet/ping/click").empty() && !road.logged("/adnet/ping/impression").empty();
        },
        "the support page's click-tracking request and the impression ping");
    CHECK(road.loggedQuery("/adnet/ping/click", "native") == std::vector<std::string>{"content"});
    CHECK(road.loggedQuery("/adnet/ping/impression", "native") == std::vector<std::string>{"content"});
    CHECK(ad->hasRecordedImpression());
}

TEST_SUITE_END();
