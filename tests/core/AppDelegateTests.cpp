// Protects the application delegate: launch, the interstitial gates, the top-most controller, stream playback and the object store's opening and failures.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/AppDelegate.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSManagedObject.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/foundation/NSLog.h"
#include "platform/media/AVAudioSession.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIDevice.h"
#include "support/LoopbackHttpServer.h"
#include "support/TabBarShell.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

// Console lines written while the object lives.
struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogCapture() { setLogHook(nullptr); }
    std::size_t count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& l : lines)
            if (l.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

// An application delegate that the shared application holds, launched.
std::shared_ptr<AppDelegate> launchedDelegate() {
    auto delegate = std::make_shared<AppDelegate>();
    auto app = UIApplication::sharedApplication();
    app->setDelegate(delegate);
    REQUIRE(delegate->didFinishLaunchingWithOptions(app, Value()));
    return delegate;
}

// The answers of the pacing gate for `calls` calls.
std::vector<bool> pacing(AppDelegate& d, int calls) {
    std::vector<bool> out;
    for (int i = 0; i < calls; ++i) out.push_back(d.showAdvertisingFullScreen());
    return out;
}

std::vector<bool> bools(const std::string& pattern) {
    std::vector<bool> out;
    for (char c : pattern) out.push_back(c == 'Y');
    return out;
}

// Records "kRefreshMovieViewNotification".
struct RefreshCounter {
    int count = 0;
    std::shared_ptr<NSObject> token;
    RefreshCounter() {
        token = NSNotificationCenter::defaultCenter()->addObserverForName(
            kRefreshMovieViewNotification, nullptr, nullptr, [this](const NSNotification&) { ++count; });
    }
    ~RefreshCounter() { NSNotificationCenter::defaultCenter()->removeObserver(token.get()); }
};

testsupport::StaticOptions videoOptions() {
    testsupport::StaticOptions options;
    options.contentType = "video/mp4";
    return options;
}

struct PlaybackFixture {
    testsupport::TempHome home;
    std::shared_ptr<AppDelegate> delegate = launchedDelegate();
    testsupport::TabBarShell shell = testsupport::installTabBarShell(delegate);
    RefreshCounter refreshes;
    PlaybackFixture() { UIAlertView::removeAllForTesting(); }
    ~PlaybackFixture() { UIAlertView::removeAllForTesting(); }

    std::shared_ptr<UIViewController> screen() const { return shell.screens[0]; }
    std::shared_ptr<MPMoviePlayerViewController> presentedPlayer() const {
        return std::dynamic_pointer_cast<MPMoviePlayerViewController>(delegate->getTopViewController());
    }
};

}  // namespace

TEST_CASE("launch configures the process and opens no store") {
    testsupport::TempHome home;
    LogCapture log;
    AVAudioSession::injectFailures(nullptr, NSError::make("com.quorvane.test", 7, "busy"));
    auto delegate = launchedDelegate();
    AVAudioSession::injectFailures(nullptr, nullptr);
    CHECK(delegate->localCount() == 2);
    CHECK(delegate->localAds() == 0);
    CHECK(UIApplication::sharedApplication()->statusBarStyle() == UIStatusBarStyleLightContent);
    CHECK(UIDevice::currentDevice()->isGeneratingDeviceOrientationNotifications());
    CHECK(log.count("<AppDelegate: ") == 1);
    bool sawSilenceLine = false;
    for (const auto& l : log.lines)
        if (l.find(" Error: Could not activate silence mode. (null) ") != std::string::npos) sawSilenceLine = true;
    CHECK(sawSilenceLine);
    CHECK(delegate->defaultInfo().isNull());
    CHECK_FALSE(std::filesystem::exists(std::filesystem::path(home.path()) / "Documents" / "Quorvane.sqlite"));
}

TEST_CASE("the pacing gate releases every n-th interstitial after the first") {
    testsupport::TempHome home;
    auto d = launchedDelegate();
    SUBCASE("AdvCount 1 releases every call") {
        d->setDefaultInfo(Value{{"AdvCount", 1}});
        CHECK(pacing(*d, 4) == bools("YYYY"));
        CHECK(d->localAds() == 4);
    }
    SUBCASE("AdvCount 2 releases the first call then every second") {
        d->setDefaultInfo(Value{{"AdvCount", 2}});
        CHECK(pacing(*d, 5) == bools("YNYNY"));
    }
    SUBCASE("AdvCount 3 from launch") {
        d->setDefaultInfo(Value{{"AdvCount", "3"}});
        CHECK(pacing(*d, 8) == bools("NYNNYNNY"));
        CHECK(d->localAds() == 3);
    }
    SUBCASE("AdvCount 5") {
        d->setDefaultInfo(Value{{"AdvCount", 5}});
        CHECK(pacing(*d, 9) == bools("NNNYNNNNY"));
    }
    SUBCASE("missing zero or negative AdvCount and an empty configuration never release") {
        for (Value info : {Value{{"AdvType", 1}}, Value{{"AdvCount", 0}}, Value{{"AdvCount", -3}}, Value()}) {
            d->setDefaultInfo(info);
            CHECK(pacing(*d, 3) == bools("NNN"));
            CHECK(d->localCount() == 2);
            CHECK(d->localAds() == 0);
        }
    }
}

