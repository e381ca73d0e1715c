#include "platform/media/MPMoviePlayerViewController.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIScreen.h"

MPMoviePlayerViewController::MPMoviePlayerViewController() : moviePlayer_(std::make_shared<MPMoviePlayerController>()) {}

std::shared_ptr<MPMoviePlayerViewController> MPMoviePlayerViewController::initWithContentURL(const std::string& url) {
    auto controller = std::make_shared<MPMoviePlayerViewController>();
    controller->moviePlayer_->setContentURL(url);
    std::weak_ptr<MPMoviePlayerViewController> weakController = controller;
    NSNotificationCenter::defaultCenter()->addObserver(
        controller,
        [weakController](const NSNotification&) {
            if (auto c = weakController.lock()) c->moviePlayerDidFinish();
        },
        MPMoviePlayerPlaybackDidFinishNotification, controller->moviePlayer_);
    return controller;
}

void MPMoviePlayerViewController::moviePlayerDidFinish() {
    if (dismissesItself_ && presentingViewController()) dismissViewControllerAnimated(true);
}

void presentMoviePlayerViewControllerAnimated(UIViewController& presenter,
                                              const std::shared_ptr<MPMoviePlayerViewController>& player) {
    if (!player) return;
    player->setModalPresentationStyle(UIModalPresentationFullScreen);
    presenter.presentViewController(player, true);
}

void dismissMoviePlayerViewControllerAnimated(UIViewController& presenter) {
    if (std::dynamic_pointer_cast<MPMoviePlayerViewController>(presenter.presentedViewController()))
        presenter.dismissViewControllerAnimated(true);
}

void MPMoviePlayerViewController::loadView() {
    setView(MPMoviePlayerView::viewForPlayer(UIScreen::mainScreen()->bounds(), moviePlayer_));
}

std::shared_ptr<MPMoviePlayerView> MPMoviePlayerViewController::moviePlayerView() {
    return std::dynamic_pointer_cast<MPMoviePlayerView>(view());
}
