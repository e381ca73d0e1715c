// The core page's answers: an amsg message URL handed to the core page's
// message handler, its delegate recording what it hears (no web engine). The
// first byte picks the message ("loadAdURL", "loadAd", "invalidRequest",
// "loadSdkConstants", or the rest is the whole URL); the rest is its query.
// A message the handler takes reaches the delegate exactly once, with the
// message's own "request_id"; "loadAd" gives an ad only when its "header" and
// "ad" are JSON objects, and an unusable answer otherwise.
#include <memory>
#include <string>

#include "Harnesses.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/rendering/AKNotification.h"
#include "adkit/requests/AKSDKCoreAMSGHandler.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/FuzzSupport.h"

namespace fuzz::core_page_answer {
namespace {

constexpr const char* kNames[] = {"loadAdURL", "loadAd", "invalidRequest", "loadSdkConstants"};

struct Recorder : AKSDKCoreAMSGHandlerDelegate {
    int calls = 0;
    std::string kind, requestID;
    void heard(const char* what, const std::string& id) {
        ++calls;
        kind = what;
        requestID = id;
    }
    void SDKCoreAMSGHandlerLoadAdParameters(AKSDKCoreAMSGHandler&, const Value& parameters,
                                            const std::string& id) override {
        check(parameters.isDictionary(), "loadAdURL without its parameters");
        heard("loadAdURL", id);
    }
    void SDKCoreAMSGHandlerLoadAd(AKSDKCoreAMSGHandler&, const std::shared_ptr<AKAd>& ad, const Value& headers,
                                  const std::string& id) override {
        check(ad != nullptr && headers.isDictionary(), "loadAd without an ad or its headers");
        heard("loadAd", id);
    }
    void SDKCoreAMSGHandlerDidReceiveInvalidAdParameters(AKSDKCoreAMSGHandler&, const Value&,
                                                         const std::string& id) override {
        heard("invalidRequest", id);
    }
    void SDKCoreAMSGHandlerDidReceiveUnusableAnswer(AKSDKCoreAMSGHandler&, const std::string&,
                                                    const std::string& id) override {
        heard("unusable", id);
    }
    void SDKCoreAMSGHandlerLoadSDKConstants(AKSDKCoreAMSGHandler&, const Value& constants) override {
        check(constants.isDictionary(), "loadSdkConstants without its constants");
        heard("loadSdkConstants", "");
    }
};

// Runs the main queue up to what was queued so far.
void drainMainQueue() {
    bool reached = false;
    dispatch_async(dispatch_get_main_queue(), [&] { reached = true; });
    check(NSRunLoop::mainRunLoop()->runUntil([&] { return reached; }, 10), "the main queue did not run");
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    const std::uint8_t choice = reader.take() % 5;
    const std::string rest(reader.rest());
    const std::string URL = choice < 4 ? std::string("amsg://core/") + kNames[choice] + "?" + rest : rest;

    auto handler = std::make_shared<AKSDKCoreAMSGHandler>();
    auto recorder = std::make_shared<Recorder>();
    handler->setDelegate(recorder);
    const bool taken = handler->handleRequest(NSURLRequest::requestWithURL(URL), nullptr);
    drainMainQueue();

    auto note = AKNotification::initWithNotificationURL(URL);
    const bool known = note && AKSDKCoreAMSGHandler::actionSelectorDictionary()->count(note->name()) == 1;
    check(taken == known, "the handler took a message not in its table, or left one that is");
    check(recorder->calls == (taken ? 1 : 0), "a message taken did not reach the delegate exactly once");
    if (!taken) return 0;
    const std::string name = note->name();
    if (name != "loadSdkConstants")
        check(recorder->requestID == note->parameter("request_id").value_or(""), "an answer under another id");
    if (name == "loadAd") {
        const bool usable = AKMacros::readJsonIntoDictionary(note->parameter("header").value_or("")) &&
                            AKMacros::readJsonIntoDictionary(note->parameter("ad").value_or(""));
        check(recorder->kind == (usable ? "loadAd" : "unusable"), "loadAd heard as the wrong kind of answer");
    } else {
        check(recorder->kind == name, "a message heard as another");
    }
    // A delegate gone hears nothing, and nothing breaks.
    recorder.reset();
    (void)handler->handleRequest(NSURLRequest::requestWithURL(URL), nullptr);
    drainMainQueue();
    return 0;
}

}  // namespace fuzz::core_page_answer
