#pragma once
// The movie player: plays the movie at its content URL. A stand-in that does not
// decode video but really opens the URL when asked to play, to decide between
// "plays" and "cannot open": a file URL is opened from disk, an HTTP(S) URL is
// requested for its first bytes (Range: bytes=0-) on a background thread.
//
// Opening goes on asynchronously; its outcome reaches the player on the main
// queue. Success makes the player playing (or prepared, when only preparation
// was asked) and posts nothing; failure posts
// MPMoviePlayerPlaybackDidFinishNotification with reason 1 and the error. The
// player is used on the main thread; its notifications are posted there, with
// the player as object.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

inline constexpr const char* MPMoviePlayerPlaybackDidFinishNotification = "MPMoviePlayerPlaybackDidFinishNotification";
inline constexpr const char* MPMoviePlayerPlaybackDidFinishReasonUserInfoKey =
    "MPMoviePlayerPlaybackDidFinishReasonUserInfoKey";
inline constexpr const char* MPMoviePlayerPlaybackStateDidChangeNotification =
    "MPMoviePlayerPlaybackStateDidChangeNotification";
inline constexpr const char* MPMoviePlayerLoadStateDidChangeNotification = "MPMoviePlayerLoadStateDidChangeNotification";
// The did-finish notification's user info carries the error under this key when the reason is 1.
inline constexpr const char* MPMoviePlayerPlaybackDidFinishErrorUserInfoKey = "error";

enum MPMovieFinishReason : long {
    MPMovieFinishReasonPlaybackEnded = 0,
    MPMovieFinishReasonPlaybackError = 1,
    MPMovieFinishReasonUserExited = 2,
};

enum MPMoviePlaybackState : long {
    MPMoviePlaybackStateStopped = 0,
    MPMoviePlaybackStatePlaying = 1,
    MPMoviePlaybackStatePaused = 2,
    MPMoviePlaybackStateInterrupted = 3,
    MPMoviePlaybackStateSeekingForward = 4,
    MPMoviePlaybackStateSeekingBackward = 5,
};

enum MPMovieLoadState : unsigned long {
    MPMovieLoadStateUnknown = 0,
    MPMovieLoadStatePlayable = 1 << 0,
    MPMovieLoadStatePlaythroughOK = 1 << 1,
    MPMovieLoadStateStalled = 1 << 2,
};

enum MPMovieSourceType : long {
    MPMovieSourceTypeUnknown = 0,
    MPMovieSourceTypeFile = 1,
    MPMovieSourceTypeStreaming = 2,
};

class MPMoviePlayerController : public NSObject {
public:
    explicit MPMoviePlayerController(std::string contentURL = {});
    // initWithContentURL:
    static std::shared_ptr<MPMoviePlayerController> initWithContentURL(const std::string& url);
    ~MPMoviePlayerController() override;

    const std::string& contentURL() const { return contentURL_; }
    // A new URL stops the player and forgets what was opened.
    void setContentURL(const std::string& url);
    MPMovieSourceType movieSourceType() const { return sourceType_; }
    void setMovieSourceType(MPMovieSourceType type) { sourceType_ = type; }
    // Whether the player may play on an AirPlay device (a recorded flag: there is
    // no such device here). Every player answers setAllowsAirPlay.
    bool allowsAirPlay() const { return allowsAirPlay_; }
    void setAllowsAirPlay(bool allows) { allowsAirPlay_ = allows; }
    bool respondsToSetAllowsAirPlay() const { return true; }

    // Starts opening the URL (once; again after a failure or a stop).
    void prepareToPlay();
    bool isPreparedToPlay() const { return prepared_; }
    // Plays at once when prepared, else opens first and plays when that succeeds.
    void play();
    void pause();
    // Stops playing; an opening under way is abandoned (its outcome is ignored).
    void stop();

    MPMoviePlaybackState playbackState() const { return playbackState_; }
    MPMovieLoadState loadState() const { return loadState_; }
    bool isOpening() const { return opening_; }
    // How many times the URL was opened (for tests).
    int openCount() const { return openCount_; }

    // The movie played to its end: a playing (or paused) player stops and posts
    // the did-finish notification with reason 0. False when it was not playing.
    bool finishPlaybackForTesting();
    // The user left the player: it stops and posts reason 2.
    void userExit();

    // Seconds allowed for connecting to an HTTP(S) host.
    static constexpr double kConnectTimeout = 10;

private:
    void startOpening();
    void openFinished(std::uint64_t generation, NSErrorPtr error);
    void setPlaybackState(MPMoviePlaybackState state);
    void setLoadState(MPMovieLoadState state);
    void postDidFinish(MPMovieFinishReason reason, NSErrorPtr error = nullptr);

    // The sources behind a URL; null when the source opened and gave bytes.
    static NSErrorPtr openFileSource(const std::string& url);
    static NSErrorPtr openHTTPSource(const std::string& url, double connectTimeout);  // MPMoviePlayerCurl.cpp

    std::string contentURL_;
    MPMovieSourceType sourceType_ = MPMovieSourceTypeUnknown;
    bool allowsAirPlay_ = false;
    MPMoviePlaybackState playbackState_ = MPMoviePlaybackStateStopped;
    MPMovieLoadState loadState_ = MPMovieLoadStateUnknown;
    bool prepared_ = false;
    bool opening_ = false;
    bool playWhenOpened_ = false;
    int openCount_ = 0;
    std::uint64_t generation_ = 0;
};
