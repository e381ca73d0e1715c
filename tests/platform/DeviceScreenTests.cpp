// Protects the device screen: frames of the key window, the JSON interface, input carried to views in order
// (each touch hit-tested once), the HTTP interface's refusals of unsafe or bad requests, and its service to a
// real request behind many idle connections.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/uikit/UILongPressGestureRecognizer.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITableViewCell.h"
#include "DeviceScreenTestSupport.h"
#include "UIKitTestSupport.h"
#include "support/ApplicationProcess.h"

using namespace devicescreentest;

namespace {

// Counts the hit tests that reach it.
class HitCountingView : public UIView {
public:
    using UIView::UIView;
    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override {
        ++hitTests;
        return UIView::hitTest(point, event);
    }
    int hitTests = 0;
};

// Keeps where its touches went: "begin x", "move x", "end x".
class StrokeRecordingView : public UIView {
public:
    using UIView::UIView;
    void touchesBegan(const UITouchSet& touches, UIEvent*) override { note("begin", touches); }
    void touchesMoved(const UITouchSet& touches, UIEvent*) override { note("move", touches); }
    void touchesEnded(const UITouchSet& touches, UIEvent*) override { note("end", touches); }
    void note(const std::string& phase, const UITouchSet& touches) {
        for (const auto& touch : touches) {
            const CGPoint p = touch->locationInView(this);
            steps.push_back(phase + " " + std::to_string(std::lround(p.x)) + (p.y == 10 ? "" : " off the line"));
        }
    }
    std::vector<std::string> steps;
};

}  // namespace

TEST_CASE("the device screen serves the screen's facts, the tree of the key window and its frames") {
    ScreenFixture f;
    Reply screen = fetch(f.port, "GET", "/api/screen");
    REQUIRE(screen.status == 200);
    Json facts = screen.json();
    CHECK(facts["width"] == 320);
    CHECK(facts["height"] == 568);
    CHECK(facts["scale"] == 2);
    CHECK(facts["device"] == "phone");
    CHECK(facts["orientation"] == "portrait");

    Reply tree = fetch(f.port, "GET", "/api/tree");
    REQUIRE(tree.status == 200);
    Json views = tree.json()["views"];
    REQUIRE(views.size() == 1);
    CHECK(views[0]["class"] == "UIWindow");
    const Json* red = findNode(views[0], "red");
    REQUIRE(red);
    CHECK((*red)["frame"] == Json::array({20, 40, 100, 60}));
    const Json* icon = findNode(views[0], "go-icon");
    REQUIRE(icon);
    CHECK((*icon)["frame"] == Json::array({160, 110, 20, 20}));  // in window points
    const Json* button = findNode(views[0], "go");
    REQUIRE(button);
    CHECK((*button)["class"] == "UIButton");
    CHECK((*button)["enabled"] == true);
    CHECK((*button)["selected"] == false);
    CHECK(findNode(views[0], "poster")->value("image", "") == "poster.png");
    CHECK(findNode(views[0], "ghost") == nullptr);  // hidden views are left out

    auto [image, number] = f.currentFrame();
    REQUIRE(image);
    CHECK(image->width() == 640);
    CHECK(image->height() == 1136);
    CHECK(number >= 1);
    CHECK(probe(image, 70, 70) == CGPixel{255, 0, 0, 255});      // the red view
    CHECK(probe(image, 200, 130) == CGPixel{0, 0, 255, 255});    // the button
    CHECK(probe(image, 165, 115) == CGPixel{0, 255, 255, 255});  // the icon inside it
    CHECK(probe(image, 220, 360) == CGPixel{255, 208, 0, 255});  // the image view's image
    CHECK(near(probe(image, 70, 250), CGPixel{128, 128, 128, 255}));  // the cover over the green view
    CHECK(probe(image, 200, 25) == CGPixel{255, 255, 255, 255});  // the hidden view is not drawn
    CHECK(probe(image, 300, 10) == CGPixel{0, 0, 0, 255});       // the status bar's battery
    CHECK(probe(image, 150, 10) == CGPixel{255, 255, 255, 255}); // and no clock
}

