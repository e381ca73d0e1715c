// Protects the application shell: the rotation answers of every controller on
// phones and tablets, the tab-bar shell of the storyboard "Main" (its tabs in
// order, each tab's first screen from its scene or a plain stand-in, the
// downloads badge, the about screen's title level with the grid's, the tablet
// grid's title centred), and the two grid cells made from their interface files.
#include <doctest/doctest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UICollectionViewFlowLayout.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "platform/display/DeviceInput.h"
#include "platform/display/DeviceTree.h"
#include "platform/display/DeviceViewFacts.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarButton.h"
#include "platform/uikit/UITabBarItem.h"
#include "screens/AboutAppViewController.h"
#include "screens/DownloadViewController.h"
#include "screens/FavoritesViewController.h"
#include "screens/GeneralViewController.h"
#include "screens/MovieCollectionCell.h"
#include "screens/MovieSearchCollectionCell.h"
#include "screens/MovieViewController.h"
#include "screens/MyNavigationViewController.h"
#include "screens/MyTabbarViewController.h"
#include "screens/MyViewController.h"
#include "screens/TVShowViewController.h"

using namespace shelltest;

namespace {

constexpr UIInterfaceOrientationMask kPortraitOnly = 2;
constexpr UIInterfaceOrientationMask kAllFour = 30;

// A screen that answers some rotation questions itself.
class OpinionatedScreen : public MyViewController {
public:
    bool autorotates = true;
    UIInterfaceOrientationMask orientations = UIInterfaceOrientationMaskLandscape;
    mutable std::vector<UIInterfaceOrientation> askedTo;
    bool shouldAutorotate() const override { return autorotates; }
    UIInterfaceOrientationMask supportedInterfaceOrientations() const override { return orientations; }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const override {
        askedTo.push_back(orientation);
        return orientation == UIInterfaceOrientationLandscapeLeft;
    }
};

struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogCapture() { setLogHook(nullptr); }
};

std::shared_ptr<MyTabbarViewController> makeShell() {
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    REQUIRE(storyboard);
    auto shell = storyboard->instantiate<MyTabbarViewController>("MyTabbarViewController");
    REQUIRE(shell);
    return shell;
}

// The frame the device screen's tree gives the shown view with the identifier; null when it shows none.
std::optional<CGRect> treeFrame(const std::string& identifier) {
    std::function<std::optional<CGRect>(const nlohmann::json&)> find = [&](const nlohmann::json& node) {
        if (node.value("id", "") == identifier && node.contains("frame")) {
            const auto& f = node["frame"];
            return std::optional<CGRect>(CGRectMake(f[0].get<double>(), f[1].get<double>(), f[2].get<double>(),
                                                    f[3].get<double>()));
        }
        for (const auto& child : node.value("children", nlohmann::json::array()))
            if (auto found = find(child)) return found;
        return std::optional<CGRect>();
    };
    const nlohmann::json tree = DeviceTree::describe();
    for (const auto& view : tree["views"])
        if (auto found = find(view)) return found;
    return std::nullopt;
}

std::shared_ptr<UIViewController> tabRoot(const MyTabbarViewController& shell, std::size_t index) {
    auto navigation = std::dynamic_pointer_cast<MyNavigationViewController>(shell.viewControllers().at(index));
    REQUIRE(navigation);
    REQUIRE(navigation->viewControllers().size() == 1);
    return navigation->viewControllers().front();
}

}  // namespace

TEST_CASE("rotation: screens are portrait-only on a phone and turn every way on a tablet") {
    struct Row {
        Device device;
        UIUserInterfaceIdiom idiom;
        UIInterfaceOrientationMask expected;
    };
    for (const Row& row : {Row{Device::Phone, UIUserInterfaceIdiomPhone, kPortraitOnly},
                           Row{Device::Tablet, UIUserInterfaceIdiomPad, kAllFour},
                           // A device that does not say what it is takes the phone's answers.
                           Row{Device::Phone, UIUserInterfaceIdiomUnspecified, kPortraitOnly}}) {
        CAPTURE(row.idiom);
        ShellFixture fixture(row.device);
        UIDevice::currentDevice()->setUserInterfaceIdiom(row.idiom);
        auto shell = makeShell();
        fixture.show(shell);

        // A screen pushed inside a tab's navigation controller, the navigation
        // controller that passes the questions on, the tab bar and a lone screen.
        auto navigation = std::dynamic_pointer_cast<MyNavigationViewController>(shell->viewControllers().at(0));
        REQUIRE(navigation);
        auto pushed = std::make_shared<MyViewController>();
        navigation->pushViewController(pushed, false);
        REQUIRE(navigation->topViewController() == pushed);
        const std::vector<std::shared_ptr<UIViewController>> askedControllers{
            pushed, navigation, shell, std::make_shared<GeneralViewController>(),
            std::make_shared<AboutAppViewController>(), std::make_shared<UIViewController>()};
        for (const auto& controller : askedControllers) {
            CAPTURE(controller->className());
            CHECK(controller->supportedInterfaceOrientations() == row.expected);
            CHECK(controller->shouldAutorotate());
            for (auto orientation : {UIInterfaceOrientationPortrait, UIInterfaceOrientationPortraitUpsideDown,
                                     UIInterfaceOrientationLandscapeLeft, UIInterfaceOrientationLandscapeRight})
                CHECK(controller->shouldAutorotateToInterfaceOrientation(orientation));
        }
    }
}

