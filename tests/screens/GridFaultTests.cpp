// Protects the grids against replies that come late, fail or cross: each first page supersedes what is in
// flight (a late page of an old genre never reaches the grid, and its overlay comes down at once), a failed
// further page is asked for again by the next scroll, and a pull always ends, also during a further page.
#include <doctest/doctest.h>

#include "screens/GridScreenFixture.h"
#include "screens/MovieViewController.h"
#include "screens/TVShowViewController.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/progresshud/LOProgressHUD.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

using gridtest::GridScreenFixture;
using nlohmann::json;

namespace {

// Overlays up and not on their way out.
std::size_t overlaysUp(UIView& view) {
    std::size_t up = 0;
    for (auto& hud : LOProgressHUD::allHUDsForView(view.self<UIView>()))
        if (hud->alpha() > 0.5) ++up;
    return up;
}

// A page of marked titles the grid must never show.
json stalePage(int count) {
    json films = json::array();
    for (int i = 0; i < count; ++i)
        films.push_back({{"id", 90000 + i}, {"title", "STALE " + std::to_string(i)}, {"rating", 1}, {"year", 1999},
                         {"poster", ""}, {"servername", "old"}});
    return {{"more", true}, {"films", films}};
}

std::vector<std::string> pagesAsked(const GridScreenFixture& f, const std::string& action) {
    std::vector<std::string> pages;
    for (const auto& request : f.control.requests(action)) pages.push_back(request["page"]);
    return pages;
}

struct GridKind {
    const char* scene;
    const char* action;
};
const GridKind kGrids[] = {{"MovieViewController", "movies"}, {"TVShowViewController", "tvshow"}};

}  // namespace

TEST_CASE("a late page 1 of genre 0 overtaken by a genre choice never reaches the grid, and leaves no overlay") {
    for (const GridKind& kind : kGrids) {
        const std::string scene = kind.scene;
        CAPTURE(scene);
        GridScreenFixture f({{"--movies", "90", "--shows", "90"}});
        f.control.delay(kind.action, 1, 1500);
        f.control.data(kind.action, 1, stalePage(30));
        auto screen = f.show<BrowseGridController>(kind.scene);
        f.waitFor([&] { return f.control.requests(kind.action).size() == 1; }, "page 1 of genre 0 to be asked for");
        CHECK(overlaysUp(*screen->view()) == 1);

        auto genre = std::make_shared<GenresModel>();
        genre->setGenresID(4);
        genre->setName("Comedy");
        screen->didSelectGenresModel(genre);
        CHECK(overlaysUp(*screen->view()) == 1);  // the superseded request's overlay is already on its way out
        f.waitFor([&] { return !screen->isLoadItem(); }, "the genre's page 1");
        f.settle(2.0);  // the late genre-0 reply arrives meanwhile and is dropped

        const auto requests = f.control.requests(kind.action);
        REQUIRE(requests.size() == 2);
        CHECK(requests[0]["genres"] == "0");
        CHECK(requests[1]["genres"] == "4");
        CHECK(requests[1]["page"] == "1");
        CHECK(screen->movieTitle()->text() == "Comedy");
        REQUIRE(!screen->moviesArray().empty());
        for (const auto& record : screen->moviesArray()) CHECK(record->title().rfind("STALE", 0) != 0);
        CHECK(screen->collectionView()->numberOfItemsInSection(0) == static_cast<long>(screen->moviesArray().size()));
        CHECK(LOProgressHUD::allHUDsForView(screen->view()).empty());
    }
}

TEST_CASE("a failed further page steps back, stops the footer, and the next scroll to the end asks for it again") {
    for (const GridKind& kind : kGrids) {
        const std::string scene = kind.scene;
        CAPTURE(scene);
        GridScreenFixture f({{"--movies", "75", "--shows", "75"}});
        auto screen = f.show<BrowseGridController>(kind.scene);
        auto grid = screen->collectionView();
        f.waitForPage(*screen, 30, "page 1");
        f.control.fault(kind.action, 1, "http500,delay:1000");  // fails after the finger has lifted
        f.dragToNextPage(*screen);
        f.waitFor([&] { return pagesAsked(f, kind.action).size() == 2 && !screen->isLoadItem(); }, "page 2 to fail");
        CHECK(screen->indexPage() == 1);
        CHECK(screen->moviesArray().size() == 30);
        CHECK(infiniteScrollingView(*grid)->state() == STInfiniteScrollingStateStopped);
        CHECK(showsInfiniteScrolling(*grid));

        std::string state;  // what the grid was doing when a wait ran out
        CAPTURE(state);
        const auto note = [&] {
            state = "pages " + std::to_string(pagesAsked(f, kind.action).size()) + ", footer " +
                    std::to_string(infiniteScrollingView(*grid)->state()) + ", offset " +
                    std::to_string(grid->contentOffset().y) + " of " + std::to_string(grid->maximumContentOffset().y) +
                    ", phase " + std::to_string(static_cast<int>(screen->paging().phase()));
        };
        note();
        f.dragToNextPage(*screen);
        note();
        f.waitForPage(*screen, 60, "page 2 asked for again");
        CHECK(pagesAsked(f, kind.action) == std::vector<std::string>{"1", "2", "2"});
        CHECK(screen->indexPage() == 2);
    }
}

