// Protects the movie grid's road against the catalogue server: the configuration first, then page 1 of the
// stored sort and genre 0, thirty cells in the phone's three columns, each visible cell with its own title's
// poster, further pages by scrolling to the end (with a drag or the wheel, which never carries the content past
// its end), the footer gone after the last page, and no reused cell left showing another title's poster after a
// fast scroll.
#include <doctest/doctest.h>

#include <algorithm>
#include <set>

#include "imagecache/UIImageViewWebCache.h"
#include "screens/GridCells.h"
#include "screens/GridScreenFixture.h"
#include "screens/MovieCollectionCell.h"
#include "screens/MovieViewController.h"
#include "support/ReferenceImage.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/progresshud/LOProgressHUD.h"

using gridtest::GridScreenFixture;

namespace {

std::shared_ptr<MovieCollectionCell> posterCell(UICollectionView& grid, long item) {
    return std::dynamic_pointer_cast<MovieCollectionCell>(grid.cellForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0)));
}

// Whether the cell shows the poster of the record (loaded, from that record's URL).
bool showsOwnPoster(MovieCollectionCell& cell, const MoviesModel& record) {
    auto poster = cell.moviePoster();
    if (!poster || !poster->image()) return false;
    auto url = imageURL(*poster);
    static const auto placeholder = UIImage::imageNamed("movie_thumb.png");
    REQUIRE(placeholder);
    const auto shown = testsupport::comparePixels(poster->image()->CGImage(), placeholder->CGImage(), 0);
    return url && url->absoluteString() == record.moviesPoster() && !(shown.sameSize && shown.offPixels == 0) &&
           poster->accessibilityLabel() == posterAccessibilityLabel(record.title());
}

void checkPagesOfLog(const std::vector<nlohmann::json>& requests, const std::vector<std::string>& pages) {
    REQUIRE(requests.size() == pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        CAPTURE(i);
        CHECK(requests[i]["type"] == "popular");
        CHECK(requests[i]["genres"] == "0");
        CHECK(requests[i]["page"] == pages[i]);
        CHECK(requests[i]["count"] == "30");
    }
}

}  // namespace

