// Protects ad sizes and types on phones and tablets in both orientations, and the ad model read from ad dictionaries and response headers.
#include <cmath>
#include <functional>
#include <limits>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/rendering/AKSwipeToViewControllerConfigurations.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdType.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStatusBarOrientation.h"

namespace {

// The device for one column of the size table; back to the defaults after.
struct DeviceAs {
    DeviceAs(UIUserInterfaceIdiom idiom, CGSize screen, UIInterfaceOrientation orientation) {
        UIDevice::currentDevice()->setUserInterfaceIdiom(idiom);
        UIDevice::currentDevice()->setSystemVersion("8.0");  // the screen bounds turn with the interface
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, screen.width, screen.height));
        UIStatusBar::setStatusBarOrientation(orientation);
        AKDevice::resetProcessFactsForTesting();
    }
    ~DeviceAs() {
        UIDevice::currentDevice()->resetToDefaults();
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
        UIStatusBar::setStatusBarOrientation(UIInterfaceOrientationPortrait);
        AKDevice::resetProcessFactsForTesting();
    }
};

constexpr double S = -1000, L = -2000;
constexpr double kInf = std::numeric_limits<double>::infinity();  // the screen's short and long sides in expectations

}  // namespace

TEST_CASE("ad sizes convert and validate against the device: phone and tablet, portrait and landscape") {
    struct Column {
        const char* name;
        UIUserInterfaceIdiom idiom;
        CGSize screen;
        UIInterfaceOrientation orientation;
    };
    const Column columns[] = {
        {"phone portrait", UIUserInterfaceIdiomPhone, {320, 568}, UIInterfaceOrientationPortrait},
        {"phone landscape", UIUserInterfaceIdiomPhone, {320, 568}, UIInterfaceOrientationLandscapeLeft},
        {"tablet portrait", UIUserInterfaceIdiomPad, {768, 1024}, UIInterfaceOrientationPortrait},
        {"tablet landscape", UIUserInterfaceIdiomPad, {768, 1024}, UIInterfaceOrientationLandscapeRight},
        {"other idiom", UIUserInterfaceIdiomUnspecified, {320, 568}, UIInterfaceOrientationPortrait},
    };
    struct Row {
        AKAdSize size;
        bool valid;
        CGSize phone, tablet, other;  // AKAdSizeToCGSize; S and L stand for the screen's sides
    };
    const Row rows[] = {
        {kAKAdSizeBanner, true, {320, 50}, {320, 50}, {320, 50}},
        {kAKAdSizeSmartBannerPortrait, true, {S, 50}, {S, 90}, {0, 0}},
        {kAKAdSizeSmartBannerLandscape, true, {L, 32}, {L, 90}, {0, 0}},
        {kAKAdSizeSmartBannerSkinnyPortrait, true, {S, 50}, {S, 66}, {0, 0}},
        {kAKAdSizeSmartBannerSkinnyLandscape, true, {L, 32}, {L, 66}, {0, 0}},
        {{{0, 70}, 3}, true, {S, 70}, {S, 70}, {0, 70}},  // full width, custom height
        {{{0, 70}, 2}, false, {0, 0}, {0, 0}, {0, 0}},      // full width alone has no size
        {{{5, 0}, 18}, false, {S, 50}, {S, 90}, {0, 0}},    // a smart record with a width
        {kAKAdSizeInvalid, false, {0, 0}, {0, 0}, {0, 0}},
        {{{100, 100}, 0}, false, {0, 0}, {0, 0}, {0, 0}},  // not standard, no flags
        {{{-300, 20}, 1}, true, {-300, 20}, {-300, 20}, {-300, 20}},
        {{{568, 20}, 1}, true, {568, 20}, {568, 20}, {568, 20}},
        {{{1025, 20}, 1}, false, {1025, 20}, {1025, 20}, {1025, 20}},
        {{{kInf, 20}, 1}, false, {kInf, 20}, {kInf, 20}, {kInf, 20}},  // passes through, fits no screen
    };
    for (const Column& column : columns) {
        DeviceAs device(column.idiom, column.screen, column.orientation);
        for (const Row& row : rows) {
            CAPTURE(column.name);
            CAPTURE(AKAdSizeDescription(row.size));
            const CGSize expected = column.idiom == UIUserInterfaceIdiomPad     ? row.tablet
                                    : column.idiom == UIUserInterfaceIdiomPhone ? row.phone
                                                                                : row.other;
            const auto side = [&](double v) { return v == S ? column.screen.width : v == L ? column.screen.height : v; };
            CHECK(AKAdSizeToCGSize(row.size) == CGSizeMake(side(expected.width), side(expected.height)));
            CHECK(AKAdSizeIsValid(row.size) == row.valid);
            CHECK(AKAdType(row.size).isValid() == AKAdSizeIsValid(row.size));
        }
    }
}

