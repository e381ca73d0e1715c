// The favourites screen in the application's tab shell with the real object store and the catalogue server's
// posters: newest first in the poster cells, the grid's layout table, the detail page opened from a cell, the
// refresh pin on tablets, the slide of cells made while scrolling, and favourites made on the detail page.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "DetailTestApp.h"
#include "LibraryTestApp.h"
#include "ShellTestSupport.h"
#include "core/NLRestClient.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UICollectionViewFlowLayout.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "screens/DetailMoviesViewController.h"
#include "screens/FavoritesViewController.h"
#include "screens/MovieCollectionCell.h"
#include "ui/progresshud/LOProgressHUD.h"

using librarytests::LibraryApp;
using testsupport::runMainUntil;

namespace {

// A favourite as the detail page stores it.
std::shared_ptr<MoviesFavoritiesModel> storeFavorite(LibraryApp& app, const Value& film) {
    auto context = app.delegate->managedObjectContext();
    auto record = std::dynamic_pointer_cast<MoviesFavoritiesModel>(
        NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", context));
    REQUIRE(record);
    REQUIRE(record->setMovieID(film["id"]));
    record->setTitle(film["title"].stringValue());
    record->setMoviesPoster(film["poster"].stringValue());
    REQUIRE(record->setMovieRating(film["rating"]));
    REQUIRE(record->setMovieYear(film["year"]));
    REQUIRE(context->save(nullptr));
    return record;
}

// The first page of popular movies from the catalogue, through the application's client.
Value firstPage(const screentest::Catalogue& catalogue) {
    NLRestClient::sharedClient()->setBaseURL(catalogue.baseURL());
    return screentest::fetchThroughClient(
        [](auto ok, auto fail) { NLRestClient::sharedClient()->getListMoviesWithType("popular", 0, 1, ok, fail); },
        "the first page of popular movies")["films"];
}

std::shared_ptr<FavoritesViewController> showFavorites(LibraryApp& app) {
    app.showTab(librarytests::kFavoritesTab);
    auto screen = app.favorites();
    REQUIRE(screen);
    REQUIRE(screen->isViewVisible());
    app.layout();
    return screen;
}

std::vector<std::string> cellTitles(const UICollectionView& grid) {
    std::vector<std::string> titles;
    for (const auto& cell : grid.visibleCells())
        if (auto poster = std::dynamic_pointer_cast<MovieCollectionCell>(cell)) titles.push_back(poster->movieTitle()->text());
    return titles;
}

// Waits until every visible cell shows its poster from the server (240 points wide) instead of the placeholder.
void waitForPosters(LibraryApp& app, const UICollectionView& grid) {
    REQUIRE_MESSAGE(runMainUntil(
                        [&] {
                            for (const auto& cell : grid.visibleCells()) {
                                auto poster = std::dynamic_pointer_cast<MovieCollectionCell>(cell)->moviePoster();
                                if (!poster->image() || poster->image()->size().width != 240) return false;
                            }
                            return true;
                        },
                        20),
                    "the posters to load");
    app.layout();
}

// Waits until the page has its detail and its overlay is gone.
void waitForDetail(DetailMoviesViewController& page) {
    REQUIRE_MESSAGE(runMainUntil([&] { return page.detailMovie() && !LOProgressHUD::HUDForView(page.view()); }, 20),
                    "the detail reply");
    screentest::settle();
}

}  // namespace

TEST_SUITE("favourites screen") {

TEST_CASE("favourites show newest first in the poster cells, rebuilt at each showing, and none shows an empty grid") {
    LibraryApp app;
    screentest::Catalogue catalogue;
    const Value films = firstPage(catalogue);
    auto screen = showFavorites(app);
    auto grid = screen->collectionView.lock();
    REQUIRE(grid);
    CHECK(grid->numberOfItemsInSection(0) == 0);
    CGImageRef empty = shelltest::screenSnapshot("favorites-empty.png");
    CHECK(shelltest::near(shelltest::pixelAt(empty, 160, 300), 35, 35, 35));
    CHECK(shelltest::near(shelltest::pixelAt(empty, 60, 150), 35, 35, 35));

    for (long i = 0; i < 3; ++i) storeFavorite(app, films[static_cast<std::size_t>(i)]);
    CHECK(grid->numberOfItemsInSection(0) == 0);  // not before the tab shows again
    app.showTab(0);
    showFavorites(app);
    REQUIRE(screen->moviesFavorites().size() == 3);
    CHECK(cellTitles(*grid) == std::vector<std::string>{films[2]["title"].stringValue(), films[1]["title"].stringValue(),
                                                        films[0]["title"].stringValue()});
    auto first = grid->visibleCells().front();
    CHECK(first->frame().size.width == doctest::Approx(98.6667).epsilon(0.0001));
    CHECK(first->frame().origin.x == doctest::Approx(6));
    waitForPosters(app, *grid);
    CGImageRef image = shelltest::screenSnapshot("favorites-phone.png");
    CHECK(shelltest::near(shelltest::pixelAt(image, 3, 150), 35, 35, 35));  // the grid's inset
    CHECK_FALSE(shelltest::near(shelltest::pixelAt(image, 55, 140), 35, 35, 35));  // a poster
}

TEST_CASE("the grid's layout: columns, inset and line spacing by device and orientation") {
    struct Case {
        bool tablet;
        UIInterfaceOrientation orientation;
        int columns;
        double inset, line;
        double side;
    };
    for (const Case& c : std::vector<Case>{{false, UIInterfaceOrientationPortrait, 3, 6, 6, 320},
                                           {false, UIInterfaceOrientationLandscapeLeft, 5, 6, 6, 568},
                                           {true, UIInterfaceOrientationPortraitUpsideDown, 5, 10, 15, 768},
                                           {true, UIInterfaceOrientationLandscapeRight, 6, 10, 15, 1024}}) {
        CAPTURE(c.tablet);
        CAPTURE(c.orientation);
        LibraryApp app(c.tablet);
        auto screen = showFavorites(app);
        screen->willRotateToInterfaceOrientation(c.orientation, 0);
        auto layout = std::dynamic_pointer_cast<UICollectionViewFlowLayout>(screen->collectionView.lock()->collectionViewLayout());
        REQUIRE(layout);
        const float width = (static_cast<float>(c.side) - static_cast<float>(c.inset) * static_cast<float>(c.columns + 1)) /
                            static_cast<float>(c.columns);
        CHECK(layout->itemSize().width == doctest::Approx(width));
        CHECK(layout->itemSize().height == doctest::Approx(width * 1.51 + 30));
        CHECK(layout->sectionInset().top == c.inset);
        CHECK(layout->sectionInset().left == c.inset);
        CHECK(layout->minimumLineSpacing() == c.line);
        CHECK(layout->minimumInteritemSpacing() == 0.5);
        CHECK(layout->scrollDirection() == UICollectionViewScrollDirectionVertical);
    }
}

TEST_CASE("a tapped favourite opens its detail page: pushed on a phone, a form sheet on a tablet") {
    for (bool tablet : {false, true}) {
        CAPTURE(tablet);
        LibraryApp app(tablet);
        screentest::Catalogue catalogue;
        const Value films = firstPage(catalogue);
        storeFavorite(app, films[0]);
        auto screen = showFavorites(app);
        auto grid = screen->collectionView.lock();
        REQUIRE(grid->visibleCells().size() == 1);
        if (tablet) {
            waitForPosters(app, *grid);
            CGImageRef image = shelltest::screenSnapshot("favorites-tablet.png");
            CHECK(shelltest::near(shelltest::pixelAt(image, 5, 300), 35, 35, 35));
            CHECK_FALSE(shelltest::near(shelltest::pixelAt(image, 80, 150), 35, 35, 35));
        }
        CHECK(app.tap(LibraryApp::centreOf(*grid->visibleCells().front())));
        auto navigation = app.navigations[librarytests::kFavoritesTab];
        std::shared_ptr<DetailMoviesViewController> page;
        if (tablet) {
            page = std::dynamic_pointer_cast<DetailMoviesViewController>(navigation->presentedViewController());
        } else {
            page = std::dynamic_pointer_cast<DetailMoviesViewController>(navigation->topViewController());
        }
        REQUIRE(page);
        CHECK(page->modalPresentationStyle() == UIModalPresentationFormSheet);
        auto movie = page->movieCurrent();
        REQUIRE(movie);
        CHECK(movie->movieID() == films[0]["id"].intValue());
        CHECK(movie->title() == films[0]["title"].stringValue());
        CHECK(movie->moviesPoster() == films[0]["poster"].stringValue());
        CHECK(movie->movieRating() == doctest::Approx(films[0]["rating"].floatValue()));
        CHECK(movie->movieYear() == static_cast<std::uint32_t>(films[0]["year"].intValue()));
        REQUIRE_MESSAGE(runMainUntil([&] { return page->detailMovie() != nullptr; }, 20), "the detail reply");
    }
}

TEST_CASE("the refresh notification pins the heading once on a tablet, nothing on a phone, only while shown") {
    for (bool tablet : {false, true}) {
        CAPTURE(tablet);
        LibraryApp app(tablet);
        auto screen = showFavorites(app);
        auto root = screen->view();
        const std::size_t before = root->constraints().size();
        const auto post = [](int times) {
            for (int i = 0; i < times; ++i)
                NSNotificationCenter::defaultCenter()->postNotificationName(kRefreshMovieViewNotification);
        };
        app.showTab(0);  // gone from view: not heard
        post(2);
        CHECK(root->constraints().size() == before);
        showFavorites(app);
        post(3);
        CHECK(root->constraints().size() == before + (tablet ? 1 : 0));
        if (tablet) {
            const auto& pin = root->constraints().back();
            CHECK(pin->firstItem().get() == screen->viewTitle.lock().get());
            CHECK(pin->firstAttribute() == NSLayoutAttributeTop);
            CHECK(pin->secondItem().get() == root.get());
            CHECK(pin->secondAttribute() == NSLayoutAttributeTop);
        }
    }
}

TEST_CASE("cells made while the grid scrolls slide in, cells made at rest do not") {
    LibraryApp app;
    screentest::Catalogue catalogue;
    const Value films = firstPage(catalogue);
    for (std::size_t i = 0; i < 30; ++i) storeFavorite(app, films[i]);
    auto screen = showFavorites(app);
    auto grid = screen->collectionView.lock();
    REQUIRE(screen->moviesFavorites().size() == 30);
    for (const auto& cell : grid->visibleCells()) CHECK_FALSE(cell->animationRecordForKey("transform"));
    const auto seen = grid->indexPathsForVisibleItems();
    CHECK(app.drag(CGPointMake(160, 450), CGSizeMake(0, -300)));
    app.layout();
    std::size_t slid = 0;
    for (const auto& path : grid->indexPathsForVisibleItems()) {
        if (std::find(seen.begin(), seen.end(), path) != seen.end()) continue;
        auto record = grid->cellForItemAtIndexPath(path)->animationRecordForKey("transform");
        if (record && record->duration == doctest::Approx(0.3)) ++slid;
    }
    CHECK(slid > 0);
}

TEST_CASE("a favourite made on the detail page heads the tab, survives a restart, and goes with its removal") {
    LibraryApp app;
    screentest::Catalogue catalogue;
    const Value films = firstPage(catalogue);
    storeFavorite(app, films[1]);
    // The detail page of the first movie, as the movie grid opens it.
    auto page = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr)
                    ->instantiate<DetailMoviesViewController>(DetailMoviesViewController::kPhoneIdentifier);
    REQUIRE(page);
    page->setMovieCurrent(MoviesModel::fromFilmInfo(films[0]));
    app.navigations[0]->setNavigationBarHidden(true);  // as the movie grid keeps it
    app.navigations[0]->pushViewController(page, false);
    waitForDetail(*page);
    auto button = page->outlets().movieFavoritiesButton.lock();
    REQUIRE(button);
    CHECK_FALSE(button->isSelected());
    screentest::Finger finger;
    CHECK(finger.tapId("movieFavoritiesButton").delivered);
    CHECK(button->isSelected());

    auto screen = showFavorites(app);
    CHECK(cellTitles(*screen->collectionView.lock()) ==
          std::vector<std::string>{films[0]["title"].stringValue(), films[1]["title"].stringValue()});

    app.restart();
    screen = showFavorites(app);
    auto grid = screen->collectionView.lock();
    REQUIRE(grid->visibleCells().size() == 2);
    CHECK(cellTitles(*grid).front() == films[0]["title"].stringValue());

    // Opened again from its cell: the button shows the stored state, and a tap removes it.
    CHECK(app.tap(LibraryApp::centreOf(*grid->visibleCells().front())));
    page = std::dynamic_pointer_cast<DetailMoviesViewController>(app.navigations[librarytests::kFavoritesTab]->topViewController());
    REQUIRE(page);
    waitForDetail(*page);
    button = page->outlets().movieFavoritiesButton.lock();
    CHECK(button->isSelected());
    CHECK(finger.tapId("movieFavoritiesButton").delivered);
    CHECK_FALSE(button->isSelected());
    app.navigations[librarytests::kFavoritesTab]->popViewControllerAnimated(false);
    app.layout();
    CHECK(cellTitles(*grid) == std::vector<std::string>{films[1]["title"].stringValue()});
}

}  // TEST_SUITE
