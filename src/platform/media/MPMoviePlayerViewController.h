#pragma once
// A full-screen view controller around a movie player. From its creation it
// observes its own player's did-finish notification and dismisses itself when
// playback finishes, for any reason; callers that handle the end themselves
// remove that observation:
//   NSNotificationCenter::defaultCenter()->removeObserver(controller.get(),
//       MPMoviePlayerPlaybackDidFinishNotification, controller->moviePlayer().get());
#include <memory>
#include <string>

#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/UIViewController.h"

class MPMoviePlayerViewController : public UIViewController {
public:
    MPMoviePlayerViewController();
    // initWithContentURL:
    static std::shared_ptr<MPMoviePlayerViewController> initWithContentURL(const std::string& url);

    const std::shared_ptr<MPMoviePlayerController>& moviePlayer() const { return moviePlayer_; }

private:
    void moviePlayerDidFinish();
    std::shared_ptr<MPMoviePlayerController> moviePlayer_;
};
