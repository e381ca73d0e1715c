// Protects the audio session, the system sounds played, and the movie player: files and streams that play or fail with reason 1, and the player controller's dismissal.
#include <doctest/doctest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/audiotoolbox/AudioServices.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"
#include "platform/media/AVAudioSession.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

// Records the did-finish notifications of one player.
struct FinishRecorder {
    struct Entry {
        long reason;
        NSErrorPtr error;
        bool onMain;
    };
    std::vector<Entry> entries;
    std::shared_ptr<NSObject> token;

    explicit FinishRecorder(const std::shared_ptr<MPMoviePlayerController>& player) {
        token = NSNotificationCenter::defaultCenter()->addObserverForName(
            MPMoviePlayerPlaybackDidFinishNotification, player, nullptr, [this](const NSNotification& n) {
                entries.push_back({n.userInfo()[MPMoviePlayerPlaybackDidFinishReasonUserInfoKey].intValue() + 0L,
                                   n.userInfo()[MPMoviePlayerPlaybackDidFinishErrorUserInfoKey].objectAs<NSError>(),
                                   NSThread::isMainThread()});
            });
    }
    ~FinishRecorder() { NSNotificationCenter::defaultCenter()->removeObserver(token.get()); }
};

// Runs the main loop until everything queued on the main queue so far has run.
void drainMainQueue() {
    bool done = false;
    dispatch_async(dispatch_get_main_queue(), [&] { done = true; });
    REQUIRE(runMainUntil([&] { return done; }));
}

std::string writeFile(const std::string& dir, const std::string& name, const std::string& bytes) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// A port on the loopback interface that nobody listens on.
int closedLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    REQUIRE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}


}  // namespace

TEST_CASE("audio session takes the playback category and activates") {
    AVAudioSession::injectFailures(nullptr, nullptr);
    auto session = AVAudioSession::sharedInstance();
    CHECK(session == AVAudioSession::sharedInstance());
    CHECK(session->category() == AVAudioSessionCategorySoloAmbient);
    NSErrorPtr error;
    CHECK(session->setCategory(AVAudioSessionCategoryPlayback, &error));
    CHECK(error == nullptr);
    CHECK(session->category() == "AVAudioSessionCategoryPlayback");
    CHECK(session->setActive(true, &error));
    CHECK(session->isActive());
    CHECK_FALSE(session->setCategory("NoSuchCategory", &error));
    REQUIRE(error);
    CHECK(error->domain() == NSOSStatusErrorDomain);
    CHECK(session->category() == AVAudioSessionCategoryPlayback);
}

TEST_CASE("system sounds played from any thread are recorded in order until cleared, the last 64 and a count of all") {
    AudioServicesClearPlayedSystemSounds();
    AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
    bool played = false;
    dispatch_async(dispatch_get_global_queue(0, 0), [&played] {
        AudioServicesPlaySystemSound(1104);
        dispatch_async(dispatch_get_main_queue(), [&played] { played = true; });
    });
    REQUIRE(runMainUntil([&] { return played; }));
    AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
    CHECK(AudioServicesPlayedSystemSounds() == std::vector<SystemSoundID>{4095, 1104, 4095});
    CHECK(AudioServicesPlayedSystemSoundCount() == 3);
    // Sounds without end (an ad vibrating in a loop): the record keeps the last ones.
    for (SystemSoundID sound = 0; sound < 10000; ++sound) AudioServicesPlaySystemSound(sound);
    const auto last = AudioServicesPlayedSystemSounds();
    REQUIRE(last.size() == kPlayedSystemSoundsKept);
    CHECK(last.front() == 10000 - kPlayedSystemSoundsKept);
    CHECK(last.back() == 9999);
    CHECK(AudioServicesPlayedSystemSoundCount() == 10003);
    AudioServicesClearPlayedSystemSounds();
    CHECK(AudioServicesPlayedSystemSounds().empty());
    CHECK(AudioServicesPlayedSystemSoundCount() == 0);
}

TEST_CASE("audio session failures can be injected") {
    auto categoryError = NSError::make("AVAudioSessionErrorDomain", 560557684, "category refused");
    auto activeError = NSError::make("AVAudioSessionErrorDomain", 561017449, "session busy");
    AVAudioSession::injectFailures(categoryError, nullptr);
    auto session = AVAudioSession::sharedInstance();
    NSErrorPtr error;
    CHECK_FALSE(session->setCategory(AVAudioSessionCategoryPlayback, &error));
    CHECK(error == categoryError);
    CHECK(session->category() == AVAudioSessionCategorySoloAmbient);
    NSErrorPtr activation;
    CHECK(session->setActive(true, &activation));
    CHECK(activation == nullptr);

    AVAudioSession::injectFailures(nullptr, activeError);
    CHECK(session->setCategory(AVAudioSessionCategoryPlayback, &error));
    CHECK_FALSE(session->setActive(true, &activation));
    CHECK(activation == activeError);
    CHECK_FALSE(session->isActive());
    CHECK_FALSE(session->setActive(true));  // without an error out-parameter

    AVAudioSession::injectFailures(nullptr, nullptr);
    CHECK(session->setActive(true, &activation));
    CHECK(session->isActive());
}

