#pragma once
// The default purchase flow: one shared observer of the store's payment queue
// that takes the ads' purchases when the publisher has switched the flow on.
//
// Switching on (enableDefaultPurchaseFlowWithDelegate) happens only while the
// flow is off and only for a delegate that implements userDidPayForPurchase:
// the delegate is kept (owned) and the observer registers with the default
// payment queue; otherwise nothing happens (a second call keeps the first
// delegate). Switching off drops the delegate and unregisters.
//
// A purchase from an ad (didReceiveInAppPurchase):
//   1. a delegate that answers shouldStartPurchaseForProductID NO: status 0 and
//      the "Whoops!" alert;
//   2. a product the store confirmed before: bought at once;
//   3. else its ID is validated with the store; then bought when confirmed,
//      else status 3, a publisher log line and the alert.
// Buying queues the purchase (oldest first) and adds a payment of the
// purchase's quantity to the default payment queue. When the store updates a
// transaction, it is matched to the oldest queued purchase of the same product
// and quantity (none: a new purchase without reporting formats): purchased
// goes to the delegate's userDidPayForPurchase as an AKDefaultInAppPurchase;
// failed reports status 2 (the user cancelled) or 0 and finishes the
// transaction. Other states are left alone.
//
// Main thread (the store's updates arrive there). The shared instance lives
// for the process; tests may replace it on the main thread (setSharedInstance;
// null: a fresh one on next use).
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "adkit/rendering/AKDefaultInAppPurchase.h"
#include "adkit/rendering/AKInAppPurchase.h"
#include "adkit/rendering/AKProductsRequestDelegate.h"
#include "platform/foundation/NSObject.h"
#include "platform/storekit/SKPaymentQueue.h"

class AKPaymentTransactionObserver : public NSObject,
                                     public SKPaymentTransactionObserver,
                                     public AKInAppPurchaseDelegate {
public:
    using ProductMap = AKProductsRequestDelegate::ProductMap;
    using IDSet = AKProductsRequestDelegate::IDSet;
    using ValidationBlock = std::function<void(const std::optional<ProductMap>& validProducts,
                                               const std::optional<IDSet>& invalidProductIDs)>;

    static std::shared_ptr<AKPaymentTransactionObserver> sharedInstance();
    // The previous instance's flow is switched off.
    static void setSharedInstance(std::shared_ptr<AKPaymentTransactionObserver> observer);

    void enableDefaultPurchaseFlowWithDelegate(const std::shared_ptr<AKDefaultInAppPurchaseDelegate>& delegate);
    void disableDefaultPurchaseFlow();
    bool isDefaultPurchaseFlowEnabled() const { return defaultPurchaseFlowEnabled_; }
    const std::shared_ptr<AKDefaultInAppPurchaseDelegate>& defaultInAppPurchaseDelegate() const {
        return defaultInAppPurchaseDelegate_;
    }

    void didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& purchase) override;

    void validateProductIDs(const IDSet& productIDs, ValidationBlock completionBlock);
    void updateValidProducts(const std::optional<ProductMap>& validProducts,
                             const std::optional<IDSet>& invalidProducts);
    void purchaseProduct(const SKProductPtr& product, const std::shared_ptr<AKInAppPurchase>& purchase);
    void enqueueInAppPurchase(const std::shared_ptr<AKInAppPurchase>& purchase);
    std::shared_ptr<AKInAppPurchase> dequeueInAppPurchaseForTransaction(const SKPaymentTransaction& transaction);
    void completeTransaction(const SKPaymentTransactionPtr& transaction);
    void failedTransaction(const SKPaymentTransactionPtr& transaction);
    void notifyUserOfUnavailableProduct();

    void paymentQueue(SKPaymentQueue& queue, const std::vector<SKPaymentTransactionPtr>& transactions) override;

    const std::set<std::shared_ptr<AKProductsRequestDelegate>>& activeProductsRequestDelegates() const {
        return activeProductsRequestDelegates_;
    }
    const std::vector<std::shared_ptr<AKInAppPurchase>>& activeInAppPurchases() const { return activeInAppPurchases_; }
    const ProductMap& validProductIDs() const { return validProductIDs_; }

private:
    void buyOrReportInvalid(const std::shared_ptr<AKInAppPurchase>& purchase);

    bool defaultPurchaseFlowEnabled_ = false;
    std::shared_ptr<AKDefaultInAppPurchaseDelegate> defaultInAppPurchaseDelegate_;
    std::set<std::shared_ptr<AKProductsRequestDelegate>> activeProductsRequestDelegates_;
    std::vector<std::shared_ptr<AKInAppPurchase>> activeInAppPurchases_;
    ProductMap validProductIDs_;
};
