// Protects the touch driver (hit test, phases, control events through a
// control's tracking) and the drag driver of scroll views (offsets announced on
// every set, dragging/tracking/decelerating flags, settling on the clock).
#include <doctest/doctest.h>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIWindow.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {
const char* eventName(UIControlEvents e) {
    switch (e) {
    case UIControlEventTouchDown: return "down";
    case UIControlEventTouchDragInside: return "drag inside";
    case UIControlEventTouchDragOutside: return "drag outside";
    case UIControlEventTouchDragEnter: return "enter";
    case UIControlEventTouchDragExit: return "exit";
    case UIControlEventTouchUpInside: return "up inside";
    case UIControlEventTouchUpOutside: return "up outside";
    case UIControlEventTouchCancel: return "cancel";
    default: return "?";
    }
}

struct Recorder : NSObject {
    std::vector<std::string> events;
    void listen(UIControl& control) {
        for (UIControlEvents e = 1; e <= UIControlEventTouchCancel; e <<= 1)
            control.addTarget(self(), [this, e](UIControl&, UIEvent*) { events.push_back(eventName(e)); }, e);
    }
};
}  // namespace

TEST_CASE("the touch driver delivers taps and drags to a button's targets by control event") {
    struct Case {
        const char* name;
        std::vector<CGPoint> path;  // began, moves..., ended
        bool cancel;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"tap", {{60, 60}, {60, 60}}, false, {"down", "up inside"}},
        {"drag within the slop stays inside",
         {{60, 60}, {150, 60}, {150, 60}},
         false,
         {"down", "drag inside", "up inside"}},
        {"drag out and lift", {{60, 60}, {300, 60}, {300, 60}}, false, {"down", "drag outside", "exit", "up outside"}},
        {"drag out and back",
         {{60, 60}, {300, 60}, {70, 70}, {70, 70}},
         false,
         {"down", "drag outside", "exit", "drag inside", "enter", "up inside"}},
        {"cancelled", {{60, 60}}, true, {"down", "cancel"}},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        auto window = visibleWindow({400, 200});
        auto button = std::make_shared<UIButton>(CGRectMake(40, 40, 60, 40));
        window->addSubview(button);
        auto recorder = std::make_shared<Recorder>();
        recorder->listen(*button);
        auto touch = window->touchBegan(c.path.front());
        REQUIRE(touch);
        CHECK(touch->view() == button);
        CHECK(button->isHighlighted());
        for (std::size_t i = 1; i + 1 < c.path.size(); ++i) window->touchMoved(touch, c.path[i]);
        if (c.cancel) window->touchCancelled(touch);
        else window->touchEnded(touch, c.path.back());
        CHECK(recorder->events == c.expected);
        CHECK_FALSE(button->isHighlighted());
        CHECK_FALSE(button->isTracking());
    }

    // Taps outside, on a disabled button, or after the target went away do nothing.
    auto window = visibleWindow({400, 200});
    auto button = std::make_shared<UIButton>(CGRectMake(40, 40, 60, 40));
    window->addSubview(button);
    auto recorder = std::make_shared<Recorder>();
    recorder->listen(*button);
    CHECK(window->tap({10, 10}));  // the window itself takes it
    button->setEnabled(false);
    CHECK(window->touchBegan({60, 60})->view() == window);
    button->setEnabled(true);
    CHECK(recorder->events.empty());
    std::weak_ptr<Recorder> gone = recorder;
    recorder.reset();
    CHECK(gone.expired());
    CHECK(window->tap({60, 60}));
    CHECK(button->actionCount(UIControlEventAllEvents) == 0);
    // A touch location converts into any view of the window.
    auto touch = window->touchBegan({70, 50});
    CHECK(touch->locationInView(button.get()) == CGPoint{30, 10});
    window->touchEnded(touch, {70, 50});
}