TEST_CASE("a pull while a further page is late loads page 1, stops the spinner and drops the late page") {
    for (const GridKind& kind : kGrids) {
        const std::string scene = kind.scene;
        CAPTURE(scene);
        GridScreenFixture f({{"--movies", "75", "--shows", "75"}});
        auto screen = f.show<BrowseGridController>(kind.scene);
        auto grid = screen->collectionView();
        f.waitForPage(*screen, 30, "page 1");
        f.control.delay(kind.action, 1, 2500);
        f.dragToNextPage(*screen);
        f.waitFor([&] { return pagesAsked(f, kind.action).size() == 2; }, "page 2 to be asked for");
        REQUIRE(screen->paging().phase() == GridPaging::Phase::LoadingFurther);

        // Back to the top and pulled while page 2 is still on its way.
        f.waitFor([&] { return !grid->isDragging() && !grid->isDecelerating(); }, "the grid to come to rest");
        grid->setContentOffset(grid->minimumContentOffset());
        f.pull(*grid);
        f.waitFor([&] { return pagesAsked(f, kind.action).size() == 3; }, "the pull's page 1");
        CHECK(infiniteScrollingView(*grid)->state() == STInfiniteScrollingStateStopped);
        f.waitFor([&] { return pullToRefreshView(*grid)->state() == STPullToRefreshStateStopped && !screen->isLoadItem(); },
                  "the pull-to-refresh spinner to stop");
        f.settle(2.5);  // the late page 2 arrives and is dropped
        CHECK(pagesAsked(f, kind.action) == std::vector<std::string>{"1", "2", "1"});
        CHECK(screen->moviesArray().size() == 30);
        CHECK(screen->indexPage() == 1);
        CHECK(pullToRefreshView(*grid)->state() == STPullToRefreshStateStopped);
        CHECK(LOProgressHUD::allHUDsForView(screen->view()).empty());
    }
}

TEST_CASE("after page 1 the content leaves room to pull, and a failed page 1 stops the spinner and can be pulled again") {
    // The movie grid: a short page grows the content to the grid's height plus 50; a failed one to the view's.
    {
        GridScreenFixture f({{"--movies", "4"}});
        auto screen = f.show<MovieViewController>("MovieViewController");
        auto grid = screen->collectionView();
        f.waitForPage(*screen, 4, "a short page 1");
        CHECK(grid->contentSize().height == grid->frame().size.height + 50);
        CHECK(!showsInfiniteScrolling(*grid));

        f.control.fault("movies", 1, "http500");
        f.pull(*grid);
        f.waitFor([&] { return pagesAsked(f, "movies").size() == 2 && !screen->isLoadItem(); }, "the failed pull");
        CHECK(pullToRefreshView(*grid)->state() == STPullToRefreshStateStopped);
        CHECK(showsPullToRefresh(*grid));
        CHECK(screen->moviesArray().size() == 4);  // the records stay
        f.waitFor([&] { return LOProgressHUD::allHUDsForView(screen->view()).empty(); }, "the overlays to go");
        f.pull(*grid);
        f.waitForPage(*screen, 4, "the next pull's page 1");
        CHECK(pagesAsked(f, "movies") == std::vector<std::string>{"1", "1", "1"});
    }
    // The TV-show grid leaves the content size alone; a failed pull stops its spinner all the same.
    {
        GridScreenFixture f({{"--shows", "4"}});
        auto screen = f.show<TVShowViewController>("TVShowViewController");
        auto grid = screen->collectionView();
        f.waitForPage(*screen, 4, "a short page 1");
        CHECK(grid->contentSize().height < grid->frame().size.height);
        f.control.fault("tvshow", 1, "http500");
        f.pull(*grid);
        f.waitFor([&] { return pagesAsked(f, "tvshow").size() == 2 && !screen->isLoadItem(); }, "the failed pull");
        CHECK(pullToRefreshView(*grid)->state() == STPullToRefreshStateStopped);
        f.waitFor([&] { return LOProgressHUD::allHUDsForView(screen->view()).empty(); }, "the overlays to go");
        f.pull(*grid);
        f.waitForPage(*screen, 4, "the next pull's page 1");
        CHECK(pagesAsked(f, "tvshow").size() == 3);
    }
}
