// Protects the text inputs and controls: segmented controls send value-changed
// for taps only, buttons show the title of their state, a search bar tells its
// delegate in the platform's order as keys arrive through the device screen,
// and the keyboard follows the first responder (frames per device and
// orientation, deferred until the input is in a window).
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/display/DeviceInputTarget.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFirstResponder.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITextView.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {

struct Recorder : NSObject, UISearchBarDelegate {
    std::vector<std::string> calls;
    bool allowBegin = true;
    bool resignOnSearch = false;
    bool searchBarShouldBeginEditing(UISearchBar&) override {
        calls.push_back("shouldBegin");
        return allowBegin;
    }
    void searchBarTextDidBeginEditing(UISearchBar&) override { calls.push_back("didBegin"); }
    bool searchBarShouldEndEditing(UISearchBar&) override {
        calls.push_back("shouldEnd");
        return true;
    }
    void searchBarTextDidEndEditing(UISearchBar&) override { calls.push_back("didEnd"); }
    void textDidChange(UISearchBar&, const std::string& text) override { calls.push_back("change:" + text); }
    void searchBarSearchButtonClicked(UISearchBar& bar) override {
        calls.push_back("search:" + bar.text());
        if (resignOnSearch) CHECK(bar.resignFirstResponder());
    }
    void searchBarCancelButtonClicked(UISearchBar&) override { calls.push_back("cancel"); }
};

// The keyboard notifications posted, with their end frames and durations.
struct KeyboardLog : NSObject {
    struct Entry {
        std::string name;
        CGRect end;
        double duration;
    };
    std::vector<Entry> entries;
    std::vector<std::shared_ptr<NSObject>> tokens;
    KeyboardLog() {
        for (const char* name : {UIKeyboardWillShowNotification, UIKeyboardDidShowNotification,
                                 UIKeyboardWillHideNotification, UIKeyboardDidHideNotification})
            tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, nullptr, nullptr, [this](const NSNotification& n) {
                    entries.push_back({n.name(), CGRectValue(n.userInfo()[UIKeyboardFrameEndUserInfoKey]),
                                       n.userInfo()[UIKeyboardAnimationDurationUserInfoKey].doubleValue()});
                }));
    }
    ~KeyboardLog() override {
        for (auto& t : tokens) NSNotificationCenter::defaultCenter()->removeObserver(t.get());
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.name);
        return out;
    }
};

// A key window of the screen's size on the device, put back afterwards.
struct Device {
    CGRect savedBounds = UIScreen::mainScreen()->bounds();
    Device(UIUserInterfaceIdiom idiom, UIInterfaceOrientation orientation) {
        bool pad = idiom == UIUserInterfaceIdiomPad;
        UIScreen::mainScreen()->setBounds(pad ? CGRectMake(0, 0, 768, 1024) : CGRectMake(0, 0, 320, 568));
        UIDevice::currentDevice()->setUserInterfaceIdiom(idiom);
        UIApplication::sharedApplication()->setStatusBarOrientation(orientation);
    }
    ~Device() {
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPhone);
        UIScreen::mainScreen()->setBounds(savedBounds);
    }
};

std::shared_ptr<UIWindow> keyWindow() {
    auto w = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    w->setBackgroundColor(rgb(1, 1, 1));
    w->makeKeyAndVisible();
    return w;
}
}  // namespace

TEST_CASE("a segmented control sends value-changed for a tap on another segment, never for code") {
    struct Case {
        const char* name;
        long start;
        std::function<void(UIWindow&, UISegmentedControl&)> act;
        long index;
        int events;
    };
    std::vector<Case> cases{
        {"code sets", 0, [](UIWindow&, UISegmentedControl& s) { s.setSelectedSegmentIndex(2); }, 2, 0},
        {"code sets out of range", 1, [](UIWindow&, UISegmentedControl& s) { s.setSelectedSegmentIndex(7); },
         UISegmentedControlNoSegment, 0},
        {"tap on the third", 0, [](UIWindow& w, UISegmentedControl&) { CHECK(w.tap(CGPointMake(250, 15))); }, 2, 1},
        {"tap on the selected one", 1, [](UIWindow& w, UISegmentedControl&) { CHECK(w.tap(CGPointMake(150, 15))); },
         1, 0},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        auto window = visibleWindow({300, 60});
        auto segments = std::make_shared<UISegmentedControl>(std::vector<std::string>{"Info", "Chapters", "More"});
        segments->setFrame(CGRectMake(0, 0, 300, 30));
        segments->setSelectedSegmentIndex(c.start);
        window->addSubview(segments);
        int events = 0;
        long seen = -5;
        segments->addTarget(nullptr, [&](UIControl& s, UIEvent*) {
            ++events;
            seen = static_cast<UISegmentedControl&>(s).selectedSegmentIndex();
        }, UIControlEventValueChanged);
        c.act(*window, *segments);
        CHECK(segments->selectedSegmentIndex() == c.index);
        CHECK(events == c.events);
        if (c.events) CHECK(seen == c.index);  // the action sees the new selection
    }
    // Drawn: the selected segment filled with the tint, the others clear.
    auto window = visibleWindow({300, 40});
    auto segments = std::make_shared<UISegmentedControl>(std::vector<std::string>{"A", "B"});
    segments->setFrame(CGRectMake(0, 0, 300, 30));
    segments->setTintColor(rgb(1, 0, 0));
    segments->setSelectedSegmentIndex(1);
    window->addSubview(segments);
    auto image = window->snapshotImage(2);
    CHECK(near(probe(image, 200, 5, 2), 255, 0, 0));
    CHECK(near(probe(image, 50, 5, 2), 255, 255, 255));
}

