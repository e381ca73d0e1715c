#pragma once
// What the full-screen player shows: a black view with the content's file name,
// the playback state ("Playing", "Paused", "Stopped", or "Cannot open" once the
// content failed to open, until it plays) and a "Done" button at the top left that
// ends playback as the user's choice (the player's userExit: it stops and posts
// the did-finish notification with the user-exited reason).
//
// The view follows its player through the player's notifications while it is in
// a window (a failure to open that happens off screen is not shown); it holds
// the player weakly (the controller owns both). Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"

class MPMoviePlayerController;

class MPMoviePlayerView : public UIView {
public:
    // Use viewForPlayer; the constructor makes the parts, which the view takes
    // in once it is shared.
    explicit MPMoviePlayerView(CGRect frame);
    // The view for the player, already following it (a null player: the view
    // shows nothing but the button, which then does nothing).
    static std::shared_ptr<MPMoviePlayerView> viewForPlayer(CGRect frame,
                                                            const std::shared_ptr<MPMoviePlayerController>& player);
    ~MPMoviePlayerView() override;

    // The texts the view shows (also reachable as subviews, by accessibility identifier).
    const std::shared_ptr<UILabel>& fileNameLabel() const { return fileNameLabel_; }
    const std::shared_ptr<UILabel>& stateLabel() const { return stateLabel_; }
    const std::shared_ptr<UIButton>& doneButton() const { return doneButton_; }

    // The name shown for a content URL: its last path component, unescaped; the
    // URL itself when it has none.
    static std::string fileNameForURL(const std::string& url);

    void layoutSubviews() override;
    void didMoveToWindow() override;

private:
    void follow(const std::shared_ptr<MPMoviePlayerController>& player);
    void refresh();

    std::weak_ptr<MPMoviePlayerController> player_;
    std::shared_ptr<UILabel> fileNameLabel_;
    std::shared_ptr<UILabel> stateLabel_;
    std::shared_ptr<UIButton> doneButton_;
    std::shared_ptr<UILabel> doneTitle_;
    bool cannotOpen_ = false;  // the last opening failed; cleared when playback starts
};
