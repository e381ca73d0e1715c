// Protects the grids on a tablet: five columns in portrait and six after the interface turns, the layout redone
// on appearance, and the header pinned by one constraint however many refresh notifications come (none on a
// phone), for the movie grid, the TV-show grid and search alike.
#include <doctest/doctest.h>

#include <cmath>
#include <set>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UICollectionViewFlowLayout.h"
#include "screens/GridScreenFixture.h"
#include "screens/MovieViewController.h"
#include "screens/SearchMovieViewController.h"
#include "screens/TVShowViewController.h"
#include "ui/progresshud/LOProgressHUD.h"

using gridtest::FixtureOptions;
using gridtest::GridScreenFixture;

namespace {

// The distinct x positions of the laid-out items: the columns.
std::set<long> columnsOf(UICollectionView& grid) {
    std::set<long> xs;
    for (long item = 0; item < grid.numberOfItemsInSection(0); ++item)
        if (auto attributes = grid.layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0)))
            xs.insert(std::lround(attributes->frame.origin.x * 100));
    return xs;
}

std::size_t headerPins(PosterGridController& screen, const std::shared_ptr<UIView>& header) {
    std::size_t pins = 0;
    for (const auto& constraint : screen.view()->constraints())
        if (constraint->firstItem() == header && constraint->firstAttribute() == NSLayoutAttributeTop &&
            constraint->secondItem() == header->superview() && constraint->secondAttribute() == NSLayoutAttributeTop)
            ++pins;
    return pins;
}

void postRefresh(int times) {
    for (int i = 0; i < times; ++i)
        NSNotificationCenter::defaultCenter()->postNotificationName(kRefreshMovieViewNotification);
}

}  // namespace

TEST_CASE("a tablet grid shows five columns in portrait and six after turning to landscape, line spacing 15") {
    GridScreenFixture f(FixtureOptions{{"--movies", "40"}, true, {768, 1024}});
    auto screen = f.show<MovieViewController>("MovieViewController");
    auto grid = screen->collectionView();
    f.waitFor([&] { return screen->moviesArray().size() == 30 && !screen->isLoadItem(); }, "page 1");
    f.window->layoutIfNeeded();
    CHECK(grid->frame().size.width == 768);
    auto layout = std::dynamic_pointer_cast<UICollectionViewFlowLayout>(grid->collectionViewLayout());
    REQUIRE(layout);
    CHECK(columnsOf(*grid).size() == 5);
    CHECK(static_cast<float>(layout->itemSize().width) == doctest::Approx(141.6f));
    CHECK(layout->minimumLineSpacing() == 15);

    // The device turns: the interface follows, the grid spans the landscape screen in six columns.
    bool turned = false;
    f.input.rotate(UIDeviceOrientationLandscapeLeft, [&](const DeviceInputResult&) { turned = true; });
    f.waitFor([&] { return turned; }, "the rotation");
    f.settle(0.5);
    f.window->layoutIfNeeded();
    CHECK(UIApplication::sharedApplication()->statusBarOrientation() == UIInterfaceOrientationLandscapeRight);
    CHECK(grid->frame().size.width == 1024);
    layout = std::dynamic_pointer_cast<UICollectionViewFlowLayout>(grid->collectionViewLayout());
    REQUIRE(layout);
    CHECK(static_cast<float>(layout->itemSize().width) == doctest::Approx(159.0f));
    CHECK(static_cast<float>(layout->itemSize().height) == doctest::Approx(270.09f));
    CHECK(layout->minimumLineSpacing() == 15);
    CHECK(layout->sectionInset() == UIEdgeInsets{10, 10, 10, 10});
    CHECK(columnsOf(*grid).size() == 6);

    // Back in portrait the next appearance lays out five columns again.
    turned = false;
    f.input.rotate(UIDeviceOrientationPortrait, [&](const DeviceInputResult&) { turned = true; });
    f.waitFor([&] { return turned; }, "the rotation back");
    f.settle(0.5);
    f.window->layoutIfNeeded();
    CHECK(grid->frame().size.width == 768);
    CHECK(columnsOf(*grid).size() == 5);
}

TEST_CASE("the refresh notification pins the header once on a tablet, never on a phone, and only while shown") {
    struct Row {
        const char* scene;
        bool tablet;
    };
    const Row rows[] = {{"MovieViewController", true},  {"TVShowViewController", true},
                        {"SearchMovieViewController", true}, {"MovieViewController", false},
                        {"TVShowViewController", false}, {"SearchMovieViewController", false}};
    for (const Row& row : rows) {
        const std::string scene = row.scene;
        CAPTURE(scene);
        CAPTURE(row.tablet);
        GridScreenFixture f(FixtureOptions{{"--movies", "40", "--shows", "40"}, row.tablet,
                                           row.tablet ? CGSize{768, 1024} : CGSize{320, 568}});
        auto screen = f.show<PosterGridController>(scene);
        REQUIRE(screen);
        // The banner area: the empty slot's size, 0 high and 320 wide (the movie grid sizes it once its
        // configuration request has ended, the others as their views load).
        auto banner = screen->bannerView();
        REQUIRE(banner);
        f.waitFor([&] { return banner->constraints().size() == 2; }, "the banner area to be sized");
        CHECK(banner->constraints()[0]->firstAttribute() == NSLayoutAttributeHeight);
        CHECK(banner->constraints()[0]->constant() == 0);
        CHECK(banner->constraints()[1]->firstAttribute() == NSLayoutAttributeWidth);
        CHECK(banner->constraints()[1]->constant() == 320);
        f.window->layoutIfNeeded();
        CHECK(banner->frame().size.height == 0);
        // Only the movie grid asks for the configuration (search is reached from it).
        if (scene == "TVShowViewController") {
            f.waitForPage(*screen);
            CHECK(f.control.requests("getversion").empty());
        } else {
            f.waitFor([&] { return f.control.requests("getversion").size() == 1; }, "the configuration request");
        }
        auto header = screen->view()->subviews().front();
        const std::string headerName = scene == "TVShowViewController" ? "headViewTitle" : "viewTitle";
        REQUIRE(header->accessibilityIdentifier() == headerName);
        const std::size_t before = headerPins(*screen, header);
        postRefresh(7);
        CHECK(headerPins(*screen, header) == before + (row.tablet ? 1 : 0));
        CHECK(static_cast<bool>(screen->headerTopConstraint()) == row.tablet);

        // Gone from view, the screen no longer hears the notification (counted against what else listens).
        const auto listeners = [] {
            return NSNotificationCenter::defaultCenter()->observerCount(kRefreshMovieViewNotification);
        };
        const std::size_t shown = listeners();
        REQUIRE(shown >= 1);
        screen->beginAppearanceTransition(false, false);
        screen->endAppearanceTransition();
        CHECK(listeners() == shown - 1);
        screen->beginAppearanceTransition(true, false);
        screen->endAppearanceTransition();
        CHECK(listeners() == shown);
        postRefresh(3);
        CHECK(headerPins(*screen, header) == before + (row.tablet ? 1 : 0));
    }
}