TEST_CASE("a button shows the title and colour of its state") {
    auto window = visibleWindow({200, 60});
    auto button = std::make_shared<UIButton>(CGRectMake(0, 0, 200, 44));
    window->addSubview(button);
    button->setTitle("Add", UIControlStateNormal);
    button->setTitle("Remove", UIControlStateSelected);
    button->setTitleColor(rgb(0, 0, 1), UIControlStateNormal);
    CHECK(button->titleForState(UIControlStateHighlighted) == "Add");  // falls back to normal
    CHECK(button->titleColorForState(UIControlStateSelected) == button->titleColorForState(UIControlStateNormal));
    window->layoutIfNeeded();
    CHECK(button->titleLabel()->text() == "Add");
    CHECK(CGColorEqualToColor(button->titleLabel()->textColor(), rgb(0, 0, 1)));
    const CGRect first = button->titleLabel()->frame();
    CHECK(CGRectGetMidX(first) == doctest::Approx(100).epsilon(0.02));
    button->setSelected(true);
    window->layoutIfNeeded();
    CHECK(button->currentTitle() == "Remove");
    CHECK(button->titleLabel()->text() == "Remove");
    CHECK(button->titleLabel()->frame().size.width > first.size.width);
    CHECK(button->intrinsicContentSize().width == doctest::Approx(button->titleLabel()->frame().size.width));
    // Drawn: blue glyph pixels somewhere in the title's box.
    button->setSelected(false);
    auto image = window->snapshotImage(2);
    CGRect t = button->titleLabel()->frame();
    bool blue = false;
    for (double x = t.origin.x; x < CGRectGetMaxX(t) && !blue; x += 0.5)
        for (double y = t.origin.y; y < CGRectGetMaxY(t) && !blue; y += 0.5) {
            auto p = probe(image, x, y, 2);
            blue = p.b > 200 && p.r < 120 && p.g < 120;
        }
    CHECK(blue);
}

TEST_CASE("a search bar tells its delegate in order as it is tapped, typed into and searched") {
    VirtualTime time;
    auto window = keyWindow();
    auto bar = std::make_shared<UISearchBar>(CGRectMake(0, 20, 320, 44));
    bar->setPlaceholder("Search");
    auto delegate = std::make_shared<Recorder>();
    bar->setDelegate(delegate);
    window->addSubview(bar);
    DeviceDefaultInputTarget target;
    auto run = [&](auto call) {
        bool done = false;
        call([&](DeviceInputResult r) {
            CHECK(r.delivered);
            done = true;
        });
        CHECK(done);
    };

    SUBCASE("the delegate refuses: no editing, no keyboard, typing is refused") {
        delegate->allowBegin = false;
        CHECK(window->tap(CGPointMake(100, 40)));
        CHECK_FALSE(bar->isFirstResponder());
        CHECK_FALSE(UIKeyboard::isVisible());
        bool refused = false;
        target.type("x", [&](DeviceInputResult r) { refused = !r.delivered; });
        CHECK(refused);
        CHECK(delegate->calls == std::vector<std::string>{"shouldBegin"});
    }
    SUBCASE("typing, Backspace, Return, and resigning in the search call") {
        delegate->resignOnSearch = true;
        CHECK(window->tap(CGPointMake(100, 40)));
        CHECK(bar->isFirstResponder());
        CHECK(UIFirstResponder::current() == bar);
        run([&](auto done) { target.type("héllo", done); });
        run([&](auto done) { target.key(DeviceKey::Backspace, done); });
        run([&](auto done) { target.key(DeviceKey::Return, done); });
        CHECK(bar->text() == "héll");
        CHECK_FALSE(bar->isFirstResponder());
        CHECK(delegate->calls ==
              std::vector<std::string>{"shouldBegin", "didBegin", "change:h", "change:hé", "change:hél",
                                       "change:héll", "change:héllo", "change:héll", "search:héll", "shouldEnd",
                                       "didEnd"});
    }
    SUBCASE("the cancel button, and text set in code telling nobody") {
        bar->setShowsCancelButton(true);
        bar->setText("typed by code");
        window->layoutIfNeeded();
        CHECK(window->tap(CGPointMake(300, 40)));
        CHECK(delegate->calls == std::vector<std::string>{"cancel"});
    }
    if (bar->isFirstResponder()) CHECK(bar->resignFirstResponder());
    time.advance(1);
}

