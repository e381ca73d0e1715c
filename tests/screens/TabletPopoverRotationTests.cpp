// Protects open popovers on a turning tablet, turned through the device screen's input: the sort popover
// stays upright (its rows read across the snapshot), inside the window, with its arrow on the sort button's
// new place after every turn, and the stream dialog stays upright and centred in landscape and back in portrait.
#include <doctest/doctest.h>

#include <cmath>

#include "DetailTestApp.h"
#include "ShellTestSupport.h"
#include "platform/uikit/UITableView.h"
#include "screens/GridScreenFixture.h"
#include "screens/ListSortViewController.h"
#include "screens/MovieViewController.h"

using gridtest::FixtureOptions;
using gridtest::GridScreenFixture;

namespace {

// The device turned through the device screen's input, the turn carried out to the end.
void turn(DeviceInput& input, UIDeviceOrientation orientation, const std::function<void(double)>& settle) {
    bool turned = false;
    input.rotate(orientation, [&](const DeviceInputResult&) { turned = true; });
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return turned; }, 10), "the turn to " << orientation);
    settle(0.5);
}

// The chrome as it must stand: upright (no turn of its own) and wholly inside the window.
CGRect checkUpright(const FLPopoverController& popover, const UIWindow& window) {
    auto chrome = popover.backgroundView();
    REQUIRE(chrome);
    CHECK(CGAffineTransformIsIdentity(chrome->transform()));
    const CGRect frame = chrome->convertRectToView(chrome->bounds(), nullptr);
    INFO("chrome " << frame.origin.x << ", " << frame.origin.y << " " << frame.size.width << " x " << frame.size.height
                   << " in a window of " << window.bounds().size.width << " x " << window.bounds().size.height);
    CHECK(CGRectContainsRect(window.bounds(), frame));
    return frame;
}

// A row of the content where an upright chrome shows it: the row in the chrome's own space, put at the chrome's
// place without any turn of the chrome. A chrome drawn turned shows something else there.
CGRect uprightRowInWindow(const FLPopoverBackgroundView& chrome, const UIView& row) {
    const CGRect inChrome = row.convertRectToView(row.bounds(), &chrome);
    const CGPoint centre = chrome.center();
    const CGSize size = chrome.bounds().size;
    return CGRectOffset(inChrome, centre.x - size.width / 2, centre.y - size.height / 2);
}

// The snapshot shows the sort rows upright: each row's white background at both ends of its middle line, and
// dark text across its left part.
void checkRowsRead(const CGImageRef& image, const FLPopoverController& popover) {
    auto sorter = std::dynamic_pointer_cast<ListSortViewController>(popover.contentViewController());
    REQUIRE(sorter);
    const auto cells = sorter->tableView()->visibleCells();
    REQUIRE(cells.size() == 4);
    for (const auto& cell : cells) {
        const CGRect row = uprightRowInWindow(*popover.backgroundView(), *cell);
        const double y = CGRectGetMidY(row);
        INFO("row at " << row.origin.x << ", " << row.origin.y << " " << row.size.width << " x " << row.size.height);
        CHECK(shelltest::near(shelltest::pixelAt(image, row.origin.x + 3, y), 255, 255, 255, 8));
        CHECK(shelltest::near(shelltest::pixelAt(image, CGRectGetMaxX(row) - 3, y), 255, 255, 255, 8));
        bool text = false;
        for (double x = row.origin.x + 8; x < row.origin.x + row.size.width * 0.6 && !text; x += 0.5)
            text = shelltest::pixelAt(image, x, y).r < 110;
        CHECK(text);
    }
}

}  // namespace