TEST_CASE("a first start asks for the configuration, then page 1 of popular genre 0, and fills three columns with real posters") {
    GridScreenFixture f({{"--movies", "45"}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    REQUIRE(screen);
    auto grid = screen->collectionView();
    REQUIRE(grid);
    f.waitFor([&] { return screen->moviesArray().size() == 30 && !screen->isLoadItem(); }, "page 1 of the movies");

    const auto log = f.control.log();
    REQUIRE(log.size() == 2);
    CHECK(log[0]["action"] == "getversion");
    CHECK(log[1]["action"] == "movies");
    checkPagesOfLog(f.control.requests("movies"), {"1"});
    CHECK(screen->indexPage() == 1);
    CHECK(screen->isLoadMoreItem());
    CHECK(showsInfiniteScrolling(*grid));

    // Thirty records laid out in three columns of 98.6667 x 178.9867 at x = 6 + column x 104.6667.
    f.window->layoutIfNeeded();
    REQUIRE(grid->numberOfItemsInSection(0) == 30);
    CHECK(grid->frame().size.width == 320);
    gridtest::checkPhoneGridFrames(*grid, 30);

    // Every visible cell shows its own title and poster, pixel for pixel the server's image.
    const auto visible = grid->indexPathsForVisibleItems();
    REQUIRE(visible.size() >= 6);
    f.waitFor(
        [&] {
            for (const auto& path : visible)
                if (!showsOwnPoster(*posterCell(*grid, path.item()), *screen->moviesArray()[path.item()])) return false;
            return true;
        },
        "the visible posters");
    for (const auto& path : visible) {
        CAPTURE(path.item());
        auto cell = posterCell(*grid, path.item());
        const auto& record = *screen->moviesArray()[path.item()];
        CHECK(cell->movieTitle()->text() == record.title());
        auto served = gridtest::downloadImage(record.moviesPoster());
        REQUIRE(served);
        const auto difference = testsupport::comparePixels(cell->moviePoster()->image()->CGImage(), served->CGImage(), 0);
        CHECK(difference.sameSize);
        CHECK(difference.offPixels == 0);
    }
    f.waitFor([&] { return LOProgressHUD::allHUDsForView(screen->view()).empty(); }, "the overlays to go");

    // Scrolling to the end asks for page 2, the last: the footer goes.
    f.dragToEnd(*grid);
    f.waitFor([&] { return screen->moviesArray().size() == 45 && !screen->isLoadItem(); }, "page 2 of the movies");
    checkPagesOfLog(f.control.requests("movies"), {"1", "2"});
    CHECK(screen->indexPage() == 2);
    CHECK(!screen->isLoadMoreItem());
    CHECK(!showsInfiniteScrolling(*grid));
    CHECK(LOProgressHUD::allHUDsForView(screen->view()).empty());

    // With no more pages, scrolling to the end asks for nothing.
    f.dragToEnd(*grid);
    f.settle();
    checkPagesOfLog(f.control.requests("movies"), {"1", "2"});
}

TEST_CASE("after a fast scroll through ninety titles no reused cell keeps another title's poster") {
    GridScreenFixture f({{"--movies", "120"}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    auto grid = screen->collectionView();
    f.waitForPage(*screen, 30, "page 1 of the movies");
    while (screen->moviesArray().size() < 90) {
        const std::size_t before = screen->moviesArray().size();
        f.dragToNextPage(*screen);
        f.waitFor([&] { return screen->moviesArray().size() > before && !screen->isLoadItem(); }, "a further page");
    }
    f.waitFor([&] { return !grid->isDragging() && !grid->isDecelerating(); }, "the grid to come to rest");
    // Cells were reused many times over: each visible one must end on its own title's poster.
    CHECK(grid->reuseQueue().madeCount() < 45);
    f.waitFor(
        [&] {
            for (const auto& path : grid->indexPathsForVisibleItems()) {
                auto cell = posterCell(*grid, path.item());
                const auto& record = *screen->moviesArray()[path.item()];
                if (cell->movieTitle()->text() != record.title() || !showsOwnPoster(*cell, record)) return false;
            }
            return true;
        },
        "every visible cell to show its own poster");
    std::set<std::string> shown;
    for (const auto& path : grid->indexPathsForVisibleItems()) shown.insert(screen->moviesArray()[path.item()]->moviesPoster());
    CHECK(shown.size() == grid->indexPathsForVisibleItems().size());
}

TEST_CASE("the wheel stops the grid at the end of its content, where each turn asks for the next page") {
    GridScreenFixture f({{"--movies", "75"}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    REQUIRE(screen);
    auto grid = screen->collectionView();
    REQUIRE(grid);
    f.waitForPage(*screen, 30);
    // How far past its end (or before its start) the content was ever announced.
    CGFloat past = 0;
    auto token = grid->observeValueForKey("contentOffset", [&](const std::string&) {
        const CGFloat y = grid->contentOffset().y;
        past = std::max({past, y - grid->maximumContentOffset().y, grid->minimumContentOffset().y - y});
    });
    const CGPoint over = f.centreOf(*grid);
    const std::vector<std::vector<std::string>> pages{{"1", "2"}, {"1", "2", "3"}};
    const std::size_t shown[] = {60, 75};
    for (std::size_t turn = 0; turn < pages.size(); ++turn) {
        CAPTURE(turn);
        // One long turn down: the content stops at its end, where the footer asks for the next page.
        f.wheel(over, CGSizeMake(0, -20000));
        CHECK(past == 0);
        f.waitForPage(*screen, shown[turn], "the page after the wheel turn");
        checkPagesOfLog(f.control.requests("movies"), pages[turn]);
        CHECK(!grid->isDragging());
        CHECK(!grid->isDecelerating());
    }
    CHECK(!screen->isLoadMoreItem());
    // The last page is in: a turn down reaches the new end and asks for nothing; a turn up stops at the top.
    f.wheel(over, CGSizeMake(0, -20000));
    CHECK(grid->contentOffset().y == grid->maximumContentOffset().y);
    f.wheel(over, CGSizeMake(0, 40000));
    CHECK(grid->contentOffset().y == grid->minimumContentOffset().y);
    f.settle();
    CHECK(past == 0);
    checkPagesOfLog(f.control.requests("movies"), pages.back());
}