TEST_CASE("the keyboard follows a search bar as first responder, with the device's frames") {
    struct Case {
        UIUserInterfaceIdiom idiom;
        UIInterfaceOrientation orientation;
        CGFloat height;
    };
    std::vector<Case> cases{{UIUserInterfaceIdiomPhone, UIInterfaceOrientationPortrait, 216},
                            {UIUserInterfaceIdiomPhone, UIInterfaceOrientationLandscapeLeft, 162},
                            {UIUserInterfaceIdiomPad, UIInterfaceOrientationPortrait, 264},
                            {UIUserInterfaceIdiomPad, UIInterfaceOrientationLandscapeRight, 352}};
    for (const auto& c : cases) {
        CAPTURE(c.height);
        VirtualTime time;
        Device device(c.idiom, c.orientation);
        KeyboardLog log;
        auto window = keyWindow();
        auto bar = std::make_shared<UISearchBar>();
        window->addSubview(bar);
        REQUIRE(bar->becomeFirstResponder());
        REQUIRE(log.entries.size() == 1);
        CHECK(log.entries[0].name == UIKeyboardWillShowNotification);
        CHECK(log.entries[0].duration == doctest::Approx(0.25));
        const CGRect end = log.entries[0].end;
        CHECK(UIKeyboard::visibleHeight() == c.height);
        CHECK((end.size.height == c.height || end.size.width == c.height));
        if (c.idiom == UIUserInterfaceIdiomPhone && c.orientation == UIInterfaceOrientationPortrait)
            CHECK(end == CGRectMake(0, 568 - 216, 320, 216));
        time.advance(0.25);
        CHECK(log.names() == std::vector<std::string>{UIKeyboardWillShowNotification, UIKeyboardDidShowNotification});
        // Another text input taking over keeps the keyboard up (shown again, not hidden).
        auto notes = std::make_shared<UITextView>(CGRectMake(0, 100, 320, 100));
        window->addSubview(notes);
        REQUIRE(notes->becomeFirstResponder());
        CHECK_FALSE(bar->isFirstResponder());
        CHECK(log.entries.back().name == UIKeyboardWillShowNotification);
        REQUIRE(notes->resignFirstResponder());
        CHECK(log.entries.back().name == UIKeyboardWillHideNotification);
        CHECK_FALSE(UIKeyboard::isVisible());
        time.advance(0.25);
        CHECK(log.entries.back().name == UIKeyboardDidHideNotification);
    }
}

TEST_CASE("a search bar asked before it is in a window becomes first responder once it enters one") {
    VirtualTime time;
    KeyboardLog log;
    auto window = keyWindow();
    auto screen = std::make_shared<UIView>(CGRectMake(0, 0, 320, 568));
    auto bar = std::make_shared<UISearchBar>();
    auto delegate = std::make_shared<Recorder>();
    bar->setDelegate(delegate);
    screen->addSubview(bar);
    CHECK(bar->becomeFirstResponder());  // accepted for later
    CHECK_FALSE(bar->isFirstResponder());
    CHECK(log.entries.empty());
    CHECK(delegate->calls.empty());
    window->addSubview(screen);
    CHECK(bar->isFirstResponder());
    CHECK(delegate->calls == std::vector<std::string>{"shouldBegin", "didBegin"});
    REQUIRE(log.entries.size() == 1);
    CHECK(log.entries[0].name == UIKeyboardWillShowNotification);
    // Leaving the window resigns and hides the keyboard.
    screen->removeFromSuperview();
    CHECK_FALSE(bar->isFirstResponder());
    CHECK(log.entries.back().name == UIKeyboardWillHideNotification);
    // Asked and withdrawn before entering: nothing happens.
    CHECK(bar->becomeFirstResponder());
    CHECK(bar->resignFirstResponder());
    window->addSubview(screen);
    CHECK_FALSE(bar->isFirstResponder());
    CHECK(log.entries.back().name == UIKeyboardWillHideNotification);
    time.advance(1);
}
