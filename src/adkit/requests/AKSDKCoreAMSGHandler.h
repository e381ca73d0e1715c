#pragma once
// The core page's messages turned into calls of its controller. The table
// ("loadAdURL", "loadAd", "invalidRequest", "loadSdkConstants") is built once
// per process. Each operation reads the message's parameters (keys keep their
// case; "request_id" names the build, "" when the message has none) and hands
// the work to the delegate asynchronously on the main queue, holding the
// delegate weakly: a delegate that went away hears nothing.
//
// "loadAd": "header" and "ad" must both be JSON objects; when either is not,
// the delegate hears an unusable answer for that request id instead of an ad.
// "invalidRequest" writes the publisher log line "Invalid Request: %@" with
// the parameters before the delegate hears it.
//
// Threads: handleRequest and the operations on the main thread (as for every
// handler); the delegate is called on the main queue.
#include <memory>
#include <string>

#include "adkit/rendering/AKAMSGHandler.h"
#include "platform/foundation/Value.h"

class AKAd;
class AKSDKCoreAMSGHandler;

class AKSDKCoreAMSGHandlerDelegate {
public:
    virtual ~AKSDKCoreAMSGHandlerDelegate() = default;
    // "loadAdURL": every parameter of the message.
    virtual void SDKCoreAMSGHandlerLoadAdParameters(AKSDKCoreAMSGHandler& handler, const Value& parameters,
                                                    const std::string& requestID) = 0;
    // "loadAd": the ad made from "ad" and the decoded "header".
    virtual void SDKCoreAMSGHandlerLoadAd(AKSDKCoreAMSGHandler& handler, const std::shared_ptr<AKAd>& ad,
                                          const Value& headers, const std::string& requestID) = 0;
    // "invalidRequest".
    virtual void SDKCoreAMSGHandlerDidReceiveInvalidAdParameters(AKSDKCoreAMSGHandler& handler,
                                                                 const Value& parameters,
                                                                 const std::string& requestID) = 0;
    // An answer that cannot be used (a "loadAd" whose "header" or "ad" is no JSON object).
    virtual void SDKCoreAMSGHandlerDidReceiveUnusableAnswer(AKSDKCoreAMSGHandler& handler, const std::string& reason,
                                                            const std::string& requestID) = 0;
    // "loadSdkConstants": every parameter of the message.
    virtual void SDKCoreAMSGHandlerLoadSDKConstants(AKSDKCoreAMSGHandler& handler, const Value& constants) = 0;
};

class AKSDKCoreAMSGHandler : public AKAMSGHandler {
public:
    AKSDKCoreAMSGHandler();
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();

    std::shared_ptr<AKSDKCoreAMSGHandlerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<AKSDKCoreAMSGHandlerDelegate> delegate) { delegate_ = std::move(delegate); }

    void didReceiveloadAdURLAction(const AKAMSGHandlerArguments& arguments);
    void didReceiveLoadAdAction(const AKAMSGHandlerArguments& arguments);
    void didReceiveInvalidAdRequestAction(const AKAMSGHandlerArguments& arguments);
    void didReceiveloadSDKConstantsAction(const AKAMSGHandlerArguments& arguments);

private:
    // Runs the call on the main queue when the delegate is still there.
    void toDelegate(std::function<void(AKSDKCoreAMSGHandler&, AKSDKCoreAMSGHandlerDelegate&)> call);

    std::weak_ptr<AKSDKCoreAMSGHandlerDelegate> delegate_;
};

// The message's parameters as a dictionary of strings.
Value AKSDKCoreMessageParameters(const AKAMSGHandlerArguments& arguments);
