#pragma once
// Shared pieces of the device screen tests: requests sent from another thread
// while the main loop runs, a phone-sized key window of coloured views served
// on a free port, and probes of the frames it draws.
#include <doctest/doctest.h>

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/dispatch/Dispatch.h"
#include "platform/display/DeviceScreenServer.h"
#include "platform/display/DeviceViewFacts.h"
#include "platform/imageio/ImageCodecs.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "support/SampleImages.h"
#include "support/TestEnvironment.h"

namespace devicescreentest {

using testsupport::runMainUntil;
using Json = nlohmann::json;


struct Reply {
    int status = 0;  // 0: no answer at all
    std::string body;
    std::string contentType;
    std::string frameNumber;
    Json json() const { return Json::parse(body, nullptr, false); }
};

// One request from another thread, as a browser would send it.
inline Reply request(int port, const std::string& method, const std::string& path, const std::string& body = {},
           const std::string& contentType = "application/json", const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    httplib::Result result = method == "GET" ? client.Get(path.c_str(), headers)
                                             : client.Post(path.c_str(), headers, body, contentType.c_str());
    Reply reply;
    if (!result) return reply;
    reply.status = result->status;
    reply.body = result->body;
    reply.contentType = result->get_header_value("Content-Type");
    reply.frameNumber = result->get_header_value("X-Frame-Number");
    return reply;
}

// Sends from a helper thread while the main loop runs, as it does in the application.
inline Reply fetch(int port, const std::string& method, const std::string& path, const std::string& body = {},
            const std::string& contentType = "application/json", const httplib::Headers& headers = {}) {
    auto pending = std::async(std::launch::async, [=] {
        Reply reply = request(port, method, path, body, contentType, headers);
        dispatch_async(dispatch_get_main_queue(), [] {});  // wakes the main loop to look at the answer
        return reply;
    });
    const bool answered = runMainUntil(
        [&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60);
    REQUIRE_MESSAGE(answered, "no answer to " << method << " " << path << " within 60 s");
    return pending.get();
}

inline Reply post(int port, const std::string& path, const Json& body) { return fetch(port, "POST", path, body.dump()); }

inline CGColorRef rgb(double r, double g, double b) { return CGColorCreateSRGB(r, g, b, 1); }

template <class View = UIView>
std::shared_ptr<View> addView(const std::shared_ptr<UIView>& parent, CGRect frame, const std::string& id,
                              CGColorRef color = nullptr) {
    auto view = std::make_shared<View>(frame);
    if (!id.empty()) display::setAccessibilityIdentifier(*view, id);
    if (color) display::setBackgroundColor(*view, color);
    parent->addSubview(view);
    return view;
}

// A view that takes keys, keeping what was typed.
class TypingView : public UIView, public DeviceKeyInput {
public:
    using UIView::UIView;
    void insertText(const std::string& text) override { typed += text; }
    void deleteBackward() override {
        if (!typed.empty()) typed.pop_back();
    }
    std::string typed;
};

class RecordingAlertDelegate : public UIAlertViewDelegate {
public:
    void clickedButtonAtIndex(UIAlertView&, long index) override { clicked.push_back(index); }
    std::vector<long> clicked;
};

// The screen, the device and the key window as they were, given back at the end
// (alerts and sheets removed, portrait again).
struct SavedDevice {
    CGRect bounds = UIScreen::mainScreen()->bounds();
    CGFloat scale = UIScreen::mainScreen()->scale();
    UIUserInterfaceIdiom idiom = UIDevice::currentDevice()->userInterfaceIdiom();
    ~SavedDevice() {
        UIAlertView::removeAllForTesting();
        UIActionSheet::removeAllForTesting();
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        UIApplication::sharedApplication()->setKeyWindow(nullptr);
        UIScreen::mainScreen()->setBounds(bounds);
        UIScreen::mainScreen()->setScale(scale);
        UIDevice::currentDevice()->setUserInterfaceIdiom(idiom);
    }
};

// The frame the served screen shows now, decoded, with its number.
// With a name, its PNG is also kept as <build>/snapshots/device-screen-<name>.png
// for a person to look at.
inline std::pair<CGImageRef, std::uint64_t> servedFrame(DeviceScreenServer& server,
                                                        const std::string& snapshotName = {}) {
    const std::uint64_t number = server.screen().renderNow();
    REQUIRE_MESSAGE(runMainUntil([&] { return server.screen().frames()->latest().number >= number; }, 10),
                    "frame " << number << " was not published");
    // Asked as a frame after the one before it: served at once, also where the
    // screen's ticks (which a plain request waits for) run on a virtual clock.
    Reply reply = fetch(server.port(), "GET", "/frame.png?after=" + std::to_string(number > 0 ? number - 1 : 0));
    REQUIRE(reply.status == 200);
    if (!snapshotName.empty()) {
        std::filesystem::create_directories(QUORVANE_SNAPSHOT_DIR);
        std::ofstream(std::string(QUORVANE_SNAPSHOT_DIR) + "/device-screen-" + snapshotName + ".png",
                      std::ios::binary) << reply.body;
    }
    auto decoded = imageio::decodePng(dataFromString(reply.body), true, imageio::DecodeDepth::Pixels);
    REQUIRE(decoded.frames.size() == 1);
    return {decoded.frames[0].image, std::stoull(reply.frameNumber)};
}

// A phone-sized key window of coloured views, served on a free port. Leaves the
// screen, the device and the key window as it found them.
struct ScreenFixture {
    testsupport::TempHome home;
    SavedDevice saved;
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIView> red, under;
    std::shared_ptr<UIButton> button;
    std::shared_ptr<UIImageView> poster;
    std::shared_ptr<TypingView> field;
    std::unique_ptr<DeviceScreenServer> server;
    std::shared_ptr<DeviceDefaultInputTarget> target = std::make_shared<DeviceDefaultInputTarget>();
    int port = 0;

    explicit ScreenFixture(double mainQueueTimeout = 5, double longPollTimeout = 25) {
        display::setBackgroundColor(*window, rgb(1, 1, 1));
        red = addView(window, CGRectMake(20, 40, 100, 60), "red", rgb(1, 0, 0));
        button = addView<UIButton>(window, CGRectMake(150, 100, 80, 40), "go", rgb(0, 0, 1));
        addView(button, CGRectMake(10, 10, 20, 20), "go-icon", rgb(0, 1, 1))->setUserInteractionEnabled(false);
        under = addView(window, CGRectMake(20, 200, 100, 100), "under", rgb(0, 1, 0));
        addView(window, CGRectMake(0, 180, 320, 150), "cover", rgb(0.5, 0.5, 0.5));
        addView(window, CGRectMake(200, 20, 10, 10), "ghost", rgb(0, 0, 0))->setHidden(true);
        for (int i = 0; i < 2; ++i) display::setLabelText(*addView(window, CGRectMake(20 + 60 * i, 400, 50, 30), ""), "Twin");
        poster = addView<UIImageView>(window, CGRectMake(200, 340, 40, 40), "poster");
        poster->setImage(UIImage::imageWithCGImage(
            CGImageCreateWithRGBA(4, 4, Data(4 * 4 * 4, 0xFF), true)));  // white, then tinted below
        Data yellow;
        for (int i = 0; i < 16; ++i) yellow.insert(yellow.end(), {0xFF, 0xD0, 0x00, 0xFF});
        poster->setImage(UIImage::imageWithCGImage(CGImageCreateWithRGBA(4, 4, yellow, true)));
        display::setImageSource(*poster, "poster.png");
        field = addView<TypingView>(window, CGRectMake(20, 480, 280, 40), "field", rgb(0.9, 0.9, 0.9));
        target->firstResponder = [weak = std::weak_ptr<TypingView>(field)] { return weak.lock(); };
        window->makeKeyAndVisible();

        DeviceScreenServerOptions options;
        options.port = 0;
        options.mainQueueTimeout = mainQueueTimeout;
        options.longPollTimeout = longPollTimeout;
        std::string error;
        server = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(server, error);
        server->input().setTarget(target);
        port = server->port();
    }
    ~ScreenFixture() { server.reset(); }

    std::pair<CGImageRef, std::uint64_t> currentFrame(const std::string& snapshotName = {}) {
        return servedFrame(*server, snapshotName);
    }
};

// The node with the identifier, depth first.
inline const Json* findNode(const Json& node, const std::string& id) {
    if (node.value("id", "") == id) return &node;
    if (node.contains("children"))
        for (const auto& child : node["children"])
            if (auto found = findNode(child, id)) return found;
    return nullptr;
}

inline CGPixel probe(const CGImageRef& image, double x, double y) {
    return image->pixelAt(static_cast<std::size_t>(x * 2), static_cast<std::size_t>(y * 2));
}

// Colours blended by the drawing library may round either way.
inline bool near(CGPixel a, CGPixel b) {
    auto close = [](int x, int y) { return std::abs(x - y) <= 2; };
    return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b) && close(a.a, b.a);
}


// Whether some pixel of the region (in points) passes the test: for text,
// whose glyphs fall where the font puts them.
template <class Test>
bool anyPixel(const CGImageRef& image, CGRect region, Test test, double scale = 2) {
    for (double y = region.origin.y; y < CGRectGetMaxY(region); y += 0.5)
        for (double x = region.origin.x; x < CGRectGetMaxX(region); x += 0.5)
            if (test(image->pixelAt(static_cast<std::size_t>(x * scale), static_cast<std::size_t>(y * scale))))
                return true;
    return false;
}

inline CGRect rectOf(const Json& frame) {
    return CGRectMake(frame[0].get<double>(), frame[1].get<double>(), frame[2].get<double>(), frame[3].get<double>());
}

inline CGPoint centreOf(const Json& frame) {
    const CGRect r = rectOf(frame);
    return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r));
}

}  // namespace devicescreentest
