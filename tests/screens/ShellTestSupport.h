#pragma once
// What the shell's tests share: the storyboard "Main" and the rotation answers
// installed as at start-up, an application delegate with a window of the
// device's screen, the device (phone or tablet) and its screen, and snapshots of
// what the device screen shows, written into the build tree for a person to
// look at. Everything set up is put back afterwards.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/AppDelegate.h"
#include "platform/display/DeviceScreen.h"
#include "platform/foundation/Clock.h"
#include "platform/graphics/CGImage.h"
#include "platform/imageio/ImageCodecs.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIRotationPolicy.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UIWindow.h"
#include "screens/MainStoryboard.h"
#include "screens/RotationPolicy.h"
#include "support/TestEnvironment.h"

namespace shelltest {

enum class Device { Phone, Tablet };

inline CGSize screenSizeOf(Device device) {
    return device == Device::Tablet ? CGSizeMake(768, 1024) : CGSizeMake(320, 568);
}

struct ShellFixture {
    testsupport::TempHome home;
    std::shared_ptr<UIApplication> app = UIApplication::sharedApplication();
    std::shared_ptr<UIApplicationDelegate> savedDelegate = app->delegate();
    CGRect savedBounds = UIScreen::mainScreen()->portraitBounds();
    CGFloat savedScale = UIScreen::mainScreen()->scale();
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
    std::shared_ptr<UIWindow> window;

    explicit ShellFixture(Device device = Device::Phone) {
        const CGSize size = screenSizeOf(device);
        UIDevice::currentDevice()->setUserInterfaceIdiom(device == Device::Tablet ? UIUserInterfaceIdiomPad
                                                                                  : UIUserInterfaceIdiomPhone);
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, size.width, size.height));
        UIScreen::mainScreen()->setScale(2);
        registerMainStoryboard();
        installRotationPolicy();
        app->setDelegate(delegate);
        app->resetOpenedURLs();
        window = std::make_shared<UIWindow>(UIScreen::mainScreen()->bounds());
        delegate->setWindow(window);
    }
    ~ShellFixture() {
        UIAlertView::removeAllForTesting();
        app->setStatusBarStyle(UIStatusBarStyleDefault);
        app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        app->resetOpenedURLs();
        app->setDelegate(savedDelegate);
        UIStoryboard::unregisterStoryboard(kMainStoryboardName);
        UIRotationPolicy::install({});
        UIScreen::mainScreen()->setBounds(savedBounds);
        UIScreen::mainScreen()->setScale(savedScale);
        UIDevice::currentDevice()->resetToDefaults();
    }
    ShellFixture(const ShellFixture&) = delete;
    ShellFixture& operator=(const ShellFixture&) = delete;

    // What the launch does: the storyboard's initial scene as the root of the
    // delegate's window, the delegate's launch, the window made key and visible.
    std::shared_ptr<UIViewController> launch() {
        auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
        REQUIRE(storyboard);
        auto initial = storyboard->instantiateInitialViewController();
        REQUIRE(initial);
        show(initial);
        return initial;
    }

    // The same with the controller as the window's root.
    void show(const std::shared_ptr<UIViewController>& root) {
        window->setRootViewController(root);
        REQUIRE(delegate->didFinishLaunchingWithOptions(app, Value()));
        window->makeKeyAndVisible();
    }

    template <class T>
    std::shared_ptr<T> rootAs() const {
        return std::dynamic_pointer_cast<T>(window->rootViewController());
    }
};

// One pass of the main run loop (waiting at most a second for something to do).
inline void runOnePass() { NSRunLoop::mainRunLoop()->runMode(NSDefaultRunLoopMode, Clock::now() + 1); }

// The folder of the build tree the snapshots go to (beside the tests folder).
inline std::filesystem::path snapshotFolder() {
    return std::filesystem::path(testsupport::selfExecutable()).parent_path().parent_path() / "screens-snapshots";
}

// Renders what the device screen shows now (key window, front alert, status
// bar), writes the PNG as build/screens-snapshots/<fileName> and answers the
// decoded frame for pixel probes.
inline CGImageRef screenSnapshot(const std::string& fileName) {
    DeviceScreen screen(DeviceScreen::Options{0.05, false});
    const std::uint64_t number = screen.renderNow();
    REQUIRE(number > 0);
    const DeviceFrame frame = screen.frames()->latest();
    REQUIRE(frame.number == number);
    const auto png = screen.frames()->png(frame);
    REQUIRE_MESSAGE(png, "the frame for " << fileName << " was not encoded");

    std::error_code error;
    std::filesystem::create_directories(snapshotFolder(), error);
    REQUIRE_MESSAGE(!error, "cannot create " << snapshotFolder() << ": " << error.message());
    std::ofstream file(snapshotFolder() / fileName, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
    file.close();
    REQUIRE_MESSAGE(file.good(), "cannot write " << (snapshotFolder() / fileName));

    auto decoded = imageio::decodePng(*png, true, imageio::DecodeDepth::Pixels);
    REQUIRE(decoded.frames.size() == 1);
    return decoded.frames[0].image;
}

// The pixel at a point (in screen points) of a frame drawn at scale 2.
inline CGPixel pixelAt(const CGImageRef& image, CGFloat x, CGFloat y) {
    return image->pixelAt(static_cast<std::size_t>(x * 2), static_cast<std::size_t>(y * 2));
}

inline bool near(const CGPixel& p, int r, int g, int b, int tolerance = 3) {
    auto close = [&](int x, int y) { return std::abs(x - y) <= tolerance; };
    return close(p.r, r) && close(p.g, g) && close(p.b, b);
}

}  // namespace shelltest
