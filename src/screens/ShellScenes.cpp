// The shell's scenes of the storyboard "Main": the splash screen (the initial
// scene), the tab-bar shell with its five tabs, the about screen, and the
// interface files of the two grid cells.
#include "screens/MainStoryboard.h"

#include <array>
#include <string>

#include "platform/foundation/NSBundle.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarItem.h"
#include "screens/AboutAppViewController.h"
#include "screens/GeneralViewController.h"
#include "screens/MovieCollectionCell.h"
#include "screens/MovieSearchCollectionCell.h"
#include "screens/MyNavigationViewController.h"
#include "screens/MyTabbarViewController.h"
#include "screens/ScreenStyle.h"
#include "screens/SplashViewController.h"

namespace {

constexpr long kAlignCentre = 1;
constexpr UIViewAutoresizing kFillSuperview = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
constexpr UIViewAutoresizing kKeepCentred =
    UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
    UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin;
constexpr UIViewAutoresizing kSpanWidth = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleBottomMargin;

struct TabScene {
    const char* title;
    const char* image;       // a shipped image
    const char* identifier;  // the scene of the tab's first screen
};

// In tab order; the downloads tab sits at MyTabbarViewController::kDownloadsTabIndex.
constexpr std::array<TabScene, 5> kTabScenes{{
    {"Movies", "tab_movies", "MovieViewController"},
    {"TV Shows", "tab_tvshows", "TVShowViewController"},
    {"Favorites", "tab_favorites", "FavoritesViewController"},
    {"Downloads", "tab_downloads", "DownloadViewController"},
    {"About", "tab_about", "AboutAppViewController"},
}};
static_assert(std::string_view(kTabScenes[MyTabbarViewController::kDownloadsTabIndex].title) == "Downloads");

std::string applicationName() {
    const std::string name = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleDisplayName").stringValue();
    return name.empty() ? "Quorvane" : name;
}

// A scene's root view: the screen's size (what its container then gives it),
// the screen colour, following its container.
std::shared_ptr<UIView> sceneRootView() {
    auto view = std::make_shared<UIView>(UIScreen::mainScreen()->bounds());
    view->setBackgroundColor(screenColor()->CGColor());
    view->setAutoresizingMask(kFillSuperview);
    return view;
}

// Containers start at the screen's size too, so that what they lay out in
// their views never passes through a zero size.
void giveSceneRootView(UIViewController& controller) {
    controller.setViewFactory([](UIViewController&) { return sceneRootView(); });
}

std::shared_ptr<UILabel> addLabel(const std::shared_ptr<UIView>& parent, CGRect frame, const std::string& text,
                                  const std::shared_ptr<UIFont>& font, const UIColorPtr& colour) {
    auto label = std::make_shared<UILabel>(frame);
    label->setText(text);
    label->setFont(font);
    label->setTextColor(colour->CGColor());
    label->setTextAlignment(kAlignCentre);
    parent->addSubview(label);
    return label;
}

// The splash screen: the name a little above the centre, the spinner under it.
std::shared_ptr<UIView> buildSplashView(SplashViewController& splash) {
    auto view = sceneRootView();
    const CGRect box = view->bounds();
    const CGFloat middleY = box.size.height / 2;

    auto name = addLabel(view, CGRectMake(20, middleY - 60, box.size.width - 40, 40), applicationName(),
                         UIFont::boldSystemFontOfSize(30), UIColor::whiteColor());
    name->setAutoresizingMask(kKeepCentred | UIViewAutoresizingFlexibleWidth);
    name->setAccessibilityIdentifier("nameAppLabel");
    splash.setNameAppLabel(name);

    auto spinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleWhiteLarge);
    const CGFloat side = UIActivityIndicatorView::sideForStyle(UIActivityIndicatorViewStyleWhiteLarge);
    spinner->setFrame(CGRectMake((box.size.width - side) / 2, middleY + 10, side, side));
    spinner->setAutoresizingMask(kKeepCentred);
    spinner->setAccessibilityIdentifier("activityLoading");
    view->addSubview(spinner);
    splash.setActivityLoading(spinner);
    return view;
}

