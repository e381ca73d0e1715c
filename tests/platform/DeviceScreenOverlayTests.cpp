// Protects what the device screen draws over the key window (action sheets, their titles on as many lines as
// they need, the keyboard) and the turned interface: how they are drawn, listed in the tree and which taps they
// take; and an edited search field longer than the field keeping its end and the caret in view.
#include "DeviceScreenTestSupport.h"

#include <map>

#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIFirstResponder.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UITextView.h"
#include "platform/uikit/UIViewController.h"

using namespace devicescreentest;

namespace {

class RecordingSheetDelegate : public UIActionSheetDelegate {
public:
    void clickedButtonAtIndex(UIActionSheet&, long index) override { clicked.push_back(index); }
    std::vector<long> clicked;
};

// The node of the given class among the views over the window.
const Json* topNode(const Json& views, const std::string& className) {
    for (const auto& node : views)
        if (node.value("class", "") == className) return &node;
    return nullptr;
}

std::vector<std::string> labelsOf(const Json& node) {
    std::vector<std::string> labels;
    for (const auto& child : node["children"]) labels.push_back(child.value("label", ""));
    return labels;
}

Json tapAt(CGPoint p) { return {{"x", p.x}, {"y", p.y}}; }

bool isRed(CGPixel p) { return p.r > 200 && p.g < 120 && p.b < 120; }
bool isBlue(CGPixel p) { return p.b > 200 && p.r < 80 && p.g < 170; }

}  // namespace

TEST_CASE("an action sheet is drawn over a dimmed screen, listed after the window, and only its buttons take taps") {
    ScreenFixture f;
    auto delegate = std::make_shared<RecordingSheetDelegate>();
    auto sheet = UIActionSheet::initWithTitle("Share", delegate, "Cancel", "Delete", {"Mail", "Copy"});
    sheet->showInView(f.window);

    Json views = fetch(f.port, "GET", "/api/tree").json()["views"];
    REQUIRE(views.size() == 2);
    CHECK(views[0]["class"] == "UIWindow");
    const Json& node = views[1];
    CHECK(node["class"] == "UIActionSheet");
    CHECK(node["label"] == "Share");
    CHECK(labelsOf(node) == std::vector<std::string>{"Delete", "Mail", "Copy", "Cancel"});  // index order
    CHECK(node["children"][0]["destructive"] == true);
    CHECK(node["children"][3]["cancel"] == true);
    CHECK_FALSE(node["children"][1].contains("cancel"));
    // Rising from the bottom with an 8-point margin; the cancel button apart, below the others.
    CHECK(node["children"][3]["frame"] == Json::array({8, 516, 304, 44}));
    CHECK(node["children"][2]["frame"] == Json::array({8, 464, 304, 44}));
    CHECK(node["children"][0]["frame"] == Json::array({8, 376, 304, 44}));

    auto [image, number] = f.currentFrame("action-sheet");
    CHECK(near(probe(image, 70, 70), CGPixel{153, 0, 0, 255}));       // the red view, dimmed
    CHECK(near(probe(image, 160, 512), CGPixel{138, 138, 138, 255}));  // the gap before the cancel panel: the field, dimmed
    CHECK(near(probe(image, 14, 442), CGPixel{247, 247, 247, 255}));   // a panel
    CHECK(anyPixel(image, CGRectMake(8, 376, 304, 44), isRed));        // the destructive title
    CHECK_FALSE(anyPixel(image, CGRectMake(8, 420, 304, 44), isRed));
    CHECK(anyPixel(image, CGRectMake(8, 420, 304, 44), isBlue));       // an ordinary title
    CHECK(anyPixel(image, CGRectMake(8, 516, 304, 44), isBlue));       // the cancel title

    // What the sheet covers takes nothing; its buttons take taps by label and by point.
    CHECK(post(f.port, "/api/tap", {{"id", "go"}}).status == 409);
    CHECK(post(f.port, "/api/tap", {{"x", 190}, {"y", 120}}).status == 409);
    CHECK(post(f.port, "/api/scroll", {{"x", 60}, {"y", 60}, {"dx", 0}, {"dy", -30}}).status == 409);
    CHECK(delegate->clicked.empty());
    Reply mail = post(f.port, "/api/tap", {{"label", "Mail"}});
    REQUIRE(mail.status == 200);
    CHECK(mail.json()["receiver"] == "UIActionSheetButton \"Mail\"");
    CHECK(delegate->clicked == std::vector<long>{1});
    CHECK(UIActionSheet::visibleSheets().empty());
    CHECK(fetch(f.port, "GET", "/api/tree").json()["views"].size() == 1);
    CHECK(post(f.port, "/api/tap", {{"id", "go"}}).status == 200);

    // An alert over a sheet: only the alert's buttons, then the sheet's again.
    sheet->showInView(f.window);
    auto alert = UIAlertView::initWithTitle("Sure?", "", {}, "No", {"Yes"});
    alert->show();
    views = fetch(f.port, "GET", "/api/tree").json()["views"];
    REQUIRE(views.size() == 3);
    CHECK(views[1]["class"] == "UIActionSheet");
    CHECK(views[2]["class"] == "UIAlertView");
    CHECK(post(f.port, "/api/tap", {{"label", "Copy"}}).status == 409);
    CHECK(post(f.port, "/api/tap", {{"x", 100}, {"y", 486}}).status == 409);  // on "Copy", under the alert's dimming
    CHECK(post(f.port, "/api/tap", {{"label", "Yes"}}).status == 200);
    CHECK(post(f.port, "/api/tap", {{"x", 100}, {"y", 538}}).json()["receiver"] == "UIActionSheetButton \"Cancel\"");
    CHECK(delegate->clicked == std::vector<long>{1, 3});
}

