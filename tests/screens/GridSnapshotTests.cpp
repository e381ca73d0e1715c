// Snapshots of the grids and search as the device screen shows them, written to build/screens-snapshots for a
// person to look at, each checked by pixel probes: the phone grid of real posters with its header and tab bar,
// mid-pull with the arrow, the spinning footer, the sort popover and the genre picker, the update alert, the
// tablet grid in portrait and landscape, the TV grid, and search with its keyboard, alert and results.
#include <doctest/doctest.h>

#include "ShellTestSupport.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UITableView.h"
#include "screens/GridScreenFixture.h"
#include "screens/ListGenresViewController.h"
#include "screens/ListSortViewController.h"
#include "screens/MovieCollectionCell.h"
#include "screens/MovieViewController.h"
#include "screens/SearchMovieViewController.h"
#include "screens/TVShowViewController.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/progresshud/LOProgressHUD.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

using gridtest::FixtureOptions;
using gridtest::GridScreenFixture;
using shelltest::near;
using shelltest::pixelAt;
using shelltest::screenSnapshot;

namespace {

constexpr int kScreen = 35;  // the screen colour's channels

bool isScreenColour(const CGPixel& p) { return near(p, kScreen, kScreen, kScreen, 4); }

// Waits for the records, the overlays to go and every visible cell's poster to arrive.
void waitForPosters(GridScreenFixture& f, PosterGridController& screen) {
    f.waitForPage(screen, std::nullopt, "the records");
    auto grid = screen.collectionView();
    f.waitFor(
        [&] {
            for (auto& cell : grid->visibleCells()) {
                auto poster = std::dynamic_pointer_cast<PosterCollectionCell>(cell)->moviePoster();
                if (!poster->image() || poster->image()->size().width < 200) return false;  // the placeholder is 100 wide
            }
            return true;
        },
        "the visible posters");
    f.settle(0.4);  // slides and fades come to rest
}

// The snapshot shows the cell's own poster: its middle in the frame has the served image's colour there.
void checkPosterShown(const CGImageRef& frame, UICollectionViewCell& cell, const std::string& posterURL) {
    auto served = gridtest::downloadImage(posterURL);
    REQUIRE(served);
    auto poster = std::dynamic_pointer_cast<PosterCollectionCell>(cell.self<UICollectionViewCell>())->moviePoster();
    const CGRect box = poster->convertRectToView(poster->bounds(), nullptr);
    for (double fx : {0.3, 0.7})
        for (double fy : {0.15, 0.5}) {
            const CGPixel shown = pixelAt(frame, box.origin.x + box.size.width * fx, box.origin.y + box.size.height * fy);
            const CGPixel source = served->CGImage()->pixelAt(static_cast<std::size_t>(240 * fx),
                                                              static_cast<std::size_t>(360 * fy));
            CHECK(near(shown, source.r, source.g, source.b, 24));
        }
}

struct BundleVersion {
    explicit BundleVersion(const std::string& version)
        : previous(NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleVersion").stringValue()) {
        NSBundle::mainBundle()->infoDictionary().setObject("CFBundleVersion", Value(version));
    }
    ~BundleVersion() { NSBundle::mainBundle()->infoDictionary().setObject("CFBundleVersion", Value(previous)); }
    std::string previous;
};

}  // namespace

