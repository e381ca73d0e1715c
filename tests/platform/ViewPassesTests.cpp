// Protects the layout and display passes: they run at the end of a main
// run-loop pass for visible windows only, and redraw only what was marked dirty.
#include <doctest/doctest.h>

#include <algorithm>

#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"
#include "UIKitTestSupport.h"

using namespace uikittest;
using testsupport::runMainUntil;

namespace {
struct Counting : UIView {
    using UIView::UIView;
    int layouts = 0;
    int draws = 0;
    CGColorRef fill = rgb(1, 0, 0);
    void layoutSubviews() override { ++layouts; }
    void drawRect(CGRect rect) override {
        ++draws;
        auto ctx = currentDrawingContext();
        REQUIRE(ctx);
        CGContextSetFillColorWithColor(ctx, fill);
        CGContextFillRect(ctx, rect);
    }
};

struct Plain : UIView {
    using UIView::UIView;
    int layouts = 0;
    void layoutSubviews() override { ++layouts; }
};

// One pass of the main run loop, with nothing else to do.
void onePass() { runMainUntil([] { return false; }, 0.03); }
}  // namespace

TEST_CASE("end-of-pass observers run after each pass's work, in order, and not again inside themselves") {
    auto loop = NSRunLoop::mainRunLoop();
    std::vector<std::string> journal;
    bool nested = false;
    auto a = loop->addEndOfPassObserver([&] {
        journal.push_back("a");
        if (nested) {
            nested = false;
            loop->runMode(NSDefaultRunLoopMode, 0);  // a pass inside an observer runs no observers
        }
    });
    auto b = loop->addEndOfPassObserver([&] { journal.push_back("b"); });
    loop->performBlock([&] { journal.push_back("perform"); });
    REQUIRE(runMainUntil([&] { return journal.size() >= 3; }, 5));
    CHECK(std::vector<std::string>(journal.begin(), journal.begin() + 3) == std::vector<std::string>{"perform", "a", "b"});
    journal.clear();
    nested = true;
    REQUIRE(runMainUntil([&] { return !nested && journal.size() >= 2; }, 5));
    CHECK(std::vector<std::string>(journal.begin(), journal.begin() + 2) == std::vector<std::string>{"a", "b"});
    loop->removeEndOfPassObserver(a);
    journal.clear();
    onePass();
    CHECK(std::find(journal.begin(), journal.end(), "a") == journal.end());
    CHECK(std::find(journal.begin(), journal.end(), "b") != journal.end());
    loop->removeEndOfPassObserver(b);
}

TEST_CASE("layout and display passes run at the end of a main run-loop pass for visible windows only") {
    auto window = visibleWindow({100, 100});
    auto drawing = std::make_shared<Counting>(CGRectMake(0, 0, 50, 50));
    auto other = std::make_shared<Counting>(CGRectMake(50, 0, 50, 50));
    auto plain = std::make_shared<Plain>(CGRectMake(0, 50, 50, 50));
    window->addSubview(drawing);
    window->addSubview(other);
    window->addSubview(plain);

    CHECK(drawing->draws == 0);
    NSRunLoop::mainRunLoop()->performBlock([] {});
    REQUIRE(runMainUntil([&] { return drawing->draws == 1 && other->draws == 1; }, 5));
    CHECK(drawing->layouts == 1);
    CHECK(plain->layouts == 1);
    // A view without drawRect: keeps no bitmap.
    CHECK_FALSE(plain->layer()->backingImage());
    CHECK(plain->layer()->displayCount() == 0);
    CHECK(drawing->layer()->displayCount() == 1);

    // Layout alone: no redraw.
    drawing->setNeedsLayout();
    onePass();
    CHECK(drawing->layouts == 2);
    CHECK(drawing->draws == 1);

    // Only the view marked dirty redraws; snapshots reuse the cached bitmaps.
    other->setNeedsDisplay();
    onePass();
    CHECK(other->draws == 2);
    CHECK(drawing->draws == 1);
    auto first = window->snapshotImage(2);
    auto second = window->snapshotImage(2);
    CHECK(drawing->draws == 1);
    CHECK(other->draws == 2);
    CHECK(near(probe(first, 25, 25, 2), 255, 0, 0));
    CHECK(sampleimages::maxDifference(first, second) == 0);

    // Drawn content stays in place when the bounds scroll (subviews move).
    auto scrolled = std::make_shared<Counting>(CGRectMake(0, 50, 50, 50));
    scrolled->fill = rgb(0, 0, 1);
    auto inside = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    inside->setBackgroundColor(rgb(0, 1, 0));
    scrolled->addSubview(inside);
    window->addSubview(scrolled);
    CHECK(near(probe(window->snapshotImage(2), 5, 55, 2), 0, 255, 0));
    scrolled->setBounds(CGRectMake(0, -20, 50, 50));
    auto moved = window->snapshotImage(2);
    CHECK(scrolled->draws == 1);
    CHECK(near(probe(moved, 5, 55, 2), 0, 0, 255));   // own drawing where it was
    CHECK(near(probe(moved, 5, 75, 2), 0, 255, 0));   // the subview moved down
    scrolled->removeFromSuperview();

    // A change of size lays out again; with the redraw content mode it redraws too.
    other->setContentMode(UIViewContentModeRedraw);
    other->setFrame(CGRectMake(50, 0, 40, 40));
    onePass();
    CHECK(other->layouts == 2);
    CHECK(other->draws == 3);

    // Hidden windows are left alone until shown.
    window->setHidden(true);
    drawing->setNeedsDisplay();
    drawing->setNeedsLayout();
    onePass();
    CHECK(drawing->draws == 1);
    CHECK(drawing->layouts == 2);
    window->setHidden(false);
    REQUIRE(runMainUntil([&] { return drawing->draws == 2; }, 5));
    CHECK(drawing->layouts == 3);
}

TEST_CASE("layoutIfNeeded lays out marked views at once, parents before children") {
    std::vector<std::string> order;
    struct Named : UIView {
        std::string name;
        std::vector<std::string>* order;
        Named(std::string n, std::vector<std::string>* o) : name(std::move(n)), order(o) {}
        void layoutSubviews() override { order->push_back(name); }
    };
    auto root = std::make_shared<Named>("root", &order);
    auto child = std::make_shared<Named>("child", &order);
    root->addSubview(child);
    root->layoutIfNeeded();
    CHECK(order == std::vector<std::string>{"root", "child"});
    root->layoutIfNeeded();
    CHECK(order.size() == 2);
    child->setNeedsLayout();
    root->layoutIfNeeded();
    CHECK(order == std::vector<std::string>{"root", "child", "child"});
}