TEST_CASE("rotation: navigation controllers answer what their top screen answers") {
    for (Device device : {Device::Phone, Device::Tablet}) {
        ShellFixture fixture(device);
        const UIInterfaceOrientationMask general = device == Device::Tablet ? kAllFour : kPortraitOnly;

        auto screen = std::make_shared<OpinionatedScreen>();
        screen->autorotates = false;
        auto plain = UINavigationController::initWithRootViewController(screen);
        auto own = std::make_shared<MyNavigationViewController>();
        own->setViewControllers({std::make_shared<OpinionatedScreen>()});
        std::dynamic_pointer_cast<OpinionatedScreen>(own->topViewController())->autorotates = false;

        // The top screen's refusal to rotate is the navigation controller's,
        // unless that is the application's own, which always allows rotation.
        CHECK_FALSE(plain->shouldAutorotate());
        CHECK(own->shouldAutorotate());
        // Orientations and the per-orientation question pass through both,
        // with the orientation asked about.
        for (const auto& navigation : {std::static_pointer_cast<UINavigationController>(plain),
                                       std::static_pointer_cast<UINavigationController>(own)}) {
            auto top = std::dynamic_pointer_cast<OpinionatedScreen>(navigation->topViewController());
            REQUIRE(top);
            CHECK(navigation->supportedInterfaceOrientations() == UIInterfaceOrientationMaskLandscape);
            CHECK(navigation->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
            CHECK_FALSE(navigation->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
            CHECK(top->askedTo == std::vector{UIInterfaceOrientationLandscapeLeft, UIInterfaceOrientationPortrait});
        }

        // The top changes with pushes and pops.
        auto pushed = std::make_shared<MyViewController>();
        plain->pushViewController(pushed, false);
        CHECK(plain->supportedInterfaceOrientations() == general);
        CHECK(plain->shouldAutorotate());
        plain->popViewControllerAnimated(false);
        CHECK_FALSE(plain->shouldAutorotate());

        // With nothing on its stack a navigation controller answers like any
        // other controller rather than refusing every orientation.
        auto empty = std::make_shared<UINavigationController>();
        CHECK(empty->supportedInterfaceOrientations() == general);
        CHECK(empty->shouldAutorotate());
        CHECK(empty->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeRight));

        // The tab bar answers for itself whatever its tab shows.
        auto shell = makeShell();
        auto tab = std::dynamic_pointer_cast<UINavigationController>(shell->viewControllers().at(1));
        REQUIRE(tab);
        tab->pushViewController(std::make_shared<OpinionatedScreen>(), false);
        std::dynamic_pointer_cast<OpinionatedScreen>(tab->topViewController())->autorotates = false;
        CHECK(shell->shouldAutorotate());
        CHECK(shell->supportedInterfaceOrientations() == general);
        CHECK(tab->shouldAutorotate());  // the application's navigation controller
    }
}

TEST_CASE("the tab-bar shell: five tabs in order, downloads at 3, each first screen from its scene") {
    ShellFixture fixture;
    LogCapture log;
    auto shell = makeShell();
    REQUIRE(shell->viewControllers().size() == 5);
    const std::vector<std::string> titles{"Movies", "TV Shows", "Favorites", "Downloads", "About"};
    const auto& items = shell->tabBar()->items();
    REQUIRE(items.size() == titles.size());
    for (std::size_t i = 0; i < titles.size(); ++i) {
        CAPTURE(i);
        CHECK(std::dynamic_pointer_cast<MyNavigationViewController>(shell->viewControllers()[i]));
        CHECK(items[i]->title() == titles[i]);
        CHECK(items[i]->tag() == static_cast<long>(i));
        auto root = tabRoot(*shell, i);
        if (i == 4) {
            CHECK(std::dynamic_pointer_cast<AboutAppViewController>(root));
        } else if (i == 0) {
            CHECK(std::dynamic_pointer_cast<MovieViewController>(root));
        } else if (i == 1) {
            CHECK(std::dynamic_pointer_cast<TVShowViewController>(root));
        } else if (i == 2) {
            CHECK(std::dynamic_pointer_cast<FavoritesViewController>(root));
        } else {
            CHECK(std::dynamic_pointer_cast<DownloadViewController>(root));
        }
    }
    CHECK(titles[MyTabbarViewController::kDownloadsTabIndex] == "Downloads");
    CHECK(shell->selectedIndex() == 0);
    CHECK(log.lines.empty());  // asking for the missing scenes says nothing

    // Once a screen's scene is registered, its tab opens on it; each shell gets its own.
    std::vector<std::shared_ptr<UIViewController>> made;
    for (const char* identifier :
         {"MovieViewController", "TVShowViewController", "FavoritesViewController", "DownloadViewController"}) {
        UIStoryboard::registerScene(kMainStoryboardName, identifier, [&made] {
            auto screen = std::make_shared<MyViewController>();
            made.push_back(screen);
            return screen;
        });
    }
    auto second = makeShell();
    REQUIRE(made.size() == 4);
    for (std::size_t i = 0; i < made.size(); ++i) CHECK(tabRoot(*second, i) == made[i]);
    CHECK(tabRoot(*second, 0) != tabRoot(*shell, 0));
}

TEST_CASE("the grid cells from their interface files: outlets, no content, subviews follow the cell's size") {
    ShellFixture fixture;
    struct Row {
        const char* nib;
        const char* identifier;
    };
    for (const Row& row : {Row{kMovieCollectionCellNibName, kMovieCollectionCellIdentifier},
                           Row{kMovieSearchCollectionCellNibName, kMovieSearchCollectionCellIdentifier}}) {
        CAPTURE(row.nib);
        auto nib = UINib::nibWithNibName(row.nib, nullptr);
        REQUIRE(nib);

        // Made from the file: both outlets there, named, inside the content view, and empty.
        auto objects = nib->instantiateWithOwner(nullptr);
        REQUIRE(objects.size() == 1);
        auto cell = std::dynamic_pointer_cast<PosterCollectionCell>(objects.front());
        REQUIRE(cell);
        CHECK(cell->className() == row.nib);
        auto title = cell->movieTitle();
        auto poster = cell->moviePoster();
        REQUIRE(title);
        REQUIRE(poster);
        CHECK(title->accessibilityIdentifier() == "movieTitle");
        CHECK(poster->accessibilityIdentifier() == "moviePoster");
        CHECK(title->superview() == cell->contentView());
        CHECK(poster->superview() == cell->contentView());
        CHECK(title->text().empty());
        CHECK_FALSE(poster->image());

        // The cell holds its outlets weakly: they go with the views that own them.
        std::weak_ptr<UILabel> weakTitle = title;
        title.reset(), poster.reset(), objects.clear(), cell.reset();
        CHECK(weakTitle.expired());

        // In a grid, at the size of a 320-point phone's three columns.
        class Source : public UICollectionViewDataSource {
        public:
            std::string identifier;
            long numberOfItemsInSection(UICollectionView&, long) override { return 3; }
            UICollectionViewCellPtr cellForItemAtIndexPath(UICollectionView& grid, const NSIndexPath& path) override {
                return grid.dequeueReusableCellWithReuseIdentifier(identifier, path);
            }
        };
        auto source = std::make_shared<Source>();
        source->identifier = row.identifier;
        auto layout = std::make_shared<UICollectionViewFlowLayout>();
        const CGFloat width = (320.0f - 6.0f * 4.0f) / 3.0f;
        const CGFloat height = static_cast<float>(width * 1.51 + 30);
        layout->setItemSize(CGSizeMake(width, height));
        layout->setSectionInset(UIEdgeInsetsMake(6, 6, 6, 6));
        layout->setMinimumInteritemSpacing(0.5);
        layout->setMinimumLineSpacing(6);
        auto grid = std::make_shared<UICollectionView>(CGRectMake(0, 0, 320, 519), layout);
        grid->registerNib(nib, row.identifier);
        grid->setDataSource(source);
        fixture.window->addSubview(grid);
        fixture.window->makeKeyAndVisible();
        grid->reloadData();
        fixture.window->layoutAndDisplayIfNeeded();

        auto shown = grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(1, 0));
        REQUIRE(shown);
        CHECK(shown->frame().size.width == doctest::Approx(98.6667).epsilon(1e-4));
        CHECK(shown->frame().size.height == doctest::Approx(178.9867).epsilon(1e-4));
        auto label = std::dynamic_pointer_cast<UILabel>(shown->contentView()->subviews().at(1));
        auto image = std::dynamic_pointer_cast<UIImageView>(shown->contentView()->subviews().at(0));
        REQUIRE(label);
        REQUIRE(image);
        CHECK(image->frame() == CGRectMake(0, 0, width, height - 30));
        CHECK(label->frame().origin.y == doctest::Approx(height - 30));
        CHECK(label->frame().size.height == doctest::Approx(30));
        CHECK(label->frame().size.width == doctest::Approx(width - 4));
        grid->removeFromSuperview();
    }
}