TEST_CASE("an action sheet's long title wraps onto the lines it needs, all drawn above the buttons") {
    ScreenFixture f;
    const std::string title = "Do you want to remove or resume the downloading this movie?";
    auto sheet = UIActionSheet::initWithTitle(title, {}, "Cancel", std::nullopt, {"Remove", "Resume"});
    sheet->showInView(f.window);
    const Json views = fetch(f.port, "GET", "/api/tree").json()["views"];
    REQUIRE(views.size() == 2);
    const Json& node = views[1];
    CHECK(node["label"] == title);
    // Two lines of 13 points in 280 (the 304-point panel less 12 on each side), padded by 12 above and below.
    const auto font = UIFont::systemFontOfSize(13);
    const CGFloat lines = boundingRectWithSize(title, CGSizeMake(280, 0), NSStringDrawingUsesLineFragmentOrigin, {font})
                              .size.height /
                          font->lineHeight();
    REQUIRE(lines == 2);
    const CGFloat titleHeight = std::ceil(2 * font->lineHeight()) + 24;
    CHECK(node["children"][2]["frame"] == Json::array({8, 516, 304, 44}));  // cancel
    CHECK(node["children"][1]["frame"] == Json::array({8, 464, 304, 44}));  // "Resume"
    CHECK(node["children"][0]["frame"] == Json::array({8, 420, 304, 44}));  // "Remove"
    CHECK(node["frame"] == Json::array({8, 420 - titleHeight, 304, 140 + titleHeight}));

    // Both lines are drawn in the title's grey, each in its half of the text.
    auto [image, number] = f.currentFrame("action-sheet-long-title");
    const auto grey = [](CGPixel p) { return p.r < 200 && p.r > 90 && std::abs(p.r - p.b) < 8; };
    const CGFloat top = 420 - titleHeight + 12, line = font->lineHeight();
    CHECK(anyPixel(image, CGRectMake(20, top, 280, line), grey));
    CHECK(anyPixel(image, CGRectMake(20, top + line, 280, line), grey));
    CHECK_FALSE(anyPixel(image, CGRectMake(20, 420 - titleHeight, 280, 10), grey));
}