TEST_CASE("a movie file plays and posts nothing") {
    testsupport::TempHome home;
    auto path = writeFile(home.path(), "clip one.mp4", std::string(4096, 'v'));
    auto player = MPMoviePlayerController::initWithContentURL("file://" + std::string(home.path()) + "/clip%20one.mp4");
    FinishRecorder finished(player);
    player->prepareToPlay();
    player->play();
    CHECK(player->isOpening());
    REQUIRE(runMainUntil([&] { return player->playbackState() == MPMoviePlaybackStatePlaying; }));
    CHECK(finished.entries.empty());
    CHECK(player->isPreparedToPlay());
    CHECK((player->loadState() & MPMovieLoadStatePlayable) != 0);
    CHECK(player->openCount() == 1);  // prepare and play open once

    // Played to the end: reason 0 and the player stops; then the user exits: reason 2.
    CHECK(player->finishPlaybackForTesting());
    CHECK(player->playbackState() == MPMoviePlaybackStateStopped);
    CHECK_FALSE(player->finishPlaybackForTesting());
    player->userExit();
    REQUIRE(finished.entries.size() == 2);
    CHECK(finished.entries[0].reason == MPMovieFinishReasonPlaybackEnded);
    CHECK(finished.entries[1].reason == MPMovieFinishReasonUserExited);
    CHECK(finished.entries[1].error == nullptr);
}

TEST_CASE("a missing movie file posts reason 1 with the error") {
    testsupport::TempHome home;
    auto player = MPMoviePlayerController::initWithContentURL("file://" + home.path() + "/missing.mp4");
    FinishRecorder finished(player);
    player->prepareToPlay();
    player->play();
    REQUIRE(runMainUntil([&] { return !finished.entries.empty(); }));
    drainMainQueue();
    REQUIRE(finished.entries.size() == 1);
    CHECK(finished.entries[0].reason == MPMovieFinishReasonPlaybackError);
    CHECK(finished.entries[0].onMain);
    REQUIRE(finished.entries[0].error);
    CHECK(finished.entries[0].error->domain() == NSPOSIXErrorDomain);
    CHECK(finished.entries[0].error->code() == ENOENT);
    CHECK(player->playbackState() == MPMoviePlaybackStateStopped);
    CHECK_FALSE(player->isPreparedToPlay());
}

TEST_CASE("an empty file a folder and an unknown scheme cannot be played") {
    testsupport::TempHome home;
    writeFile(home.path(), "empty.mp4", "");
    for (const std::string& url : {"file://" + home.path() + "/empty.mp4", "file://" + home.path(),
                                   std::string("rtsp://127.0.0.1/x"), std::string("not a url"),
                                   "file://otherhost" + home.path() + "/empty.mp4"}) {
        CAPTURE(url);
        auto player = MPMoviePlayerController::initWithContentURL(url);
        FinishRecorder finished(player);
        player->play();
        REQUIRE(runMainUntil([&] { return !finished.entries.empty(); }));
        CHECK(finished.entries[0].reason == MPMovieFinishReasonPlaybackError);
        CHECK(player->playbackState() == MPMoviePlaybackStateStopped);
    }
}

TEST_CASE("stopping abandons an opening under way") {
    testsupport::TempHome home;
    auto player = MPMoviePlayerController::initWithContentURL("file://" + home.path() + "/missing.mp4");
    FinishRecorder finished(player);
    player->play();
    player->stop();
    drainMainQueue();  // the outcome was queued before this marker
    CHECK(finished.entries.empty());
    CHECK(player->playbackState() == MPMoviePlaybackStateStopped);
}

TEST_CASE("an unreachable stream host posts reason 1 on the main thread") {
    auto player = MPMoviePlayerController::initWithContentURL("http://127.0.0.1:" +
                                                              std::to_string(closedLoopbackPort()) + "/stream.mp4");
    FinishRecorder finished(player);
    player->prepareToPlay();
    player->play();
    REQUIRE(runMainUntil([&] { return !finished.entries.empty(); }, 20));
    CHECK(finished.entries[0].reason == MPMovieFinishReasonPlaybackError);
    CHECK(finished.entries[0].onMain);
    REQUIRE(finished.entries[0].error);
    CHECK(finished.entries[0].error->domain() == NSURLErrorDomain);
    CHECK(finished.entries[0].error->code() == -1004);
    CHECK(player->playbackState() == MPMoviePlaybackStateStopped);
}

