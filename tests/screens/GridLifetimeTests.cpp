// Protects the grids' lifetimes: a screen that leaves goes away, whatever it showed (the sort popover, the genre
// picker, the detail page, the keyboard's tap, a reply still on its way), and nothing it started reaches it
// afterwards.
#include <doctest/doctest.h>

#include "platform/foundation/NSNotificationCenter.h"
#include "screens/GridScreenFixture.h"
#include "screens/MovieViewController.h"
#include "screens/SearchMovieViewController.h"
#include "screens/TVShowViewController.h"

using gridtest::FixtureOptions;
using gridtest::GridScreenFixture;
using gridtest::viewNamed;

TEST_CASE("a grid or search screen goes away with its window after popovers, pickers, pages and late replies") {
    struct Row {
        const char* scene;
        bool tablet;
    };
    for (const Row& row : {Row{"MovieViewController", false}, Row{"MovieViewController", true},
                           Row{"TVShowViewController", false}, Row{"SearchMovieViewController", false}}) {
        const std::string scene = row.scene;
        CAPTURE(scene);
        CAPTURE(row.tablet);
        std::weak_ptr<PosterGridController> gone;
        {
            GridScreenFixture f(FixtureOptions{{"--movies", "60", "--shows", "60"}, row.tablet,
                                               row.tablet ? CGSize{768, 1024} : CGSize{320, 568}});
            auto screen = f.show<PosterGridController>(scene);
            gone = screen;
            if (auto browse = std::dynamic_pointer_cast<BrowseGridController>(screen)) {
                f.waitForPage(*browse);
                // The sort popover opened and closed by a choice; the genre picker opened and cancelled.
                f.tap(f.centreOf(*viewNamed(browse->view(), "sortButton")));
                REQUIRE(browse->popoverController());
                browse->listSortMoviesByKey("New");
                f.waitForPage(*browse);
                f.tap(f.centreOf(*viewNamed(browse->view(), "genresButton")));
                f.settle(0.4);
                browse->dissmissListGenres();
                f.settle(0.4);
            } else {
                auto search = std::dynamic_pointer_cast<SearchMovieViewController>(screen);
                REQUIRE(search);
                search->searchBar()->setText("Return to");
                search->searchBarSearchButtonClicked(*search->searchBar());
                f.waitForPage(*search);
                f.tap(f.centreOf(*search->searchBar()));  // the keyboard up, its tap on the view
                REQUIRE(search->tapSingle());
            }
            // The detail page of a title, opened and closed.
            auto cell = screen->collectionView()->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(0, 0));
            if (auto search = std::dynamic_pointer_cast<SearchMovieViewController>(screen)) {
                search->searchBar()->resignFirstResponder();
                f.settle(0.3);
            }
            f.tap(f.centreOf(*cell));
            f.settle(0.5);
            if (row.tablet)
                f.navigation->dismissViewControllerAnimated(false);
            else
                f.navigation->popToViewController(screen, false);
            // A reply still on its way when the screen goes.
            const std::string action = scene == "TVShowViewController" ? "tvshow" : scene == "MovieViewController" ? "movies" : "search";
            f.control.delay(action, 1, 800);
            if (auto search = std::dynamic_pointer_cast<SearchMovieViewController>(screen))
                search->searchBarSearchButtonClicked(*search->searchBar());
            else
                f.pull(*screen->collectionView());
            f.waitFor([&] { return screen->isLoadItem(); }, "a request on its way");
            screen.reset();
        }
        GridScreenFixture after;  // runs the main loop for a while with another window
        after.settle(1.2);         // the late reply arrives meanwhile
        CHECK(gone.expired());
    }
}