TEST_CASE("a frame gets a new number only when its pixels change, and after=N waits for a newer one") {
    ScreenFixture f;
    f.server->screen().setPolling(false);
    const std::uint64_t first = f.server->screen().renderNow();
    CHECK(f.server->screen().renderNow() == first);  // nothing changed
    REQUIRE(runMainUntil([&] { return f.server->screen().frames()->latest().number == first; }, 10));

    auto pending = std::async(std::launch::async, request, f.port, "GET", "/frame.png?after=" + std::to_string(first),
                              std::string(), std::string(), httplib::Headers{});
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 100 * NSEC_PER_MSEC), dispatch_get_main_queue(), [&] {
        display::setBackgroundColor(*f.red, rgb(0, 1, 0));
        f.server->screen().setNeedsFrame();
    });
    REQUIRE_MESSAGE(runMainUntil([&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 30),
                    "the long poll did not end");
    Reply reply = pending.get();
    REQUIRE(reply.status == 200);
    CHECK(reply.frameNumber == std::to_string(first + 1));
    auto decoded = imageio::decodePng(dataFromString(reply.body), true, imageio::DecodeDepth::Pixels);
    REQUIRE(decoded.frames.size() == 1);
    CHECK(probe(decoded.frames[0].image, 70, 70) == CGPixel{0, 255, 0, 255});

    Reply bad = fetch(f.port, "GET", "/frame.png?after=x1");
    CHECK(bad.status == 400);
}