// The about screen: name, version and a few words, under the navigation bar.
std::shared_ptr<UIView> buildAboutView() {
    auto view = sceneRootView();
    const CGFloat width = view->bounds().size.width - 40;
    const std::string version =
        NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleVersion").stringValue();

    addLabel(view, CGRectMake(20, 110, width, 36), applicationName(), UIFont::boldSystemFontOfSize(28),
             UIColor::whiteColor())
        ->setAutoresizingMask(kSpanWidth);
    addLabel(view, CGRectMake(20, 150, width, 20), "Version " + version, UIFont::systemFontOfSize(15),
             UIColor::lightGrayColor())
        ->setAutoresizingMask(kSpanWidth);
    auto text = addLabel(view, CGRectMake(20, 196, width, 120),
                         "Movies and TV shows from the catalogue, sorted and filtered by genre. Keep your favourites, "
                         "download chapters and watch them wherever you are.",
                         UIFont::systemFontOfSize(15), UIColor::whiteColor());
    text->setNumberOfLines(0);
    text->setLineBreakMode(0);  // word wrap
    text->setAutoresizingMask(kSpanWidth);
    return view;
}

// What a tab shows while its screen has no scene: its title on the screen colour.
std::shared_ptr<UIViewController> makeGeneralScene(const std::string& title) {
    auto controller = std::make_shared<GeneralViewController>();
    controller->setTitle(title);
    controller->setViewFactory([title](UIViewController&) {
        auto view = sceneRootView();
        const CGRect box = view->bounds();
        addLabel(view, CGRectMake(20, box.size.height / 2 - 12, box.size.width - 40, 24), title,
                 UIFont::systemFontOfSize(17), UIColor::lightGrayColor())
            ->setAutoresizingMask(kKeepCentred | UIViewAutoresizingFlexibleWidth);
        return view;
    });
    return controller;
}

// The tab's first screen from its scene, or the plain stand-in while there is none.
std::shared_ptr<UIViewController> makeTabRoot(const TabScene& tab) {
    if (UIStoryboard::hasScene(kMainStoryboardName, tab.identifier))
        if (auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr))
            if (auto root = storyboard->instantiateViewControllerWithIdentifier(tab.identifier)) return root;
    return makeGeneralScene(tab.title);
}

// A tab: the application's navigation controller, in the screen colour with
// white titles and controls, around the tab's first screen.
std::shared_ptr<MyNavigationViewController> makeTab(const TabScene& tab, long index) {
    auto navigation = std::make_shared<MyNavigationViewController>();
    giveSceneRootView(*navigation);
    const auto& bar = navigation->navigationBar();
    bar->setBarTintColor(screenColor()->CGColor());
    bar->setTintColor(UIColor::whiteColor()->CGColor());
    bar->setTitleTextAttributes(NSAttributes(UIFont::boldSystemFontOfSize(17), UIColor::whiteColor()));
    navigation->setViewControllers({makeTabRoot(tab)});

    auto item = navigation->tabBarItem();
    item->setTitle(tab.title);
    item->setImage(UIImage::imageNamed(tab.image));
    item->setTag(index);
    return navigation;
}

std::shared_ptr<UIViewController> makeTabShell() {
    auto shell = std::make_shared<MyTabbarViewController>();
    giveSceneRootView(*shell);
    UITabBarController::ControllerList tabs;
    long index = 0;
    for (const TabScene& tab : kTabScenes) tabs.push_back(makeTab(tab, index++));
    shell->setViewControllers(tabs);
    shell->tabBar()->setBarTintColor(screenColor()->CGColor());
    shell->tabBar()->setTintColor(UIColor::whiteColor()->CGColor());
    return shell;
}

}  // namespace

void registerShellScenes() {
    MovieCollectionCell::registerInterfaceFile();
    MovieSearchCollectionCell::registerInterfaceFile();

    UIStoryboard::registerScene(kMainStoryboardName, "SplashViewController", [] {
        auto splash = std::make_shared<SplashViewController>();
        splash->setViewFactory(
            [](UIViewController& owner) { return buildSplashView(static_cast<SplashViewController&>(owner)); });
        return splash;
    });
    UIStoryboard::registerScene(kMainStoryboardName, "MyTabbarViewController", makeTabShell);
    UIStoryboard::registerScene(kMainStoryboardName, "AboutAppViewController", [] {
        auto about = std::make_shared<AboutAppViewController>();
        about->setTitle("About");
        about->setViewFactory([](UIViewController&) { return buildAboutView(); });
        return about;
    });
}
