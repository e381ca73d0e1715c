#pragma once
// The page messages that need no opener: "httpTrack" (a tracking ping, http or
// https only), "log" (the creative's text on the console, control characters
// escaped and cut at 1,000 characters), "touch" (x, y and duration, -1 when
// absent, to the signal component), "vibrate" (system sound 4095),
// "canOpenURLs" (at most 50 URLs answered as the page event "openableURLs")
// and "close" (a full-screen ad gives the screen back). Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKAMSGHandler.h"

class AKDefaultAMSGHandler : public AKAMSGHandler {
public:
    static constexpr std::size_t kMaximumLogCharacters = 1000;
    static constexpr std::size_t kMaximumOpenableURLs = 50;

    AKDefaultAMSGHandler();
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();
    // The value as an integer when present (a text that is not a number gives 0), else the default.
    static std::int64_t integerForKey(const std::string& key, const AKNotification::Parameters& parameters,
                                      std::int64_t defaultValue);
    // The creative's text as it goes to the console.
    static std::string escapedLogText(const std::string& text);

    void didReceiveTrackHTTPNotification(const AKAMSGHandlerArguments& arguments);
    void didReceiveLogNotification(const AKAMSGHandlerArguments& arguments);
    void didReceiveTouchNotification(const AKAMSGHandlerArguments& arguments);
    void didReceiveVibrateNotification(const AKAMSGHandlerArguments& arguments);
    void didReceiveCanOpenURLsNotification(const AKAMSGHandlerArguments& arguments);
    void didReceiveCloseNotification(const AKAMSGHandlerArguments& arguments);

    // Where touches go: by default the signal component, synchronously on the
    // main thread (tests record them). Null restores the default.
    using TouchReporter = std::function<void(std::int32_t x, std::int32_t y, std::int32_t duration)>;
    static void setTouchReporter(TouchReporter reporter);
    // "vibrate" plays the platform's vibrate system sound
    // (AudioServicesPlaySystemSound with kSystemSoundID_Vibrate).
};
