#include "adkit/rendering/AKOpenerAMSGHandler.h"

#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/rendering/AKDefaultAMSGHandler.h"
#include "adkit/rendering/AKInAppPurchase.h"
#include "adkit/rendering/AKSlot.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
// Pieces of the text between runs of white space and line breaks.
std::vector<std::string> splitAtWhitespace(const std::string& text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            if (!piece.empty()) pieces.push_back(std::move(piece));
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) pieces.push_back(std::move(piece));
    return pieces;
}
}  // namespace

AKOpenerAMSGHandler::AKOpenerAMSGHandler(std::shared_ptr<AKOpener> opener)
    : AKAMSGHandler(actionSelectorDictionary()), opener_(std::move(opener)) {}

std::shared_ptr<const AKAMSGHandler::ActionSelectorDictionary> AKOpenerAMSGHandler::actionSelectorDictionary() {
    using H = AKOpenerAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const ActionSelectorDictionary>> table(
        makeActionTable({
            {"click", action<H, &H::didReceiveClickNotification>()},
            {"open", action<H, &H::didReceiveOpenNotification>()},
            {"fetchAppStore", action<H, &H::fetchInAppStore>()},
        }));
    return *table;
}

std::shared_ptr<const AKAMSGHandler::ActionSelectorDictionary> AKOpenerAMSGHandler::subActionSelectorDictionary() {
    using H = AKOpenerAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const ActionSelectorDictionary>> table(
        makeActionTable({
            {"in_app_store", action<H, &H::actionOpenInAppStore>()},
            {"in_app_purchase", action<H, &H::actionOpenInAppPurchase>()},
            {"browser", action<H, &H::actionOpenBrowser>()},
            {"video", action<H, &H::actionOpenBrowser>()},
            {"webapp", action<H, &H::actionOpenWebApp>()},
            {"expand", action<H, &H::actionExpand>()},
            {"call", action<H, &H::actionOpenApp>()},
            {"app", action<H, &H::actionOpenApp>()},
        }));
    return *table;
}

std::optional<std::string> AKOpenerAMSGHandler::URLFromParams(const AKNotification::Parameters& parameters) {
    const auto it = parameters.find("u");
    if (it == parameters.end()) return std::nullopt;
    const NSURLPtr url = NSURL::URLWithString(it->second);
    if (!url) return std::nullopt;
    return url->absoluteString();
}

AKSupportedOrientations AKOpenerAMSGHandler::orientationFromParams(const AKNotification::Parameters& parameters) {
    const auto it = parameters.find("o");
    if (it != parameters.end() && it->second == "p") return AKSupportedOrientationsPortrait;
    if (it != parameters.end() && it->second == "l") return AKSupportedOrientationsLandscape;
    return AKSupportedOrientationsAny;
}

bool AKOpenerAMSGHandler::shouldUseCustomClose(const AKNotification::Parameters& parameters) {
    const auto it = parameters.find("custom_close");
    return it != parameters.end() && it->second == "1";
}

void AKOpenerAMSGHandler::didReceiveClickNotification(const AKAMSGHandlerArguments& arguments) {
    const auto URL = URLFromParams(arguments.parameters());
    const auto slot = opener_ ? opener_->slot() : nullptr;
    if (!URL || !slot) return;
    (void)AKTrackHTTPURL(slot->spamClickURLWithURL(*URL));  // other schemes are not pinged
}

void AKOpenerAMSGHandler::didReceiveOpenNotification(const AKAMSGHandlerArguments& arguments) {
    const auto action = arguments.parameter("a");
    const auto& table = *subActionSelectorDictionary();
    // A missing action, or one not in the table, opens another application.
    if (!action || !dispatch(*this, table, *action, arguments)) actionOpenApp(arguments);
}

void AKOpenerAMSGHandler::fetchInAppStore(const AKAMSGHandlerArguments& arguments) {
    const auto productID = arguments.parameter("product_id");
    if (opener_ && productID && opener_->isInAppStoreSupported()) opener_->fetchInAppStoreForProductID(*productID);
}

void AKOpenerAMSGHandler::actionOpenInAppStore(const AKAMSGHandlerArguments& arguments) {
    if (!opener_) return;
    const auto& parameters = arguments.parameters();
    const auto productID = arguments.parameter("product_id");
    const auto fallback = URLFromParams(parameters);
    const auto wait = arguments.parameter("wait_for_fetch");
    const bool shouldWaitForFetch = !wait || *wait == "true";
    if (opener_->isInAppStoreSupported()) {
        // Without "product_id" the store's load fails, and the fallback opens outside.
        opener_->openInAppStoreWithProductID(productID, fallback, shouldWaitForFetch);
    } else if (fallback) {
        opener_->openApp(*fallback);
    }
}

void AKOpenerAMSGHandler::actionOpenInAppPurchase(const AKAMSGHandlerArguments& arguments) {
    const auto productID = arguments.parameter("product_id");
    if (!opener_ || !productID) return;
    const std::int64_t quantity = AKDefaultAMSGHandler::integerForKey("quantity", arguments.parameters(), 0);
    if (!AKInAppPurchase::quantityIsValid(quantity)) return;
    const auto reportURLs = arguments.parameter("report_urls").value_or("");
    opener_->openInAppPurchase(*productID, quantity, splitAtWhitespace(reportURLs));
}

void AKOpenerAMSGHandler::actionOpenBrowser(const AKAMSGHandlerArguments& arguments) {
    const auto URL = URLFromParams(arguments.parameters());
    if (opener_ && URL) opener_->openBrowserToURL(*URL, orientationFromParams(arguments.parameters()));
}

void AKOpenerAMSGHandler::actionOpenWebApp(const AKAMSGHandlerArguments& arguments) {
    if (!opener_) return;
    const auto& parameters = arguments.parameters();
    const auto orientations = orientationFromParams(parameters);
    const bool customClose = shouldUseCustomClose(parameters);
    if (const auto URL = URLFromParams(parameters)) {
        opener_->openWebApp(*URL, orientations, customClose);
    } else if (const auto html = arguments.parameter("html")) {
        opener_->openWebAppWithHTML(*html, orientations, customClose);
    }
}

void AKOpenerAMSGHandler::actionExpand(const AKAMSGHandlerArguments& arguments) {
    const auto& parameters = arguments.parameters();
    if (opener_) {
        opener_->expandToWebAppWithSupportedOrientations(orientationFromParams(parameters),
                                                         shouldUseCustomClose(parameters));
    }
}

void AKOpenerAMSGHandler::actionOpenApp(const AKAMSGHandlerArguments& arguments) {
    const auto URL = URLFromParams(arguments.parameters());
    const auto slot = opener_ ? opener_->slot() : nullptr;
    if (!URL || !slot) return;
    slot->adWasClicked();
    opener_->openApp(slot->spamClickURLWithURL(*URL));
}
