#include "adkit/rendering/AKDefaultAMSGHandler.h"

#include <cstdio>

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKSignal.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/audiotoolbox/AudioServices.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
struct Hooks {
    AKDefaultAMSGHandler::TouchReporter touchReporter;
};
Hooks& hooks() {  // main thread only
    static ProcessLifetime<Hooks> holder;
    return *holder;
}

void reportTouchToSignal(std::int32_t x, std::int32_t y, std::int32_t duration) {
    AKRunSynchronouslyOnMainThread([&] {
        // The component's output is handed on to no one here.
        (void)AKSignal::signalWithContext(Value{{"tx", x}, {"ty", y}, {"td", duration}});
    });
}

// The length in bytes of the UTF-8 sequence that starts with `lead`.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// The escape of one character, or empty when it is written as it is.
std::string escapeOf(std::string_view character) {
    if (character.size() == 1) {
        const auto c = static_cast<unsigned char>(character[0]);
        switch (c) {
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        case '\\': return "\\\\";
        default: break;
        }
        if (c < 0x20 || c == 0x7F || c >= 0x80) {  // control, or a byte that starts no character
            char text[8];
            std::snprintf(text, sizeof text, "\\x%02X", c);
            return text;
        }
        return {};
    }
    // C1 controls (U+0080 to U+009F) are two bytes, C2 80 to C2 9F.
    if (character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
        static_cast<unsigned char>(character[1]) < 0xA0) {
        char text[8];
        std::snprintf(text, sizeof text, "\\u%04X", static_cast<unsigned char>(character[1]));
        return text;
    }
    return {};
}
}  // namespace

AKDefaultAMSGHandler::AKDefaultAMSGHandler() : AKAMSGHandler(actionSelectorDictionary()) {}

std::shared_ptr<const AKAMSGHandler::ActionSelectorDictionary> AKDefaultAMSGHandler::actionSelectorDictionary() {
    using H = AKDefaultAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const ActionSelectorDictionary>> table(
        makeActionTable({
            {"httpTrack", action<H, &H::didReceiveTrackHTTPNotification>()},
            {"log", action<H, &H::didReceiveLogNotification>()},
            {"touch", action<H, &H::didReceiveTouchNotification>()},
            {"vibrate", action<H, &H::didReceiveVibrateNotification>()},
            {"canOpenURLs", action<H, &H::didReceiveCanOpenURLsNotification>()},
            {"close", action<H, &H::didReceiveCloseNotification>()},
        }));
    return *table;
}

std::int64_t AKDefaultAMSGHandler::integerForKey(const std::string& key, const AKNotification::Parameters& parameters,
                                                 std::int64_t defaultValue) {
    const auto it = parameters.find(key);
    return it == parameters.end() ? defaultValue : Value(it->second).integerValue();
}

std::string AKDefaultAMSGHandler::escapedLogText(const std::string& text) {
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size() && characters < kMaximumLogCharacters;) {
        std::size_t length = std::min(sequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        for (std::size_t k = 1; k < length; ++k) {  // a broken sequence is escaped byte by byte
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 1;
        }
        const std::string_view character(text.data() + i, length);
        const std::string escape = escapeOf(character);
        const std::string_view written = escape.empty() ? character : std::string_view(escape);
        // An escape counts as its characters; one that would cross the limit is left out whole.
        const std::size_t width = escape.empty() ? 1 : escape.size();
        if (characters + width > kMaximumLogCharacters) break;
        out.append(written);
        characters += width;
        i += length;
    }
    return out;
}

void AKDefaultAMSGHandler::didReceiveTrackHTTPNotification(const AKAMSGHandlerArguments& arguments) {
    if (const auto url = arguments.parameter("u")) (void)AKTrackHTTPURL(*url);  // other schemes are not pinged
}

void AKDefaultAMSGHandler::didReceiveLogNotification(const AKAMSGHandlerArguments& arguments) {
    if (const auto text = arguments.parameter("string")) NSLog("%@", escapedLogText(*text));
}

void AKDefaultAMSGHandler::didReceiveTouchNotification(const AKAMSGHandlerArguments& arguments) {
    const auto& parameters = arguments.parameters();
    // The low 32 bits of each number, as the page sent it.
    const auto x = static_cast<std::int32_t>(integerForKey("tx", parameters, -1));
    const auto y = static_cast<std::int32_t>(integerForKey("ty", parameters, -1));
    const auto duration = static_cast<std::int32_t>(integerForKey("td", parameters, -1));
    if (hooks().touchReporter) {
        hooks().touchReporter(x, y, duration);
    } else {
        reportTouchToSignal(x, y, duration);
    }
}

void AKDefaultAMSGHandler::didReceiveVibrateNotification(const AKAMSGHandlerArguments&) {
    AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
}

void AKDefaultAMSGHandler::didReceiveCanOpenURLsNotification(const AKAMSGHandlerArguments& arguments) {
    const auto list = arguments.parameter("urls");
    if (!list) return;
    std::vector<std::string> URLs = componentsSeparatedByString(*list, ",");
    if (URLs.size() > kMaximumOpenableURLs) URLs.resize(kMaximumOpenableURLs);  // a page cannot make us ask without end
    const Value openable = AKDevice::currentDevice()->canOpenURLs(URLs);
    AKNotificationCenter::postJSNotification("openableURLs", openable, arguments.webView);
}

void AKDefaultAMSGHandler::didReceiveCloseNotification(const AKAMSGHandlerArguments& arguments) {
    if (!arguments.webView) return;
    if (auto controller = std::dynamic_pointer_cast<AKViewController>(arguments.webView->viewController())) {
        controller->relinquishScreen();
    }
}

void AKDefaultAMSGHandler::setTouchReporter(TouchReporter reporter) { hooks().touchReporter = std::move(reporter); }

