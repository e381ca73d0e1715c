#include "adkit/rendering/AKWebAppAMSGHandler.h"

#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
using Table = AKAMSGHandler::ActionSelectorDictionary;

std::shared_ptr<AKWebAppViewController> webAppControllerOf(const AKAMSGHandlerArguments& arguments) {
    if (!arguments.webView) return nullptr;
    return std::dynamic_pointer_cast<AKWebAppViewController>(arguments.webView->viewController());
}
}  // namespace

AKWebAppAMSGHandler::AKWebAppAMSGHandler() : AKAMSGHandler(actionSelectorDictionary()) {}

std::shared_ptr<const Table> AKWebAppAMSGHandler::actionSelectorDictionary() {
    using H = AKWebAppAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const Table>> table(makeActionTable({
        {"customClose", action<H, &H::configureCustomCloseButtonWithArguments>()},
        {"setInterstitialProperties", action<H, &H::updateInterstitialPropertiesWithArguments>()},
    }));
    return *table;
}

void AKWebAppAMSGHandler::configureCustomCloseButtonWithArguments(const AKAMSGHandlerArguments& arguments) {
    if (const auto controller = webAppControllerOf(arguments)) {
        controller->setUseCustomClose(arguments.parameter("custom_close") == "1");  // absent switches it off
    }
}

void AKWebAppAMSGHandler::updateInterstitialPropertiesWithArguments(const AKAMSGHandlerArguments& arguments) {
    const auto controller = webAppControllerOf(arguments);
    const auto transparent = arguments.parameter("transparentBackground");
    if (!controller || !transparent) return;
    // Once the interstitial is on screen its background stays as it is.
    if (controller->isViewLoaded() && controller->view()->superview()) return;
    controller->setTransparentInterstitial(*transparent == "1");
}
