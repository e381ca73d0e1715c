#pragma once
// Mediated banners and interstitials on the real engine against the ad server:
// units answering mediation bodies, the mediation reports pointed at the same
// server, a shown window with a root controller, the application active and
// virtual time (from the real now). What the public delegates heard, every
// mediation ping as it left (in order) and as the server logged it.
// Main thread only.
#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MediationTestClasses.h"
#include "RenderingTestDoubles.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKInterstitial.h"
#include "adkit/requests/AKRequest.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace mediationroad {

// A unit answering `body` as a mediation response.
inline nlohmann::json mediationUnit(const nlohmann::json& body, nlohmann::json headers = nlohmann::json::object()) {
    headers["X-Adnet-Mediation"] = "1";
    return {{"status", 200}, {"headers", std::move(headers)}, {"json", body}};
}

// An entry served by the scripted adapter (or `adapter`) with the script's credentials.
inline nlohmann::json scripted(const std::string& id, const nlohmann::json& script,
                               const std::string& adapter = "QVScriptedAdapter") {
    return {{"id", id}, {"adapters", {adapter}}, {"data", script}};
}

// An entry served by the library's custom-event adapter with the scripted custom event.
inline nlohmann::json customEvent(const std::string& id, const nlohmann::json& script,
                                  const std::string& className = "QVScriptedCustomEvent") {
    return {{"id", id},
            {"adapters", {"AKMAdapterCustomEvents"}},
            {"data", {{"class_name", className}, {"parameter", script.dump()}}}};
}

// Every URL the library pinged through the shared collection, in order; the pings go out.
struct PingsSent : AKClickTrackerCollection {
    std::vector<std::string> urls;
    void trackURL(const NSURLPtr& url, bool cacheEnabled) override {
        urls.push_back(url->absoluteString());
        AKClickTrackerCollection::trackURL(url, cacheEnabled);
    }
    std::size_t count(const std::string& path) const {
        return std::ranges::count_if(urls, [&](const std::string& url) {
            const auto parsed = NSURL::URLWithString(url);
            return parsed && parsed->path() == path;
        });
    }
};

// What a banner's or interstitial's delegate heard, in order.
struct Heard : AKBannerViewDelegate, AKInterstitialDelegate, renderingtest::CallLog {
    void adViewDidReceiveAd(AKBannerView&) override { record("didReceiveAd"); }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) override { failed(error); }
    void adViewWillPresentScreen(AKBannerView&) override { record("willPresent"); }
    void adViewWillDismissScreen(AKBannerView&) override { record("willDismiss"); }
    void adViewDidDismissScreen(AKBannerView&) override { record("didDismiss"); }
    void adViewWillLeaveApplication(AKBannerView&) override { record("willLeave"); }
    void interstitialDidReceiveAd(AKInterstitial&) override { record("didReceiveAd"); }
    void interstitialDidFailToReceiveAdWithError(AKInterstitial&, const NSErrorPtr& error) override { failed(error); }
    void interstitialWillPresentScreen(AKInterstitial&) override { record("willPresent"); }
    void interstitialWillDismissScreen(AKInterstitial&) override { record("willDismiss"); }
    void interstitialDidDismissScreen(AKInterstitial&) override { record("didDismiss"); }
    void interstitialWillLeaveApplication(AKInterstitial&) override { record("willLeave"); }
    void failed(const NSErrorPtr& error) {
        record("didFail " + std::to_string(error ? error->code() : -1) + " " +
               (error ? error->localizedDescription() : std::string()));
    }
    std::size_t count(const std::string& call) const { return std::ranges::count(calls, call); }
    bool heardFailure() const {
        return std::ranges::any_of(calls, [](const std::string& c) { return c.starts_with("didFail"); });
    }
};

struct MediationRoad : slotroad::EngineSlots {
    adkittest::VirtualTime time{0};
    std::optional<AKAdHosts::ScopedOrigin> reports;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::shared_ptr<Heard> heard = std::make_shared<Heard>();
    std::shared_ptr<PingsSent> pings = std::make_shared<PingsSent>();
    std::shared_ptr<AKBannerView> banner;

    explicit MediationRoad(const nlohmann::json& units) : EngineSlots(units) {
        reports.emplace(AKAdHost::mediationReports, AKAdOrigin::parse(server.origin("http"), "http").value());
        AKClickTrackerCollection::setSharedInstance(pings);
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        window->setRootViewController(root);
        window->setHidden(false);
    }
    ~MediationRoad() {
        if (banner) banner->removeFromSuperview();
        banner.reset();
        AKClickTrackerCollection::setSharedInstance(nullptr);
        window->setHidden(true);
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }

    // A 320 x 50 banner in the window for the unit, loading.
    AKBannerView& loadBanner(const std::string& unit, const std::shared_ptr<AKRequest>& request = AKRequest::request()) {
        banner = AKBannerView::makeWithAdSize(kAKAdSizeBanner);
        REQUIRE(banner);
        banner->setAdUnitID(unit);
        banner->setDelegate(heard);
        banner->setRootViewController(root);
        window->addSubview(banner);
        banner->loadRequest(request);
        return *banner;
    }

    // Waits until the scripted adapter has been asked for an ad (by a network made since `before`).
    std::shared_ptr<QVScriptedNetwork> waitForAsk(const std::shared_ptr<QVScriptedNetwork>& before,
                                                  const std::string& what) {
        std::shared_ptr<QVScriptedNetwork> asked;
        INFO("the delegate heard: " << heard->joined());
        INFO("the ad requests: " << server.log().size() << " pings: " << pings->urls.size() << " slot state: "
                                 << (banner ? int(banner->slot()->state()) : -1));
        adkittest::waitFor([&] {
            asked = QVScriptedNetwork::latestAdapter();
            return asked && asked != before && asked->asked() != QVScriptedNetwork::Asked::nothing;
        }, what);
        return asked;
    }

    // The decoded queries the server logged, by path, once it holds exactly the counts asked for.
    std::map<std::string, std::vector<nlohmann::json>> waitForPings(const std::map<std::string, std::size_t>& counts,
                                                                    const std::string& what) const {
        std::map<std::string, std::vector<nlohmann::json>> byPath;
        adkittest::waitFor([&] {
            byPath.clear();
            for (const auto& entry : server.log()) byPath[entry["path"].get<std::string>()].push_back(entry["query"]);
            return std::ranges::all_of(counts, [&](const auto& c) { return byPath[c.first].size() == c.second; });
        }, what);
        return byPath;
    }
};

}  // namespace mediationroad
