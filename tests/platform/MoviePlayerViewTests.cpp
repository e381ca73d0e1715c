// The full-screen player's view: black, the content's file name and playback
// state, and a "Done" button that ends playback as the user's choice.
#include <doctest/doctest.h>

#include <fstream>
#include <string>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIScreen.h"
#include "support/ReferenceImage.h"

using testsupport::runMainUntil;

namespace {

// The did-finish reasons one player posts.
struct Reasons {
    std::vector<long> seen;
    std::shared_ptr<NSObject> token;
    explicit Reasons(const std::shared_ptr<MPMoviePlayerController>& player) {
        token = NSNotificationCenter::defaultCenter()->addObserverForName(
            MPMoviePlayerPlaybackDidFinishNotification, player, nullptr, [this](const NSNotification& n) {
                seen.push_back(n.userInfo()[MPMoviePlayerPlaybackDidFinishReasonUserInfoKey].intValue() + 0L);
            });
    }
    ~Reasons() { NSNotificationCenter::defaultCenter()->removeObserver(token.get()); }
};

// Whether some pixel of the rectangle (in points) is light: text drawn in white.
bool hasLightPixel(const CGImageRef& image, CGRect rect, double scale) {
    for (double y = rect.origin.y; y < rect.origin.y + rect.size.height; y += 0.5)
        for (double x = rect.origin.x; x < rect.origin.x + rect.size.width; x += 0.5) {
            auto p = uikittest::probe(image, x, y, scale);
            if (p.r > 180 && p.g > 180 && p.b > 180) return true;
        }
    return false;
}

CGPoint centre(const std::shared_ptr<UIView>& view) {
    CGRect f = view->convertRectToView(view->bounds(), nullptr);
    return CGPointMake(f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2);
}

}  // namespace

TEST_CASE("the player view names the file, follows the playback state, and Done ends playback as the user's") {
    testsupport::TempHome home;
    const std::string path = home.path() + "/Night Train.mp4";
    std::ofstream(path, std::ios::binary) << std::string(4096, '\x01');
    auto window = uikittest::visibleWindow(UIScreen::mainScreen()->bounds().size);
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();

    auto controller = MPMoviePlayerViewController::initWithContentURL("file://" + home.path() + "/Night%20Train.mp4");
    auto player = controller->moviePlayer();
    Reasons reasons(player);
    root->presentViewController(controller, false);
    auto view = controller->moviePlayerView();
    REQUIRE(view);
    REQUIRE(runMainUntil([&] { return view->window() == window; }));
    CHECK(view->fileNameLabel()->text() == "Night Train.mp4");
    CHECK(view->stateLabel()->text() == "Stopped");

    player->play();
    REQUIRE_MESSAGE(runMainUntil([&] { return view->stateLabel()->text() == "Playing"; }), "the file to open");
    player->pause();
    CHECK(view->stateLabel()->text() == "Paused");
    player->play();
    CHECK(view->stateLabel()->text() == "Playing");

    const double scale = UIScreen::mainScreen()->scale();
    auto snapshot = window->snapshotImage(scale);
    REQUIRE(snapshot);
    const CGSize size = window->bounds().size;
    CHECK(uikittest::near(uikittest::probe(snapshot, 4, size.height - 4, scale), 0, 0, 0));
    CHECK(uikittest::near(uikittest::probe(snapshot, size.width / 2, size.height / 4, scale), 0, 0, 0));
    CHECK(hasLightPixel(snapshot, view->fileNameLabel()->frame(), scale));
    CHECK(hasLightPixel(snapshot, view->stateLabel()->frame(), scale));
    CHECK(hasLightPixel(snapshot, view->doneButton()->frame(), scale));  // its title
    auto reference = testsupport::compareWithReference(snapshot, "movie-player-playing@2x");
    CHECK_MESSAGE(reference.matched, reference.message);

    // Done, tapped through the window's touch driver.
    CHECK(window->tap(centre(view->doneButton())));
    REQUIRE(reasons.seen == std::vector<long>{MPMovieFinishReasonUserExited});
    CHECK(view->stateLabel()->text() == "Stopped");
    REQUIRE_MESSAGE(runMainUntil([&] { return root->presentedViewController() == nullptr; }), "the player to go");
    CHECK(player->playbackState() == MPMoviePlaybackStateStopped);
}

TEST_CASE("the player view says when the content cannot be opened") {
    testsupport::TempHome home;
    auto window = uikittest::visibleWindow(UIScreen::mainScreen()->bounds().size);
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    auto controller = MPMoviePlayerViewController::initWithContentURL("file://" + home.path() + "/gone.mp4");
    NSNotificationCenter::defaultCenter()->removeObserver(  // stays up after the failure
        controller.get(), MPMoviePlayerPlaybackDidFinishNotification, controller->moviePlayer().get());
    root->presentViewController(controller, false);
    auto view = controller->moviePlayerView();
    REQUIRE(view);
    REQUIRE(runMainUntil([&] { return view->window() == window; }));
    controller->moviePlayer()->play();
    REQUIRE_MESSAGE(runMainUntil([&] { return view->stateLabel()->text() == "Cannot open"; }), "the opening to fail");
    CHECK(view->fileNameLabel()->text() == "gone.mp4");
    // The file appears: playing again clears the failure.
    std::ofstream(home.path() + "/gone.mp4", std::ios::binary) << std::string(64, '\x01');
    controller->moviePlayer()->play();
    REQUIRE_MESSAGE(runMainUntil([&] { return view->stateLabel()->text() == "Playing"; }), "the second opening");
    // Off screen the view stops following its player.
    root->dismissViewControllerAnimated(false);
    REQUIRE(runMainUntil([&] { return view->window() == nullptr; }));
    CHECK(NSNotificationCenter::defaultCenter()->observerCount(MPMoviePlayerPlaybackStateDidChangeNotification) == 0);
    CHECK(NSNotificationCenter::defaultCenter()->observerCount(MPMoviePlayerPlaybackDidFinishNotification) == 0);
}

TEST_CASE("the player view's file name is the URL's last path component, unescaped") {
    struct Case {
        const char* url;
        const char* name;
    };
    const Case cases[] = {
        {"file:///home/u/Documents/My%20Movie.mp4", "My Movie.mp4"},
        {"http://127.0.0.1:8080/streams/ep1.mp4?sig=abc#t=10", "ep1.mp4"},
        {"https://cdn.example/v/%E5%A4%9C.mp4", "\xE5\xA4\x9C.mp4"},
        {"http://127.0.0.1/", "http://127.0.0.1/"},
        {"", ""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.url);
        CHECK(MPMoviePlayerView::fileNameForURL(c.url) == c.name);
    }
}