TEST_CASE("the about tab: name, version and a few words on the screen colour") {
    ShellFixture fixture;
    auto shell = makeShell();
    fixture.show(shell);
    shell->setSelectedIndex(4);
    auto about = tabRoot(*shell, 4);
    REQUIRE(about->isViewVisible());

    std::vector<std::string> texts;
    for (const auto& view : about->view()->subviews())
        if (auto label = std::dynamic_pointer_cast<UILabel>(view)) texts.push_back(label->text());
    REQUIRE(texts.size() == 3);
    CHECK(texts[0] == "Quorvane");
    CHECK(texts[1] == "Version 1.0");  // CFBundleVersion
    CHECK_FALSE(texts[2].empty());

    auto image = screenSnapshot("shell-about.png");
    CHECK(near(pixelAt(image, 5, 300), 35, 35, 35));
    bool white = false;
    for (CGFloat x = 80; x < 240 && !white; x += 0.5) white = near(pixelAt(image, x, 128), 255, 255, 255, 40);
    CHECK(white);  // the name's strokes
}

TEST_CASE("the shell on screen: bars in the screen colour, the downloads badge on tab 3, taps switch tabs") {
    for (Device device : {Device::Phone, Device::Tablet}) {
        CAPTURE(static_cast<int>(device));
        ShellFixture fixture(device);
        const CGSize screen = screenSizeOf(device);
        auto shell = makeShell();
        fixture.show(shell);
        auto downloads = shell->tabBar()->items().at(MyTabbarViewController::kDownloadsTabIndex);
        downloads->setBadgeValue("1");  // as the download manager does for one running download

        // Each tab shows its title and the shipped icon; the tree finds them by title.
        for (const auto& item : shell->tabBar()->items()) {
            CAPTURE(item->title());
            CHECK(item->image());
            CHECK(DeviceTree::countMatches({item->title(), "", std::nullopt}) >= 1);
        }

        auto image = screenSnapshot(device == Device::Tablet ? "shell-badge-tablet.png" : "shell-badge.png");
        auto button = shell->tabBar()->buttonForItem(downloads);
        REQUIRE(button);
        // The tree reads the badge as the tab's detail text.
        CHECK(DeviceViewFacts::of(*button).detail == "1");
        CHECK(DeviceViewFacts::of(*shell->tabBar()->buttonForItem(shell->tabBar()->items().at(0))).detail.empty());
        const CGRect badge = button->convertRectToView(button->badgeFrame(), fixture.window.get());
        REQUIRE_FALSE(CGRectIsEmpty(badge));
        CHECK(badge.origin.y >= screen.height - 49);
        // The badge's red left of its text, its white "1" somewhere along its middle.
        const CGFloat middle = badge.origin.y + badge.size.height / 2;
        const CGPixel red = pixelAt(image, badge.origin.x + 3, middle);
        CHECK_MESSAGE(near(red, 255, 59, 48, 12), "badge pixel " << int(red.r) << "," << int(red.g) << "," << int(red.b));
        bool white = false;
        for (CGFloat x = badge.origin.x; x < badge.origin.x + badge.size.width && !white; x += 0.5)
            white = near(pixelAt(image, x, middle), 255, 255, 255, 40);
        CHECK(white);
        // The tab bar and the navigation bar in the screen colour.
        CHECK(near(pixelAt(image, 2, screen.height - 3), 35, 35, 35));
        CHECK(near(pixelAt(image, 2, 30), 35, 35, 35));

        // The grid's title, as the tree gives it: in the header under the status bar, and on a tablet centred.
        const auto gridTitle = treeFrame("movieTitle");
        REQUIRE(gridTitle);
        CHECK(gridTitle->origin.y == 20);
        CHECK(gridTitle->size.height == 44);
        if (device == Device::Tablet) CHECK(CGRectGetMidX(*gridTitle) == screen.width / 2);

        // A tap on the About tab shows the about screen.
        auto about = shell->tabBar()->buttonForItem(shell->tabBar()->items().at(4));
        REQUIRE(about);
        const CGRect aboutFrame = about->convertRectToView(about->bounds(), fixture.window.get());
        DeviceInput input;
        std::optional<DeviceInputResult> tapped;
        input.tap(CGPointMake(CGRectGetMidX(aboutFrame), CGRectGetMidY(aboutFrame)),
                  [&](const DeviceInputResult& result) { tapped = result; });
        REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return tapped.has_value(); }, 10),
                        "the tap on the About tab was not carried out within 10 s");
        CHECK(tapped->delivered);
        CHECK(shell->selectedIndex() == 4);
        CHECK(tabRoot(*shell, 4)->isViewVisible());
        CHECK_FALSE(tabRoot(*shell, 0)->isViewVisible());
        // Its title sits where the grid's does, under the status bar, centred (once the bar is laid out).
        std::optional<CGRect> aboutTitle;
        REQUIRE_MESSAGE(testsupport::runMainUntil(
                            [&] {
                                aboutTitle = treeFrame("UINavigationBarTitle");
                                return aboutTitle && aboutTitle->size.height > 0;
                            },
                            5),
                        "the about screen's title was not laid out within 5 s");
        CHECK(aboutTitle->origin.y == gridTitle->origin.y);
        CHECK(aboutTitle->size.height == gridTitle->size.height);
        CHECK(CGRectGetMidX(*aboutTitle) == screen.width / 2);
    }
}