TEST_CASE("taps, presses, drags and strokes reach views in order, and while an alert is up only its buttons take them") {
    ScreenFixture f;
    std::vector<std::string> journal;
    f.target->onControlTap = [&](UIControl& c) { journal.push_back("tap " + c.className()); };
    f.target->onControlPress = [&](UIControl& c, double d) {
        journal.push_back("press " + c.className() + " " + std::to_string(static_cast<int>(d * 1000)));
    };
    f.target->onDrag = [&](UIView& v, CGPoint from, CGPoint to, DeviceDragKind kind) {
        journal.push_back("drag " + DeviceViewFacts::of(v).identifier + " " + std::to_string(int(from.y)) + "->" +
                          std::to_string(int(to.y)) + (kind == DeviceDragKind::Wheel ? " wheel" : ""));
    };

    Reply byId = post(f.port, "/api/tap", {{"id", "go"}});
    REQUIRE(byId.status == 200);
    CHECK(byId.json()["receiver"] == "UIButton \"go\"");
    CHECK(byId.json()["point"] == Json::array({190, 120}));
    CHECK(post(f.port, "/api/tap", {{"id", "go-icon"}}).status == 200);  // the button takes its icon's touches
    CHECK(post(f.port, "/api/tap", {{"x", 155}, {"y", 135}}).status == 200);
    CHECK(post(f.port, "/api/tap", {{"label", "Twin"}, {"index", 1}}).json()["receiver"] == "UIView");
    CHECK(post(f.port, "/api/press", {{"id", "go"}, {"duration", 0.2}}).status == 200);
    CHECK(post(f.port, "/api/scroll", {{"x", 60}, {"y", 60}, {"dx", 0}, {"dy", -30}}).status == 200);
    CHECK(post(f.port, "/api/scroll", {{"id", "red"}, {"dx", 0}, {"dy", 12}, {"wheel", true}}).status == 200);
    CHECK(journal == std::vector<std::string>{"tap UIButton", "tap UIButton", "tap UIButton", "press UIButton 200",
                                              "drag red 60->30", "drag red 70->82 wheel"});

    // A touch at a point is hit-tested once, by the window that delivers it.
    auto counting = addView<HitCountingView>(f.window, CGRectMake(250, 40, 40, 40), "counting");
    const std::vector<std::pair<std::string, Json>> touches = {
        {"/api/tap", {{"x", 270}, {"y", 60}}},
        {"/api/press", {{"x", 270}, {"y", 60}, {"duration", 0}}},
        {"/api/scroll", {{"x", 270}, {"y", 60}, {"dx", 0}, {"dy", 5}}},
    };
    for (const auto& [path, body] : touches) {
        CAPTURE(path);
        counting->hitTests = 0;
        Reply touched = post(f.port, path, body);
        CHECK(touched.json().value("receiver", "").ends_with("\"counting\""));
        CHECK(counting->hitTests == 1);
    }
    counting->removeFromSuperview();

    // In process the same class keeps the order: a press holds back the tap after it.
    journal.clear();
    std::vector<std::string> done;
    f.server->input().press(CGPointMake(190, 120), 0.1, [&](const DeviceInputResult&) { done.push_back("press"); });
    f.server->input().tap(CGPointMake(190, 120), [&](const DeviceInputResult&) { done.push_back("tap"); });
    REQUIRE(runMainUntil([&] { return done.size() == 2; }, 10));
    CHECK(done == std::vector<std::string>{"press", "tap"});
    CHECK(journal == std::vector<std::string>{"press UIButton 100", "tap UIButton"});

    // A stroke is one finger through every point of its path: a zig-zag turns where it was told.
    auto stroked = addView<StrokeRecordingView>(f.window, CGRectMake(200, 300, 100, 20), "stroked");
    std::optional<DeviceInputResult> strokeResult;
    f.server->input().stroke({{210, 310}, {250, 310}, {220, 310}, {240, 310}},
                             [&](const DeviceInputResult& r) { strokeResult = r; });
    REQUIRE(runMainUntil([&] { return strokeResult.has_value(); }, 10));
    CHECK(strokeResult->delivered);
    REQUIRE(stroked->steps.size() == 25);  // down, eight steps a leg, the last one the lift
    CHECK(stroked->steps.front() == "begin 10");
    CHECK(stroked->steps[8] == "move 50");
    CHECK(stroked->steps[16] == "move 20");
    CHECK(stroked->steps[23] == "move 38");
    CHECK(stroked->steps.back() == "end 40");
    stroked->removeFromSuperview();

    journal.clear();
    auto delegate = std::make_shared<RecordingAlertDelegate>();
    auto alert = UIAlertView::initWithTitle("Alert", "Something happened", delegate, "Cancel", {"OK"});
    alert->show();
    Reply tree = fetch(f.port, "GET", "/api/tree");
    Json views = tree.json()["views"];
    REQUIRE(views.size() == 2);
    CHECK(views[1]["class"] == "UIAlertView");
    CHECK(views[1]["label"] == "Alert");
    CHECK(views[1]["children"][1]["label"] == "OK");
    CHECK(post(f.port, "/api/tap", {{"id", "go"}}).status == 409);
    CHECK(post(f.port, "/api/tap", {{"x", 190}, {"y", 120}}).status == 409);
    CHECK(post(f.port, "/api/scroll", {{"x", 60}, {"y", 60}, {"dx", 0}, {"dy", -30}}).status == 409);
    strokeResult.reset();
    f.server->input().stroke({{60, 60}, {90, 60}}, [&](const DeviceInputResult& r) { strokeResult = r; });
    REQUIRE(runMainUntil([&] { return strokeResult.has_value(); }, 10));
    CHECK_FALSE(strokeResult->delivered);
    CHECK(journal.empty());
    auto [image, number] = f.currentFrame();
    CHECK(near(probe(image, 160, 284), CGPixel{247, 247, 247, 255}));  // the alert's box over the dimmed screen
    CHECK(near(probe(image, 70, 70), CGPixel{153, 0, 0, 255}));
    CHECK(post(f.port, "/api/tap", {{"label", "Twin"}, {"index", 0}}).status == 409);  // covered by the alert
    display::setLabelText(*f.red, "OK");  // the alert's button is the one meant
    Reply ok = post(f.port, "/api/tap", {{"label", "OK"}});
    REQUIRE(ok.status == 200);
    CHECK(ok.json()["receiver"] == "UIAlertButton \"OK\"");
    CHECK(delegate->clicked == std::vector<long>{1});
    CHECK(UIAlertView::visibleAlerts().empty());
    CHECK(post(f.port, "/api/tap", {{"id", "go"}}).status == 200);
}

