#pragma once
// What the ad roads on the served phone screen share: the device screen on a
// free port over a key window whose root view is white, the library's own
// openers (what they open is the application's), the application active, taps
// through the device input, the URLs the application opened since, painted
// frames of web views and served frames kept as snapshots. The device, the
// application's state and the key window are put back at the end.
// Main thread only.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "InterstitialTestSupport.h"
#include "adkit/rendering/AKOpener.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"

namespace screenroad {

struct ServedScreen {
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    interstitialtest::Screen screen;
    std::unique_ptr<DeviceScreenServer> device;
    std::size_t openedBefore = UIApplication::sharedApplication()->openedURLs().size();

    ServedScreen() {
        AKOpener::setFactory(nullptr);
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        screen.root->view()->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
        DeviceScreenServerOptions options;
        options.port = 0;
        std::string error;
        device = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(device, error);
    }
    ~ServedScreen() {
        device.reset();
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }
    ServedScreen(const ServedScreen&) = delete;
    ServedScreen& operator=(const ServedScreen&) = delete;

    // The URLs the application opened since the start.
    std::vector<std::string> opened() const {
        const auto all = UIApplication::sharedApplication()->openedURLs();
        return {all.begin() + static_cast<long>(openedBefore), all.end()};
    }
    void tap(CGPoint point) {
        std::optional<DeviceInputResult> result;
        device->input().tap(point, [&](const DeviceInputResult& r) { result = r; });
        adkittest::waitFor([&] { return result.has_value(); }, "the tap to be carried out");
        CHECK(result->delivered);
    }
    // Waits for a web view to paint the colour at a point of its own.
    static void waitForPaint(const UIWebView& view, CGPoint point, CGPixel colour, const std::string& what) {
        adkittest::waitFor([&] {
            const auto pixel = webtest::layerPixel(view, point.x, point.y);
            return pixel && devicescreentest::near(*pixel, colour);
        }, "a painted frame of " + what);
    }
    // The served frame, kept as the snapshot device-screen-<name>.png.
    CGImageRef frame(const std::string& name) { return devicescreentest::servedFrame(*device, name).first; }
};

}  // namespace screenroad