TEST_CASE("ad sizes are read, named and boxed, and equal ad types hash alike") {
    CHECK(AKAdSizeIsEqual(AKAdSizeFromCGSize({320, 50}), kAKAdSizeBanner));
    CHECK(AKAdSizeIsEqual(AKAdSizeFromCGSize({320, 51}), AKAdSize{{320, 51}, 1}));
    CHECK(AKAdSizeIsEqual(AKAdSizeFromCGSize({-1, -1}), kAKAdSizeInvalid));
    CHECK(AKAdSizeFromResponseString("300x250") == CGSize{300, 250});
    for (const std::string unreadable : {"banner", "+infx50", "1e999x50", "300x250x2", ""}) {
        CAPTURE(unreadable);
        CHECK(AKAdSizeFromResponseString(unreadable) == CGSizeZero);
    }
    CHECK(AKAdSizeNameTable().size() == 11);
    CHECK(AKAdSizeNameTable()[6].second == "kAKAdSizeSmartBannerSkinnyPortrait");
    CHECK(AKAdSizeDescription({{0, 70}, 3}) == "Full width AKAdSize with height: 70.000000");
    CHECK(AKAdSizeDescription({{320, 51}, 1}) == "Custom AKAdSize: {320, 51}");
    CHECK(AKAdSizeDescription({{7, 8}, 0x20}) == "AKAdSize: {7, 8}, 20");

    const Value boxed(NSValueFromAKAdSize({{320, 51}, 1}));
    CHECK(boxed.boxed()->objCType == "{AKAdSize={CGSize=dd}Q}");
    CHECK(Value::array({boxed}) == Value::array({Value(NSValueFromAKAdSize(AKAdSizeFromCGSize({320, 51})))}));
    CHECK(AKAdSizeIsEqual(*AKAdSizeFromNSValue(*boxed.boxed()), {{320, 51}, 1}));
    CHECK_FALSE(AKAdSizeFromNSValue(NSValue{"{CGSize=dd}Q", boxed.boxed()->bytes}));

    const auto interstitial = AKAdType::interstitialAdType();
    const auto invalidBanner = AKAdType::bannerAdTypeForSize(kAKAdSizeInvalid);
    const auto banner = AKAdType::bannerAdTypeForSize(kAKAdSizeBanner);
    CHECK(interstitial->isEqual(invalidBanner));
    CHECK(interstitial->hash() == invalidBanner->hash());
    const auto sameBanner = AKAdType::bannerAdTypeForSize(AKAdSizeFromCGSize({320, 50}));
    CHECK(banner->isEqual(sameBanner));
    CHECK(banner->hash() == sameBanner->hash());
    CHECK_FALSE(banner->isEqual(interstitial));
    CHECK_FALSE(banner->isEqual(std::make_shared<NSObject>()));
    interstitial->setAdSize(kAKAdSizeBanner);  // still the interstitial type, not a banner's equal
    CHECK_FALSE(interstitial->isEqual(banner));
    CHECK(interstitial->isEqual(invalidBanner));
    CHECK(interstitial->hash() == invalidBanner->hash());
    CHECK(interstitial->isValid());
    CHECK(interstitial->description() == "AKAdType interstitial type");
    CHECK(banner->description() == "AKAdType banner with size: kAKAdSizeBanner");
}

namespace {

Value json(const char* text) {
    auto value = Value::fromJSON(text);
    REQUIRE(value);
    return *value;
}

std::vector<std::string> texts(const std::vector<NSURLPtr>& urls) {
    std::vector<std::string> out;
    for (const auto& url : urls) out.push_back(url->absoluteString());
    return out;
}

}  // namespace