TEST_CASE("typed text and keys go to the first responder in order, and rotation turns the device") {
    ScreenFixture f;
    CHECK(post(f.port, "/api/type", {{"text", "ab"}}).status == 200);
    CHECK(post(f.port, "/api/key", {{"key", "Backspace"}}).status == 200);
    CHECK(post(f.port, "/api/type", {{"text", "ç"}}).status == 200);
    CHECK(post(f.port, "/api/key", {{"key", "Return"}}).status == 200);
    CHECK(f.field->typed == "aç\n");

    f.target->firstResponder = nullptr;
    Reply refused = post(f.port, "/api/type", {{"text", "x"}});
    CHECK(refused.status == 409);
    CHECK(refused.json()["error"] == "no first responder takes keys");

    auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    CHECK(post(f.port, "/api/rotate", {{"orientation", "landscapeLeft"}}).status == 200);
    CHECK(device->orientation() == UIDeviceOrientationLandscapeLeft);
    CHECK(fetch(f.port, "GET", "/api/screen").json()["orientation"] == "landscapeLeft");
    device->setOrientation(UIDeviceOrientationPortrait);
    device->endGeneratingDeviceOrientationNotifications();
}

TEST_CASE("waits end when a view appears or goes, or when their time is up") {
    ScreenFixture f;
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 100 * NSEC_PER_MSEC), dispatch_get_main_queue(),
                   [&] { addView(f.window, CGRectMake(0, 0, 10, 10), "late"); });
    CHECK(post(f.port, "/api/wait", {{"id", "late"}, {"timeout_ms", 10000}}).status == 200);
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 100 * NSEC_PER_MSEC), dispatch_get_main_queue(),
                   [&] { f.red->removeFromSuperview(); });
    CHECK(post(f.port, "/api/wait", {{"id", "red"}, {"gone", true}, {"timeout_ms", 10000}}).status == 200);
    CHECK(post(f.port, "/api/wait", {{"label", "Twin"}, {"gone", true}, {"timeout_ms", 50}}).status == 408);

    // What the application opens outside itself is told to a client waiting for it.
    auto app = UIApplication::sharedApplication();
    const std::uint64_t before = fetch(f.port, "GET", "/api/opened").json()["last"].get<std::uint64_t>();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 100 * NSEC_PER_MSEC), dispatch_get_main_queue(),
                   [app] { CHECK(app->openURL("https://landing.example/page?a=1")); });
    Reply opened = fetch(f.port, "GET", "/api/opened?after=" + std::to_string(before));
    REQUIRE(opened.status == 200);
    CHECK(opened.json()["opened"] == Json::array({{{"number", before + 1}, {"url", "https://landing.example/page?a=1"}}}));
    CHECK(opened.json()["last"] == before + 1);
    CHECK(fetch(f.port, "GET", "/api/opened").json()["last"] == before + 1);
    CHECK(fetch(f.port, "GET", "/api/opened?after=one").status == 400);
    app->resetOpenedURLs();
}

