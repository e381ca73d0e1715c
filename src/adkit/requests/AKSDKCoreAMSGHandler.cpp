#include "adkit/requests/AKSDKCoreAMSGHandler.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/requests/AKAd.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
constexpr const char* kRequestIDKey = "request_id";
}  // namespace

Value AKSDKCoreMessageParameters(const AKAMSGHandlerArguments& arguments) {
    Value parameters = Value::dictionary();
    for (const auto& [key, value] : arguments.parameters()) parameters.setObject(key, Value(value));
    return parameters;
}

AKSDKCoreAMSGHandler::AKSDKCoreAMSGHandler() : AKAMSGHandler(actionSelectorDictionary()) {}

std::shared_ptr<const AKAMSGHandler::ActionSelectorDictionary> AKSDKCoreAMSGHandler::actionSelectorDictionary() {
    using H = AKSDKCoreAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const ActionSelectorDictionary>> table(makeActionTable({
        {"loadAdURL", action<H, &H::didReceiveloadAdURLAction>()},
        {"loadAd", action<H, &H::didReceiveLoadAdAction>()},
        {"invalidRequest", action<H, &H::didReceiveInvalidAdRequestAction>()},
        {"loadSdkConstants", action<H, &H::didReceiveloadSDKConstantsAction>()},
    }));
    return *table;
}

void AKSDKCoreAMSGHandler::toDelegate(std::function<void(AKSDKCoreAMSGHandler&, AKSDKCoreAMSGHandlerDelegate&)> call) {
    auto self = this->self<AKSDKCoreAMSGHandler>();
    dispatch_async(dispatch_get_main_queue(), [self, weak = delegate_, call = std::move(call)] {
        if (auto delegate = weak.lock()) call(*self, *delegate);
    });
}

void AKSDKCoreAMSGHandler::didReceiveloadAdURLAction(const AKAMSGHandlerArguments& arguments) {
    QV_ASSERT_MAIN_THREAD();
    Value parameters = AKSDKCoreMessageParameters(arguments);
    std::string requestID = arguments.parameter(kRequestIDKey).value_or("");
    toDelegate([parameters, requestID](AKSDKCoreAMSGHandler& handler, AKSDKCoreAMSGHandlerDelegate& delegate) {
        delegate.SDKCoreAMSGHandlerLoadAdParameters(handler, parameters, requestID);
    });
}

void AKSDKCoreAMSGHandler::didReceiveLoadAdAction(const AKAMSGHandlerArguments& arguments) {
    QV_ASSERT_MAIN_THREAD();
    std::string requestID = arguments.parameter(kRequestIDKey).value_or("");
    const auto headers = AKMacros::readJsonIntoDictionary(arguments.parameter("header").value_or(""));
    const auto ad = AKMacros::readJsonIntoDictionary(arguments.parameter("ad").value_or(""));
    if (!headers || !ad) {
        std::string reason = !headers ? "the ad's \"header\" is no JSON object" : "the \"ad\" is no JSON object";
        toDelegate([reason, requestID](AKSDKCoreAMSGHandler& handler, AKSDKCoreAMSGHandlerDelegate& delegate) {
            delegate.SDKCoreAMSGHandlerDidReceiveUnusableAnswer(handler, reason, requestID);
        });
        return;
    }
    toDelegate([ad = *ad, headers = *headers, requestID](AKSDKCoreAMSGHandler& handler,
                                                          AKSDKCoreAMSGHandlerDelegate& delegate) {
        delegate.SDKCoreAMSGHandlerLoadAd(handler, AKAd::initWithDictionary(ad), headers, requestID);
    });
}

void AKSDKCoreAMSGHandler::didReceiveInvalidAdRequestAction(const AKAMSGHandlerArguments& arguments) {
    QV_ASSERT_MAIN_THREAD();
    Value parameters = AKSDKCoreMessageParameters(arguments);
    std::string requestID = arguments.parameter(kRequestIDKey).value_or("");
    AKMacros::pubLog(format("Invalid Request: %@", parameters));
    toDelegate([parameters, requestID](AKSDKCoreAMSGHandler& handler, AKSDKCoreAMSGHandlerDelegate& delegate) {
        delegate.SDKCoreAMSGHandlerDidReceiveInvalidAdParameters(handler, parameters, requestID);
    });
}

void AKSDKCoreAMSGHandler::didReceiveloadSDKConstantsAction(const AKAMSGHandlerArguments& arguments) {
    QV_ASSERT_MAIN_THREAD();
    Value constants = AKSDKCoreMessageParameters(arguments);
    toDelegate([constants](AKSDKCoreAMSGHandler& handler, AKSDKCoreAMSGHandlerDelegate& delegate) {
        delegate.SDKCoreAMSGHandlerLoadSDKConstants(handler, constants);
    });
}
