// Protects the library screen tests' application: a fresh home, the delegate and its object store, the storyboard's scenes and the tab-bar window.
#include "LibraryTestApp.h"

#include <algorithm>

#include <doctest/doctest.h>

#include "support/StoreRecords.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UIRotationPolicy.h"
#include "screens/DownloadViewController.h"
#include "screens/FavoritesViewController.h"
#include "screens/MainStoryboard.h"
#include "screens/RotationPolicy.h"

namespace librarytests {

LibraryApp::LibraryApp(bool tablet) {
    UIDevice::currentDevice()->setUserInterfaceIdiom(tablet ? UIUserInterfaceIdiomPad : UIUserInterfaceIdiomPhone);
    const CGRect screen = tablet ? CGRectMake(0, 0, 768, 1024) : CGRectMake(0, 0, 320, 568);
    UIScreen::mainScreen()->setBounds(screen);
    auto application = UIApplication::sharedApplication();
    previous = application->delegate();
    application->setDelegate(delegate);
    installShell();
}

void LibraryApp::installShell() {
    navigations.clear();
    window = std::make_shared<UIWindow>(UIScreen::mainScreen()->bounds());
    // The application's own shell, from its scene: the tabs' first screens come from theirs.
    registerMainStoryboard();
    installRotationPolicy();
    tabBar = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr)->instantiate<UITabBarController>(
        "MyTabbarViewController");
    REQUIRE(tabBar);
    for (const auto& tab : tabBar->viewControllers())
        navigations.push_back(std::dynamic_pointer_cast<UINavigationController>(tab));
    REQUIRE(navigations.size() == 5);
    window->setRootViewController(tabBar);
    window->makeKeyAndVisible();
    delegate->setWindow(window);
    layout();
}

void LibraryApp::restart() {
    UIActionSheet::removeAllForTesting();
    if (tabBar->presentedViewController()) tabBar->dismissViewControllerAnimated(false);
    window->setHidden(true);
    delegate = std::make_shared<AppDelegate>();
    UIApplication::sharedApplication()->setDelegate(delegate);
    installShell();
}

std::shared_ptr<FavoritesViewController> LibraryApp::favorites() const {
    return std::dynamic_pointer_cast<FavoritesViewController>(navigations[kFavoritesTab]->viewControllers().front());
}

LibraryApp::~LibraryApp() {
    UIActionSheet::removeAllForTesting();
    auto manager = DownloadManager::downloadManager();
    auto list = manager->getListDownloading();
    for (const auto& d : list) d->cancelDownloadAndRemoveFile(false);
    testsupport::runMainUntil(
        [&] { return std::all_of(list.begin(), list.end(), [](const auto& d) { return d->isFinished(); }); }, 30);
    if (auto presented = tabBar->presentedViewController()) tabBar->dismissViewControllerAnimated(false);
    window->setHidden(true);
    UIApplication::sharedApplication()->setDelegate(previous);
    UIRotationPolicy::install({});
    UIDevice::currentDevice()->resetToDefaults();
    UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
}

std::shared_ptr<DownloadViewController> LibraryApp::downloads() const {
    return std::dynamic_pointer_cast<DownloadViewController>(navigations[kDownloadsTab]->viewControllers().front());
}

void LibraryApp::showTab(long index) {
    tabBar->setSelectedIndex(index);
    layout();
}

std::optional<std::string> LibraryApp::downloadsBadge() const {
    return tabBar->tabBar()->items()[kDownloadsTab]->badgeValue();
}

std::vector<std::shared_ptr<MoviesDownloadModel>> LibraryApp::records(const std::string& predicate,
                                                                      std::vector<Value> args) {
    return testsupport::fetchRecords<MoviesDownloadModel>(delegate->managedObjectContext(), "MoviesDownloadModel",
                                                          predicate, std::move(args));
}

bool LibraryApp::tap(CGPoint point) {
    std::optional<DeviceInputResult> result;
    input.tap(point, [&](const DeviceInputResult& r) { result = r; });
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return result.has_value(); }, 10), "the tap to be carried out");
    return result->delivered;
}

bool LibraryApp::press(CGPoint point, double seconds) {
    std::optional<DeviceInputResult> result;
    input.press(point, seconds, [&](const DeviceInputResult& r) { result = r; });
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return result.has_value(); }, seconds + 10),
                    "the press to be carried out");
    return result->delivered;
}

bool LibraryApp::drag(CGPoint point, CGSize delta) {
    std::optional<DeviceInputResult> result;
    input.drag(point, delta, DeviceDragKind::Touch, [&](const DeviceInputResult& r) { result = r; });
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return result.has_value(); }, 10), "the drag to be carried out");
    return result->delivered;
}

CGPoint LibraryApp::centreOf(const UIView& view) {
    const CGRect box = view.convertRectToView(view.bounds(), nullptr);
    return CGPointMake(box.origin.x + box.size.width / 2, box.origin.y + box.size.height / 2);
}

Value chapter(const std::string& link, const std::string& title) {
    Value c = Value::dictionary();
    c.setObject("link", link);
    c.setObject("title", title);
    return c;
}

}  // namespace librarytests
