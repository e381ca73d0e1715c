#pragma once
// An ad-initiated purchase of the publisher's application: the product, the
// quantity and the ad's reporting URL formats, and the status last reported.
//
// Statuses: 0 "error" (the store failed the payment for any reason but
// cancellation, or the publisher declined it), 1 "success" (the publisher
// finished the paid transaction), 2 "cancel" (the user cancelled the payment),
// 3 "invalid product" (the store did not confirm the product).
//
// reportPurchaseStatus stores the status, fills every reporting format and
// pings the results through the shared click tracker collection (caching off);
// a success is also reported as a conversion.
//
// Filling a format: the keywords "sku", "quantity", "status" (the number),
// "sessionid", "appid", "appversion", "osversion", "sdkversion" and "timestamp"
// (milliseconds since the application's first ad request) are placeholders
// written "@keyword@". Each value is escaped as a URL query value and then has
// its "@" doubled before it replaces its placeholder, so a value from a page
// can neither rewrite the URL ("&", "#") nor form a placeholder; a keyword
// without a value and every other placeholder are removed; finally "@@"
// becomes "@".
//
// Conversion: the class "CVRConversionReporter", looked up in the class
// registry, whose instances implement AKConversionReporterInterface; without
// one the publisher log gets a warning.
//
// The object is not locked: the opener creates it and the purchase flow uses
// it on the main thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// What a conversion-tracking class offers, when one is linked
// (initWithProductID:value:isRepeatable: and report).
class AKConversionReporterInterface {
public:
    virtual ~AKConversionReporterInterface() = default;
    // value: null for none.
    virtual void initWithProductID(const std::string& productID, const Value& value, bool isRepeatable) = 0;
    // YES when the conversion was reported.
    virtual bool report() = 0;
};

inline constexpr const char* kAKConversionReporterClassName = "CVRConversionReporter";

class AKInAppPurchase : public NSObject {
public:
    AKInAppPurchase() = default;
    static std::shared_ptr<AKInAppPurchase> make(std::string productID, std::int64_t quantity,
                                                 std::vector<std::string> reportingURLStringFormats);

    // A purchase asks for 1 to 10 items.
    static bool quantityIsValid(std::int64_t quantity) { return quantity >= 1 && quantity <= 10; }
    static std::string stringForStatus(std::int64_t status);

    const std::string& productID() const { return productID_; }
    void setProductID(std::string productID) { productID_ = std::move(productID); }
    std::int64_t quantity() const { return quantity_; }
    // A quantity outside 1 to 10 is stored as 0.
    void setQuantity(std::int64_t quantity) { quantity_ = quantityIsValid(quantity) ? quantity : 0; }
    const std::vector<std::string>& reportingURLStringFormats() const { return reportingURLStringFormats_; }
    void setReportingURLStringFormats(std::vector<std::string> formats) { reportingURLStringFormats_ = std::move(formats); }
    std::int64_t purchaseStatus() const { return purchaseStatus_; }

    void reportPurchaseStatus(std::int64_t status);
    std::string expandedURLStringForURLStringFormat(const std::string& format) const;
    void pingReportingURLStrings(const std::vector<std::string>& URLStrings);
    // NO (and the error, of the private domain with code 2, when asked for) when
    // no conversion could be reported.
    bool reportConversionWithError(NSErrorPtr* error);

    std::string description() const override;

private:
    std::string productID_;
    std::int64_t quantity_ = 1;
    std::vector<std::string> reportingURLStringFormats_;
    std::int64_t purchaseStatus_ = 0;
};

// The host's purchase delegate: it completes an ad-initiated purchase.
class AKInAppPurchaseDelegate {
public:
    virtual ~AKInAppPurchaseDelegate() = default;
    virtual void didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& /*purchase*/) {}
};
