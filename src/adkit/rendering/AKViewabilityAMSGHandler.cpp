#include "adkit/rendering/AKViewabilityAMSGHandler.h"

#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/ProcessLifetime.h"

using Table = AKAMSGHandler::ActionSelectorDictionary;

AKViewabilityAMSGHandler::AKViewabilityAMSGHandler() : AKAMSGHandler(actionSelectorDictionary()) {}

std::shared_ptr<const Table> AKViewabilityAMSGHandler::actionSelectorDictionary() {
    using H = AKViewabilityAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const Table>> table(makeActionTable({
        {"untrackViewabilityUnit", action<H, &H::didReceiveViewabilityUntrackViewabilityNotification>()},
        {"visibilityChanged", action<H, &H::didReceiveViewabilityVisibilityChangedNotification>()},
    }));
    return *table;
}

void AKViewabilityAMSGHandler::didReceiveViewabilityUntrackViewabilityNotification(
    const AKAMSGHandlerArguments& arguments) {
    QV_ASSERT_MAIN_THREAD();
    if (arguments.webView) arguments.webView->setViewabilityUnloadPingReceived(true);
}

void AKViewabilityAMSGHandler::didReceiveViewabilityVisibilityChangedNotification(
    const AKAMSGHandlerArguments& arguments) {
    QV_ASSERT_MAIN_THREAD();
    const auto& webView = arguments.webView;
    if (!webView) return;
    webView->setViewabilityVisibility(arguments.parameter("isVisible") == std::optional<std::string>("1"));
    if (const auto observer = webView->viewabilityObserver()) observer->webViewDidChangeViewabilityVisibility(*webView);
}