TEST_CASE("an edited search field longer than the field scrolls its text to keep the caret and the end in view") {
    ScreenFixture f;
    f.target->firstResponder = nullptr;  // keys go to the window's own first responder
    auto bar = addView<UISearchBar>(f.window, CGRectMake(0, 20, 320, 44), "search");
    REQUIRE(bar->becomeFirstResponder());
    // Thin letters, then solid blocks the end of the field must show.
    const std::string typed = std::string(80, 'i') + "\u2588\u2588\u2588\u2588";
    REQUIRE(post(f.port, "/api/type", {{"text", typed}}).status == 200);
    CHECK(bar->text() == typed);
    const CGRect field = bar->convertRectToView(bar->fieldRect(), nullptr);
    const CGRect caret = bar->convertRectToView(bar->caretRect(), nullptr);
    CHECK(caret.origin.x > field.origin.x);
    CHECK(CGRectGetMaxX(caret) <= CGRectGetMaxX(field) - 8);

    auto [image, number] = f.currentFrame("search-field-scrolled");
    const CGFloat middle = CGRectGetMidY(caret);
    const auto black = [](CGPixel p) { return p.r < 40 && p.g < 40 && p.b < 40; };
    const auto tint = [](CGPixel p) { return p.b > 200 && p.r < 80; };
    CHECK(anyPixel(image, CGRectMake(caret.origin.x, middle, caret.size.width, 1), tint));  // the caret
    // The blocks just before the caret, solid across the line's middle (not an ellipsis).
    for (CGFloat x = caret.origin.x - 25; x < caret.origin.x - 2; x += 1) {
        CAPTURE(x);
        CHECK(black(probe(image, x, middle)));
    }
    REQUIRE(bar->resignFirstResponder());
}

TEST_CASE("the keyboard is drawn at the bottom while a text input is first responder, and its keys type") {
    ScreenFixture f;
    f.target->firstResponder = nullptr;  // keys go to the window's own first responder
    auto notes = addView<UITextView>(f.window, CGRectMake(240, 40, 70, 40), "notes", rgb(1, 1, 1));
    CHECK(topNode(fetch(f.port, "GET", "/api/tree").json()["views"], "UIKeyboard") == nullptr);

    REQUIRE(post(f.port, "/api/tap", {{"id", "notes"}}).status == 200);  // a tap makes it first responder
    REQUIRE(post(f.port, "/api/wait", {{"id", "keyboard"}, {"timeout_ms", 5000}}).status == 200);
    Json views = fetch(f.port, "GET", "/api/tree").json()["views"];
    CHECK(findNode(views[0], "notes")->value("firstResponder", false));
    const Json* keyboard = topNode(views, "UIKeyboard");
    REQUIRE(keyboard);
    CHECK((*keyboard)["id"] == "keyboard");
    CHECK((*keyboard)["frame"] == Json::array({0, 352, 320, 216}));
    std::map<std::string, Json> keys;
    for (const auto& key : (*keyboard)["children"]) keys[key["label"]] = key["frame"];
    CHECK(keys.size() == 29);  // 26 letters, delete, space and return
    REQUIRE(keys.count("q"));
    CHECK(keys["q"] == Json::array({3, 357, 26, 44}));

    auto [image, number] = f.currentFrame("keyboard");
    CHECK(near(probe(image, 1, 355), CGPixel{209, 213, 219, 255}));  // the board
    CHECK(probe(image, 16, 360) == CGPixel{255, 255, 255, 255});    // the top of the "q" key cap
    CHECK(anyPixel(image, rectOf(keys["q"]), [](CGPixel p) { return p.r < 80 && p.g < 80 && p.b < 80; }));  // its letter
    CHECK(probe(image, 220, 345) == CGPixel{255, 208, 0, 255});     // the poster above the keyboard
    CHECK(probe(image, 220, 360) != CGPixel{255, 208, 0, 255});     // and not where the keyboard covers it

    // Keys typed on the keyboard and from the page reach the first responder alike.
    for (const char* key : {"h", "i", "space", "delete"}) {
        CAPTURE(key);
        Reply reply = post(f.port, "/api/tap", tapAt(centreOf(keys[key])));
        CHECK(reply.status == 200);
        CHECK(reply.json()["receiver"] == std::string("UIKeyboard key \"") + key + "\" -> UITextView");
    }
    CHECK(post(f.port, "/api/type", {{"text", "!"}}).status == 200);
    CHECK(post(f.port, "/api/tap", tapAt(centreOf(keys["return"]))).status == 200);
    CHECK(notes->text() == "hi!\n");
    // What the keyboard covers takes no taps; the left of the third row is no key.
    CHECK(post(f.port, "/api/tap", {{"id", "field"}}).status == 409);
    CHECK(post(f.port, "/api/tap", {{"x", 10}, {"y", 487}}).status == 409);
    CHECK(post(f.port, "/api/scroll", {{"x", 100}, {"y", 400}, {"dx", 0}, {"dy", -30}}).status == 409);
    CHECK(notes->text() == "hi!\n");

    REQUIRE(notes->resignFirstResponder());
    CHECK(post(f.port, "/api/wait", {{"id", "keyboard"}, {"gone", true}, {"timeout_ms", 5000}}).status == 200);
    auto [after, afterNumber] = f.currentFrame();
    CHECK(afterNumber > number);
    CHECK(probe(after, 220, 360) == CGPixel{255, 208, 0, 255});
    CHECK(post(f.port, "/api/tap", {{"id", "field"}}).status == 200);
}

