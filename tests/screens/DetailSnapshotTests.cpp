// Writes PNG snapshots of the detail page and its pickers into build/screens-snapshots/ for a person
// to look at, and probes each for the pixels that show it is the screen it claims to be.
#include <doctest/doctest.h>

#include "DetailTestApp.h"
#include "platform/display/DeviceScene.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/ListGenresViewController.h"
#include "screens/ListSortViewController.h"
#include "screens/MainStoryboard.h"

using namespace screentest;

namespace {

const CGPixel kScreenColour{35, 35, 35, 255};
const CGPixel kWhite{255, 255, 255, 255};
const CGPixel kBlack{0, 0, 0, 255};
const CGPixel kSeparator{199, 199, 204, 255};

// The pixels of a view's middle in the snapshot (scale 2).
CGPixel middleOf(const CGImageRef& image, const UIView& view) {
    const CGRect frame = view.convertRectToView(view.bounds(), nullptr);
    return probe(image, CGRectGetMidX(frame), CGRectGetMidY(frame));
}

}  // namespace

TEST_CASE("snapshots: the detail page, its stream dialog, the favourite button off and on, the player") {
    for (const bool tablet : {false, true}) {
        CAPTURE(tablet);
        Stage stage(tablet);
        const std::string device = tablet ? "tablet" : "phone";
        auto page = stage.open(stage.firstMovie());
        const auto& out = page->outlets();
        auto poster = out.thumnailMovie.lock();
        waitFor([&] { return poster->image() && poster->image()->size().width == 240; }, "the poster");
        settle();

        auto image = snapshot("detail-" + device);
        const CGRect sheet = DeviceScene::frameInWindow(*page->view());
        if (tablet) {
            // A 540 x 620 form sheet over the dimmed shell.
            CHECK(sheet == CGRectMake(114, 202, 540, 620));
            // The tab bar's screen colour at its left edge, dimmed (35 x 0.6).
            CHECK(near(probe(image, 4, 1020), CGPixel{21, 21, 21, 255}));
        } else {
            CHECK(sheet.size.width == 320);
        }
        CHECK(probe(image, sheet.origin.x + 2, sheet.origin.y + 30) == (CGPixel{52, 52, 56, 255}));  // the header
        const CGRect body = DeviceScene::frameInWindow(*out.detailView.lock());
        CHECK(probe(image, body.origin.x + body.size.width - 4, CGRectGetMaxY(body) - 4) == kScreenColour);
        CHECK(middleOf(image, *poster) != kScreenColour);  // the poster is drawn
        const CGPixel off = middleOf(image, *out.movieFavoritiesButton.lock());

        stage.finger.tapId("movieFavoritiesButton");
        settle();
        image = snapshot("detail-" + device + "-favourite-on");
        const CGPixel on = middleOf(image, *out.movieFavoritiesButton.lock());
        CHECK(on != off);

        // The chapter row's separator: a hairline at the row's foot, from its text's margin.
        auto chapters = out.chaptersTable.lock();
        const auto separatorOfFirstRow = [&](const CGImageRef& shot) {
            const CGRect first =
                chapters->convertRectToView(chapters->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)), nullptr);
            return probe(shot, CGRectGetMidX(first), CGRectGetMaxY(first) - 0.25);
        };
        REQUIRE(!chapters->isHidden());
        CHECK(near(separatorOfFirstRow(image), kSeparator, 8));

        stage.chooseChapter(page, 0);
        auto picker = stage.waitForDialog(page);
        image = snapshot("stream-dialog-" + device);
        auto table = picker->movieTable();
        const CGRect row = table->convertRectToView(table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)), nullptr);
        CHECK(near(probe(image, row.origin.x + 4, CGRectGetMidY(row)), kWhite));  // the dialog's rows
        bool blueTick = false;  // the first row's checkmark, in the platform's tint
        for (double x = CGRectGetMaxX(row) - 40; x < CGRectGetMaxX(row); x += 0.5)
            for (double y = row.origin.y; y < CGRectGetMaxY(row); y += 0.5) {
                const CGPixel p = probe(image, x, y);
                blueTick = blueTick || (p.b > 200 && p.r < 80);
            }
        CHECK(blueTick);
        CHECK(probe(image, body.origin.x + body.size.width - 4, CGRectGetMaxY(body) - 4) != kScreenColour);  // dimmed

        stage.finger.tapId("playButton");
        waitFor([&] { return page->presentedViewController() != nullptr; }, "the player");
        settle();
        image = snapshot("player-" + device);
        const CGRect bounds = stage.device.bounds();
        CHECK(probe(image, bounds.size.width / 2, bounds.size.height - 30) == kBlack);
        stage.finger.tapId("doneButton");
        waitFor([&] { return !page->presentedViewController(); }, "the player to close");
        settle();
        image = snapshot("detail-" + device + "-after-player");
        CHECK(near(separatorOfFirstRow(image), kSeparator, 8));
    }
}

TEST_CASE("snapshots: the sort picker in its popover size and the genre picker on a phone") {
    Stage stage(false);
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    auto genres = storyboard->instantiate<ListGenresViewController>("ListGenresViewController");
    genres->setGenresIDCurrent(4);
    stage.shell.navigations[0]->pushViewController(genres, false);
    settle();
    auto image = snapshot("genre-picker-phone");
    CHECK(middleOf(image, *genres->headViewTitle()) == kScreenColour);
    auto table = genres->genresTable();
    const CGRect checkedRow =
        table->convertRectToView(table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(4, 0)), nullptr);
    CHECK(probe(image, checkedRow.origin.x + 4, CGRectGetMidY(checkedRow)) == kWhite);
    stage.shell.navigations[0]->popViewControllerAnimated(false);

    auto sort = ListSortViewController::initWithNibName();
    sort->setSortByCurrent("rating");
    sort->view()->setFrame(CGRectMake(85, 150, 150, 176));
    stage.shell.window->addSubview(sort->view());
    settle();
    image = snapshot("sort-picker");
    CHECK(probe(image, 90, 155) == kWhite);
    sort->view()->removeFromSuperview();
}
