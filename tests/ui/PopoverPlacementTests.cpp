// Protects where a popover goes: the room beside the anchor, the arrow
// direction, the clamped chrome frame with its arrow offset, the keyboard lift,
// the mapping for windows in portrait coordinates and the scale-in transform.
#include <doctest/doctest.h>

#include <cmath>

#include "support/TestEnvironment.h"
#include "ui/PopoverPlacementSupport.h"
#include "ui/popover/FLPopoverArea.h"

using popovertest::Scene;

namespace {
bool sameRect(CGRect a, CGRect b) {
    auto eq = [](CGFloat x, CGFloat y) { return std::abs(x - y) < 1e-6; };
    return eq(a.origin.x, b.origin.x) && eq(a.origin.y, b.origin.y) && eq(a.size.width, b.size.width) &&
           eq(a.size.height, b.size.height);
}
std::string text(CGRect r) {
    return "(" + std::to_string(r.origin.x) + ", " + std::to_string(r.origin.y) + ", " + std::to_string(r.size.width) +
           ", " + std::to_string(r.size.height) + ")";
}
}  // namespace

TEST_CASE("a candidate area ranks by its room in tens of points and names its direction") {
    struct Row {
        FLArrowDirection direction;
        CGSize size;
        float value;
        const char* description;
    };
    const Row rows[] = {
        {FLArrowDirectionUp, {300, 150}, 30 * 15, "UP [ 300.000000 x 150.000000 ]"},
        {FLArrowDirectionDown, {301, 1}, 31 * 1, "DOWN [ 301.000000 x 1.000000 ]"},
        {FLArrowDirectionLeft, {127, 440}, 13 * 44, "LEFT [ 127.000000 x 440.000000 ]"},
        {FLArrowDirectionRight, {-13, 440}, 0, "RIGHT [ -13.000000 x 440.000000 ]"},
        {FLArrowDirectionNone, {300, 0}, 0, "NONE [ 300.000000 x 0.000000 ]"},
        {FLArrowDirectionAny, {10, 10}, 1, " [ 10.000000 x 10.000000 ]"},
    };
    for (const auto& row : rows) {
        FLPopoverArea area(row.direction, row.size);
        CAPTURE(row.description);
        CHECK(area.value() == row.value);
        CHECK(area.description() == row.description);
    }
}

TEST_CASE("the arrow direction follows the room beside the anchor") {
    Scene scene;  // 320 x 480, status bar 20, margins 10: free box x 10...310, y 30...470
    struct Row {
        const char* what;
        CGRect anchor;
        FLArrowDirection permitted;
        CGSize content;
        FLArrowDirection expected;
    };
    const Row rows[] = {
        {"near the bottom edge: the room above wins", {150, 440, 20, 20}, FLArrowDirectionAny, {150, 176},
         FLArrowDirectionDown},
        {"near the top edge: the room below wins", {150, 30, 20, 20}, FLArrowDirectionAny, {150, 176},
         FLArrowDirectionUp},
        {"near the left edge: the room to the right wins", {10, 200, 20, 20}, FLArrowDirectionAny, {150, 176},
         FLArrowDirectionLeft},
        {"near the right edge: the room to the left wins", {290, 200, 20, 20}, FLArrowDirectionAny, {150, 176},
         FLArrowDirectionRight},
        {"more room above than on any side", {150, 300, 20, 20}, FLArrowDirectionAny, {100, 100},
         FLArrowDirectionDown},
        {"a single direction is kept even without room", {150, 440, 20, 20}, FLArrowDirectionUp, {150, 176},
         FLArrowDirectionUp},
        {"a single side direction near the other edge", {290, 200, 20, 20}, FLArrowDirectionLeft, {150, 176},
         FLArrowDirectionLeft},
        {"up or down only, near the top", {150, 40, 20, 20}, FLArrowDirectionUp | FLArrowDirectionDown, {150, 176},
         FLArrowDirectionUp},
        {"too wide for every side: the largest area", {10, 200, 20, 20}, FLArrowDirectionAny, {400, 176},
         FLArrowDirectionLeft},
        {"the narrow sides skipped for the first wide enough", {10, 200, 20, 20}, FLArrowDirectionAny, {280, 176},
         FLArrowDirectionUp},
        {"none permitted with the arrows: the dialog", {150, 200, 20, 20}, FLArrowDirectionNone, {276, 220},
         FLArrowDirectionNone},
        {"nothing permitted falls to Right", {150, 200, 20, 20}, 0, {100, 100}, FLArrowDirectionRight},
        {"equal areas keep the order Down, Up", {150, 240, 20, 20}, FLArrowDirectionDown | FLArrowDirectionUp,
         {100, 100}, FLArrowDirectionDown},
        {"no room on either of two: Down", {150, 20, 20, 460}, FLArrowDirectionDown | FLArrowDirectionUp,
         {100, 100}, FLArrowDirectionDown},
        {"no room on either side: Left", {0, 200, 320, 20}, FLArrowDirectionLeft | FLArrowDirectionRight,
         {100, 100}, FLArrowDirectionLeft},
    };
    for (const auto& row : rows) {
        CAPTURE(row.what);
        auto chosen = scene.placement.arrowDirectionForRect(row.anchor, scene.root->view(), row.content, 13,
                                                             row.permitted);
        CHECK(chosen == row.expected);
    }

    // The rooms themselves, for the anchor near the left edge.
    CGRect anchor{10, 200, 20, 20};
    auto v = scene.root->view();
    CHECK(scene.placement.sizeForRect(anchor, v, 13, FLArrowDirectionDown) == CGSizeMake(300, 157));
    CHECK(scene.placement.sizeForRect(anchor, v, 13, FLArrowDirectionUp) == CGSizeMake(300, 237));
    CHECK(scene.placement.sizeForRect(anchor, v, 13, FLArrowDirectionLeft) == CGSizeMake(267, 440));
    CHECK(scene.placement.sizeForRect(anchor, v, 13, FLArrowDirectionRight) == CGSizeMake(-13, 440));
    CHECK(scene.placement.sizeForRect(anchor, v, 13, FLArrowDirectionNone) == CGSizeMake(300, 440));
    CHECK(scene.placement.sizeForRect(anchor, v, 13, 0) == CGSizeMake(0, 0));
}

