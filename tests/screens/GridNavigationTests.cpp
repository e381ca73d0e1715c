// Protects where the grids lead: the genre picker (pushed on a phone, in a popover on a tablet) and what a
// choice or a cancel does, the search screen, the detail page of a tapped cell (pushed on a phone, presented as
// a form sheet on a tablet), and the slide of cells that come into view while the grid is dragged.
#include <doctest/doctest.h>

#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIPopoverController.h"
#include "platform/uikit/UITableView.h"
#include "screens/DetailMoviesViewController.h"
#include "screens/GridScreenFixture.h"
#include "screens/ListGenresViewController.h"
#include "screens/MovieViewController.h"
#include "screens/SearchMovieViewController.h"
#include "screens/TVShowViewController.h"
#include "ui/progresshud/LOProgressHUD.h"

using gridtest::FixtureOptions;
using gridtest::GridScreenFixture;

namespace {

// The row of the genre named so, scrolled into view.
std::shared_ptr<UITableViewCell> genreRow(ListGenresViewController& picker, const std::string& name) {
    const auto& genres = picker.genresArray();
    for (std::size_t row = 0; row < genres.size(); ++row) {
        if (genres[row]->name() != name) continue;
        const auto path = NSIndexPath::indexPathForRow(static_cast<long>(row), 0);
        picker.genresTable()->scrollToRowAtIndexPath(path, UITableViewScrollPositionMiddle, false);
        picker.genresTable()->layoutIfNeeded();
        return picker.genresTable()->cellForRowAtIndexPath(path);
    }
    return nullptr;
}

}  // namespace

TEST_CASE("on a phone the genre picker is pushed, and a choice pops it, names the genre and loads its page 1") {
    for (const char* scene : {"MovieViewController", "TVShowViewController"}) {
        CAPTURE(std::string(scene));
        GridScreenFixture f({{"--movies", "60", "--shows", "60"}});
        auto screen = f.show<BrowseGridController>(scene);
        f.waitForPage(*screen);
        const std::string action = std::string(scene) == "MovieViewController" ? "movies" : "tvshow";

        // The back button cancels: the picker goes and nothing is asked for.
        f.tap(f.centreOf(*gridtest::viewNamed(screen->view(), "genresButton")));
        f.settle(0.1);
        auto picker = std::dynamic_pointer_cast<ListGenresViewController>(f.navigation->topViewController());
        REQUIRE(picker);
        CHECK(picker->delegate().get() == static_cast<ListGenresViewDelegate*>(screen.get()));
        CHECK(picker->genresIDCurrent() == 0);
        f.tap(f.centreOf(*picker->backButton()));
        f.settle(0.1);
        CHECK(f.navigation->topViewController() == screen);
        CHECK(f.control.requests(action).size() == 1);

        // A genre: the picker goes, the header names it, page 1 of it comes.
        f.tap(f.centreOf(*gridtest::viewNamed(screen->view(), "genresButton")));
        f.settle(0.1);
        picker = std::dynamic_pointer_cast<ListGenresViewController>(f.navigation->topViewController());
        REQUIRE(picker);
        auto row = genreRow(*picker, "Drama");
        REQUIRE(row);
        f.tap(f.centreOf(*row));
        f.settle(0.1);
        CHECK(f.navigation->topViewController() == screen);
        CHECK(screen->movieTitle()->text() == "Drama");
        CHECK(screen->moviesGenres() != 0);
        f.waitForPage(*screen);
        CHECK(f.control.requests(action).back()["genres"] == std::to_string(screen->moviesGenres()));
        CHECK(f.control.requests(action).back()["page"] == "1");
        CHECK(!screen->popoverIPad());

        // The next picker marks the genre in force.
        f.tap(f.centreOf(*gridtest::viewNamed(screen->view(), "genresButton")));
        f.settle(0.1);
        picker = std::dynamic_pointer_cast<ListGenresViewController>(f.navigation->topViewController());
        REQUIRE(picker);
        CHECK(picker->genresIDCurrent() == screen->moviesGenres());
    }
}

