#pragma once
// The messages of a full-screen web-app creative about its own controller:
// "customClose" (custom close exactly when "custom_close" is "1") and
// "setInterstitialProperties" ("transparentBackground" is "1" makes the
// interstitial transparent, only before its view is on screen). Both act only
// when the sending web view's controller is a web-app controller.
// Main thread only.
#include <memory>

#include "adkit/rendering/AKAMSGHandler.h"

class AKWebAppAMSGHandler : public AKAMSGHandler {
public:
    AKWebAppAMSGHandler();
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();

    void configureCustomCloseButtonWithArguments(const AKAMSGHandlerArguments& arguments);
    void updateInterstitialPropertiesWithArguments(const AKAMSGHandlerArguments& arguments);
};