TEST_CASE("a tablet's sort popover stays upright, on screen and on the sort button through every turn") {
    GridScreenFixture f(FixtureOptions{{"--movies", "40"}, true, {768, 1024}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*screen);
    auto sortButton = gridtest::viewNamed(screen->view(), "sortButton");
    REQUIRE(sortButton);
    f.tap(f.centreOf(*sortButton));
    f.settle(0.5);
    auto popover = screen->popoverController();
    REQUIRE(popover);
    REQUIRE(popover->isPopoverVisible());

    // In portrait, after one turn, after a second turn, and back in portrait: placed anew each time.
    auto checkPlaced = [&](const std::string& name, bool landscape) {
        CAPTURE(name);
        REQUIRE(popover->isPopoverVisible());
        CHECK(f.window->bounds().size.width == (landscape ? 1024 : 768));
        const CGRect chrome = checkUpright(*popover, *f.window);
        const CGRect button = sortButton->convertRectToView(sortButton->bounds(), nullptr);
        auto background = popover->backgroundView();
        CHECK(background->arrowDirection() == FLArrowDirectionUp);
        const CGRect arrow = background->convertRectToView(background->arrowRect(), nullptr);
        INFO("arrow at " << CGRectGetMidX(arrow) << ", " << arrow.origin.y << "; button " << CGRectGetMidX(button)
                         << ", bottom " << CGRectGetMaxY(button));
        CHECK(std::fabs(CGRectGetMidX(arrow) - CGRectGetMidX(button)) <= 1);
        CHECK(arrow.origin.y >= CGRectGetMaxY(button) - 1);
        CHECK(arrow.origin.y <= CGRectGetMaxY(button) + 12);
        CHECK(chrome.origin.y >= CGRectGetMaxY(button) - 1);
        checkRowsRead(shelltest::screenSnapshot("tablet-sort-popover-" + name + ".png"), *popover);
    };
    auto settle = [&](double seconds) { f.settle(seconds); };
    checkPlaced("portrait", false);
    turn(f.input, UIDeviceOrientationLandscapeLeft, settle);
    checkPlaced("landscape-first-turn", true);
    turn(f.input, UIDeviceOrientationLandscapeRight, settle);
    checkPlaced("landscape-second-turn", true);
    turn(f.input, UIDeviceOrientationPortrait, settle);
    checkPlaced("portrait-again", false);
}

TEST_CASE("a tablet's stream dialog stays upright and centred in landscape and back in portrait") {
    screentest::Stage stage(true);
    auto page = stage.open(stage.firstMovie());
    stage.chooseChapter(page, 0);
    auto picker = stage.waitForDialog(page);
    auto popover = page->popoverController();
    auto window = stage.shell.window;
    for (const UIDeviceOrientation orientation : {UIDeviceOrientationLandscapeLeft, UIDeviceOrientationPortrait}) {
        CAPTURE(orientation);
        turn(stage.finger.input(), orientation, [](double) { screentest::settle(); });
        REQUIRE(popover->isPopoverVisible());
        CHECK(window->bounds().size.width == (UIDeviceOrientationIsLandscape(orientation) ? 1024 : 768));
        const CGRect chrome = checkUpright(*popover, *window);
        // Centred across the window, and down the window below the status bar.
        const CGRect bounds = window->bounds();
        CHECK(std::fabs(CGRectGetMidX(chrome) - CGRectGetMidX(bounds)) <= 2);
        CHECK(std::fabs(CGRectGetMidY(chrome) - (20 + (bounds.size.height - 20) / 2)) <= 2);
        // The dialog's first row reads upright in the snapshot: white where the upright row starts.
        auto image = screentest::snapshot(std::string("tablet-stream-dialog-") +
                                          (UIDeviceOrientationIsLandscape(orientation) ? "landscape" : "portrait"));
        auto table = picker->movieTable();
        auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
        REQUIRE(cell);
        const CGRect row = uprightRowInWindow(*popover->backgroundView(), *cell);
        CHECK(screentest::near(screentest::probe(image, row.origin.x + 4, CGRectGetMidY(row)),
                               CGPixel{255, 255, 255, 255}));
        CHECK(screentest::near(screentest::probe(image, CGRectGetMaxX(row) - 50, row.origin.y + 3),
                               CGPixel{255, 255, 255, 255}));
    }
}
