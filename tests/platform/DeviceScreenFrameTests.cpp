// Protects the pace and hand-over of the device screen's frames: drawn only when what they show changed, at
// most 20 a second however often the pixels change (and, served, only while someone reads them), encoded only
// when asked for and once, off the main thread, and a long poll that ends with the newest frame.
#include "DeviceScreenTestSupport.h"

#include "UIKitTestSupport.h"
#include "platform/runloop/NSRunLoop.h"

using namespace devicescreentest;

TEST_CASE("frames come at most 20 a second however often the pixels change, whether polled or asked for") {
    testsupport::TempHome home;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    auto blink = addView(window, CGRectMake(0, 100, 50, 50), "blink", rgb(1, 0, 0));
    window->makeKeyAndVisible();
    for (const bool poll : {true, false}) {
        CAPTURE(poll);
        uikittest::VirtualTime time;
        DeviceScreen screen({0.05, poll});
        screen.start();
        const std::uint64_t first = screen.lastFrameNumber();
        REQUIRE(first == 1);
        // One second of the clock in steps of 10 ms, a new colour at every step.
        for (int step = 0; step < 100; ++step) {
            display::setBackgroundColor(*blink, rgb(step % 2, 0, 1 - step % 2));
            screen.setNeedsFrame();
            Clock::advance(0.01);
            (void)NSRunLoop::mainRunLoop()->runMode(NSDefaultRunLoopMode, Clock::now());  // one pass
        }
        const std::uint64_t frames = screen.lastFrameNumber() - first;
        CHECK(frames <= 20);
        CHECK(frames >= 18);  // and the ticks kept coming
        screen.stop();
    }
    UIApplication::sharedApplication()->setKeyWindow(nullptr);
}

TEST_CASE("a frame is encoded only when asked for, once for all who ask, while the main thread is busy") {
    ScreenFixture f(5, 0.2);
    DeviceScreen& screen = f.server->screen();
    screen.setPolling(false);
    const auto& frames = screen.frames();
    display::setBackgroundColor(*f.red, rgb(0, 1, 0));
    const std::uint64_t unseen = screen.renderNow();
    display::setBackgroundColor(*f.red, rgb(0, 0, 1));
    const std::uint64_t asked = screen.renderNow();
    REQUIRE(asked == unseen + 1);
    CHECK(frames->encodedCount() == 0);  // drawn and published, but nobody asked

    // The main thread blocks here without running its loop: the server's threads encode.
    const std::string newer = "/frame.png?after=" + std::to_string(unseen);
    auto first = std::async(std::launch::async, request, f.port, "GET", newer, std::string(), std::string(),
                            httplib::Headers{});
    auto second = std::async(std::launch::async, request, f.port, "GET", newer, std::string(), std::string(),
                             httplib::Headers{});
    const Reply one = first.get(), two = second.get();
    REQUIRE(one.status == 200);
    REQUIRE(two.status == 200);
    CHECK(one.frameNumber == std::to_string(asked));
    CHECK(two.frameNumber == std::to_string(asked));
    CHECK(one.body == two.body);
    CHECK(frames->encodedCount() == 1);
    auto decoded = imageio::decodePng(dataFromString(one.body), true, imageio::DecodeDepth::Pixels);
    REQUIRE(decoded.frames.size() == 1);
    CHECK(probe(decoded.frames[0].image, 70, 70) == CGPixel{0, 0, 255, 255});

    // A long poll with nothing new ends after its time with the frame already encoded.
    Reply polled = request(f.port, "GET", "/frame.png?after=" + std::to_string(asked));
    CHECK(polled.status == 200);
    CHECK(polled.contentType == "image/png");
    CHECK(polled.frameNumber == std::to_string(asked));
    CHECK(frames->encodedCount() == 1);
}

TEST_CASE("a served screen nobody watches draws nothing, and the first reader gets the screen as it is") {
    ScreenFixture f;
    const std::uint64_t first = f.server->screen().lastFrameNumber();
    REQUIRE_FALSE(f.server->screen().frames()->isWatched());
    display::setBackgroundColor(*f.red, rgb(0, 1, 0));
    Reply reply = fetch(f.port, "GET", "/frame.png");  // the main loop runs its ticks meanwhile
    REQUIRE(reply.status == 200);
    CHECK(reply.frameNumber == std::to_string(first + 1));
    auto decoded = imageio::decodePng(dataFromString(reply.body), true, imageio::DecodeDepth::Pixels);
    REQUIRE(decoded.frames.size() == 1);
    CHECK(probe(decoded.frames[0].image, 70, 70) == CGPixel{0, 255, 0, 255});
    CHECK(f.server->screen().frames()->isWatched());
}

TEST_CASE("an unchanged screen is not drawn again, a change of a view or an alert is drawn on the next tick") {
    testsupport::TempHome home;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    auto view = addView(window, CGRectMake(0, 100, 50, 50), "view", rgb(1, 0, 0));
    window->makeKeyAndVisible();
    uikittest::VirtualTime time;
    DeviceScreen screen;
    int drawn = 0;
    DeviceScreenPainters painters;
    painters.window = [&drawn](UIWindow& w, const CGContextRef& c) {
        ++drawn;
        DevicePaintViewTree(w, c);
    };
    screen.setPainters(painters);
    screen.start();
    const auto tickFor = [](double seconds) {
        for (int step = 0; step < static_cast<int>(seconds * 100); ++step) {
            Clock::advance(0.01);
            (void)NSRunLoop::mainRunLoop()->runMode(NSDefaultRunLoopMode, Clock::now());
        }
    };
    tickFor(0.5);  // settles: what the first drawing itself laid out is drawn once more
    const int settled = drawn;
    const std::uint64_t frame = screen.lastFrameNumber();
    tickFor(1);
    CHECK(drawn == settled);  // twenty ticks, nothing to draw

    display::setBackgroundColor(*view, rgb(0, 0, 1));
    tickFor(0.1);
    CHECK(drawn > settled);
    CHECK(screen.lastFrameNumber() == frame + 1);

    auto alert = UIAlertView::initWithTitle("Alert", "", {}, "OK", {});
    alert->show();
    tickFor(0.1);
    CHECK(screen.lastFrameNumber() == frame + 2);
    CHECK(UIAlertView::pressButton("OK"));
    tickFor(0.1);
    CHECK(screen.lastFrameNumber() == frame + 3);
    screen.stop();
    UIApplication::sharedApplication()->setKeyWindow(nullptr);
}
