#pragma once
// The default purchase flow as the publisher sees it: the delegate that gets
// paid purchases, and the paid purchase it gets.
//
// enableDefaultPurchaseFlowWithDelegate / disableDefaultPurchaseFlow forward to
// the shared AKPaymentTransactionObserver (see there). A paid purchase keeps the
// store's transaction open until the publisher has delivered the product and
// calls finishTransaction: that finishes the transaction with the store's
// default payment queue and reports status 1 (success) on the ad's purchase.
// Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKInAppPurchase.h"
#include "platform/foundation/NSObject.h"
#include "platform/storekit/SKPaymentQueue.h"

class AKDefaultInAppPurchase;

// The publisher's delegate of the default purchase flow.
class AKDefaultInAppPurchaseDelegate {
public:
    virtual ~AKDefaultInAppPurchaseDelegate() = default;
    // userDidPayForPurchase: required for the flow to be switched on; a delegate
    // that does not implement it answers NO here.
    virtual bool respondsToUserDidPayForPurchase() const { return true; }
    virtual void userDidPayForPurchase(const std::shared_ptr<AKDefaultInAppPurchase>& purchase) = 0;
    // shouldStartPurchaseForProductID:quantity: (optional: nullopt when not implemented).
    virtual std::optional<bool> shouldStartPurchaseForProductID(const std::string& /*productID*/,
                                                               std::int64_t /*quantity*/) {
        return std::nullopt;
    }
};

class AKDefaultInAppPurchase : public NSObject {
public:
    AKDefaultInAppPurchase(std::string productID, std::int64_t quantity, SKPaymentTransactionPtr paymentTransaction,
                           std::shared_ptr<AKInAppPurchase> inAppPurchase)
        : productID_(std::move(productID)),
          quantity_(quantity),
          paymentTransaction_(std::move(paymentTransaction)),
          inAppPurchase_(std::move(inAppPurchase)) {}

    static void enableDefaultPurchaseFlowWithDelegate(const std::shared_ptr<AKDefaultInAppPurchaseDelegate>& delegate);
    static void disableDefaultPurchaseFlow();

    const std::string& productID() const { return productID_; }
    std::int64_t quantity() const { return quantity_; }
    // Null once finished.
    const SKPaymentTransactionPtr& paymentTransaction() const { return paymentTransaction_; }
    const std::shared_ptr<AKInAppPurchase>& inAppPurchase() const { return inAppPurchase_; }

    // Once; later calls do nothing.
    void finishTransaction();

private:
    std::string productID_;
    std::int64_t quantity_;
    SKPaymentTransactionPtr paymentTransaction_;
    std::shared_ptr<AKInAppPurchase> inAppPurchase_;
};
