#include "adkit/rendering/AKPaymentTransactionObserver.h"

#include <algorithm>

#include "adkit/foundation/AKInstalled.h"
#include "adkit/foundation/AKMacros.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIAlertView.h"

namespace {

constexpr std::int64_t kStatusError = 0;
constexpr std::int64_t kStatusCancel = 2;
constexpr std::int64_t kStatusInvalidProduct = 3;

AKInstalled<AKPaymentTransactionObserver>& shared() {
    static ProcessLifetime<AKInstalled<AKPaymentTransactionObserver>> holder;
    return *holder;
}

}  // namespace

std::shared_ptr<AKPaymentTransactionObserver> AKPaymentTransactionObserver::sharedInstance() {
    return shared().getOrMake();
}

void AKPaymentTransactionObserver::setSharedInstance(std::shared_ptr<AKPaymentTransactionObserver> observer) {
    const auto previous = shared().exchange(std::move(observer));
    if (previous) previous->disableDefaultPurchaseFlow();
}

// ---- The flow switch ---------------------------------------------------------------------------

void AKPaymentTransactionObserver::enableDefaultPurchaseFlowWithDelegate(
    const std::shared_ptr<AKDefaultInAppPurchaseDelegate>& delegate) {
    QV_ASSERT_MAIN_THREAD();
    if (!delegate || !delegate->respondsToUserDidPayForPurchase() || defaultPurchaseFlowEnabled_) return;
    defaultPurchaseFlowEnabled_ = true;
    defaultInAppPurchaseDelegate_ = delegate;
    SKPaymentQueue::defaultQueue()->addTransactionObserver(self<AKPaymentTransactionObserver>());
}

void AKPaymentTransactionObserver::disableDefaultPurchaseFlow() {
    QV_ASSERT_MAIN_THREAD();
    if (!defaultPurchaseFlowEnabled_) return;
    defaultPurchaseFlowEnabled_ = false;
    defaultInAppPurchaseDelegate_ = nullptr;
    SKPaymentQueue::defaultQueue()->removeTransactionObserver(self<AKPaymentTransactionObserver>());
}

// ---- A purchase offered by an ad ---------------------------------------------------------------

void AKPaymentTransactionObserver::didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& purchase) {
    QV_ASSERT_MAIN_THREAD();
    if (!purchase) return;
    if (const auto delegate = defaultInAppPurchaseDelegate_) {
        const auto start = delegate->shouldStartPurchaseForProductID(purchase->productID(), purchase->quantity());
        if (start && !*start) {
            purchase->reportPurchaseStatus(kStatusError);
            notifyUserOfUnavailableProduct();
            return;
        }
    }
    if (validProductIDs_.contains(purchase->productID())) {
        buyOrReportInvalid(purchase);
        return;
    }
    const auto weak = weakSelf<AKPaymentTransactionObserver>();
    validateProductIDs({purchase->productID()}, [weak, purchase](const auto&, const auto&) {
        if (const auto me = weak.lock()) me->buyOrReportInvalid(purchase);
    });
}

void AKPaymentTransactionObserver::buyOrReportInvalid(const std::shared_ptr<AKInAppPurchase>& purchase) {
    const auto found = validProductIDs_.find(purchase->productID());
    if (found != validProductIDs_.end()) {
        purchaseProduct(found->second, purchase);
        return;
    }
    purchase->reportPurchaseStatus(kStatusInvalidProduct);
    AKMacros::pubLog(format("\"%@\" is not a valid product ID or could not be validated. Verify your ad configuration.",
                            purchase->productID()));
    notifyUserOfUnavailableProduct();
}

void AKPaymentTransactionObserver::notifyUserOfUnavailableProduct() {
    UIAlertView::initWithTitle("Whoops!", "Sorry, the product is currently unavailable.", {}, "OK")->show();
}

// ---- Validation --------------------------------------------------------------------------------

