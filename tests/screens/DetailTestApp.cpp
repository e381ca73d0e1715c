// Protects the detail page tests' application: one home and delegate, a catalogue server per stage, the tab-bar shell and the opened page.
#include "DetailTestApp.h"

#include <doctest/doctest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "core/DownloadManager.h"
#include "core/NLRestClient.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/coredata/NSPersistentStoreCoordinator.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITabBar.h"
#include "screens/MainStoryboard.h"
#include "screens/RotationPolicy.h"
#include "support/HttpFetch.h"
#include "ui/progresshud/LOProgressHUD.h"

namespace screentest {

TestApplication::TestApplication() : delegate(std::make_shared<AppDelegate>()) {
    auto application = UIApplication::sharedApplication();
    application->setDelegate(delegate);
    REQUIRE(delegate->didFinishLaunchingWithOptions(application, Value()));
    REQUIRE(delegate->managedObjectContext());
    // The download manager keeps the store of the delegate that is current at its first use.
    DownloadManager::downloadManager();
}

TestApplication& TestApplication::shared() {
    static TestApplication application;
    return application;
}

void TestApplication::reopenStore(bool readOnly) {
    auto coordinator = delegate->persistentStoreCoordinator();
    auto store = coordinator->persistentStores().front();
    const std::string path = store->URL();
    NSErrorPtr error;
    REQUIRE(coordinator->removePersistentStore(store, &error));
    const Value options = readOnly ? Value{{NSReadOnlyPersistentStoreOption, true}} : Value::dictionary();
    REQUIRE_MESSAGE(coordinator->addPersistentStoreWithType(NSSQLiteStoreType, "", path, options, &error),
                    (error ? error->description() : std::string()));
}

std::string TestApplication::storePath() const {
    auto stores = delegate->persistentStoreCoordinator()->persistentStores();
    REQUIRE(!stores.empty());
    return stores.front()->URL();
}

// ------------------------------------------------------------------ catalogue

Catalogue::Catalogue(const std::vector<std::string>& extraArguments) {
    std::string folder = (std::filesystem::temp_directory_path() / "quorvane-catalogue-XXXXXX").string();
    REQUIRE(mkdtemp(folder.data()));
    scratch_ = folder;
    std::vector<std::string> arguments{"--control-port-file", scratch_ + "/control-port", "--media-size", "300000"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    server_ = std::make_unique<testtools::CatalogueServerProcess>(arguments);
    REQUIRE_MESSAGE(server_->started(), "the catalogue server did not start");
    int port = 0;
    std::ifstream(scratch_ + "/control-port") >> port;
    REQUIRE_MESSAGE(port > 0, "the catalogue server wrote no control port");
    control_ = "http://127.0.0.1:" + std::to_string(port) + "/control";
}

std::string Catalogue::baseURL() const { return server_->origin() + "/admin/index.php/apiios_final"; }

long Catalogue::order(const std::string& kind, const nlohmann::json& body) const {
    return testtools::httpPostJson(control_ + "/" + kind, body.dump()).status;
}

nlohmann::json Catalogue::log() const {
    auto reply = testtools::httpGet(control_ + "/log");
    REQUIRE(reply.status == 200);
    return nlohmann::json::parse(reply.body)["requests"];
}

nlohmann::json Catalogue::mediaLog() const {
    auto reply = testtools::httpGet(control_ + "/media-log");
    REQUIRE(reply.status == 200);
    return nlohmann::json::parse(reply.body)["requests"];
}

std::size_t Catalogue::requests(const std::string& action) const {
    std::size_t n = 0;
    for (const auto& entry : log())
        if (entry["action"] == action) ++n;
    return n;
}

// ------------------------------------------------------------------ shell and stage

std::shared_ptr<UITabBarItem> Shell::downloadsItem() const {
    const auto& items = tabBar->tabBar()->items();
    return items.size() > static_cast<std::size_t>(MyTabbarViewController::kDownloadsTabIndex)
               ? items[MyTabbarViewController::kDownloadsTabIndex]
               : nullptr;
}

namespace {

// What the launch installs: the storyboard's tab-bar shell as the root of the delegate's window.
Shell installShell(const std::shared_ptr<AppDelegate>& delegate) {
    registerMainStoryboard();
    installRotationPolicy();
    Shell shell;
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    REQUIRE(storyboard);
    shell.tabBar = storyboard->instantiate<MyTabbarViewController>("MyTabbarViewController");
    REQUIRE(shell.tabBar);
    for (const auto& tab : shell.tabBar->viewControllers()) {
        auto navigation = std::dynamic_pointer_cast<UINavigationController>(tab);
        REQUIRE(navigation);
        shell.navigations.push_back(navigation);
    }
    shell.window = std::make_shared<UIWindow>(UIScreen::mainScreen()->bounds());
    shell.window->setRootViewController(shell.tabBar);
    delegate->setWindow(shell.window);
    shell.window->makeKeyAndVisible();
    return shell;
}

}  // namespace

Value fetchThroughClient(const std::function<void(NLRestClient::Success, NLRestClient::Failure)>& call,
                         const std::string& what) {
    std::optional<Value> data;
    bool failed = false;
    call([&](const Value& v) { data = v; }, [&](const NSErrorPtr&) { failed = true; });
    waitFor([&] { return data.has_value() || failed; }, what);
    REQUIRE_MESSAGE(data, what << " failed");
    return *data;
}

namespace {

void removeAll(const std::shared_ptr<NSManagedObjectContext>& context, const char* entity) {
    NSErrorPtr error;
    for (const auto& object : context->executeFetchRequest(NSFetchRequest::fetchRequestWithEntityName(entity), &error))
        context->deleteObject(object);
}

}  // namespace

Stage::Stage(bool tablet, const std::vector<std::string>& catalogueArguments)
    : app(TestApplication::shared()), device(tablet), catalogue(catalogueArguments) {
    UIAlertView::removeAllForTesting();
    NLRestClient::sharedClient()->setBaseURL(catalogue.baseURL());
    UIApplication::sharedApplication()->setDelegate(app.delegate);
    shell = installShell(app.delegate);
    // The grids at the roots hide their navigation bars; the pages bring their own headers.
    for (const auto& navigation : shell.navigations) navigation->setNavigationBarHidden(true);
    settle();
}

Stage::~Stage() {
    UIAlertView::removeAllForTesting();
    auto manager = DownloadManager::downloadManager();
    auto downloads = manager->getListDownloading();
    for (const auto& download : downloads) manager->deleteMovieDownloading(download);
    testsupport::runMainUntil(
        [&] { return std::all_of(downloads.begin(), downloads.end(), [](const auto& d) { return d->isFinished(); }); },
        20);
    UIApplication::sharedApplication()->setDelegate(app.delegate);
    if (app.delegate->persistentStoreCoordinator()->persistentStores().front()->options()[NSReadOnlyPersistentStoreOption])
        app.reopenStore(false);
    auto context = app.delegate->managedObjectContext();
    context->rollback();
    removeAll(context, "MoviesFavoritiesModel");
    removeAll(context, "MoviesDownloadModel");
    NSErrorPtr error;
    CHECK_MESSAGE(context->save(&error), "the stage's records could not be removed");
    shell.window->setHidden(true);
    UIApplication::sharedApplication()->setKeyWindow(nullptr);
}

Value Stage::fetchList() {
    return fetchThroughClient(
        [](auto success, auto failure) {
            NLRestClient::sharedClient()->getListMoviesWithType("popular", 0, 1, success, failure);
        },
        "the first page of popular movies");
}

Value Stage::fetchDetail(std::int32_t movieID) {
    return fetchThroughClient(
        [movieID](auto success, auto failure) { NLRestClient::sharedClient()->getDetailMovies(movieID, success, failure); },
        "the detail of title " + std::to_string(movieID));
}

Value Stage::fetchStreams(std::int32_t chapterID) {
    return fetchThroughClient(
        [chapterID](auto success, auto failure) {
            NLRestClient::sharedClient()->getListStreamOfChapter(chapterID, success, failure);
        },
        "the streams of chapter " + std::to_string(chapterID));
}

std::shared_ptr<MoviesModel> Stage::firstMovie() {
    const Value list = fetchList();
    REQUIRE(list["films"].count() > 0);
    return MoviesModel::fromFilmInfo(list["films"][0]);
}

std::shared_ptr<DetailMoviesViewController> Stage::open(const std::shared_ptr<MoviesModel>& movie, std::size_t tab,
                                                        bool waitForDetail) {
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    REQUIRE(storyboard);
    auto page = storyboard->instantiate<DetailMoviesViewController>(
        tablet() ? DetailMoviesViewController::kTabletIdentifier : DetailMoviesViewController::kPhoneIdentifier);
    REQUIRE(page);
    page->setMovieCurrent(movie);
    page->setModalPresentationStyle(UIModalPresentationFormSheet);
    REQUIRE(tab < shell.navigations.size());
    shell.tabBar->setSelectedIndex(static_cast<long>(tab));
    auto navigation = shell.navigations[tab];
    if (tablet())
        navigation->presentViewController(page, true);
    else
        navigation->pushViewController(page, true);
    waitFor([&] { return page->isViewVisible(); }, "the detail page to appear");
    if (!waitForDetail) return page;
    waitForOverlayGone(page, "the detail reply");
    settle();
    return page;
}

void Stage::close(std::size_t tab) {
    if (tablet())
        shell.navigations[tab]->dismissViewControllerAnimated(true);
    else
        shell.navigations[tab]->popViewControllerAnimated(true);
    settle();
}

void Stage::waitForOverlayGone(const std::shared_ptr<DetailMoviesViewController>& page, const std::string& what) {
    waitFor([&] { return !LOProgressHUD::HUDForView(page->view()); }, "the overlay to go after " + what);
}

void Stage::chooseChapter(const std::shared_ptr<DetailMoviesViewController>& page, long row) {
    auto table = page->outlets().chaptersTable.lock();
    REQUIRE(table);
    finger.tapRow(*table, row);
    waitForOverlayGone(page, "the stream reply");
}

std::shared_ptr<ListStreamViewController> Stage::waitForDialog(const std::shared_ptr<DetailMoviesViewController>& page) {
    waitFor([&] { return page->popoverController() && page->popoverController()->isPopoverVisible(); },
            "the stream dialog");
    settle();
    auto picker = std::dynamic_pointer_cast<ListStreamViewController>(page->popoverController()->contentViewController());
    REQUIRE(picker);
    return picker;
}

std::vector<std::shared_ptr<NSManagedObject>> storedRows(const std::string& entity) {
    auto& app = TestApplication::shared();
    auto coordinator = NSPersistentStoreCoordinator::initWithManagedObjectModel(app.delegate->managedObjectModel());
    NSErrorPtr error;
    REQUIRE(coordinator->addPersistentStoreWithType(NSSQLiteStoreType, "", app.storePath(), Value(), &error));
    auto context = std::make_shared<NSManagedObjectContext>();
    context->setPersistentStoreCoordinator(coordinator);
    auto rows = context->executeFetchRequest(NSFetchRequest::fetchRequestWithEntityName(entity), &error);
    REQUIRE_MESSAGE(!error, "the store file could not be read");
    return rows;
}

}  // namespace screentest
