// Protects the requests publishers make outside ad slots: a search request's
// parameters as the ad request carries them (hex colours clamped, other colour
// models and out-of-table values left out), and activity reports, which reach
// the controller page served by the real ad server, fall back to a blank page
// when it is unreachable, and send nothing (with a publisher log line) when
// they cannot be written as JSON.
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "support/AdPeer.h"
#include "support/AdServerProcess.h"
#include "support/TestEnvironment.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/requests/AKSearchRequest.h"
#include "adkit/requests/PMAActivityReporter.h"
#include "platform/graphics/CGColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/webkit/UIWebView.h"
#include "platform/webkit/UIWebViewRecorder.h"

using adkittest::waitFor;

namespace {

UIColorPtr rgb(double r, double g, double b) { return UIColor::colorWithRed(r, g, b, 1); }

UIColorPtr patternColour() {
    UIGraphicsBeginImageContextWithOptions({2, 2}, true, 1);
    auto tile = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return UIColor::colorWithPatternImage(tile);
}

// Keys every search request sends: the numbers always, the zero values by name.
Value withDefaults(std::initializer_list<std::pair<const std::string, Value>> entries) {
    Value expected({{"headersize", "0"}, {"bthick", "0"}, {"btype", "none"}, {"callbuttoncolor", "light"}});
    for (const auto& [key, value] : entries) expected.setObject(key, value);
    return expected;
}

}  // namespace

TEST_CASE("search request: its settings travel as the ad request's additional parameters") {
    struct Case {
        const char* name;
        std::function<void(AKSearchRequest&)> setup;
        Value expected;
    };
    const std::vector<Case> cases = {
        {"nothing set", [](AKSearchRequest&) {}, withDefaults({})},
        {"every setting",
         [](AKSearchRequest& s) {
             s.query = "running shoes";
             s.setBackgroundSolid(UIColor::redColor());
             s.headerColor = UIColor::colorWithWhite(0.5, 1);
             s.descriptionTextColor = rgb(0, 0.5, 1);
             s.anchorTextColor = rgb(0.25, 0.75, 1);
             s.fontFamily = "DejaVu Serif";
             s.headerTextSize = 18;
             s.borderColor = UIColor::blackColor();
             s.borderType = 3;
             s.borderThickness = 2;
             s.customChannels = "c1+c2";
             s.callButtonColor = 2;
         },
         withDefaults({{"q", "running shoes"}, {"bgcolor", "#ff0000"}, {"hcolor", "#7f7f7f"}, {"dcolor", "#007fff"},
                       {"acolor", "#3fbfff"}, {"font", "DejaVu Serif"}, {"headersize", "18"}, {"bcolor", "#000000"},
                       {"btype", "solid"}, {"bthick", "2"}, {"channel", "c1+c2"}, {"callbuttoncolor", "dark"}})},
        {"a gradient replaces the solid background",
         [](AKSearchRequest& s) {
             s.setBackgroundSolid(UIColor::redColor());
             s.setBackgroundGradientFrom(UIColor::blueColor(), UIColor::greenColor());
             s.borderType = 1;
             s.callButtonColor = 1;
         },
         withDefaults({{"gradientfrom", "#0000ff"}, {"gradientto", "#00ff00"}, {"btype", "dashed"},
                       {"callbuttoncolor", "medium"}})},
        {"a gradient missing a colour changes nothing; a solid one clears the gradient",
         [](AKSearchRequest& s) {
             s.setBackgroundGradientFrom(UIColor::blueColor(), UIColor::greenColor());
             s.setBackgroundSolid(UIColor::whiteColor());
             s.setBackgroundGradientFrom(UIColor::blueColor(), nullptr);
             s.setBackgroundGradientFrom(nullptr, UIColor::greenColor());
             s.borderType = 2;
         },
         withDefaults({{"bgcolor", "#ffffff"}, {"btype", "dotted"}})},
        {"values outside the tables and colours without components send nothing",
         [](AKSearchRequest& s) {
             s.borderType = 7;
             s.callButtonColor = 3;
             s.headerColor = patternColour();
         },
         Value({{"headersize", "0"}, {"bthick", "0"}})},
        {"extended-range and NaN components clamp to 0...1",
         [](AKSearchRequest& s) {
             auto wide = CGColorCreate(CGColorSpaceCreateWithName(kCGColorSpaceExtendedSRGB), {1.5, -0.25, NAN, 1});
             s.backgroundColor = UIColor::colorWithCGColor(wide);
             s.borderColor = UIColor::colorWithCGColor(
                 CGColorCreate(CGColorSpaceCreateWithName(kCGColorSpaceExtendedSRGB), {-3, 2, 0.5, 1}));
         },
         withDefaults({{"bgcolor", "#ff0000"}, {"bcolor", "#00ff7f"}})},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.name));
        auto search = AKSearchRequest::create();
        REQUIRE(dynamic_cast<AKSearchRequestPrivate*>(search.get()));
        c.setup(*search);
        auto request = search->request();
        REQUIRE(request);
        const Value extras = request->parameters()["extras"];
        CHECK_MESSAGE(extras == c.expected, extras.description());
    }
}