TEST_CASE("a stream that answers with its first bytes plays") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/movie.mp4", testsupport::serveBytes(std::string(2048, 'm')));
    auto player = MPMoviePlayerController::initWithContentURL(server.url("/movie.mp4"));
    FinishRecorder finished(player);
    player->prepareToPlay();
    player->play();
    REQUIRE(runMainUntil([&] { return player->playbackState() == MPMoviePlaybackStatePlaying; }, 20));
    CHECK(finished.entries.empty());
    REQUIRE(server.requests().size() == 1);
    const auto request = server.requests()[0];
    CHECK(request.method == "GET");
    CHECK(request.target == "/movie.mp4");
    CHECK(request.headers.get("Range") == "bytes=0-");
}

TEST_CASE("a stream answered with an error status posts reason 1") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/gone.mp4", testsupport::Reply::withStatus(404, "no such movie"));
    auto player = MPMoviePlayerController::initWithContentURL(server.url("/gone.mp4"));
    FinishRecorder finished(player);
    player->play();
    REQUIRE(runMainUntil([&] { return !finished.entries.empty(); }, 20));
    CHECK(finished.entries[0].reason == MPMovieFinishReasonPlaybackError);
    REQUIRE(finished.entries[0].error);
    CHECK(finished.entries[0].error->code() == -1011);
    CHECK(server.requests().size() == 1);
    CHECK(player->playbackState() == MPMoviePlaybackStateStopped);
}

TEST_CASE("the player view controller dismisses itself when playback finishes") {
    testsupport::TempHome home;
    writeFile(home.path(), "m.mp4", "movie bytes");
    auto root = std::make_shared<UIViewController>();
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setRootViewController(root);
    window->makeKeyAndVisible();

    auto playerController = MPMoviePlayerViewController::initWithContentURL("file://" + home.path() + "/m.mp4");
    REQUIRE(playerController->moviePlayer());
    CHECK(playerController->moviePlayer()->contentURL() == "file://" + home.path() + "/m.mp4");
    root->presentViewController(playerController, false);
    playerController->moviePlayer()->play();
    REQUIRE(runMainUntil([&] { return playerController->moviePlayer()->playbackState() == MPMoviePlaybackStatePlaying; }));
    CHECK(root->presentedViewController() == playerController);

    playerController->moviePlayer()->userExit();
    CHECK(root->presentedViewController() == nullptr);
    REQUIRE(runMainUntil([&] { return root->isViewVisible(); }));
}

TEST_CASE("the player view controller stays when its observation was removed") {
    testsupport::TempHome home;
    auto root = std::make_shared<UIViewController>();
    auto playerController = MPMoviePlayerViewController::initWithContentURL("file://" + home.path() + "/missing.mp4");
    NSNotificationCenter::defaultCenter()->removeObserver(
        playerController.get(), MPMoviePlayerPlaybackDidFinishNotification, playerController->moviePlayer().get());
    FinishRecorder finished(playerController->moviePlayer());
    root->presentViewController(playerController, true);
    playerController->moviePlayer()->prepareToPlay();
    playerController->moviePlayer()->play();
    REQUIRE(runMainUntil([&] { return !finished.entries.empty(); }));
    CHECK(finished.entries[0].reason == MPMovieFinishReasonPlaybackError);
    playerController->moviePlayer()->userExit();
    drainMainQueue();
    CHECK(root->presentedViewController() == playerController);
    root->dismissViewControllerAnimated(false);
    CHECK(root->presentedViewController() == nullptr);
}

TEST_CASE("a player that finishes while still animating in is dismissed once it is shown") {
    testsupport::TempHome home;
    auto root = std::make_shared<UIViewController>();
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto playerController = MPMoviePlayerViewController::initWithContentURL("file://" + home.path() + "/none.mp4");
    bool presented = false;
    root->presentViewController(playerController, true, [&] { presented = true; });
    playerController->moviePlayer()->userExit();  // the presentation has not finished yet
    CHECK(root->presentedViewController() == playerController);
    REQUIRE(runMainUntil([&] { return root->presentedViewController() == nullptr; }));
    CHECK(presented);
    CHECK(playerController->view()->superview() == nullptr);
    REQUIRE(runMainUntil([&] { return root->isViewVisible(); }));
}
