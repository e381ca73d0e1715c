#include "adkit/rendering/AKInAppPurchase.h"

#include <optional>
#include <utility>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/rendering/AKSDKInfo.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"

namespace {

constexpr const char* kConversionFailed = "Unable to report in-app purchase conversion.";
constexpr const char* kNoConversionLibrary =
    "Warning: Valid conversion tracking library was not linked. In-app purchase conversions will not be reported.";

std::optional<std::string> nonEmpty(std::string text) {
    if (text.empty()) return std::nullopt;
    return text;
}

// The report keywords and their values (nullopt: the value is missing).
std::vector<std::pair<const char*, std::optional<std::string>>> reportValues(const AKInAppPurchase& purchase) {
    const auto application = AKApplication::sharedApplication();
    const auto bundle = NSBundle::mainBundle();
    const Value bundleVersion = bundle->objectForInfoDictionaryKey("CFBundleVersion");
    const auto device = AKDevice::currentDevice();
    return {
        {"sku", purchase.productID()},
        {"quantity", std::to_string(purchase.quantity())},
        {"status", std::to_string(purchase.purchaseStatus())},
        {"sessionid", application->currentSession() ? std::optional(application->currentSession()->sessionIDAsString())
                                                    : std::nullopt},
        {"appid", nonEmpty(bundle->bundleIdentifier())},
        {"appversion", bundleVersion.isString() ? nonEmpty(bundleVersion.stringValue()) : std::nullopt},
        {"osversion", device ? nonEmpty(device->systemVersion()) : std::nullopt},
        {"sdkversion", nonEmpty(AKSDKInfo::SDKVersion())},
        {"timestamp", std::to_string(application->timeSinceFirstAdRequestInMilliseconds())},
    };
}

}  // namespace

std::shared_ptr<AKInAppPurchase> AKInAppPurchase::make(std::string productID, std::int64_t quantity,
                                                       std::vector<std::string> reportingURLStringFormats) {
    auto purchase = std::make_shared<AKInAppPurchase>();
    purchase->setProductID(std::move(productID));
    purchase->setQuantity(quantity);
    purchase->setReportingURLStringFormats(std::move(reportingURLStringFormats));
    return purchase;
}

std::string AKInAppPurchase::stringForStatus(std::int64_t status) {
    switch (status) {
        case 1: return "success";
        case 2: return "cancel";
        case 3: return "invalid product";
        default: return "error";
    }
}

void AKInAppPurchase::reportPurchaseStatus(std::int64_t status) {
    purchaseStatus_ = status;
    std::vector<std::string> URLStrings;
    URLStrings.reserve(reportingURLStringFormats_.size());
    for (const auto& format : reportingURLStringFormats_) URLStrings.push_back(expandedURLStringForURLStringFormat(format));
    pingReportingURLStrings(URLStrings);
    if (status == 1) (void)reportConversionWithError(nullptr);  // a failure is logged; the report stands
}

std::string AKInAppPurchase::expandedURLStringForURLStringFormat(const std::string& format) const {
    std::string text = format;
    for (const auto& [keyword, value] : reportValues(*this)) {
        if (!value) continue;
        // Escaped as a query value first, so that the value stays one value of the URL.
        const std::string replacement = ak_escapeAts(ak_stringByEscapingAsURLParameter(*value));
        // The keywords are plain letters, so they are their own pattern.
        [[maybe_unused]] const bool replaced = ak_replaceAtQuotedKeywordPattern(text, keyword, replacement);
    }
    ak_removeAtQuotedKeywords(text);
    return ak_unescapeAts(text);
}

void AKInAppPurchase::pingReportingURLStrings(const std::vector<std::string>& URLStrings) {
    ValueArray URLs;
    for (const auto& text : URLStrings) URLs.emplace_back(text);
    AKClickTrackerCollection::sharedInstance()->trackURLs(Value(std::move(URLs)), false);
}

bool AKInAppPurchase::reportConversionWithError(NSErrorPtr* error) {
    const auto object = ClassRegistry::create(kAKConversionReporterClassName);
    auto* reporter = dynamic_cast<AKConversionReporterInterface*>(object.get());
    std::string message;
    if (reporter) {
        reporter->initWithProductID(productID_, Value(), true);
        if (reporter->report()) return true;
        message = kConversionFailed;
    } else {
        message = kNoConversionLibrary;
        AKMacros::pubLog(message);
    }
    if (error) *error = ak_errorWithDomain(AKPrivateErrorDomain, 2, message);
    return false;
}

std::string AKInAppPurchase::description() const {
    return format("<%@: %p> productID: %@ quantity: %lld", className(), static_cast<const void*>(this), productID_,
                  static_cast<long long>(quantity_));
}