namespace {

// The engine for one test, and the application home it writes to.
struct EngineScope {
    testsupport::TempHome home;
    struct OnEngine {
        OnEngine() { UIWebView::useBackingFactory(nullptr); }
        ~OnEngine() { UIWebView::useBackingFactory(UIWebViewRecorder::factory()); }
    } onEngine;
};

struct LogLines : AKLogChecker {
    std::vector<std::string> lines;
    void message(const std::string& text) override { lines.push_back(text); }
};

struct UnwritableMetadata : AKJSONSerializable {
    std::optional<std::string> JSONStringValue(std::string* failure) const override {
        return Value({{"ratio", NAN}}).toJSON(false, failure);
    }
};

// The bodies of the ad server's log entries of the given kind, in the page's order.
std::vector<nlohmann::json> logEntries(const testtools::AdServerProcess& server, const std::string& kind) {
    std::vector<nlohmann::json> entries;
    for (const auto& request : server.log()) {
        if (request["path"] != "/adnet/log") continue;
        auto body = nlohmann::json::parse(request.value("body", std::string()), nullptr, false);
        if (body.is_object() && body["kind"] == kind) entries.push_back(body);
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a["seq"] < b["seq"]; });
    return entries;
}

}  // namespace

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

TEST_CASE("activity reports reach the controller page, and one that cannot be written as JSON sends nothing and says so") {
    testtools::AdServerProcess server;
    REQUIRE(server.started());
    UIWebView::trustCertificateAuthorityForHosts(server.caFile(), {"127.0.0.1"});
    EngineScope engine;
    auto origin = AKAdOrigin::parse(server.origin("https"), "https");
    REQUIRE(origin);
    AKAdHosts::ScopedOrigin staticHost(AKAdHost::staticContent, *origin);
    auto lines = std::make_shared<LogLines>();
    AKMacros::setLogChecker(lines);

    // All sent before the page has loaded: the written ones wait for it.
    PMAActivityReporter reporter(PMACoreController::init());
    const auto unwritable = PMAActivityRequest::requestWithAdUnitID("unit-0", std::nullopt, Value({{"score", NAN}}));
    CHECK_FALSE(reporter.reportWithRequest(*unwritable));
    CHECK_FALSE(reporter.controller()->reportActivityWithMetadata(
        UnwritableMetadata(), *PMAActivityRequest::requestWithAdUnitID("unit-0", std::nullopt, Value())));
    CHECK(reporter.reportWithAdUnitID("unit-1", Value({{"screen", "home"}, {"count", 3}})));
    CHECK(reporter.reportWithRequest(*PMAActivityRequest::requestWithAdUnitID("unit-2", "ppid-7", Value())));
    AKMacros::setLogChecker(nullptr);
    REQUIRE(lines->lines.size() == 2);
    CHECK(lines->lines[0].rfind("Activity not reported: the request cannot be written as JSON (", 0) == 0);
    CHECK(lines->lines[1].rfind("Activity not reported: the metadata cannot be written as JSON (", 0) == 0);

    std::vector<nlohmann::json> reports;
    waitFor([&] { return (reports = logEntries(server, "reportActivity")).size() >= 2; },
            "two activity reports in the ad server's log");
    // Numbered by the page from 1: nothing reached it before them.
    REQUIRE(reports.size() == 2);
    CHECK(reports[0]["seq"] == 1);
    CHECK(reports[1]["seq"] == 2);
    CHECK(reports[0]["request"] == nlohmann::json{{"ad_unit_id", "unit-1"}, {"custom_parameters", {{"screen", "home"}, {"count", 3}}}});
    CHECK(reports[1]["request"] == nlohmann::json{{"ad_unit_id", "unit-2"}, {"publisher_provided", {{"id", "ppid-7"}}}});
    const auto device = AKDevice::currentDevice()->parameters().toJSON();
    REQUIRE(device);
    for (const auto& report : reports) {
        CHECK(report["metadata"]["sdk_version"] == nlohmann::json{{"major", 6}, {"minor", 12}, {"patch", 2}});
        CHECK(report["metadata"]["ak_device"] == nlohmann::json::parse(*device));
        CHECK(report["metadata"].size() == 2);
    }
    // The page came from the static-content host over HTTPS.
    bool pageServed = false;
    for (const auto& request : server.log())
        pageServed |= request["path"] == PMACoreController::kControllerPath && request["scheme"] == "https";
    CHECK(pageServed);
}

TEST_CASE("activity reports: with the controller page unreachable the blank fallback loads and reports go nowhere") {
    EngineScope engine;
    testsupport::AdPeer gone;
    const std::string unreachable = gone.url(PMACoreController::kControllerPath);
    gone.stop();
    auto controller = PMACoreController::initWithURLString(unreachable, PMACoreController::kFallbackPage);
    PMAActivityReporter reporter(controller);
    CHECK(reporter.reportWithAdUnitID("unit-1", Value()));  // waits for the page
    waitFor([&] { return controller->container()->loaded(); }, "the fallback page to load");
    CHECK(controller->stringByEvaluatingJavaScriptFromString("document.documentElement.outerHTML") ==
          PMACoreController::kFallbackPage);
    CHECK(controller->stringByEvaluatingJavaScriptFromString("location.href") == unreachable);
    CHECK(reporter.reportWithAdUnitID("unit-1", Value({{"k", "v"}})));
    CHECK(controller->stringByEvaluatingJavaScriptFromString("typeof adkit + ' ' + (6 * 7)") == "undefined 42");
}

TEST_SUITE_END();
