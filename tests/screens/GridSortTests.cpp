// Protects the sort popover of the grids: how it is dressed and shown, closing it by a second tap on the sort
// control or by a tap outside, and the chosen sort type stored per grid in lower case and asked for by the next
// grid made.
#include <doctest/doctest.h>

#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UITableView.h"
#include "screens/GridScreenFixture.h"
#include "screens/MovieViewController.h"
#include "screens/TVShowViewController.h"
#include "ui/progresshud/LOProgressHUD.h"

using gridtest::GridScreenFixture;

namespace {

std::string storedSort(const char* key) {
    return NSUserDefaults::standardUserDefaults()->stringForKey(key).value_or("(none)");
}

}  // namespace

TEST_CASE("the sort control opens the dressed popover, and a second tap or a tap outside closes it") {
    GridScreenFixture f({{"--movies", "40"}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*screen);
    auto sortButton = gridtest::viewNamed(screen->view(), "sortButton");
    REQUIRE(sortButton);

    f.tap(f.centreOf(*sortButton));
    auto popover = screen->popoverController();
    REQUIRE(popover);
    CHECK(popover->isPopoverVisible());
    CHECK(popover->delegate().get() == static_cast<FLPopoverControllerDelegate*>(screen.get()));
    CHECK(popover->passthroughViews() == std::vector<std::shared_ptr<UIView>>{sortButton});
    CHECK(popover->popoverLayoutMargins() == UIEdgeInsets{10, 10, 10, 10});
    CHECK(!popover->wantsDefaultContentAppearance());
    CHECK(popover->theme()->arrowHeight() == 13);
    CHECK(popover->theme()->arrowBase() == 25);
    CHECK(popover->popoverContentSize() == CGSizeMake(150, 176));
    CHECK(popover->inView() == sortButton);
    CHECK(popover->rect() == sortButton->bounds());
    auto sorter = std::dynamic_pointer_cast<ListSortViewController>(popover->contentViewController());
    REQUIRE(sorter);
    // The chrome is light gray, the first popover of the process included.
    const auto grey = UIColor::lightGrayColor()->CGColor();
    auto chrome = popover->backgroundView();
    REQUIRE(chrome);
    CHECK(CGColorEqualToColor(chrome->fillTopColor()->CGColor(), grey));
    CHECK(CGColorEqualToColor(chrome->fillBottomColor()->CGColor(), grey));
    CHECK(CGColorEqualToColor(chrome->outerStrokeColor()->CGColor(), grey));
    CHECK(CGColorEqualToColor(chrome->innerStrokeColor()->CGColor(), grey));

    // The sort control passes through the overlay: a second tap closes the popover.
    f.tap(f.centreOf(*sortButton));
    CHECK(!screen->popoverController());
    f.waitFor([&] { return !popover->isPopoverVisible(); }, "the popover to close");

    // A tap outside closes it through the delegate; the next tap on the control opens it again.
    f.tap(f.centreOf(*sortButton));
    REQUIRE(screen->popoverController());
    f.waitFor([&] { return screen->popoverController()->isPopoverVisible(); }, "the popover to show");
    f.tap(CGPointMake(160, 500));
    f.waitFor([&] { return !screen->popoverController(); }, "the tap outside to close the popover");
    f.tap(f.centreOf(*sortButton));
    REQUIRE(screen->popoverController());
    CHECK(screen->popoverController()->isPopoverVisible());
}

TEST_CASE("a sort choice is stored per grid in lower case, loads page 1 of it, and the next grid asks for it") {
    GridScreenFixture f({{"--movies", "40", "--shows", "40"}});
    auto movies = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*movies);
    CHECK(f.control.requests("movies").back()["type"] == "popular");
    f.tap(f.centreOf(*gridtest::viewNamed(movies->view(), "sortButton")));
    auto popover = movies->popoverController();
    REQUIRE(popover);
    auto sorter = std::dynamic_pointer_cast<ListSortViewController>(popover->contentViewController());
    REQUIRE(sorter);
    CHECK(sorter->sortByCurrent() == std::string("popular"));
    f.settle(0.3);  // the popover fades in
    auto rating = sorter->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(3, 0));
    REQUIRE(rating);
    f.tap(f.centreOf(*rating));
    CHECK(!movies->popoverController());
    CHECK(movies->moviesType() == "rating");
    CHECK(storedSort(kStateMovieFilter) == "rating");
    f.waitForPage(*movies);
    CHECK(f.control.requests("movies").back()["type"] == "rating");
    CHECK(f.control.requests("movies").back()["page"] == "1");

    // The TV grid keeps its own: nothing stored there means "popular".
    auto shows = f.show<TVShowViewController>("TVShowViewController");
    f.waitForPage(*shows);
    CHECK(f.control.requests("tvshow").back()["type"] == "popular");
    f.tap(f.centreOf(*gridtest::viewNamed(shows->view(), "sortButton")));
    REQUIRE(shows->popoverController());
    f.settle(0.3);
    auto sorter2 = std::dynamic_pointer_cast<ListSortViewController>(shows->popoverController()->contentViewController());
    REQUIRE(sorter2);
    f.tap(f.centreOf(*sorter2->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0))));
    f.waitForPage(*shows);
    CHECK(storedSort(kStateTVShowFilter) == "new");
    CHECK(storedSort(kStateMovieFilter) == "rating");

    // A later start (a fresh defaults instance over the same home) asks for the stored types.
    NSUserDefaults::resetStandardUserDefaults();
    auto again = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*again);
    CHECK(f.control.requests("movies").back()["type"] == "rating");
    // Its popover checks the stored key's row.
    f.tap(f.centreOf(*gridtest::viewNamed(again->view(), "sortButton")));
    REQUIRE(again->popoverController());
    auto checked = std::dynamic_pointer_cast<ListSortViewController>(again->popoverController()->contentViewController());
    REQUIRE(checked);
    CHECK(checked->isRowChecked(3));
    CHECK(!checked->isRowChecked(0));
    auto showsAgain = f.show<TVShowViewController>("TVShowViewController");
    f.waitForPage(*showsAgain);
    CHECK(f.control.requests("tvshow").back()["type"] == "new");

    // An empty stored type counts as missing.
    REQUIRE(NSUserDefaults::standardUserDefaults()->setObject(Value(""), kStateMovieFilter));
    auto emptied = f.show<MovieViewController>("MovieViewController");
    f.waitForPage(*emptied);
    CHECK(f.control.requests("movies").back()["type"] == "popular");
}
