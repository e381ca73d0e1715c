#pragma once
// The process's audio session: its category and whether it is active. A
// recording stand-in; tests make the calls fail with errors of their choice.
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

inline constexpr const char* AVAudioSessionCategoryAmbient = "AVAudioSessionCategoryAmbient";
inline constexpr const char* AVAudioSessionCategorySoloAmbient = "AVAudioSessionCategorySoloAmbient";
inline constexpr const char* AVAudioSessionCategoryPlayback = "AVAudioSessionCategoryPlayback";
inline constexpr const char* AVAudioSessionCategoryRecord = "AVAudioSessionCategoryRecord";
inline constexpr const char* AVAudioSessionCategoryPlayAndRecord = "AVAudioSessionCategoryPlayAndRecord";
inline constexpr const char* AVAudioSessionCategoryMultiRoute = "AVAudioSessionCategoryMultiRoute";

class AVAudioSession : public NSObject {
public:
    static std::shared_ptr<AVAudioSession> sharedInstance();

    // setCategory:error: NO with an error for an unknown category or an injected failure.
    bool setCategory(const std::string& category, NSErrorPtr* error = nullptr);
    // setActive:error:
    bool setActive(bool active, NSErrorPtr* error = nullptr);
    std::string category() const;  // AVAudioSessionCategorySoloAmbient until set
    bool isActive() const;

    // Until changed, every setCategory / setActive fails with the given error
    // (null: that call succeeds again). Also puts the session back to its start.
    static void injectFailures(NSErrorPtr categoryError, NSErrorPtr activeError);

private:
    mutable std::mutex mutex_;
    std::string category_ = AVAudioSessionCategorySoloAmbient;
    bool active_ = false;
    NSErrorPtr categoryFailure_;
    NSErrorPtr activeFailure_;
};
