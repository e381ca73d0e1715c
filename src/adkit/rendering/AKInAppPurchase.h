#pragma once
// An ad-initiated purchase of the publisher's application. This header holds
// what the page-message handlers ask before the opener starts one; the purchase
// itself (statuses, reporting, the payment flow) comes with in-app purchase.
#include <cstdint>
#include <memory>

#include "platform/foundation/NSObject.h"

class AKInAppPurchase : public NSObject {
public:
    // A purchase asks for 1 to 10 items.
    static bool quantityIsValid(std::int64_t quantity) { return quantity >= 1 && quantity <= 10; }
};

// The host's purchase delegate: it completes an ad-initiated purchase.
class AKInAppPurchaseDelegate {
public:
    virtual ~AKInAppPurchaseDelegate() = default;
    virtual void didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& /*purchase*/) {}
};
