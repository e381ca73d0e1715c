#pragma once
// Shared pieces of the view, layer and control tests: virtual time, colours,
// visible windows and pixel probes of rendered images.
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "platform/foundation/Clock.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIWindow.h"
#include "support/SampleImages.h"
#include "support/TestEnvironment.h"

namespace uikittest {

// Virtual time for one test; real time again afterwards.
struct VirtualTime {
    VirtualTime() { Clock::useVirtualTime(2000000); }
    ~VirtualTime() { Clock::useRealTime(); }
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;
    // Moves the clock and runs the main loop until its due timers have fired.
    void advance(double seconds) {
        Clock::advance(seconds);
        testsupport::runMainUntil([] { return false; }, 0.05);
    }
};

inline CGColorRef rgb(double r, double g, double b, double a = 1) { return CGColorCreateSRGB(r, g, b, a); }

// A visible window of the size, white unless told otherwise.
inline std::shared_ptr<UIWindow> visibleWindow(CGSize size, CGColorRef background = rgb(1, 1, 1)) {
    auto w = std::make_shared<UIWindow>(CGRectMake(0, 0, size.width, size.height));
    w->setBackgroundColor(std::move(background));
    w->setHidden(false);
    return w;
}

// The pixel at a point (in points) of an image rendered at the scale.
inline CGPixel probe(const CGImageRef& image, double x, double y, double scale) {
    REQUIRE(image);
    return image->pixelAt(static_cast<std::size_t>(x * scale), static_cast<std::size_t>(y * scale));
}

inline bool near(const CGPixel& p, int r, int g, int b, int a = 255, int tolerance = 3) {
    auto close = [&](int x, int y) { return std::abs(x - y) <= tolerance; };
    return close(p.r, r) && close(p.g, g) && close(p.b, b) && close(p.a, a);
}

}  // namespace uikittest