TEST_CASE("snapshots of the phone movie grid: posters, mid-pull, the spinning footer, the sort popover, the genre picker") {
    GridScreenFixture f({{"--movies", "75"}});
    REQUIRE(NSUserDefaults::standardUserDefaults()->setObject(Value("rating"), kStateMovieFilter));
    auto screen = f.show<MovieViewController>("MovieViewController");
    auto grid = screen->collectionView();
    waitForPosters(f, *screen);

    // Three columns of real posters under the header, the tab bar below.
    CGImageRef image = screenSnapshot("grid-movies-phone.png");
    CHECK(isScreenColour(pixelAt(image, 30, 30)));     // header
    CHECK(isScreenColour(pixelAt(image, 3, 300)));     // the grid's inset
    CHECK(isScreenColour(pixelAt(image, 107.5, 300)));  // between the first two columns
    const CGPixel tabBar = pixelAt(image, 160, 540);
    CHECK(tabBar.a == 255);
    for (long item = 0; item < 6; ++item)
        checkPosterShown(image, *grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0)),
                         screen->moviesArray()[item]->moviesPoster());

    // Mid-pull, past the threshold: the arrow and "Release to refresh..." above the first row.
    grid->beginDragging();
    grid->dragToContentOffset(CGPointMake(0, -90));
    f.window->layoutIfNeeded();
    auto header = pullToRefreshView(*grid);
    REQUIRE(header);
    CHECK(header->state() == STPullToRefreshStateTriggered);
    image = screenSnapshot("grid-movies-pull.png");
    const CGRect arrow = header->arrow()->convertRectToView(header->arrow()->bounds(), nullptr);
    bool arrowDrawn = false;
    for (CGFloat y = arrow.origin.y; y < CGRectGetMaxY(arrow); y += 2)
        arrowDrawn |= !isScreenColour(pixelAt(image, CGRectGetMidX(arrow), y));
    CHECK(arrowDrawn);
    grid->endDragging();
    waitForPosters(f, *screen);

    // The footer spinning while a late page 2 is on its way.
    f.control.delay("movies", 1, 4000);
    f.dragToNextPage(*screen);
    f.waitFor([&] { return !grid->isDragging() && !grid->isDecelerating(); }, "the grid to come to rest");
    auto footer = infiniteScrollingView(*grid);
    REQUIRE(footer->state() == STInfiniteScrollingStateLoading);
    image = screenSnapshot("grid-movies-footer.png");
    auto spinner = footer->activityIndicatorView();
    CHECK(spinner->isAnimating());
    const CGRect spinnerBox = spinner->convertRectToView(spinner->bounds(), nullptr);
    CHECK(spinnerBox.origin.y < 519);  // above the tab bar
    bool spinnerDrawn = false;
    for (CGFloat x = spinnerBox.origin.x; x < CGRectGetMaxX(spinnerBox); x += 1)
        spinnerDrawn |= pixelAt(image, x, CGRectGetMidY(spinnerBox)).r > 150;  // white spokes
    CHECK(spinnerDrawn);
    f.waitFor([&] { return !screen->isLoadItem(); }, "the late page 2");
    grid->setContentOffset(grid->minimumContentOffset());
    f.settle(0.5);

    // The sort popover with its arrow under the control and the stored key checked.
    auto sortButton = gridtest::viewNamed(screen->view(), "sortButton");
    f.tap(f.centreOf(*sortButton));
    f.settle(0.5);
    auto popover = screen->popoverController();
    REQUIRE(popover);
    auto sorter = std::dynamic_pointer_cast<ListSortViewController>(popover->contentViewController());
    REQUIRE(sorter);
    CHECK(sorter->isRowChecked(3));
    image = screenSnapshot("grid-movies-sort-popover.png");
    const CGRect chrome = popover->backgroundView()->convertRectToView(popover->backgroundView()->bounds(), nullptr);
    CHECK(chrome.origin.y >= CGRectGetMaxY(sortButton->convertRectToView(sortButton->bounds(), nullptr)) - 1);
    CHECK(near(pixelAt(image, CGRectGetMidX(sortButton->convertRectToView(sortButton->bounds(), nullptr)),
                       chrome.origin.y + 10),
               170, 170, 170, 40));  // the light gray arrow under the control
    f.tap(f.centreOf(*sortButton));
    f.settle(0.5);

    // The genre picker pushed over the grid.
    f.tap(f.centreOf(*gridtest::viewNamed(screen->view(), "genresButton")));
    f.settle(0.6);
    auto picker = std::dynamic_pointer_cast<ListGenresViewController>(f.navigation->topViewController());
    REQUIRE(picker);
    image = screenSnapshot("grid-movies-genre-picker.png");
    auto firstRow = picker->genresTable()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    REQUIRE(firstRow);
    CHECK(near(pixelAt(image, 160, CGRectGetMidY(firstRow->convertRectToView(firstRow->bounds(), nullptr)) - 15),
               255, 255, 255, 8));  // white rows
}