TEST_CASE("the ads-on gate reads AdvType as a number") {
    testsupport::TempHome home;
    auto d = launchedDelegate();
    CHECK_FALSE(d->checkShowAdvertising());  // no configuration yet
    struct Case {
        Value advType;
        bool on;
    };
    for (const auto& c : std::vector<Case>{{1, true}, {7, true}, {"2", true}, {" 3", true}, {2.5, true},
                                          {0, false}, {-1, false}, {"0", false}, {"abc", false}, {"", false}}) {
        d->setDefaultInfo(Value{{"AdvType", c.advType}});
        CHECK_MESSAGE(d->checkShowAdvertising() == c.on, c.advType.description());
    }
    d->setDefaultInfo(Value{{"AdvCount", 2}});
    CHECK_FALSE(d->checkShowAdvertising());
    // The gate changes nothing.
    CHECK(d->localCount() == 2);
}

TEST_CASE("the top-most controller is the selected tab's top screen or what it presents") {
    testsupport::TempHome home;
    auto d = launchedDelegate();
    CHECK(d->getTopViewController() == nullptr);  // no window yet
    auto shell = testsupport::installTabBarShell(d);
    CHECK(d->getTopViewController() == shell.screens[0]);
    shell.tabBar->setSelectedIndex(2);
    auto pushed = std::make_shared<UIViewController>();
    shell.navigations[2]->pushViewController(pushed, false);
    CHECK(d->getTopViewController() == pushed);
    auto modal = std::make_shared<UIViewController>();
    pushed->presentViewController(modal, false, {});
    CHECK(d->getTopViewController() == modal);
    // One level only: what the modal presents is not followed.
    auto second = std::make_shared<UIViewController>();
    modal->presentViewController(second, false, {});
    CHECK(d->getTopViewController() == modal);
    // A root that is not a tab-bar controller is the candidate itself.
    auto plain = std::make_shared<UIViewController>();
    shell.window->setRootViewController(plain);
    CHECK(d->getTopViewController() == plain);
}

TEST_CASE("a stream that plays stays up until the user leaves it") {
    PlaybackFixture f;
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/media/movie.mp4", testsupport::serveBytes(std::string(256 * 1024, 'v'), videoOptions()));
    f.delegate->startPlaybackEventWithURLString(server.url("/media/movie.mp4"));
    auto player = f.presentedPlayer();
    REQUIRE(player);
    REQUIRE(runMainUntil([&] { return player->moviePlayer()->playbackState() == MPMoviePlaybackStatePlaying; }));
    CHECK(server.requestCount() >= 1);
    // Playing to the end keeps the player on screen and posts nothing.
    CHECK(player->moviePlayer()->finishPlaybackForTesting());
    NSRunLoop::mainRunLoop()->runFor(0.05);
    CHECK(f.presentedPlayer() == player);
    CHECK(f.refreshes.count == 0);
    // The user's exit posts the refresh and dismisses the player.
    player->moviePlayer()->userExit();
    CHECK(f.refreshes.count == 1);
    REQUIRE(runMainUntil([&] { return f.screen()->presentedViewController() == nullptr; }));
    CHECK(UIAlertView::visibleAlerts().empty());
    CHECK(NSNotificationCenter::defaultCenter()->observerCount(MPMoviePlayerPlaybackDidFinishNotification) == 0);
}

TEST_CASE("a stream that cannot be opened shows the error and goes away") {
    PlaybackFixture f;
    int port;
    {
        testsupport::LoopbackHttpServer gone;  // a port that was just closed
        port = gone.port();
    }
    f.delegate->startPlaybackEventWithURLString("http://127.0.0.1:" + std::to_string(port) + "/media/none.mp4");
    REQUIRE(f.presentedPlayer());
    REQUIRE(runMainUntil([&] { return !UIAlertView::visibleAlerts().empty(); }));
    auto alert = UIAlertView::visibleAlerts().front();
    CHECK(alert->title() == "Error");
    CHECK(alert->message() == "Cannot open this video.");
    CHECK(alert->numberOfButtons() == 1);
    CHECK(alert->buttonTitleAtIndex(0) == "OK");
    CHECK(f.refreshes.count == 1);
    REQUIRE(runMainUntil([&] { return f.screen()->presentedViewController() == nullptr; }));
    CHECK(UIAlertView::pressButton("OK"));
}

