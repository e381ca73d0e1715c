#pragma once
// What the ad roads on the served device screen share: the shipped banner's
// colour, the screen served, a wait for a web view to paint a colour, and
// device inputs carried out and checked. Main thread only.
#include <doctest/doctest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "AdkitTestSupport.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"

namespace screenroad {

// The shipped banner creative's background.
constexpr CGPixel kBannerBlue{0x15, 0x65, 0xC0, 255};

// The device screen served on a free port.
inline std::unique_ptr<DeviceScreenServer> startDeviceScreen() {
    DeviceScreenServerOptions options;
    options.port = 0;
    std::string error;
    auto device = DeviceScreenServer::start(options, error);
    REQUIRE_MESSAGE(device, error);
    return device;
}

// Waits for a web view to paint the colour at a point of its own.
inline void waitForPaint(const UIWebView& view, CGPoint point, CGPixel colour, const std::string& what) {
    adkittest::waitFor([&] {
        const auto pixel = webtest::layerPixel(view, point.x, point.y);
        return pixel && devicescreentest::near(*pixel, colour);
    }, "a painted frame of " + what);
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

}  // namespace screenroad
