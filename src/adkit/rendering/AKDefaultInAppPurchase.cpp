#include "adkit/rendering/AKDefaultInAppPurchase.h"

#include "adkit/rendering/AKPaymentTransactionObserver.h"
#include "platform/base/ThreadAssertions.h"

void AKDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(
    const std::shared_ptr<AKDefaultInAppPurchaseDelegate>& delegate) {
    AKPaymentTransactionObserver::sharedInstance()->enableDefaultPurchaseFlowWithDelegate(delegate);
}

void AKDefaultInAppPurchase::disableDefaultPurchaseFlow() {
    AKPaymentTransactionObserver::sharedInstance()->disableDefaultPurchaseFlow();
}

void AKDefaultInAppPurchase::finishTransaction() {
    QV_ASSERT_MAIN_THREAD();
    if (!paymentTransaction_) return;
    SKPaymentQueue::defaultQueue()->finishTransaction(paymentTransaction_);
    paymentTransaction_ = nullptr;
    if (const auto purchase = std::move(inAppPurchase_)) purchase->reportPurchaseStatus(1);
    inAppPurchase_ = nullptr;
}