TEST_CASE("dragging a scroll view announces every offset and settles back on the clock") {
    VirtualTime time;
    struct Journal : UIScrollViewDelegate {
        std::vector<std::string> calls;
        void scrollViewWillBeginDragging(UIScrollView&) override { calls.push_back("willBeginDragging"); }
        void scrollViewDidEndDragging(UIScrollView&, bool decelerate) override {
            calls.push_back(decelerate ? "didEndDragging decelerating" : "didEndDragging");
        }
        void scrollViewWillBeginDecelerating(UIScrollView&) override { calls.push_back("willBeginDecelerating"); }
        void scrollViewDidEndDecelerating(UIScrollView&) override { calls.push_back("didEndDecelerating"); }
    };
    auto window = visibleWindow({320, 600});
    auto scroll = std::make_shared<UIScrollView>(CGRectMake(0, 0, 320, 600));
    window->addSubview(scroll);
    auto journal = std::make_shared<Journal>();
    scroll->setDelegate(journal);
    int offsetSets = 0, insetSets = 0, sizeSets = 0;
    auto t1 = scroll->observeValueForKey("contentOffset", [&](const std::string&) { ++offsetSets; });
    auto t2 = scroll->observeValueForKey("contentInset", [&](const std::string&) { ++insetSets; });
    auto t3 = scroll->observeValueForKey("contentSize", [&](const std::string&) { ++sizeSets; });
    scroll->setContentSize({320, 1000});
    scroll->setContentSize({320, 1000});
    scroll->setContentInset(UIEdgeInsetsMake(64, 0, 0, 0));
    scroll->setContentOffset({0, -64});
    scroll->setContentOffset({0, -64});
    CHECK(sizeSets == 2);
    CHECK(insetSets == 1);
    CHECK(offsetSets == 2);  // every set, even an unchanged one
    CHECK(scroll->minimumContentOffset() == CGPoint{0, -64});
    CHECK(scroll->maximumContentOffset() == CGPoint{0, 400});

    // Pulled past the top, released: decelerates back to the inset.
    scroll->beginDragging();
    CHECK(scroll->isTracking());
    CHECK_FALSE(scroll->isDragging());
    scroll->dragToContentOffset({0, -100});
    scroll->dragToContentOffset({0, -130});
    CHECK(scroll->isDragging());
    CHECK(scroll->contentOffset() == CGPoint{0, -130});
    CHECK(scroll->bounds().origin == CGPoint{0, -130});
    scroll->endDragging();
    CHECK_FALSE(scroll->isDragging());
    CHECK_FALSE(scroll->isTracking());
    CHECK(scroll->isDecelerating());
    time.advance(0.1);
    double midway = scroll->contentOffset().y;
    CHECK(midway > -130);
    CHECK(midway < -64);
    time.advance(kScrollViewSettleDuration);
    CHECK_FALSE(scroll->isDecelerating());
    CHECK(scroll->contentOffset() == CGPoint{0, -64});
    CHECK(journal->calls == std::vector<std::string>{"willBeginDragging", "didEndDragging decelerating",
                                                     "willBeginDecelerating", "didEndDecelerating"});

    // Released within range without velocity: no deceleration.
    journal->calls.clear();
    scroll->beginDragging();
    scroll->dragToContentOffset({0, 200});
    scroll->endDragging();
    CHECK_FALSE(scroll->isDecelerating());
    CHECK(journal->calls == std::vector<std::string>{"willBeginDragging", "didEndDragging"});
    // A flick carries it on, no further than the end.
    scroll->beginDragging();
    scroll->dragToContentOffset({0, 390});
    scroll->endDragging({0, 2000});
    time.advance(kScrollViewSettleDuration + 0.05);
    CHECK(scroll->contentOffset() == CGPoint{0, 400});
}

TEST_CASE("touches on a scroll view or its plain subviews drag its content") {
    VirtualTime time;
    auto window = visibleWindow({320, 600});
    auto scroll = std::make_shared<UIScrollView>(CGRectMake(0, 0, 320, 600));
    scroll->setContentSize({320, 1000});
    window->addSubview(scroll);
    auto row = std::make_shared<UIView>(CGRectMake(0, 300, 320, 44));
    scroll->addSubview(row);

    auto touch = window->touchBegan({100, 320});
    REQUIRE(touch);
    CHECK(touch->view() == row);  // the row passes the touch up to the scroll view
    CHECK(scroll->isTracking());
    window->touchMoved(touch, {110, 250});
    CHECK(scroll->isDragging());
    CHECK(scroll->contentOffset() == CGPoint{0, 70});  // down only: the content is no wider than the view
    window->touchMoved(touch, {110, 200});
    window->touchEnded(touch, {110, 200});
    CHECK_FALSE(scroll->isTracking());
    CHECK(scroll->contentOffset().y >= 120);
    time.advance(kScrollViewSettleDuration + 0.05);
    CHECK_FALSE(scroll->isDecelerating());
    CGPoint rest = scroll->contentOffset();
    CHECK(rest.y >= 120);
    CHECK(rest.y <= 400);

    // Pulled past the top and let go: back to the start.
    auto pull = window->touchBegan({100, 100});
    window->touchMoved(pull, {100, 100 + rest.y + 80});
    CHECK(scroll->contentOffset().y == doctest::Approx(-80));
    window->touchCancelled(pull);
    time.advance(kScrollViewSettleDuration + 0.05);
    CHECK(scroll->contentOffset() == CGPoint{0, 0});
}
