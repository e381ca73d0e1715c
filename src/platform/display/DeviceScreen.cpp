#include "platform/display/DeviceScreen.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <functional>

#include "platform/display/DeviceScene.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/imageio/ImageCodecs.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"

DeviceScreen::DeviceScreen(Options options)
    : options_(options), painters_(DeviceScreenPainters::defaults()) {}

DeviceScreen::~DeviceScreen() { stop(); }

void DeviceScreen::start() {
    QV_ASSERT_MAIN_THREAD();
    if (timer_) return;
    renderNow();
    timer_ = NSTimer::timerWithTimeInterval(options_.frameInterval, [this](NSTimer&) { tick(); }, true);
    NSRunLoop::mainRunLoop()->addTimer(timer_, NSRunLoopCommonModes);
}

void DeviceScreen::stop() {
    QV_ASSERT_MAIN_THREAD();
    if (timer_) timer_->invalidate();
    timer_.reset();
    store_->close();
}

void DeviceScreen::setPainters(DeviceScreenPainters painters) {
    QV_ASSERT_MAIN_THREAD();
    auto defaults = DeviceScreenPainters::defaults();
    if (!painters.window) painters.window = defaults.window;
    if (!painters.keyboard) painters.keyboard = defaults.keyboard;
    if (!painters.sheet) painters.sheet = defaults.sheet;
    if (!painters.alert) painters.alert = defaults.alert;
    if (!painters.statusBar) painters.statusBar = defaults.statusBar;
    painters_ = std::move(painters);
    needsFrame_ = true;
}

void DeviceScreen::tick() {
    const bool wanted = store_->takeWanted();
    const bool asked = needsFrame_.exchange(false) || wanted;
    const bool watching = options_.poll && (!options_.onlyWhileWatched || store_->isWatched());
    if (asked || (watching && !(sceneState() == drawnState_))) renderNow();
}

DeviceScreen::SceneState DeviceScreen::sceneState() {
    SceneState state;
    state.layerGeneration = CALayer::changeGeneration();
    auto window = DeviceScene::keyWindow();
    state.window = window.get();
    state.windowShown = window && !window->isHidden();
    const CGSize interface = DeviceScene::screenSize();
    state.width = interface.width;
    state.height = interface.height;
    const auto buttons = [&state](const std::vector<DeviceOverlayButton>& list) {
        for (const auto& b : list) state.overlays += b.title + '\x1f' + std::to_string(static_cast<int>(b.role)) + '\x1e';
    };
    if (auto alert = DeviceScene::frontAlert()) {
        state.overlays += "alert\x1d" + alert->alert->title() + '\x1f' + alert->alert->message() + '\x1e';
        buttons(alert->buttons);
    }
    if (auto sheet = DeviceScene::frontSheet()) {
        state.overlays += "sheet\x1d" + sheet->sheet->title() + '\x1e';
        buttons(sheet->buttons);
    }
    if (auto keyboard = DeviceScene::keyboard()) state.overlays += "keyboard\x1d" + std::to_string(keyboard->frame.size.height);
    auto application = UIApplication::sharedApplication();
    state.statusBarHidden = application->isStatusBarHidden();
    state.statusBarStyle = static_cast<long>(application->statusBarStyle());
    return state;
}

bool DeviceScreen::prepareContext(std::size_t width, std::size_t height) {
    if (context_ && width == width_ && height == height_) return true;
    // The drawing library's own layout (opaque, 32-bit little-endian words), so
    // it draws straight into the buffer without a conversion per drawing call.
    context_ = CGBitmapContextCreate(nullptr, width, height, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                     kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little);
    if (!context_) {
        NSLog("DeviceScreen: no bitmap of %zu x %zu pixels", width, height);
        width_ = height_ = 0;
        return false;
    }
    width_ = width;
    height_ = height;
    lastImage_ = nullptr;
    return true;
}

std::uint64_t DeviceScreen::renderNow() {
    QV_ASSERT_MAIN_THREAD();
    const std::uint64_t number = draw();
    store_->markLooked();
    return number;
}

std::uint64_t DeviceScreen::draw() {
    // Read anew each frame: the interface turns with the key window's bounds.
    const CGSize interface = DeviceScene::screenSize();
    const CGFloat scale = UIScreen::mainScreen()->scale();
    const auto width = static_cast<std::size_t>(std::lround(interface.width * scale));
    const auto height = static_cast<std::size_t>(std::lround(interface.height * scale));
    if (width == 0 || height == 0 || !prepareContext(width, height)) return frameNumber_;

    // Taken before drawing: a change the drawing itself makes (a pending layout
    // run now) shows in the next state and draws once more, with equal pixels.
    drawnState_ = sceneState();
    const CGContextRef& c = context_;
    CGContextSaveGState(c);
    CGContextSetRGBFillColor(c, 0, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)));
    CGContextTranslateCTM(c, 0, static_cast<CGFloat>(height));
    CGContextScaleCTM(c, scale, -scale);
    // Each part in a state of its own, back to front.
    const auto paint = [&c](const std::function<void()>& draw) {
        CGContextSaveGState(c);
        draw();
        CGContextRestoreGState(c);
    };
    if (auto window = DeviceScene::keyWindow(); window && !window->isHidden())
        paint([&] { painters_.window(*window, c); });
    if (auto keyboard = DeviceScene::keyboard()) paint([&] { painters_.keyboard(*keyboard, c, interface); });
    if (auto sheet = DeviceScene::frontSheet()) paint([&] { painters_.sheet(*sheet, c, interface); });
    if (auto alert = DeviceScene::frontAlert()) paint([&] { painters_.alert(*alert, c, interface); });
    if (!UIApplication::sharedApplication()->isStatusBarHidden()) paint([&] { painters_.statusBar(c, interface); });
    CGContextRestoreGState(c);

    const auto* pixels = static_cast<const std::uint8_t*>(CGBitmapContextGetData(c));
    const std::size_t size = CGBitmapContextGetBytesPerRow(c) * height;
    if (lastImage_ && lastImage_->data().size() == size && std::memcmp(lastImage_->data().data(), pixels, size) == 0)
        return frameNumber_;
    CGImageRef image = CGBitmapContextCreateImage(c);
    if (!image) {
        NSLog("DeviceScreen: the frame could not be copied");
        return frameNumber_;
    }
    lastImage_ = image;
    store_->publish(++frameNumber_, std::move(image));
    return frameNumber_;
}