TEST_CASE("the keyboard has the platform's height for the device and the way the interface is turned") {
    ScreenFixture f;
    f.window->setHidden(true);
    struct Case {
        const char* name;
        const char* device;
        CGSize window;
        UIInterfaceOrientation orientation;
        CGFloat height;
    };
    const Case cases[] = {
        {"phone portrait", "phone", {320, 568}, UIInterfaceOrientationPortrait, 216},
        {"phone landscape", "phone", {568, 320}, UIInterfaceOrientationLandscapeLeft, 162},
        {"tablet portrait", "tablet", {768, 1024}, UIInterfaceOrientationPortrait, 264},
        {"tablet landscape", "tablet", {1024, 768}, UIInterfaceOrientationLandscapeRight, 352},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        REQUIRE(DeviceScreenApplyDeviceKind(c.device));
        UIApplication::sharedApplication()->setStatusBarOrientation(c.orientation);
        auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, c.window.width, c.window.height));
        auto text = addView<UITextView>(window, CGRectMake(10, 40, 100, 40), "text");
        window->makeKeyAndVisible();
        REQUIRE(text->becomeFirstResponder());
        Json reply = fetch(f.port, "GET", "/api/tree").json();
        CHECK(reply["screen"]["width"] == c.window.width);
        CHECK(reply["screen"]["height"] == c.window.height);
        const Json* keyboard = topNode(reply["views"], "UIKeyboard");
        REQUIRE(keyboard);
        CHECK((*keyboard)["frame"] ==
              Json::array({0, c.window.height - c.height, c.window.width, c.height}));
        auto [image, number] = f.currentFrame(std::string("keyboard-") + c.device + (c.window.width > c.window.height ? "-landscape" : ""));
        CHECK(image->width() == static_cast<std::size_t>(c.window.width * 2));
        CHECK(near(probe(image, 1, c.window.height - c.height + 2), CGPixel{209, 213, 219, 255}));
        REQUIRE(text->resignFirstResponder());
        window->setHidden(true);
    }
}