TEST_CASE("snapshot of the update alert over the movie grid") {
    BundleVersion bundle("1.9");
    testsupport::TempHome scratch;
    const std::string path = scratch.path() + "/configuration.json";
    std::ofstream(path) << R"({"AppVersion": "1.10", "AppLink": "http://127.0.0.1:9/update", "AdvType": 0})";
    GridScreenFixture f({{"--movies", "40", "--config-json", path}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    waitForPosters(f, *screen);
    REQUIRE(UIAlertView::visibleAlerts().size() == 1);
    CGImageRef image = screenSnapshot("grid-movies-update-alert.png");
    CHECK(pixelAt(image, 160, 284).r > 200);  // the alert's box
    CHECK(pixelAt(image, 30, 30).r < kScreen - 5);  // the header dimmed behind it
}

TEST_CASE("snapshots of the tablet grid in portrait and landscape") {
    GridScreenFixture f(FixtureOptions{{"--movies", "40"}, true, {768, 1024}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    auto grid = screen->collectionView();
    waitForPosters(f, *screen);
    CGImageRef image = screenSnapshot("grid-movies-tablet-portrait.png");
    for (long item = 0; item < 5; ++item)
        checkPosterShown(image, *grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0)),
                         screen->moviesArray()[item]->moviesPoster());

    bool turned = false;
    f.input.rotate(UIDeviceOrientationLandscapeLeft, [&](const DeviceInputResult&) { turned = true; });
    f.waitFor([&] { return turned; }, "the rotation");
    f.settle(0.5);
    waitForPosters(f, *screen);
    image = screenSnapshot("grid-movies-tablet-landscape.png");
    for (long item = 0; item < 6; ++item)
        checkPosterShown(image, *grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0)),
                         screen->moviesArray()[item]->moviesPoster());
}

TEST_CASE("snapshot of the TV-show grid") {
    GridScreenFixture f({{"--shows", "40"}});
    auto screen = f.show<TVShowViewController>("TVShowViewController");
    waitForPosters(f, *screen);
    CGImageRef image = screenSnapshot("grid-tvshows-phone.png");
    CHECK(isScreenColour(pixelAt(image, 30, 30)));
    for (long item = 0; item < 3; ++item)
        checkPosterShown(image, *screen->collectionView()->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0)),
                         screen->moviesArray()[item]->moviesPoster());
}

TEST_CASE("snapshots of search: the keyboard up, the short-keyword alert, the results") {
    GridScreenFixture f({{"--movies", "90", "--shows", "30"}});
    auto screen = f.show<SearchMovieViewController>("SearchMovieViewController");
    auto bar = screen->searchBar();
    f.waitFor([&] { return bar->isFirstResponder(); }, "the keyboard at load");
    f.type("Return");
    CGImageRef image = screenSnapshot("search-keyboard.png");
    CHECK(isScreenColour(pixelAt(image, 30, 30)));
    CHECK(!isScreenColour(pixelAt(image, 160, 86)));  // the search field

    f.pressReturn();  // six characters
    REQUIRE(UIAlertView::visibleAlerts().size() == 1);
    image = screenSnapshot("search-short-keyword-alert.png");
    CHECK(pixelAt(image, 160, 284).r > 200);
    REQUIRE(UIAlertView::pressButton("OK"));

    bar->setText("Return to");
    screen->searchBarSearchButtonClicked(*bar);
    waitForPosters(f, *screen);
    image = screenSnapshot("search-results.png");
    for (long item = 0; item < 3; ++item)
        checkPosterShown(image, *screen->collectionView()->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0)),
                         screen->moviesArray()[item]->moviesPoster());
}
