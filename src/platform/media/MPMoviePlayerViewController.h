#pragma once
// A full-screen view controller around a movie player. From its creation it
// observes its own player's did-finish notification and dismisses itself when
// playback finishes, for any reason; callers that handle the end themselves
// remove that observation:
//   NSNotificationCenter::defaultCenter()->removeObserver(controller.get(),
//       MPMoviePlayerPlaybackDidFinishNotification, controller->moviePlayer().get());
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
    // The controller's view, loaded on first use.
    std::shared_ptr<MPMoviePlayerView> moviePlayerView();
    void loadView() override;

private:
    void moviePlayerDidFinish();
    std::shared_ptr<MPMoviePlayerController> moviePlayer_;
};