TEST_CASE("the device turns: the shell stays portrait on a phone and turns with a tablet") {
    // A screen pushed in the first tab, telling what it hears of rotations.
    class Listening : public MyViewController {
    public:
        std::vector<std::string> heard;
        void willRotateToInterfaceOrientation(UIInterfaceOrientation to, double) override {
            heard.push_back("will " + std::to_string(to));
        }
        void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override {
            heard.push_back("did from " + std::to_string(from));
        }
    };
    for (Device device : {Device::Phone, Device::Tablet}) {
        CAPTURE(static_cast<int>(device));
        ShellFixture fixture(device);
        const CGSize portrait = screenSizeOf(device);
        auto shell = makeShell();
        fixture.show(shell);
        auto screen = std::make_shared<Listening>();
        std::dynamic_pointer_cast<UINavigationController>(shell->viewControllers().at(0))
            ->pushViewController(screen, false);

        DeviceInput input;
        auto turn = [&](UIDeviceOrientation orientation) {
            bool done = false;
            input.rotate(orientation, [&](const DeviceInputResult&) { done = true; });
            REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return done; }, 10), "the turn was not carried out");
            testsupport::runMainUntil([] { return false; }, 0.05);  // the did-rotate of an animated turn
        };
        turn(UIDeviceOrientationLandscapeLeft);
        if (device == Device::Phone) {
            CHECK(screen->heard.empty());
            CHECK(fixture.app->statusBarOrientation() == UIInterfaceOrientationPortrait);
            CHECK(fixture.window->bounds().size == portrait);
            continue;
        }
        const std::vector<std::string> turned{"will " + std::to_string(UIInterfaceOrientationLandscapeRight),
                                              "did from " + std::to_string(UIInterfaceOrientationPortrait)};
        CHECK(screen->heard == turned);
        CHECK(fixture.app->statusBarOrientation() == UIInterfaceOrientationLandscapeRight);
        CHECK(fixture.window->bounds().size == CGSizeMake(portrait.height, portrait.width));
        CHECK(shell->tabBar()->frame() == CGRectMake(0, portrait.width - 49, portrait.height, 49));
        auto image = screenSnapshot("shell-tablet-landscape.png");
        CHECK(near(pixelAt(image, portrait.height - 3, portrait.width - 3), 35, 35, 35));  // the tab bar's far corner

        turn(UIDeviceOrientationPortrait);
        CHECK(fixture.window->bounds().size == portrait);
        CHECK(shell->tabBar()->frame() == CGRectMake(0, portrait.height - 49, portrait.width, 49));
    }
}
