#pragma once
// A full-screen view controller around a movie player. From its creation it
// observes its own player's did-finish notification and dismisses itself when
// playback finishes, for any reason ("Done" included). A presenter that
// dismisses the player itself turns that off, so the player leaves once and the
// presenter's own presentation stays:
//   controller->setDismissesItselfWhenPlaybackFinishes(false);
// (removing the observation does the same:
//   NSNotificationCenter::defaultCenter()->removeObserver(controller.get(),
//       MPMoviePlayerPlaybackDidFinishNotification, controller->moviePlayer().get());)
// Its view is an MPMoviePlayerView: black, the file name and playback state, and
// a "Done" button that ends playback as the user's choice (reason 2).
#include <memory>
#include <string>

#include "platform/media/MPMoviePlayerController.h"
#include "platform/media/MPMoviePlayerView.h"
#include "platform/uikit/UIViewController.h"

class MPMoviePlayerViewController : public UIViewController {
public:
    MPMoviePlayerViewController();
    // initWithContentURL:
    static std::shared_ptr<MPMoviePlayerViewController> initWithContentURL(const std::string& url);

    const std::shared_ptr<MPMoviePlayerController>& moviePlayer() const { return moviePlayer_; }
    // YES by default.
    bool dismissesItselfWhenPlaybackFinishes() const { return dismissesItself_; }
    void setDismissesItselfWhenPlaybackFinishes(bool dismisses) { dismissesItself_ = dismisses; }
    // The controller's view, loaded on first use.
    std::shared_ptr<MPMoviePlayerView> moviePlayerView();
    void loadView() override;

private:
    void moviePlayerDidFinish();
    std::shared_ptr<MPMoviePlayerController> moviePlayer_;
    bool dismissesItself_ = true;
};

// The presenter's side (presentMoviePlayerViewControllerAnimated: and
// dismissMoviePlayerViewControllerAnimated): presents the player full screen,
// animated, over the presenter; dismisses what the presenter presents when
// that is a movie player view controller (anything else is left alone).
void presentMoviePlayerViewControllerAnimated(UIViewController& presenter,
                                              const std::shared_ptr<MPMoviePlayerViewController>& player);
void dismissMoviePlayerViewControllerAnimated(UIViewController& presenter);