TEST_CASE("playback over a modal screen presents over that screen and a null URL starts nothing") {
    PlaybackFixture f;
    auto before = NSNotificationCenter::defaultCenter()->observerCount(MPMoviePlayerPlaybackDidFinishNotification);
    f.delegate->startPlaybackEventWithURLString(std::nullopt);
    CHECK(f.screen()->presentedViewController() == nullptr);
    CHECK(NSNotificationCenter::defaultCenter()->observerCount(MPMoviePlayerPlaybackDidFinishNotification) == before);

    auto modal = std::make_shared<UIViewController>();
    f.screen()->presentViewController(modal, false, {});
    testsupport::TempHome files;
    auto movie = (std::filesystem::path(files.path()) / "local.mp4").string();
    std::ofstream(movie) << std::string(4096, 'm');
    f.delegate->startPlaybackEventWithURLString("file://" + movie);
    auto player = std::dynamic_pointer_cast<MPMoviePlayerViewController>(modal->presentedViewController());
    REQUIRE(player);
    REQUIRE(runMainUntil([&] { return player->moviePlayer()->playbackState() == MPMoviePlaybackStatePlaying; }));
    player->moviePlayer()->userExit();
    REQUIRE(runMainUntil([&] { return modal->presentedViewController() == nullptr; }));
    CHECK(f.screen()->presentedViewController() == modal);
}

TEST_CASE("the object store opens on first use and keeps its records across a restart") {
    testsupport::TempHome home;
    auto store = std::filesystem::path(home.path()) / "Documents" / "Quorvane.sqlite";
    {
        auto d = launchedDelegate();
        CHECK_FALSE(std::filesystem::exists(store));
        auto context = d->managedObjectContext();
        REQUIRE(context);
        CHECK(d->managedObjectContext() == context);
        CHECK(std::filesystem::exists(store));
        auto favourite = NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", context);
        REQUIRE(favourite);
        favourite->setValueForKey("movieID", 42);
        favourite->setValueForKey("title", "Night Train");
        CHECK(context->hasChanges());
        CHECK(d->saveContext());
        CHECK_FALSE(context->hasChanges());
    }
    auto d = launchedDelegate();
    auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesFavoritiesModel");
    request->setPredicate(NSPredicate::predicateWithFormat("movieID == %@", {Value(42)}));
    NSErrorPtr error;
    auto found = d->managedObjectContext()->executeFetchRequest(request, &error);
    REQUIRE(found.size() == 1);
    CHECK(found[0]->valueForKey("title") == Value("Night Train"));
    CHECK(d->storeOpenError() == nullptr);
}

TEST_CASE("an unreadable store is kept aside and a fresh store opens") {
    testsupport::TempHome home;
    LogCapture log;
    auto documents = std::filesystem::path(home.path()) / "Documents";
    std::filesystem::create_directories(documents);
    const std::string garbage = "this is not a database, but it is somebody's data\n";
    std::ofstream(documents / "Quorvane.sqlite") << garbage;

    auto d = launchedDelegate();
    auto context = d->managedObjectContext();
    REQUIRE(context);
    REQUIRE(d->storeOpenError());
    CHECK(log.count("Unresolved error ") == 1);
    REQUIRE(d->movedAsideStorePath());
    std::ifstream kept(*d->movedAsideStorePath());
    CHECK(std::string(std::istreambuf_iterator<char>(kept), {}) == garbage);
    // The fresh store works.
    auto record = NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", context);
    REQUIRE(record);
    record->setValueForKey("title", "Episode 1");
    record->setValueForKey("isDownload", false);
    CHECK(d->saveContext());
}

TEST_CASE("a failed save is reported and the process goes on") {
    testsupport::TempHome home;
    LogCapture log;
    auto d = launchedDelegate();
    auto context = d->managedObjectContext();
    REQUIRE(context);
    auto record = NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", context);
    record->setValueForKey("title", "Episode 2");
    // The store file disappears under the open store.
    std::filesystem::remove(std::filesystem::path(home.path()) / "Documents" / "Quorvane.sqlite");
    NSErrorPtr error;
    CHECK_FALSE(d->saveContext(&error));
    REQUIRE(error);
    CHECK(log.count("Unresolved error ") == 1);
    CHECK(context->hasChanges());  // nothing was lost from the context
}