TEST_CASE("the chrome frame is clamped to the free box and the arrow offset follows the anchor") {
    Scene scene;
    struct Row {
        const char* what;
        CGRect anchor;
        FLArrowDirection permitted;
        CGSize content;
        FLArrowDirection direction;
        CGRect frame;
        CGFloat offset;
    };
    const Row rows[] = {
        {"a dialog centres its panel in the free box", {155, 235, 10, 10}, FLArrowDirectionNone, {276, 220},
         FLArrowDirectionNone, {22, 140, 276, 220}, 0},
        {"above the anchor, its bottom on the anchor's top", {150, 440, 20, 20}, FLArrowDirectionAny, {150, 176},
         FLArrowDirectionDown, {85, 251, 150, 189}, 0},
        {"clamped at the top, never below 160 high", {150, 120, 20, 20}, FLArrowDirectionDown, {150, 176},
         FLArrowDirectionDown, {85, -40, 150, 160}, 0},
        {"below the anchor, cut at the bottom but kept 160 high", {150, 400, 20, 20}, FLArrowDirectionUp, {150, 176},
         FLArrowDirectionUp, {85, 420, 150, 160}, 0},
        {"left of the anchor, clamped at the left, never below 240 wide", {100, 200, 20, 20}, FLArrowDirectionRight,
         {276, 220}, FLArrowDirectionRight, {-140, 100, 240, 220}, 0},
        {"right of the anchor, cut at the right but kept 240 wide", {200, 200, 20, 20}, FLArrowDirectionLeft,
         {276, 220}, FLArrowDirectionLeft, {220, 100, 240, 220}, 0},
        {"pushed right off the left edge: negative offset", {0, 100, 20, 20}, FLArrowDirectionUp, {150, 176},
         FLArrowDirectionUp, {10, 120, 150, 189}, -75},
        {"pushed left off the right edge: positive offset", {300, 100, 20, 20}, FLArrowDirectionUp, {150, 176},
         FLArrowDirectionUp, {160, 120, 150, 189}, 75},
        {"pushed down off the top: negative offset along y", {20, 25, 20, 20}, FLArrowDirectionLeft, {150, 176},
         FLArrowDirectionLeft, {40, 30, 164, 176}, -83},
        {"pushed up off the bottom: positive offset along y", {300, 450, 20, 20}, FLArrowDirectionRight, {150, 176},
         FLArrowDirectionRight, {137, 294, 163, 176}, 78},
    };
    for (const auto& row : rows) {
        CAPTURE(row.what);
        scene.chrome->offsets.clear();
        CGRect frame = scene.place(row.anchor, row.content, row.permitted);
        CHECK(scene.chrome->arrowDirection() == row.direction);
        CAPTURE(text(frame));
        CHECK(sameRect(frame, row.frame));
        REQUIRE(scene.chrome->offsets.size() == 1);
        CHECK(scene.chrome->offsets.back() == doctest::Approx(row.offset));
        CHECK(scene.chrome->embedded == scene.placement.contentViewController);
    }
    // The chrome is asked to redraw after each placement.
    CHECK(scene.chrome->redraws == 10);
}

