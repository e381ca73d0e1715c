// Protects how screens present the full-screen player: the presenter's
// present/dismiss calls, the AirPlay flag, and the switch that leaves the
// dismissal to the presenter so "Done" closes the player once and nothing more.
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "UIKitTestSupport.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIScreen.h"

using testsupport::runMainUntil;

namespace {

// A screen that plays a movie over itself and, when asked, closes the player
// itself once playback finishes (as the downloads screen does).
struct PlayingScreen : UIViewController {
    bool dismissesPlayer = false;
    int finished = 0;
    std::shared_ptr<NSObject> token;
    void play(const std::shared_ptr<MPMoviePlayerViewController>& player) {
        std::weak_ptr<PlayingScreen> weak = self<PlayingScreen>();
        token = NSNotificationCenter::defaultCenter()->addObserverForName(
            MPMoviePlayerPlaybackDidFinishNotification, player->moviePlayer(), nullptr, [weak](const NSNotification&) {
                auto me = weak.lock();
                if (!me) return;
                ++me->finished;
                if (me->dismissesPlayer) dismissMoviePlayerViewControllerAnimated(*me);
            });
        presentMoviePlayerViewControllerAnimated(*this, player);
    }
    ~PlayingScreen() override {
        if (token) NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    }
};

CGPoint centre(const std::shared_ptr<UIView>& view) {
    CGRect f = view->convertRectToView(view->bounds(), nullptr);
    return CGPointMake(f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2);
}

}  // namespace

TEST_CASE("Done closes the player once: by itself by default, or by the presenter that turned that off") {
    struct Case {
        const char* what;
        bool playerDismissesItself;
        bool screenDismissesPlayer;
        bool playerStays;
    };
    const Case cases[] = {
        {"the player closes itself", true, false, false},
        {"the presenter closes it, the player does not", false, true, false},
        {"nobody closes it", false, false, true},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        auto window = uikittest::visibleWindow(UIScreen::mainScreen()->bounds().size);
        auto root = std::make_shared<UIViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        // The screen is itself presented (a detail page over the shell).
        auto screen = std::make_shared<PlayingScreen>();
        screen->dismissesPlayer = c.screenDismissesPlayer;
        root->presentViewController(screen, false);

        auto player = MPMoviePlayerViewController::initWithContentURL("file:///nowhere/Night%20Train.mp4");
        CHECK(player->dismissesItselfWhenPlaybackFinishes());
        player->setDismissesItselfWhenPlaybackFinishes(c.playerDismissesItself);
        CHECK(player->moviePlayer()->respondsToSetAllowsAirPlay());
        CHECK_FALSE(player->moviePlayer()->allowsAirPlay());
        player->moviePlayer()->setAllowsAirPlay(true);
        CHECK(player->moviePlayer()->allowsAirPlay());
        screen->play(player);
        CHECK(screen->presentedViewController() == player);
        REQUIRE(runMainUntil([&] { return player->isViewVisible(); }, 5));
        CHECK(player->view()->frame() == window->bounds());

        CHECK(window->tap(centre(player->moviePlayerView()->doneButton())));
        CHECK(screen->finished == 1);
        runMainUntil([&] { return !player->isViewVisible() && !player->isBeingDismissed(); }, c.playerStays ? 0.2 : 5);
        CHECK(player->moviePlayer()->playbackState() == MPMoviePlaybackStateStopped);
        CHECK((screen->presentedViewController() == player) == c.playerStays);
        // The presenter's own presentation is never taken down with the player.
        CHECK(root->presentedViewController() == screen);
        CHECK(screen->view()->window() == window);
        if (c.playerStays) dismissMoviePlayerViewControllerAnimated(*screen);
        REQUIRE(runMainUntil([&] { return screen->presentedViewController() == nullptr && !player->isViewVisible(); }, 5));
        // Asked with no player presented, it leaves the presenter's presentation alone.
        dismissMoviePlayerViewControllerAnimated(*root);
        CHECK(root->presentedViewController() == screen);
        root->dismissViewControllerAnimated(false);
    }
}
