#pragma once
// What the ad roads on the phone device screen share: a banner delegate that
// records what it heard, the device screen served on a free port (its frames
// decoded, kept as PNG snapshots when named, and tapped through its input),
// and a wait for a web view to paint a colour at a point. Main thread only.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "AdkitTestSupport.h"
#include "RenderingTestDoubles.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"

namespace screenroad {

constexpr CGPixel kWhite{255, 255, 255, 255};
// A banner at the bottom of the phone's 320 x 568 screen.
constexpr CGRect kBannerFrame{{0, 518}, {320, 50}};

struct BannerHeard : AKBannerViewDelegate, renderingtest::CallLog {
    void adViewDidReceiveAd(AKBannerView&) override { record("didReceiveAd"); }
    void adViewDidFailToReceiveAdWithError(AKBannerView&, const NSErrorPtr& error) override {
        record("didFail " + std::to_string(error ? error->code() : -1));
    }
    void adViewWillPresentScreen(AKBannerView&) override { record("willPresent"); }
    void adViewWillDismissScreen(AKBannerView&) override { record("willDismiss"); }
    void adViewDidDismissScreen(AKBannerView&) override { record("didDismiss"); }
    void adViewWillLeaveApplication(AKBannerView&) override { record("willLeave"); }
    std::size_t count(const std::string& call) const { return std::ranges::count(calls, call); }
};

// The device screen, served while this lives.
struct PhoneScreen {
    std::unique_ptr<DeviceScreenServer> device;

    PhoneScreen() {
        DeviceScreenServerOptions options;
        options.port = 0;
        std::string error;
        device = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(device, error);
    }
    // A tap through the device input, carried out.
    void tap(CGPoint point) {
        std::optional<DeviceInputResult> result;
        device->input().tap(point, [&](const DeviceInputResult& r) { result = r; });
        adkittest::waitFor([&] { return result.has_value(); }, "the tap to be carried out");
        CHECK(result->delivered);
    }
    // The frame shown now (kept as a PNG snapshot when named).
    CGImageRef frame(const std::string& name = {}) { return devicescreentest::servedFrame(*device, name).first; }
};

// Waits for a web view to paint the colour at a point of its own.
inline void waitForPaint(const UIWebView& view, CGPoint point, CGPixel colour, const std::string& what) {
    adkittest::waitFor([&] {
        const auto pixel = webtest::layerPixel(view, point.x, point.y);
        return pixel && devicescreentest::near(*pixel, colour);
    }, "a painted frame of " + what);
}

}  // namespace screenroad