TEST_CASE("on a tablet the genre picker shows in a popover from the genre control, closed by a choice or a cancel") {
    GridScreenFixture f(FixtureOptions{{"--movies", "60"}, true, {768, 1024}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*screen);
    auto genresButton = gridtest::viewNamed(screen->view(), "genresButton");

    f.tap(f.centreOf(*genresButton));
    auto popover = screen->popoverIPad();
    REQUIRE(popover);
    CHECK(popover->isPopoverVisible());
    CHECK(f.navigation->topViewController() == screen);
    auto picker = std::dynamic_pointer_cast<ListGenresViewController>(popover->contentViewController());
    REQUIRE(picker);
    f.settle(0.1);
    f.tap(f.centreOf(*picker->cancelButton()));
    f.waitFor([&] { return !popover->isPopoverVisible(); }, "the cancel to close the popover");
    CHECK(f.control.requests("movies").size() == 1);

    f.tap(f.centreOf(*genresButton));
    popover = screen->popoverIPad();
    REQUIRE(popover);
    picker = std::dynamic_pointer_cast<ListGenresViewController>(popover->contentViewController());
    REQUIRE(picker);
    f.settle(0.1);
    auto row = genreRow(*picker, "Animation");
    REQUIRE(row);
    f.tap(f.centreOf(*row));
    f.waitFor([&] { return !popover->isPopoverVisible(); }, "the choice to close the popover");
    f.waitForPage(*screen);
    CHECK(screen->movieTitle()->text() == "Animation");
    CHECK(f.control.requests("movies").back()["genres"] == std::to_string(screen->moviesGenres()));
}

TEST_CASE("the search control pushes the search screen, and a tapped cell opens its detail page as the device wants") {
    for (bool tablet : {false, true}) {
        CAPTURE(tablet);
        GridScreenFixture f(FixtureOptions{{"--movies", "60"}, tablet, tablet ? CGSize{768, 1024} : CGSize{320, 568}});
        auto screen = f.show<MovieViewController>("MovieViewController");
        f.waitForPage(*screen);

        auto grid = screen->collectionView();
        auto cell = grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(4, 0));
        REQUIRE(cell);
        f.tap(f.centreOf(*cell));
        f.settle(0.1);
        std::shared_ptr<DetailMoviesViewController> detail;
        if (tablet) {
            detail = std::dynamic_pointer_cast<DetailMoviesViewController>(f.navigation->presentedViewController());
            CHECK(f.navigation->topViewController() == screen);
        } else {
            detail = std::dynamic_pointer_cast<DetailMoviesViewController>(f.navigation->topViewController());
        }
        REQUIRE(detail);
        CHECK(detail->movieCurrent() == screen->moviesArray()[4]);
        CHECK(detail->modalPresentationStyle() == UIModalPresentationFormSheet);
        if (tablet) {
            f.navigation->dismissViewControllerAnimated(false);
        } else {
            f.navigation->popViewControllerAnimated(false);
        }

        f.tap(f.centreOf(*gridtest::viewNamed(screen->view(), "searchButton")));
        f.settle(0.1);
        CHECK(std::dynamic_pointer_cast<SearchMovieViewController>(f.navigation->topViewController()));
    }
}

TEST_CASE("cells made while the grid is dragged slide in, cells made at rest do not") {
    GridScreenFixture f({{"--movies", "90"}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*screen);
    auto grid = screen->collectionView();
    for (auto& cell : grid->visibleCells()) CHECK(!cell->animationRecordForKey("transform"));

    // Cells that come into view during the drag see the grid dragging.
    std::set<UICollectionViewCell*> before;
    for (auto& cell : grid->visibleCells()) before.insert(cell.get());
    const CGRect frame = grid->convertRectToView(grid->bounds(), nullptr);
    f.drag(CGPointMake(160, CGRectGetMaxY(frame) - 30), CGSizeMake(0, -300));
    std::size_t slid = 0;
    for (auto& path : grid->indexPathsForVisibleItems()) {
        auto cell = grid->cellForItemAtIndexPath(path);
        if (before.count(cell.get())) continue;
        const auto record = cell->animationRecordForKey("transform");
        REQUIRE(record);
        CHECK(record->duration == doctest::Approx(0.3));
        CHECK(CGAffineTransformIsIdentity(cell->transform()));
        ++slid;
    }
    CHECK(slid >= 3);
}

TEST_CASE("an outside tap recogniser closes what the navigation controller presents, only for taps outside it") {
    GridScreenFixture f(FixtureOptions{{"--movies", "40"}, true, {768, 1024}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*screen);
    auto cell = screen->collectionView()->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(0, 0));
    REQUIRE(cell);
    f.tap(f.centreOf(*cell));
    f.settle(0.5);
    auto sheet = f.navigation->presentedViewController();
    REQUIRE(sheet);

    // The screen installs no such recogniser itself; one put on the window calls tapBehindDetected.
    auto weak = screen->weakSelf<MovieViewController>();
    auto recogniser = std::make_shared<UITapGestureRecognizer>(screen, [weak](UIGestureRecognizer& r) {
        if (auto s = weak.lock()) s->tapBehindDetected(r);
    });
    f.window->addGestureRecognizer(recogniser);
    const CGRect inside = sheet->view()->convertRectToView(sheet->view()->bounds(), nullptr);
    recogniser->fireWithState(UIGestureRecognizerStateEnded, CGPointMake(CGRectGetMidX(inside), CGRectGetMidY(inside)));
    f.settle(0.2);
    CHECK(f.navigation->presentedViewController() == sheet);
    recogniser->fireWithState(UIGestureRecognizerStateChanged, CGPointMake(5, 5));  // not ended: nothing
    CHECK(f.navigation->presentedViewController() == sheet);
    recogniser->fireWithState(UIGestureRecognizerStateEnded, CGPointMake(5, 5));
    f.waitFor([&] { return !f.navigation->presentedViewController(); }, "the sheet to close");
    CHECK(recogniser->view() == nullptr);  // taken off the window
}