TEST_CASE("the drop shadow widens the free box and shifts the panel onto the anchor") {
    Scene scene;
    scene.chrome->blur = 8;
    scene.chrome->borderWidth = 6;
    scene.chrome->arrowHeightValue = 18;
    scene.chrome->shadowOffset = {0, 2};  // insets (6, 8, 10, 8)
    // Up from (150, 100, 20, 20): size (150 + 28, 176 + 16 + 12 + 18) = (178, 222); its top
    // shadow inset (6) overlaps the anchor's bottom.
    CGRect frame = scene.place({150, 100, 20, 20}, {150, 176}, FLArrowDirectionUp);
    CHECK(sameRect(frame, CGRectMake(71, 114, 178, 222)));
    // The dialog's box grows by the insets: x 2...318, y 24...480.
    frame = scene.place({155, 235, 10, 10}, {276, 220}, FLArrowDirectionNone);
    CHECK(sameRect(frame, CGRectMake(8, 128, 304, 248)));
}

TEST_CASE("a keyboard over the panel lifts it by the overlap, not above the box") {
    Scene scene;
    scene.placement.keyboardRect = CGRectMake(0, 264, 320, 216);
    // Up from (150, 100): the box ends at 254, the panel keeps 160 high: 120...280, lifted by 16.
    CGRect frame = scene.place({150, 100, 20, 20}, {150, 176}, FLArrowDirectionAny);
    CHECK(scene.chrome->arrowDirection() == FLArrowDirectionUp);
    CHECK(sameRect(frame, CGRectMake(85, 104, 150, 160)));

    SUBCASE("a taller keyboard: the lift stops at the top of the box") {
        scene.placement.keyboardRect = CGRectMake(0, 180, 320, 300);
        frame = scene.place({150, 40, 20, 20}, {150, 176});
        CHECK(sameRect(frame, CGRectMake(85, 30, 150, 160)));
    }
    SUBCASE("the delegate may change the lift") {
        CGFloat asked = 0;
        scene.placement.willTranslatePopoverWithYOffset = [&](CGFloat& y) {
            asked = y;
            y = 4;
        };
        frame = scene.place({150, 100, 20, 20}, {150, 176});
        CHECK(asked == 16);
        CHECK(sameRect(frame, CGRectMake(85, 116, 150, 160)));
    }
    SUBCASE("a delegate that ignores the keyboard keeps the panel in place") {
        scene.placement.shouldIgnoreKeyboardBounds = [] { return true; };
        frame = scene.place({150, 100, 20, 20}, {150, 176});
        CHECK(sameRect(frame, CGRectMake(85, 120, 150, 189)));
        CHECK(scene.placement.sizeForRect({150, 100, 20, 20}, scene.root->view(), 13, FLArrowDirectionUp) ==
              CGSizeMake(300, 337));
    }
}

TEST_CASE("windows in portrait coordinates map anchors into the interface's orientation") {
    struct Row {
        const char* system;
        UIInterfaceOrientation orientation;
        CGRect expected;
    };
    const Row rows[] = {
        {"7.0", UIInterfaceOrientationPortrait, {10, 20, 30, 40}},
        {"7.0", UIInterfaceOrientationPortraitUpsideDown, {280, 420, 30, 40}},
        {"7.0", UIInterfaceOrientationLandscapeLeft, {420, 10, 40, 30}},
        {"7.0", UIInterfaceOrientationLandscapeRight, {20, 280, 40, 30}},
        {"8.0", UIInterfaceOrientationPortraitUpsideDown, {10, 20, 30, 40}},
        {"8.0", UIInterfaceOrientationLandscapeLeft, {10, 20, 30, 40}},
    };
    for (const auto& row : rows) {
        Scene scene({320, 480}, row.system);
        CAPTURE(row.system);
        CAPTURE(static_cast<long>(row.orientation));
        CHECK(sameRect(FLRectInWindowForOrientation({10, 20, 30, 40}, row.orientation), row.expected));
    }
    {
        Scene scene({320, 480}, "7.0", UIInterfaceOrientationLandscapeRight);
        CHECK(FLStatusBarHeight() == 20);  // the bar's width across a portrait window
        Scene newer({480, 320}, "8.0", UIInterfaceOrientationLandscapeRight);
        CHECK(FLStatusBarHeight() == 20);
    }
}