TEST_CASE("the ad model reads ad dictionaries and response headers, taking only well-typed finite values and web URLs") {
    using Strings = std::vector<std::string>;
    struct Row {
        const char* what;
        Value dictionary;  // a banner's "_ad" extra; null: an empty ad
        Value headers;           // read after the dictionary when not null
        std::function<void(const AKAdBanner&)> check;
    };
    const Row rows[] = {
        {"HTML with a web base URL", json(R"({"ad_html": "<p>", "ad_base_url": "https://ads.test/", "ad_url": "https://ads.test/u"})"), {},
         [](const AKAdBanner& ad) {
             CHECK(ad.adHTML == "<p>");
             CHECK(ad.adBaseURL->absoluteString() == "https://ads.test/");
             CHECK_FALSE(ad.adURL);
             CHECK(ad.supportedOrientations == AKSupportedOrientationsAny);  // no "orientation"
         }},
        {"a base URL that is no URL: the ad URL instead", json(R"({"ad_html": "<p>", "ad_base_url": "::", "ad_url": "http://ads.test/u", "orientation": "any"})"), {},
         [](const AKAdBanner& ad) {
             CHECK(ad.supportedOrientations == AKSupportedOrientationsAny);
             CHECK_FALSE(ad.adHTML);
             CHECK_FALSE(ad.adBaseURL);
             CHECK(ad.adURL->absoluteString() == "http://ads.test/u");
         }},
        {"URLs of other schemes are not fetched", json(R"({"ad_html": "<p>", "ad_base_url": "file:///etc/", "ad_url": "javascript:void 0",
              "ad_is_javascript": true, "ad_passback_url": "data:text/html,x"})"), {},
         [](const AKAdBanner& ad) {
             CHECK_FALSE(ad.adHTML);
             CHECK_FALSE(ad.adURL);
             CHECK(ad.hasAdNetworkJavaScript());
             CHECK_FALSE(ad.adNetworkPassbackURL());
         }},
        {"wrong types count as missing", json(R"({"ad_is_javascript": "1", "ad_passback_url": "https://net.test/p", "orientation": 3,
              "debug_dialog": 5, "active_view": "on", "refresh_rate": "30", "ad_size": 300, "swipe_to_viewcontroller": "on",
              "click_urls": "https://a.test/c", "ad_url": 7})"), {},
         [](const AKAdBanner& ad) {
             CHECK_FALSE(ad.hasAdNetworkJavaScript());
             CHECK_FALSE(ad.adNetworkPassbackURL());
             CHECK(ad.supportedOrientations == AKSupportedOrientationsAny);
             CHECK_FALSE(ad.debugDialog);
             CHECK(ad.viewabilityConfigurations.isNull());
             CHECK(ad.refreshInterval == 0);
             CHECK(AKAdSizeIsEqual(ad.size, {{0, 0}, 1}));  // as a missing size
             CHECK_FALSE(ad.swipeToViewControllerConfigurations);
             CHECK(ad.clickURLs().empty());
             CHECK_FALSE(ad.adURL);
         }},
        {"well-typed values", json(R"({"orientation": "landscape", "debug_dialog": "hi", "active_view": {"a": 1}, "refresh_rate": 30,
              "ad_size": "300x250", "swipe_to_viewcontroller": {"swipe_animation_transition_duration": 2,
              "swipeable_rectangles": [{"x": 1, "y": 2, "width": 3, "height": 4}, {"x": "a"}, 5], "app_store_product_id": "9"},
              "click_urls": ["https://a.test/c", 4, "https://a.test/c", "https://a.test/d"], "impression_urls": ["https://a.test/i"],
              "ad_is_javascript": 1, "ad_passback_url": "https://net.test/p"})"),
         {},
         [](const AKAdBanner& ad) {
             CHECK(ad.supportedOrientations == AKSupportedOrientationsLandscape);
             CHECK(ad.debugDialog == "hi");
             CHECK(ad.viewabilityConfigurations == Value{{"a", 1}});
             CHECK(ad.refreshInterval == 30);
             CHECK(AKAdSizeIsEqual(ad.size, kAKAdSizeMediumRectangle));
             REQUIRE(ad.swipeToViewControllerConfigurations);
             CHECK(ad.swipeToViewControllerConfigurations->swipeAnimationTransitionDuration() == 2);
             CHECK(*ad.swipeToViewControllerConfigurations->swipeableRectangles() == std::vector<CGRect>{CGRectMake(1, 2, 3, 4)});
             CHECK(ad.swipeToViewControllerConfigurations->swipeableInAppStoreProductID().isNull());
             CHECK(texts(ad.clickURLs()) == Strings{"https://a.test/c", "https://a.test/d"});
             CHECK(texts(ad.impressionURLs()) == Strings{"https://a.test/i"});
             CHECK(ad.adNetworkPassbackURL()->absoluteString() == "https://net.test/p");
         }},
        {"an empty ad", nullptr, {},
         [](const AKAdBanner& ad) {
             CHECK(ad.supportedOrientations == 0);
             CHECK(AKAdSizeIsEqual(ad.size, {}));
             CHECK(ad.scrollEnabled);
             CHECK(ad.statistics());
         }},
        {"header URL lists, orientation, refresh and flags", nullptr,
         Value{{"X-Adnet-Tracking-Urls", "https://a.test/1   \t https://a.test/2 "},
               {"X-Adnet-Click-Tracking-Urls", "https://a.test/c"},
               {"X-Adnet-Manual-Tracking-Urls", "   "},
               {"X-Adnet-Orientation", "portrait"},
               {"X-Adnet-Refresh-Rate", "0"},
               {"X-Adnet-Debug-Dialog", "dbg"},
               {"X-Adnet-Ad-Size", "320x50"},
               {"X-Adnet-Viewability", R"({"v": 2})"},
               {"X-Adnet-Disable-Activation-And-Scroll", "YES"}},
         [](const AKAdBanner& ad) {
             CHECK(texts(ad.impressionURLs()) == Strings{"https://a.test/1", "https://a.test/2"});
             CHECK(texts(ad.clickURLs()) == Strings{"https://a.test/c"});
             CHECK(ad.manualImpressionURLs().empty());
             CHECK(ad.supportedOrientations == AKSupportedOrientationsPortrait);
             CHECK(ad.reloadInterval == 0);
             CHECK(ad.debugDialog == "dbg");
             CHECK(ad.customAdSizeString == "320x50");
             CHECK(ad.viewabilityConfigurations == Value{{"v", 2}});
             CHECK_FALSE(ad.scrollEnabled);
             CHECK_FALSE(ad.swipeToViewControllerConfigurations);
         }},
        {"absent, unknown, mistyped and non-finite headers keep the ad's values",
         json(R"({"orientation": "landscape", "debug_dialog": "hi", "swipe_to_viewcontroller": {}, "click_urls": ["https://a.test/c"]})"),
         Value{{"X-Adnet-Orientation", "sideways"},
               {"X-Adnet-Refresh-Rate", "1e999"},
               {"X-Adnet-Click-Tracking-Urls", Value(5)},
               {"X-Adnet-Debug-Dialog", Value::array({"x"})},
               {"X-Adnet-Swipe-To-View-Controller", "[1]"}},
         [](const AKAdBanner& ad) {
             CHECK(ad.supportedOrientations == AKSupportedOrientationsLandscape);
             CHECK(ad.reloadInterval == 0);
             CHECK(texts(ad.clickURLs()) == Strings{"https://a.test/c"});
             CHECK(ad.debugDialog == "hi");
             CHECK_FALSE(ad.customAdSizeString);
             REQUIRE(ad.swipeToViewControllerConfigurations);
             CHECK(ad.swipeToViewControllerConfigurations->swipeAnimationTransitionDuration() == 1);
             CHECK(ad.scrollEnabled);
         }},
        {"a negative refresh rate is ignored; a swipe header makes settings", Value{{"refresh_rate", kInf}},
         Value{{"X-Adnet-Refresh-Rate", "-3"}, {"X-Adnet-Swipe-To-View-Controller", R"({"swipe_animation_transition_duration": -1})"}},
         [](const AKAdBanner& ad) {
             CHECK(ad.refreshInterval == 0);
             CHECK(ad.reloadInterval == 0);
             REQUIRE(ad.swipeToViewControllerConfigurations);
             CHECK(ad.swipeToViewControllerConfigurations->swipeAnimationTransitionDuration() == 1);
         }},
    };
    for (const Row& row : rows) {
        const std::string what = row.what;
        CAPTURE(what);
        std::shared_ptr<AKAdBanner> ad = std::make_shared<AKAdBanner>();
        if (row.dictionary) ad = AKAdBanner::initWithDictionary(row.dictionary);
        if (row.headers) ad->readHTTPHeaders(row.headers);
        row.check(*ad);
    }

    NSErrorPtr error;
    CHECK(AKAdLoaderClassForAdType("2") == "AKNativeAppInstallAd");
    CHECK_FALSE(AKAdLoaderClassForAdType("3", &error));
    CHECK(error->domain() == "com.adkit.ads");
    CHECK(error->code() == 12);
    CHECK(error->localizedDescription() == "Invalid ad format requested: \"3\".");
    CHECK(AKNativeAdClassForFormat("native", 1) == "AKNativeContentAd");
    CHECK_FALSE(AKNativeAdClassForFormat("native", 3, &error));
    CHECK(error->domain() == "com.adkit.ads.private");
    CHECK(error->code() == 3);
    CHECK(error->userInfo()[NSLocalizedFailureReasonErrorKey] == Value("Invalid ad format requested: \"native\", 3."));
}
