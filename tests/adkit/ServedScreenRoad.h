#pragma once
// What the ad roads on the served phone screen share: the device screen on a
// free port over a key window whose root view is white, the library's own
// openers (what they open is the application's), the application active, taps
// through the device input, the URLs the application opened since, painted
// frames of web views and served frames kept as snapshots, and a banner at the
// bottom of the root view with a listener of its delegate. The device, the
// application's state and the key window are put back at the end.
// Main thread only.
#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "InterstitialTestSupport.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKRequest.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"

namespace screenroad {

constexpr CGPixel kWhite{255, 255, 255, 255};
constexpr CGPixel kBannerBlue{0x15, 0x65, 0xC0, 255};
constexpr CGPixel kInterstitialRed{0xC6, 0x28, 0x28, 255};
constexpr CGRect kBannerFrame{{0, 518}, {320, 50}};

// A unit answering a shipped creative, its impression ping carrying "unit" and
// its click tracking URL `clickPath` of the same origin with "unit".
inline nlohmann::json creativeUnit(const std::string& file, const std::string& unit, const std::string& clickPath) {
    return nlohmann::json{{"file", "adnet/static/creatives/" + file},
                          {"headers",
                           {{"X-Adnet-Tracking-Urls", "{origin}/adnet/ping/impression?unit=" + unit},
                            {"X-Adnet-Click-Tracking-Urls", "{origin}" + clickPath + "?unit=" + unit}}}};
}

// What a banner's delegate heard, in order, and how many URLs the application
// had opened (since `openedBefore`) at each leave report.
struct BannerHeard : AKBannerViewDelegate, renderingtest::CallLog {
    std::size_t openedBefore = UIApplication::sharedApplication()->openedURLs().size();
    std::vector<std::size_t> openedAtLeave;
    void adViewDidReceiveAd(AKBannerView&) override { record("didReceiveAd"); }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) override {
        record("didFail " + std::to_string(error ? error->code() : -1));
    }
    void adViewWillPresentScreen(AKBannerView&) override { record("willPresent"); }
    void adViewWillDismissScreen(AKBannerView&) override { record("willDismiss"); }
    void adViewDidDismissScreen(AKBannerView&) override { record("didDismiss"); }
    void adViewWillLeaveApplication(AKBannerView&) override {
        record("willLeave");
        openedAtLeave.push_back(UIApplication::sharedApplication()->openedURLs().size() - openedBefore);
    }
    std::size_t count(const std::string& call) const { return std::ranges::count(calls, call); }
};

// Waits for a web view to paint the colour at a point of its own.
inline void waitForPaint(const UIWebView& view, CGPoint point, CGPixel colour, const std::string& what) {
    adkittest::waitFor([&] {
        const auto pixel = webtest::layerPixel(view, point.x, point.y);
        return pixel && devicescreentest::near(*pixel, colour);
    }, "a painted frame of " + what);
}

// The device screen served on a free port.
inline std::unique_ptr<DeviceScreenServer> startDeviceScreen() {
    DeviceScreenServerOptions options;
    options.port = 0;
    std::string error;
    auto device = DeviceScreenServer::start(options, error);
    REQUIRE_MESSAGE(device, error);
    return device;
}

// Gives one input (which calls its completion) and checks that it was delivered.
inline void carryOut(const std::function<void(DeviceInput::Completion)>& input, const std::string& what) {
    std::optional<DeviceInputResult> result;
    input([&](const DeviceInputResult& r) { result = r; });
    adkittest::waitFor([&] { return result.has_value(); }, what + " to be carried out");
    INFO(what << ": " << result->message);
    CHECK(result->delivered);
}

inline void tap(DeviceScreenServer& device, CGPoint point) {
    carryOut([&](DeviceInput::Completion done) { device.input().tap(point, std::move(done)); }, "a tap");
}

// The device screen, served on a free port while this lives, tapped through its input.
struct PhoneScreen {
    std::unique_ptr<DeviceScreenServer> device = startDeviceScreen();

    // A tap through the device input, carried out.
    void tap(CGPoint point) { screenroad::tap(*device, point); }
    // The frame shown now, kept as the snapshot device-screen-<name>.png when named.
    CGImageRef frame(const std::string& name = {}) { return devicescreentest::servedFrame(*device, name).first; }
};

struct ServedScreen {
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    interstitialtest::Screen screen;
    PhoneScreen phone;
    std::unique_ptr<DeviceScreenServer>& device = phone.device;
    std::size_t openedBefore = UIApplication::sharedApplication()->openedURLs().size();

    ServedScreen() {
        AKOpener::setFactory(nullptr);
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        screen.root->view()->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
    }
    ~ServedScreen() {
        phone.device.reset();
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }
    ServedScreen(const ServedScreen&) = delete;
    ServedScreen& operator=(const ServedScreen&) = delete;

    // The URLs the application opened since the start.
    std::vector<std::string> opened() const {
        const auto all = UIApplication::sharedApplication()->openedURLs();
        return {all.begin() + static_cast<long>(openedBefore), all.end()};
    }
    void tap(CGPoint point) { phone.tap(point); }
    static void waitForPaint(const UIWebView& view, CGPoint point, CGPixel colour, const std::string& what) {
        screenroad::waitForPaint(view, point, colour, what);
    }
    // The banner of the unit at the bottom of the root view, loaded, its creative painted.
    std::shared_ptr<AKBannerView> showBanner(const std::string& unit, const std::shared_ptr<BannerHeard>& heard) {
        auto banner = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, kBannerFrame.origin);
        REQUIRE(banner);
        banner->setAdUnitID(unit);
        banner->setDelegate(heard);
        banner->setRootViewController(screen.root);
        screen.root->view()->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        adkittest::waitFor([&] { return heard->count("didReceiveAd") == 1; }, "the banner's ad");
        waitForPaint(*banner->webView()->webView(), {100, 25}, kBannerBlue, "the banner");
        return banner;
    }
    // The served frame, kept as the snapshot device-screen-<name>.png.
    CGImageRef frame(const std::string& name) { return phone.frame(name); }
};

}  // namespace screenroad
