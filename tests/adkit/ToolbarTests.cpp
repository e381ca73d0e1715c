// Protects the publisher toolbar's script calls (a wrapped argument stays one
// single-quoted literal whatever it holds), its credentials in the user
// defaults, the opener's toolbar (guarded, the slot's ad unit when none is
// given, presented after what the presenter shows is dismissed), and the
// bad-ad report's POST against the real ad server: the
// endpoint (configured, or the built-in one when unset or empty), the body, and
// a second report detaching a first one still in flight without stopping it.
#include <doctest/doctest.h>

#include <string>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKBadAdUtil.h"
#include "adkit/rendering/AKPublisherToolbarController.h"
#include "adkit/rendering/AKPublisherToolbarCredentials.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/security/SecTrust.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebViewRecorder.h"
#include "support/AdServerProcess.h"

using adkittest::waitFor;

TEST_CASE("publisher toolbar: script calls, the wrapped argument escaped inside single quotes") {
    struct Case {
        std::optional<std::string> argument;
        bool wrapped;
        std::string text;
    };
    const Case cases[] = {
        {std::nullopt, true, "f();"},
        {std::string(R"({"a":"it's"})"), false, R"(f({"a":"it's"});)"},
        {std::string("it's"), true, R"(f('it\'s');)"},
        {std::string("a\\b\"c\nd\re\u2028f\u2029g"), true, R"(f('a\\b\"c\nd\re\u2028f\u2029g');)"},
        {std::string("\u00e9\u2027"), true, "f('\u00e9\u2027');"},  // other characters stay as they are
    };
    for (const auto& c : cases) {
        INFO(c.text);
        CHECK(AKPublisherToolbarController::javaScriptCall("f", c.argument, c.wrapped) == c.text);
    }
}

TEST_CASE("publisher toolbar credentials: stored as sent, read at creation, a dictionary only, cleared") {
    testsupport::TempHome home;
    const auto defaults = NSUserDefaults::standardUserDefaults();
    const char* key = AKPublisherToolbarCredentials::kDefaultsKey;
    CHECK(std::string(key) == "AdKitSDKToolbarCredentials");
    defaults->removeObjectForKey(key);
    CHECK_FALSE(AKPublisherToolbarCredentials::hasToolbarCredentials());
    AKPublisherToolbarCredentials first;
    CHECK(first.credentials().isNull());

    const Value sent{{"user", Value("publisher")}, {"token", Value("t0ken")}};
    first.storeCredentials(sent);
    CHECK(AKPublisherToolbarCredentials::hasToolbarCredentials());
    CHECK(defaults->dictionaryForKey(key) == sent);
    AKPublisherToolbarCredentials second;
    CHECK(second.credentials() == sent);

    defaults->setObject(Value("not a dictionary"), key);
    CHECK_FALSE(AKPublisherToolbarCredentials::hasToolbarCredentials());
    second.storeCredentials(sent);
    second.clearCredentials();
    CHECK(defaults->objectForKey(key).isNull());
    CHECK_FALSE(AKPublisherToolbarCredentials::hasToolbarCredentials());
    CHECK(second.credentials().isNull());
}

TEST_CASE("publisher toolbar: opened by a guarded opener with the slot's ad unit, after the presenter's sheet goes") {
    testsupport::TempHome home;
    testsupport::AdPeer peer;
    const adkittest::ServersAtPeer servers(peer);
    const renderingtest::RecordedAdWebView ad;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    struct UnitSlot : renderingtest::RecordingSlot {
        std::optional<std::string> unit = std::string("slot-unit");
        const std::optional<std::string>& adUnitID() const override { return unit; }
    };
    const auto slot = std::make_shared<UnitSlot>();
    struct Row {
        const char* name;
        bool guarded;                       // protected and never touched
        bool sheetUp;                       // the presenter shows another controller
        std::optional<std::string> given;   // the ad unit handed to the opener
        std::optional<std::string> expected;  // the toolbar's ad unit, none when nothing opens
    };
    const Row rows[] = {
        {"guarded", true, false, std::nullopt, std::nullopt},
        {"the slot's unit", false, false, std::nullopt, std::string("slot-unit")},
        {"a given unit, a sheet up", false, true, std::string("given"), std::string("given")},
    };
    for (const Row& row : rows) {
        CAPTURE(row.name);
        auto opener = std::make_shared<AKOpener>();
        opener->setSlot(slot);
        opener->setViewController(root);
        opener->setWebView(ad.view);
        opener->setAutoClickProtected(row.guarded);
        std::shared_ptr<UIViewController> sheet;
        if (row.sheetUp) {
            sheet = std::make_shared<UIViewController>();
            root->presentViewController(sheet, false);
            REQUIRE(root->presentedViewController() == sheet);
        }
        opener->openPublisherToolbar(row.given, "<p>ad</p>");
        if (!row.expected) {
            adkittest::drainMainQueue();
            CHECK_FALSE(root->presentedViewController());
            continue;
        }
        waitFor([&] { return std::dynamic_pointer_cast<AKPublisherToolbarController>(root->presentedViewController()) != nullptr; },
                "the toolbar presented");
        const auto toolbar = std::dynamic_pointer_cast<AKPublisherToolbarController>(root->presentedViewController());
        CHECK(toolbar->adUnitID() == row.expected);
        CHECK(toolbar->adContent() == std::optional<std::string>("<p>ad</p>"));
        if (sheet) CHECK_FALSE(sheet->presentingViewController());
        toolbar->relinquishScreen();
        waitFor([&] { return !root->presentedViewController(); }, "the toolbar gone");
    }
    window->setHidden(true);
}

namespace {
struct ReportServer {
    testsupport::TempHome home;  // the report path is a user default: each test its own
    testtools::AdServerProcess server;
    std::optional<AKAdHosts::ScopedOrigin> content;
    ReportServer() {
        REQUIRE(server.started());
        server.trustAuthority();
        content.emplace(AKAdHost::staticContent, AKAdOrigin::parse(server.origin("https"), "https").value());
    }
    ~ReportServer() {
        content.reset();
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(AKBadAdUtil::kReportPathKey);
        SecTrustSetAdditionalSystemAnchors({});
    }
    std::vector<nlohmann::json> reports() const {
        std::vector<nlohmann::json> found;
        for (const auto& entry : server.log())
            if (entry["method"] == "POST") found.push_back(entry);
        return found;
    }
};
}  // namespace

TEST_CASE("bad-ad report: one JSON POST to the configured or built-in endpoint") {
    ReportServer peer;
    const auto defaults = NSUserDefaults::standardUserDefaults();
    const std::string https = peer.server.origin("https");
    struct Case {
        std::optional<std::string> configured;  // bad_ad_report_path
        std::optional<std::string> text;
        std::string path;
        nlohmann::json debugHeader;
    };
    const Case cases[] = {
        {std::nullopt, std::string("creative 42"), "/s/reportAd", "creative 42"},
        {std::string(""), std::string("line\n\"two\""), "/s/reportAd", "line\n\"two\""},
        {https + "/s/elsewhere?from=defaults", std::nullopt, "/s/elsewhere", nullptr},
    };
    std::size_t sent = 0;
    for (const auto& c : cases) {
        INFO("configured: " << c.configured.value_or("(none)"));
        if (c.configured) defaults->setObject(Value(*c.configured), AKBadAdUtil::kReportPathKey);
        else defaults->removeObjectForKey(AKBadAdUtil::kReportPathKey);
        const auto util = std::make_shared<AKBadAdUtil>();
        util->reportBadAd(c.text);
        REQUIRE(util->connection());
        waitFor([&] { return !util->connection()->isInProgress(); }, "the report's answer");
        const auto reports = peer.reports();
        REQUIRE(reports.size() == ++sent);
        const auto& report = reports.back();
        CHECK(report["scheme"] == "https");
        CHECK(report["path"] == c.path);
        CHECK(report["headers"].value("Content-Type", "") == "application/json");
        const std::string body = report["body"];
        CHECK(body.find('\n') != std::string::npos);  // pretty-printed
        CHECK(nlohmann::json::parse(body) == nlohmann::json{{"debugHeader", c.debugHeader}});
    }
}

TEST_CASE("bad-ad report: a second report detaches the first, which goes on") {
    ReportServer peer;
    REQUIRE(peer.server.order("fault", {{"path", "/s/reportAd"}, {"kind", "hang"}}) == 200);
    const auto util = std::make_shared<AKBadAdUtil>();
    util->reportBadAd("first");
    const auto first = util->connection();
    REQUIRE(first);
    waitFor([&] { return peer.reports().size() == 1; }, "the first report at the server");
    util->reportBadAd("second");
    REQUIRE(util->connection());
    CHECK(util->connection() != first);
    CHECK_FALSE(first->delegate());
    CHECK(first->isInProgress());  // not stopped: its answer is still held by the server
    waitFor([&] { return !util->connection()->isInProgress(); }, "the second report's answer");
    const auto reports = peer.reports();
    REQUIRE(reports.size() == 2);
    CHECK(nlohmann::json::parse(std::string(reports[1]["body"])) == nlohmann::json{{"debugHeader", "second"}});
    CHECK(first->isInProgress());
}