TEST_CASE("a finger put down through /api/touch stays down until its up comes, so a long press is seen while held") {
    ScreenFixture f;
    uikittest::VirtualTime time;
    std::vector<std::string> journal;
    f.target->onControlPress = [&](UIControl& c, double held) {
        journal.push_back("lifted " + c.className() + " " + std::to_string(std::lround(held * 1000)));
    };
    auto longPress = std::make_shared<UILongPressGestureRecognizer>(
        nullptr, [&](UIGestureRecognizer& r) { journal.push_back("long press " + std::to_string(r.state())); });
    longPress->setMinimumPressDuration(1.2);  // as the downloads' removal asks
    f.button->addGestureRecognizer(longPress);

    // Held 1 s: not long enough, and the application sees the 1 s it was held.
    CHECK(post(f.port, "/api/touch", {{"phase", "down"}, {"id", "go"}}).json()["receiver"] == "UIButton \"go\"");
    time.advance(1.0);
    CHECK(journal.empty());
    CHECK(post(f.port, "/api/touch", {{"phase", "up"}, {"x", 190}, {"y", 120}}).status == 200);
    CHECK(journal == std::vector<std::string>{"lifted UIButton 1000"});

    // Held on: the long press begins while the finger is still down, follows its move and ends when it lifts.
    journal.clear();
    CHECK(post(f.port, "/api/touch", {{"phase", "down"}, {"x", 190}, {"y", 120}}).status == 200);
    time.advance(1.2);
    CHECK(journal == std::vector<std::string>{"long press 1"});
    CHECK(post(f.port, "/api/touch", {{"phase", "move"}, {"x", 193}, {"y", 121}}).status == 200);
    CHECK(post(f.port, "/api/touch", {{"phase", "up"}, {"x", 193}, {"y", 121}}).status == 200);
    CHECK(journal == std::vector<std::string>{"long press 1", "long press 2", "long press 3", "lifted UIButton 1200"});

    // A move or a lift with no finger down is refused, and so is another phase.
    CHECK(post(f.port, "/api/touch", {{"phase", "up"}, {"x", 190}, {"y", 120}}).status == 409);
    CHECK(post(f.port, "/api/touch", {{"phase", "move"}, {"x", 190}, {"y", 120}}).status == 409);
    CHECK(post(f.port, "/api/touch", {{"phase", "hold"}, {"x", 190}, {"y", 120}}).status == 400);

    // While an alert is up, a finger works the button under where it went down, when it lifts.
    auto delegate = std::make_shared<RecordingAlertDelegate>();
    UIAlertView::initWithTitle("Alert", "Something happened", delegate, "Cancel", {"OK"})->show();
    CHECK(post(f.port, "/api/touch", {{"phase", "down"}, {"label", "OK"}}).status == 200);
    CHECK(delegate->clicked.empty());
    CHECK(post(f.port, "/api/touch", {{"phase", "up"}, {"label", "OK"}}).json()["receiver"] == "UIAlertButton \"OK\"");
    CHECK(delegate->clicked == std::vector<long>{1});
}

TEST_CASE("bad, foreign and oversized requests are refused while the screen keeps serving") {
    ScreenFixture f;
    struct Case {
        const char* name;
        std::string path;
        std::string body;
        std::string contentType;
        httplib::Headers headers;
        int status;
    };
    const std::string big(70 * 1024, ' ');
    const std::vector<Case> cases = {
        {"another host", "/api/tap", R"({"id":"go"})", "application/json", {{"Host", "evil.example"}}, 403},
        {"the right host on another port", "/api/tap", R"({"id":"go"})", "application/json", {{"Host", "localhost:1"}}, 403},
        {"another site's page", "/api/tap", R"({"id":"go"})", "application/json", {{"Origin", "http://evil.example"}}, 403},
        {"not JSON", "/api/tap", R"({"id":"go"})", "text/plain", {}, 415},
        {"form data", "/api/tap", "id=go", "application/x-www-form-urlencoded", {}, 415},
        {"broken JSON", "/api/tap", R"({"id":)", "application/json", {}, 400},
        {"not an object", "/api/tap", R"(["go"])", "application/json", {}, 400},
        {"off the screen", "/api/tap", R"({"x":320,"y":10})", "application/json", {}, 400},
        {"a point that is not a number", "/api/tap", R"({"x":"1","y":10})", "application/json", {}, 400},
        {"label and id at once", "/api/tap", R"({"id":"go","label":"Twin"})", "application/json", {}, 400},
        {"a negative index", "/api/tap", R"({"label":"Twin","index":-1})", "application/json", {}, 400},
        {"a negative press", "/api/press", R"({"id":"go","duration":-1})", "application/json", {}, 400},
        {"an unknown key", "/api/key", R"({"key":"Escape"})", "application/json", {}, 400},
        {"an unknown orientation", "/api/rotate", R"({"orientation":"sideways"})", "application/json", {}, 400},
        {"empty text", "/api/type", R"({"text":""})", "application/json", {}, 400},
        {"a body over 64 KiB", "/api/tap", "{\"id\":\"go\"}" + big, "application/json", {}, 413},
        {"no such view", "/api/tap", R"({"id":"nothing"})", "application/json", {}, 404},
        {"a hidden view", "/api/tap", R"({"id":"ghost"})", "application/json", {}, 404},
        {"an index past the matches", "/api/tap", R"({"label":"Twin","index":2})", "application/json", {}, 404},
        {"two views with the label", "/api/tap", R"({"label":"Twin"})", "application/json", {}, 409},
        {"a covered view", "/api/tap", R"({"id":"under"})", "application/json", {}, 409},
        {"no such interface", "/api/explode", R"({})", "application/json", {}, 404},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        Reply reply = fetch(f.port, "POST", c.path, c.body, c.contentType, c.headers);
        CHECK(reply.status == c.status);
        CHECK(reply.json().contains("error"));
    }
    CHECK(fetch(f.port, "GET", "/api/tap").status == 405);
    CHECK(fetch(f.port, "GET", "/nowhere").status == 404);
    CHECK(fetch(f.port, "GET", "/api/tree", {}, {}, {{"Host", "evil.example"}}).status == 403);
    CHECK(fetch(f.port, "GET", "/api/tree", {}, {}, {{"Host", "LOCALHOST:" + std::to_string(f.port)}}).status == 200);
    CHECK(post(f.port, "/api/tap", {{"id", "go"}}).status == 200);  // still serving
}