TEST_CASE("a turned interface is drawn, reported and tapped at its turned size, a refused turn keeps portrait") {
    ScreenFixture f;
    auto corner = addView<UIButton>(f.window, CGRectMake(520, 280, 40, 30), "corner", rgb(1, 0, 1));
    auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();

    // Portrait: the corner lies outside the window and the point outside the screen.
    CHECK(post(f.port, "/api/tap", {{"id", "corner"}}).status == 409);
    CHECK(post(f.port, "/api/tap", {{"x", 540}, {"y", 290}}).status == 400);

    // The device turns and nothing in the application follows: the frame stays portrait.
    CHECK(post(f.port, "/api/rotate", {{"orientation", "landscapeLeft"}}).status == 200);
    Json screen = fetch(f.port, "GET", "/api/screen").json();
    CHECK(screen["orientation"] == "landscapeLeft");
    CHECK(screen["interface"] == "portrait");
    CHECK(screen["width"] == 320);
    CHECK(f.currentFrame().first->width() == 640);

    // The interface follows (the window takes the turned screen's bounds): frames,
    // facts and taps follow it, read from the window each time.
    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    f.window->setFrame(CGRectMake(0, 0, 568, 320));
    screen = fetch(f.port, "GET", "/api/screen").json();
    CHECK(screen["interface"] == "landscape");
    CHECK(screen["width"] == 568);
    CHECK(screen["height"] == 320);
    auto [image, number] = f.currentFrame("landscape");
    CHECK(image->width() == 1136);
    CHECK(image->height() == 640);
    CHECK(probe(image, 540, 295) == CGPixel{255, 0, 255, 255});  // the corner
    CHECK(probe(image, 550, 10) == CGPixel{0, 0, 0, 255});       // the battery at the turned right edge
    Reply tap = post(f.port, "/api/tap", {{"id", "corner"}});
    REQUIRE(tap.status == 200);
    CHECK(tap.json()["point"] == Json::array({540, 295}));
    CHECK(post(f.port, "/api/tap", {{"x", 540}, {"y", 290}}).status == 200);
    CHECK(post(f.port, "/api/tap", {{"x", 300}, {"y", 400}}).status == 400);  // below the turned screen

    // An alert and a sheet centre and rise in the turned interface.
    auto alert = UIAlertView::initWithTitle("Turned", "", {}, "OK", {});
    alert->show();
    Json views = fetch(f.port, "GET", "/api/tree").json()["views"];
    const Json* alertNode = topNode(views, "UIAlertView");
    REQUIRE(alertNode);
    CHECK(centreOf((*alertNode)["frame"]).x == 284);
    CHECK(post(f.port, "/api/tap", {{"label", "OK"}}).status == 200);

    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    f.window->setFrame(CGRectMake(0, 0, 320, 568));
    CHECK(f.currentFrame().first->width() == 640);
    device->setOrientation(UIDeviceOrientationPortrait);
    device->endGeneratingDeviceOrientationNotifications();
}

namespace {

class TurningController : public UIViewController {
public:
    explicit TurningController(bool turns) : turns_(turns) {}
    bool shouldAutorotate() const override { return turns_; }
    UIInterfaceOrientationMask supportedInterfaceOrientations() const override {
        return UIInterfaceOrientationMaskAllButUpsideDown;
    }

private:
    bool turns_;
};

}  // namespace

TEST_CASE("the frame turns when the application's interface follows the device, and stays when it refuses") {
    ScreenFixture f;
    auto device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    struct Case {
        const char* name;
        bool turns;
        double width, height;
        const char* interface;
    };
    for (const Case& c : {Case{"a controller that turns", true, 568, 320, "landscape"},
                          Case{"a controller that refuses", false, 320, 568, "portrait"}}) {
        CAPTURE(c.name);
        auto root = std::make_shared<TurningController>(c.turns);
        f.window->setRootViewController(root);
        display::setAccessibilityIdentifier(*root->view(), "root");
        display::setBackgroundColor(*root->view(), rgb(0, 0.5, 0));
        REQUIRE(post(f.port, "/api/rotate", {{"orientation", "landscapeLeft"}}).status == 200);
        Json reply = fetch(f.port, "GET", "/api/tree").json();
        CHECK(reply["screen"]["orientation"] == "landscapeLeft");
        CHECK(reply["screen"]["interface"] == c.interface);
        CHECK(reply["screen"]["width"] == c.width);
        CHECK(reply["screen"]["height"] == c.height);
        CHECK(findNode(reply["views"][0], "root")->at("frame") == Json::array({0, 0, c.width, c.height}));
        auto [image, number] = f.currentFrame(std::string("rotation-") + (c.turns ? "turned" : "refused"));
        CHECK(image->width() == static_cast<std::size_t>(c.width * 2));
        CHECK(image->height() == static_cast<std::size_t>(c.height * 2));
        CHECK(near(probe(image, c.width - 5, c.height - 5), CGPixel{0, 128, 0, 255}));  // the root view fills it
        REQUIRE(post(f.port, "/api/rotate", {{"orientation", "portrait"}}).status == 200);
        CHECK(fetch(f.port, "GET", "/api/screen").json()["width"] == 320);
    }
    device->endGeneratingDeviceOrientationNotifications();
}