void AKPaymentTransactionObserver::validateProductIDs(const IDSet& productIDs, ValidationBlock completionBlock) {
    QV_ASSERT_MAIN_THREAD();
    const auto weak = weakSelf<AKPaymentTransactionObserver>();
    auto requestDelegate = AKProductsRequestDelegate::make(
        productIDs, [weak, completionBlock](const auto& finished, const auto& valid, const auto& invalid) {
            const auto me = weak.lock();
            if (me) me->updateValidProducts(valid, invalid);
            if (completionBlock) completionBlock(valid, invalid);
            if (me) me->activeProductsRequestDelegates_.erase(finished);
        });
    if (!requestDelegate) {
        if (completionBlock) completionBlock(std::nullopt, std::nullopt);
        return;
    }
    requestDelegate->startRequest();
    activeProductsRequestDelegates_.insert(std::move(requestDelegate));
}

void AKPaymentTransactionObserver::updateValidProducts(const std::optional<ProductMap>& validProducts,
                                                       const std::optional<IDSet>& invalidProducts) {
    if (validProducts) {
        for (const auto& [identifier, product] : *validProducts) validProductIDs_[identifier] = product;
    }
    if (invalidProducts) {
        for (const auto& identifier : *invalidProducts) validProductIDs_.erase(identifier);
    }
}

// ---- Payments ----------------------------------------------------------------------------------

void AKPaymentTransactionObserver::purchaseProduct(const SKProductPtr& product,
                                                   const std::shared_ptr<AKInAppPurchase>& purchase) {
    if (!product || !purchase) return;
    enqueueInAppPurchase(purchase);
    auto payment = SKMutablePayment::paymentWithProduct(*product);
    payment->setQuantity(static_cast<long>(purchase->quantity()));
    (void)SKPaymentQueue::defaultQueue()->addPayment(*payment);  // its updates come through paymentQueue
}

void AKPaymentTransactionObserver::enqueueInAppPurchase(const std::shared_ptr<AKInAppPurchase>& purchase) {
    activeInAppPurchases_.push_back(purchase);
}

std::shared_ptr<AKInAppPurchase> AKPaymentTransactionObserver::dequeueInAppPurchaseForTransaction(
    const SKPaymentTransaction& transaction) {
    const auto& payment = *transaction.payment();
    const auto matches = [&](const std::shared_ptr<AKInAppPurchase>& purchase) {
        return purchase->quantity() == payment.quantity() && purchase->productID() == payment.productIdentifier();
    };
    const auto found = std::ranges::find_if(activeInAppPurchases_, matches);
    if (found == activeInAppPurchases_.end()) return AKInAppPurchase::make(payment.productIdentifier(), payment.quantity(), {});
    auto purchase = *found;
    activeInAppPurchases_.erase(found);
    return purchase;
}

void AKPaymentTransactionObserver::completeTransaction(const SKPaymentTransactionPtr& transaction) {
    auto purchase = dequeueInAppPurchaseForTransaction(*transaction);
    const auto& payment = *transaction->payment();
    auto paid = std::make_shared<AKDefaultInAppPurchase>(payment.productIdentifier(), payment.quantity(), transaction,
                                                         std::move(purchase));
    if (const auto delegate = defaultInAppPurchaseDelegate_) delegate->userDidPayForPurchase(paid);
}

void AKPaymentTransactionObserver::failedTransaction(const SKPaymentTransactionPtr& transaction) {
    const auto purchase = dequeueInAppPurchaseForTransaction(*transaction);
    const auto error = transaction->error();
    purchase->reportPurchaseStatus(error && error->code() == SKErrorPaymentCancelled ? kStatusCancel : kStatusError);
    SKPaymentQueue::defaultQueue()->finishTransaction(transaction);
}

void AKPaymentTransactionObserver::paymentQueue(SKPaymentQueue& /*queue*/,
                                                const std::vector<SKPaymentTransactionPtr>& transactions) {
    QV_ASSERT_MAIN_THREAD();
    for (const auto& transaction : transactions) {
        if (!transaction) continue;
        switch (transaction->transactionState()) {
            case SKPaymentTransactionStatePurchased: completeTransaction(transaction); break;
            case SKPaymentTransactionStateFailed: failedTransaction(transaction); break;
            default: break;  // purchasing and restored need nothing of the flow
        }
    }
}
