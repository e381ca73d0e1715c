#pragma once
// The page messages that act through the web-view delegate's opener: "click"
// (the slot's click URL pinged, http or https only), "open" (dispatched by its
// parameter "a": store sheet, in-app purchase, in-app browser, web app,
// rich-media expansion, or another application for "call", "app" and any
// other action) and "fetchAppStore" (prefetch of a store sheet). Missing
// parameters make an action do nothing, except "wait_for_fetch" (absent: yes),
// the orientation "o" (absent: any) and "custom_close" (absent: no).
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKAMSGHandler.h"
#include "adkit/rendering/AKOpener.h"

class AKOpenerAMSGHandler : public AKAMSGHandler {
public:
    // initWithOpener:
    explicit AKOpenerAMSGHandler(std::shared_ptr<AKOpener> opener);
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();
    // The open-action table, keyed by "a".
    static std::shared_ptr<const ActionSelectorDictionary> subActionSelectorDictionary();

    const std::shared_ptr<AKOpener>& opener() const { return opener_; }
    void setOpener(std::shared_ptr<AKOpener> opener) { opener_ = std::move(opener); }

    // Parameter readers: the URL of "u" (absolute string; none when absent or
    // not a URL), the orientation of "o" ("p" portrait, "l" landscape, else
    // any) and custom close ("custom_close" is "1").
    static std::optional<std::string> URLFromParams(const AKNotification::Parameters& parameters);
    static AKSupportedOrientations orientationFromParams(const AKNotification::Parameters& parameters);
    static bool shouldUseCustomClose(const AKNotification::Parameters& parameters);

    void didReceiveClickNotification(const AKAMSGHandlerArguments& arguments);
    void didReceiveOpenNotification(const AKAMSGHandlerArguments& arguments);
    void fetchInAppStore(const AKAMSGHandlerArguments& arguments);

    void actionOpenInAppStore(const AKAMSGHandlerArguments& arguments);
    void actionOpenInAppPurchase(const AKAMSGHandlerArguments& arguments);
    void actionOpenBrowser(const AKAMSGHandlerArguments& arguments);
    void actionOpenWebApp(const AKAMSGHandlerArguments& arguments);
    void actionExpand(const AKAMSGHandlerArguments& arguments);
    void actionOpenApp(const AKAMSGHandlerArguments& arguments);

private:
    std::shared_ptr<AKOpener> opener_;
};
