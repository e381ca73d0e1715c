#pragma once
// Ad slots on the real web engine against the real ad server over HTTPS: the
// server with a unit table, trusted by the engine and by the library's
// connections; the library's servers pointed at its https origin; the core
// page's controller afresh; pings sent for real. Owners keep every error they
// heard. Helpers read the server's log, make units and wait for a load's end.
// Main thread only.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CoreControllerSupport.h"
#include "SlotTestOwner.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/WebViewSupport.h"
#include "platform/security/SecTrust.h"
#include "support/AdServerProcess.h"

namespace slotroad {

constexpr const char* kPagePath = "/adnet/static/sdk/native/sdk-core-v40.html";
constexpr const char* kAdPath = "/adnet/ad";
constexpr const char* kImpressionPath = "/adnet/ping/impression";
// The longest wait for a load's end (core page, ad request, creative): a busy
// machine takes over 10 s for one, and the library's own limits end every load
// sooner, so this bound never decides how a load ends.
constexpr double kLoadBound = 60;

// A recording owner that also keeps the errors it heard, in order.
struct ErrorKeepingOwner : slottest::SlotTestOwner {
    std::vector<NSErrorPtr> errors;
    void slotDidFailToLoadAdContentWithError(AKAdSlot& slot, const NSErrorPtr& error) override {
        errors.push_back(error);
        SlotTestOwner::slotDidFailToLoadAdContentWithError(slot, error);
    }
};

// A unit answering an HTML creative with the given headers; its impression
// ping carries "id" = `ping` when given.
inline nlohmann::json htmlUnit(const std::string& body, const std::string& ping = "",
                               nlohmann::json headers = nlohmann::json::object()) {
    if (!ping.empty()) headers["X-Adnet-Tracking-Urls"] = "{origin}/adnet/ping/impression?id=" + ping;
    return {{"status", 200}, {"contentType", "text/html; charset=utf-8"}, {"headers", headers}, {"body", body}};
}

// A creative whose document title is `title`.
inline std::string titledCreative(const std::string& title, const std::string& extra = "") {
    return "<html><head><title>" + title + "</title></head><body><p>" + title + "</p>" + extra + "</body></html>";
}

// The ad server with `order` (its units, constants...), trusted by the engine
// and by the library's connections; the library's servers pointed at its https
// origin; ad web views and the core page on the engine; the controller afresh;
// pings out for real; the fixture's slot made again on the engine.
struct EngineRoadBase {
    // No road here hangs a page on purpose: a busy machine's slow turn of the
    // library's page or a creative is not taken for a hung page (the watchdog's
    // 1 s ended the core page there, failing loads with code 2).
    webtest::LongTurnsAllowed longTurns;
    slottest::SlotFixture f;
    testtools::AdServerProcess server;
    std::optional<AKAdHosts::ScopedOrigin> content, media;
    std::optional<coretest::FreshController> controller;

    explicit EngineRoadBase(const nlohmann::json& order) {
        REQUIRE(server.started());
        REQUIRE(server.order("units", order) == 200);
        server.trustAuthority();
        const auto origin = AKAdOrigin::parse(server.origin("https"), "https").value();
        content.emplace(AKAdHost::staticContent, origin);
        media.emplace(AKAdHost::staticMedia, origin);
        adkittest::RenderingScope::emptyPool();
        UIWebView::useBackingFactory(nullptr);
        controller.emplace();
        AKClickTrackerCollection::setSharedInstance(nullptr);  // pings go out for real
        f.slot = f.makeSlot();                                 // its web view on the engine
    }
    ~EngineRoadBase() {
        f.slot.reset();
        controller.reset();
        adkittest::RenderingScope::emptyPool();
        UIWebView::useBackingFactory(UIWebViewRecorder::factory());
        SecTrustSetAdditionalSystemAnchors({});
    }
    EngineRoadBase(const EngineRoadBase&) = delete;
    EngineRoadBase& operator=(const EngineRoadBase&) = delete;
};

struct EngineSlots : EngineRoadBase {
    explicit EngineSlots(const nlohmann::json& units) : EngineRoadBase(nlohmann::json{{"units", units}}) {}

    // A banner slot on the engine, for the unit, reporting to the owner.
    static std::shared_ptr<AKAdSlot> makeSlot(const std::shared_ptr<slottest::SlotTestOwner>& owner,
                                              const std::string& unit) {
        auto made = AKAdSlot::make(CGRectMake(0, 0, 320, 50));
        made->setAdTypeAndReloadRequest(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner), false);
        made->setSlotDelegate(owner);
        made->setAdEventDelegate(owner);
        made->setAdUnitID(unit);
        return made;
    }
    static bool ended(const AKAdSlot& slot) {
        const AKSlotState s = slot.state();
        return s == AKSlotStateValidAd || s == AKSlotStateFailed || s == AKSlotStateCorePageFailed;
    }
    // Waits until the slot's load has ended (6, 7 or 1).
    static void waitForEnd(const AKAdSlot& slot, const std::string& what) {
        adkittest::waitFor([&] { return ended(slot); }, what, kLoadBound);
    }
    // Loads the slot's unit and requires state 6.
    void loadValid(AKAdSlot& slot, const std::shared_ptr<AKRequest>& request = AKRequest::request()) {
        slot.loadRequest(request);
        waitForEnd(slot, "the load of " + slot.adUnitID().value_or("") + " to end");
        const auto owner = std::dynamic_pointer_cast<slottest::SlotTestOwner>(slot.slotDelegate());
        INFO("the owner heard: " << (owner ? owner->joined() : std::string("(no owner)")));
        INFO("the ad requests' units: " << nlohmann::json(loggedQuery(kAdPath, "slotname")).dump());
        REQUIRE(slot.state() == AKSlotStateValidAd);
    }

    std::vector<nlohmann::json> logged(const std::string& path) const {
        std::vector<nlohmann::json> found;
        for (const auto& entry : server.log())
            if (entry["path"] == path) found.push_back(entry);
        return found;
    }
    // The entries our pages posted to the server's log ("/adnet/log") of a kind
    // whose `key` is `value`: their `member`, in order.
    std::vector<nlohmann::json> pageLogEntries(const std::string& kind, const std::string& key,
                                               const std::string& value, const std::string& member) const {
        std::vector<nlohmann::json> found;
        for (const auto& entry : logged("/adnet/log")) {
            const auto body = nlohmann::json::parse(entry.value("body", std::string()), nullptr, false);
            if (body.is_object() && body.value("kind", "") == kind && body.value(key, "") == value)
                found.push_back(body[member]);
        }
        return found;
    }
    // The values of a query parameter over the logged requests of a path.
    std::vector<std::string> loggedQuery(const std::string& path, const std::string& name) const {
        std::vector<std::string> values;
        for (const auto& entry : logged(path)) values.push_back(entry["query"].value(name, std::string("(none)")));
        return values;
    }
    // The text a script evaluates to in the slot's web view.
    static std::string evaluate(const AKAdSlot& slot, const std::string& script) {
        return slot.webView()->webView()->stringByEvaluatingJavaScriptFromString(script);
    }
    // Sends a core-page message as the page would.
    void pageSays(const std::string& amsgURL) const {
        auto handler = (*controller)->activeSDKCoreWebView()->SDKCoreAMSGHandler();
        REQUIRE(handler->handleRequest(NSURLRequest::requestWithURL(amsgURL), nullptr));
    }
};

}  // namespace slotroad