TEST_CASE("long polls and idle connections never hold back a request, and idle connections do not stay open long") {
    ScreenFixture f(5, 120);  // a frame's long poll lasts until the server stops
    // 60 long polls for a frame that does not come and 40 waits for a view that does not either (more than the
    // server has threads to serve with), each sent again should the server close its connection unanswered.
    std::atomic<bool> stopping{false};
    const auto poll = [port = f.port, &stopping](std::string method, std::string path, std::string body) {
        Reply reply;
        while (reply.status == 0 && !stopping) reply = request(port, method, path, body);
        return reply;
    };
    std::vector<std::future<Reply>> frames, waits;
    struct Finally {  // should a check fail, the polls end with the server rather than hold the test
        std::function<void()> run;
        ~Finally() { run(); }
    } finally{[&] {
        stopping = true;
        f.server->stop();
    }};
    for (int i = 0; i < 60; ++i)
        frames.push_back(std::async(std::launch::async, poll, "GET", "/frame.png?after=1000000", ""));
    for (int i = 0; i < 40; ++i)
        waits.push_back(std::async(std::launch::async, poll, "POST", "/api/wait", R"({"id":"never","timeout_ms":25000})"));
    REQUIRE_MESSAGE(runMainUntil([&] { return f.server->requestsInProgress() == 100; }, 60),
                    "the 100 waiting requests were not all waiting at once: " << f.server->requestsInProgress());

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(f.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<pollfd> idle;  // connected, and never a byte sent
    for (int i = 0; i < 200; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        REQUIRE(fd >= 0);
        REQUIRE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        idle.push_back({fd, POLLIN, 0});
    }
    // The screen's facts are answered while the long polls still wait.
    auto pending = std::async(std::launch::async, request, f.port, "GET", "/api/screen", std::string(), std::string(),
                              httplib::Headers{});
    const auto answered = [&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    REQUIRE_MESSAGE(runMainUntil(answered, 10), "a request behind long polls and idle connections got no answer");
    CHECK(pending.get().status == 200);
    CHECK(f.server->requestsInProgress() >= 60);  // the frames' long polls end only when the server stops
    // The server closes each idle connection: the end of the stream is there to read.
    const auto allClosed = [&] { return ::poll(idle.data(), idle.size(), 0) == static_cast<int>(idle.size()); };
    CHECK_MESSAGE(runMainUntil(allClosed, 10), "idle connections were still open after 10 s");
    for (const auto& p : idle) ::close(p.fd);

    finally.run();
    for (auto& frame : frames) CHECK(frame.get().status != 0);  // answered, not cut off
    for (auto& wait : waits) {
        const int status = wait.get().status;
        CHECK((status == 503 || status == 408));  // ended by the stop (or its own time limit on a very slow machine)
    }
}

TEST_CASE("a main loop that does not answer in time gives 503, and stopping ends waiting requests") {
    ScreenFixture f(0.3);
    // The request waits for the main queue, which nothing drains meanwhile.
    Reply stuck = request(f.port, "GET", "/api/tree");
    CHECK(stuck.status == 503);
    CHECK(stuck.json()["error"] == "the main loop did not answer within 0.3 s");
    runMainUntil([] { return false; }, 0.05);  // the late work runs and its answer is dropped

    const std::uint64_t drawn = f.server->screen().renderNow();
    REQUIRE(runMainUntil([&] { return f.server->screen().frames()->latest().number == drawn; }, 30));
    auto longPoll = std::async(std::launch::async, request, f.port, "GET", "/frame.png?after=1000000", std::string(),
                               std::string(), httplib::Headers{});
    auto waiting = std::async(std::launch::async, request, f.port, "POST", "/api/wait",
                              std::string(R"({"id":"late","timeout_ms":20000})"), std::string("application/json"),
                              httplib::Headers{});
    // In progress is not yet waiting: a long poll the stop reaches before its wait begins is refused (503).
    REQUIRE_MESSAGE(runMainUntil([&] {
        return f.server->requestsInProgress() == 2 && f.server->screen().frames()->isWatched();
    }, 30), "the two requests did not reach the screen");
    f.server->stop();
    CHECK(longPoll.get().status == 200);  // answered with the newest frame, not cut off
    CHECK(waiting.get().status == 503);
}

TEST_CASE("the page is one document with nothing from elsewhere") {
    ScreenFixture f;
    Reply page = fetch(f.port, "GET", "/");
    REQUIRE(page.status == 200);
    CHECK(page.contentType.starts_with("text/html"));
    CHECK(page.body.find("/frame.png?after=") != std::string::npos);
    for (const char* outside : {"http:", "https:", "//cdn", "src=\"//", "@import", "url("})
        CHECK_MESSAGE(page.body.find(outside) == std::string::npos, "the page refers to " << outside);
}

TEST_CASE("the port, port file and device kind come from the environment") {
    testsupport::TempHome home;
    const CGRect savedBounds = UIScreen::mainScreen()->bounds();
    const auto savedIdiom = UIDevice::currentDevice()->userInterfaceIdiom();
    const std::string portFile = home.path() + "/screen-port";
    ::unsetenv("QUORVANE_SCREEN_PORT");
    DeviceScreenServerOptions unset;
    std::string unsetError;
    REQUIRE(DeviceScreenServerOptions::fromEnvironment(unset, unsetError));
    CHECK(unset.port == kDeviceScreenDefaultPort);  // the fixed default, with a free port when it is taken
    CHECK(unset.anyPortWhenTaken);
    ::setenv("QUORVANE_SCREEN_PORT", "0", 1);
    ::setenv("QUORVANE_SCREEN_PORT_FILE", portFile.c_str(), 1);
    ::setenv("QUORVANE_DEVICE", "tablet", 1);
    DeviceScreenServerOptions options;
    std::string error;
    REQUIRE(DeviceScreenServerOptions::fromEnvironment(options, error));
    auto first = DeviceScreenServer::start(options, error);
    REQUIRE_MESSAGE(first, error);
    std::ifstream written(portFile);
    int filePort = 0;
    written >> filePort;
    CHECK(filePort == first->port());
    CHECK(UIScreen::mainScreen()->bounds().size == CGSizeMake(768, 1024));
    CHECK(UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad);
    CHECK(fetch(first->port(), "GET", "/api/screen").json()["device"] == "tablet");

    // A port that is taken: a free one instead, unless that is not wanted.
    DeviceScreenServerOptions same;
    same.port = first->port();
    auto second = DeviceScreenServer::start(same, error);
    REQUIRE_MESSAGE(second, error);
    CHECK(second->port() != first->port());
    same.anyPortWhenTaken = false;
    CHECK(DeviceScreenServer::start(same, error) == nullptr);
    CHECK(error.find("is taken") != std::string::npos);

    for (const auto& [name, value] : std::map<std::string, std::string>{
             {"QUORVANE_SCREEN_PORT", "http"}, {"QUORVANE_SCREEN_PORT", "70000"}, {"QUORVANE_DEVICE", "watch"}}) {
        CAPTURE(name);
        ::setenv(name.c_str(), value.c_str(), 1);
        DeviceScreenServerOptions bad;
        CHECK_FALSE(DeviceScreenServerOptions::fromEnvironment(bad, error));
        ::setenv("QUORVANE_SCREEN_PORT", "0", 1);
        ::setenv("QUORVANE_DEVICE", "tablet", 1);
    }
    ::unsetenv("QUORVANE_SCREEN_PORT");
    ::unsetenv("QUORVANE_SCREEN_PORT_FILE");
    ::unsetenv("QUORVANE_DEVICE");
    second.reset();
    first.reset();
    UIScreen::mainScreen()->setBounds(savedBounds);
    UIDevice::currentDevice()->setUserInterfaceIdiom(savedIdiom);
}

TEST_CASE("the application prints the device screen's address at launch, serves it and stops it at exit") {
    testsupport::TempHome home;
    const std::string out = home.path() + "/stdout";
    testsupport::ApplicationProcess app({.executable = QUORVANE_APP_EXECUTABLE,
                                         .home = home.path(),
                                         .catalogueURL = "http://127.0.0.1:9/unused",
                                         .device = "tablet",
                                         .outputFile = out});
    REQUIRE_MESSAGE(app.started(), "the application wrote no port");
    const int port = app.port();

    const auto readFile = [](const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    REQUIRE_MESSAGE(runMainUntil([&] { return readFile(out).find('\n') != std::string::npos; }, 30),
                    "the application printed nothing");
    CHECK(readFile(out).starts_with("Device screen: http://127.0.0.1:" + std::to_string(port) + "/\n"));
    Reply screen = request(port, "GET", "/api/screen");
    CHECK(screen.status == 200);
    CHECK(screen.json()["device"] == "tablet");
    CHECK(screen.json()["width"] == 768);
    CHECK(request(port, "POST", "/api/tap", R"({"x":1,"y":1})", "text/plain").status == 415);

    CHECK_MESSAGE(app.stop() == 0, "the application did not end cleanly on SIGTERM");
    CHECK(request(port, "GET", "/api/screen").status == 0);  // nothing listens any more
}

TEST_CASE("the tree reads what lists, text inputs and scroll views show") {
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->makeKeyAndVisible();
    auto search = std::make_shared<UISearchBar>(CGRectMake(0, 20, 320, 44));
    search->setPlaceholder("Search");
    search->setText("heat");
    window->addSubview(search);
    auto segments = std::make_shared<UISegmentedControl>(std::vector<std::string>{"Downloaded", "Downloading"});
    segments->setSelectedSegmentIndex(1);
    window->addSubview(segments);
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleSubtitle, "row");
    cell->textLabel()->setText("Chapter 1");
    cell->detailTextLabel()->setText("720p");
    cell->setAccessoryType(UITableViewCellAccessoryCheckmark);
    auto scroll = std::make_shared<UIScrollView>(CGRectMake(0, 100, 320, 300));
    scroll->setContentSize(CGSizeMake(320, 900));
    scroll->setContentOffset(CGPointMake(0, 150));
    scroll->addSubview(cell);
    window->addSubview(scroll);
    REQUIRE(search->becomeFirstResponder());

    const auto searchFacts = DeviceViewFacts::of(*search);
    CHECK(searchFacts.label == "heat");
    CHECK(searchFacts.detail == "Search");
    CHECK(searchFacts.firstResponder == std::optional<bool>(true));
    const auto segmentFacts = DeviceViewFacts::of(*segments);
    CHECK(segmentFacts.label == "Downloaded|Downloading");
    CHECK(segmentFacts.detail == "Downloading");
    const auto cellFacts = DeviceViewFacts::of(*cell);
    CHECK(cellFacts.label == "Chapter 1");
    CHECK(cellFacts.detail == "720p");
    CHECK(cellFacts.checkmark == std::optional<bool>(true));
    CHECK(cellFacts.firstResponder == std::optional<bool>(false));
    const auto scrollFacts = DeviceViewFacts::of(*scroll);
    REQUIRE(scrollFacts.contentOffset);
    CHECK(scrollFacts.contentOffset->y == 150);
    CHECK(search->resignFirstResponder());  // the keyboard goes down for the tests after this one
}
