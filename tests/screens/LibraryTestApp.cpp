#include "LibraryTestApp.h"

#include <curl/curl.h>

#include <algorithm>

#include <doctest/doctest.h>

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
#include "screens/DownloadViewController.h"
#include "screens/MainStoryboard.h"

namespace librarytests {

namespace {

std::shared_ptr<UIViewController> tabRoot(long index, const char* title) {
    const char* identifier = index == kDownloadsTab ? "DownloadViewController" : nullptr;
    std::shared_ptr<UIViewController> root;
    if (identifier) root = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr)->instantiateViewControllerWithIdentifier(identifier);
    if (!root) root = std::make_shared<UIViewController>();
    root->setTitle(title);
    return root;
}

}  // namespace

LibraryApp::LibraryApp(bool tablet) {
    UIDevice::currentDevice()->setUserInterfaceIdiom(tablet ? UIUserInterfaceIdiomPad : UIUserInterfaceIdiomPhone);
    const CGRect screen = tablet ? CGRectMake(0, 0, 768, 1024) : CGRectMake(0, 0, 320, 568);
    UIScreen::mainScreen()->setBounds(screen);
    registerLibraryScenes();
    auto application = UIApplication::sharedApplication();
    previous = application->delegate();
    application->setDelegate(delegate);

    window = std::make_shared<UIWindow>(screen);
    tabBar = std::make_shared<UITabBarController>();
    UITabBarController::ControllerList tabs;
    const char* titles[] = {"Movies", "TV Shows", "Favorites", "Downloads", "About"};
    for (long i = 0; i < 5; ++i) {
        auto navigation = UINavigationController::initWithRootViewController(tabRoot(i, titles[i]));
        navigation->tabBarItem()->setTitle(titles[i]);
        navigations.push_back(navigation);
        tabs.push_back(navigation);
    }
    tabBar->setViewControllers(tabs);
    window->setRootViewController(tabBar);
    window->makeKeyAndVisible();
    delegate->setWindow(window);
    layout();
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
    UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPhone);
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
    auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesDownloadModel");
    if (!predicate.empty()) request->setPredicate(NSPredicate::predicateWithFormat(predicate, std::move(args)));
    NSErrorPtr error;
    std::vector<std::shared_ptr<MoviesDownloadModel>> out;
    for (const auto& o : delegate->managedObjectContext()->executeFetchRequest(request, &error))
        out.push_back(std::dynamic_pointer_cast<MoviesDownloadModel>(o));
    return out;
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

namespace {
size_t appendBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}
}  // namespace

std::string fetchBytes(const std::string& url) {
    std::string body;
    CURL* curl = curl_easy_init();
    if (!curl) return body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    if (curl_easy_perform(curl) != CURLE_OK) body.clear();
    curl_easy_cleanup(curl);
    return body;
}

long postJson(const std::string& url, const std::string& body) {
    CURL* curl = curl_easy_init();
    if (!curl) return 0;
    std::string answer;
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return status;
}

}  // namespace librarytests