TEST_CASE("upside down on a portrait-coordinate window the panel is turned and mirrored") {
    Scene scene({320, 480}, "7.0", UIInterfaceOrientationPortraitUpsideDown);
    // The dialog in the interface's box, then mirrored into the window and turned by pi.
    CGRect frame = scene.place({155, 235, 10, 10}, {276, 220}, FLArrowDirectionNone);
    CHECK(sameRect(frame, CGRectMake(22, 480 - 140 - 220, 276, 220)));
    auto t = scene.chrome->chromeView()->transform();
    CHECK(t.a == doctest::Approx(-1));
    CHECK(t.d == doctest::Approx(-1));
}

TEST_CASE("on rotating windows the room and the lift take the overlay and keyboard as they are") {
    // Landscape, system 8: the window is 480 x 320 in the interface's own coordinates.
    Scene scene({480, 320}, "8.0", UIInterfaceOrientationLandscapeRight);
    REQUIRE(scene.placement.ignoreOrientation);
    scene.placement.keyboardRect = CGRectMake(0, 158, 480, 162);
    // Free box x 10...470, y 30...148 (above the keyboard).
    CHECK(scene.placement.sizeForRect({230, 40, 20, 20}, scene.root->view(), 13, FLArrowDirectionUp) ==
          CGSizeMake(460, 75));
    CHECK(scene.placement.sizeForRect({230, 40, 20, 20}, scene.root->view(), 13, FLArrowDirectionLeft) ==
          CGSizeMake(470 - 250 - 13, 118));
    // Up from (230, 40): the panel keeps 160 high (60...220), lifted by the overlap to 30.
    CGRect frame = scene.place({230, 40, 20, 20}, {150, 176});
    CHECK(scene.chrome->arrowDirection() == FLArrowDirectionUp);
    CHECK(sameRect(frame, CGRectMake(165, 30, 150, 160)));
    CHECK(CGAffineTransformIsIdentity(scene.chrome->chromeView()->transform()));
}

TEST_CASE("placement touches no view before presentation") {
    Scene scene;
    auto chromeView = scene.chrome->chromeView();
    chromeView->setFrame(CGRectMake(1, 2, 3, 4));
    scene.placement.overlayView = nullptr;  // not presented
    scene.placement.popoverContentSize = {300, 400};
    scene.placement.positionPopover(true);
    CHECK(chromeView->frame() == CGRectMake(1, 2, 3, 4));
    CHECK(scene.chrome->directionSets == 0);
    CHECK(scene.chrome->redraws == 0);
    CHECK(scene.chrome->embedded == nullptr);
    // The size is kept and used once there is something to place.
    scene.placement.overlayView = scene.overlay;
    scene.placement.rect = {155, 235, 10, 10};
    scene.placement.permittedArrowDirections = FLArrowDirectionNone;
    scene.placement.positionPopover(false);
    CHECK(chromeView->frame() == CGRectMake(10, 50, 300, 400));
}

TEST_CASE("an animated placement moves the chrome from where it was over a tenth of a second") {
    Scene scene;
    auto chromeView = scene.chrome->chromeView();
    scene.place({155, 235, 10, 10}, {276, 220}, FLArrowDirectionNone);
    CGRect before = chromeView->frame();
    chromeView->clearAnimationRecords();
    scene.placement.popoverContentSize = {300, 400};
    scene.placement.positionPopover(true);
    CHECK(chromeView->frame() == CGRectMake(10, 50, 300, 400));
    auto record = chromeView->animationRecordForKey("bounds");
    REQUIRE(record);
    CHECK(record->duration == doctest::Approx(0.1));
    CHECK(std::get<CGRect>(record->fromValue).size == before.size);
}

TEST_CASE("the scale-in starts at the arrow's tip") {
    Scene scene;
    scene.place({0, 100, 20, 20}, {150, 176}, FLArrowDirectionUp);  // 150 x 189, offset -75
    struct Row {
        FLArrowDirection direction;
        CGFloat tx, ty;
    };
    const Row rows[] = {
        {FLArrowDirectionUp, -75, -94.5},
        {FLArrowDirectionDown, -75, 94.5},
        {FLArrowDirectionLeft, -75, -75},
        {FLArrowDirectionRight, 75, -75},
        {FLArrowDirectionNone, 0, 0},
    };
    for (const auto& row : rows) {
        CAPTURE(row.direction);
        auto t = scene.placement.transformForArrowDirection(row.direction);
        CHECK(t.a == doctest::Approx(0.01));
        CHECK(t.d == doctest::Approx(0.01));
        CHECK(t.tx == doctest::Approx(row.tx));
        CHECK(t.ty == doctest::Approx(row.ty));
    }
    scene.chrome->arrowHeightValue = 0;  // no arrow: scale about the middle
    auto t = scene.placement.transformForArrowDirection(FLArrowDirectionUp);
    CHECK(t.tx == 0);
    CHECK(t.ty == 0);
}
