#pragma once
// Payments, as a stand-in of the store's payment queue.
//
// canMakePayments: whether the user may make payments (settable; yes by default).
//
// defaultQueue(): the one queue of the process. addPayment creates a
// transaction in state purchasing and keeps it among the open transactions
// until finishTransaction. Observers are held weakly; each change of a
// transaction (its creation too) reaches every observer registered at delivery
// time as paymentQueue:updatedTransactions:, asynchronously on the main queue,
// in the order of the changes (an update overtaken by a later change of its
// transaction is dropped, so each state is told once). Tests stand in for the user and the store:
// settleTransaction moves a transaction to purchased, failed (with an error of
// SKErrorDomain, code SKErrorPaymentCancelled when the user cancelled) or
// restored. Every operation may be called from any thread.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/storekit/SKProductsRequest.h"

inline constexpr const char* SKErrorDomain = "SKErrorDomain";
inline constexpr long SKErrorUnknown = 0;
inline constexpr long SKErrorClientInvalid = 1;
inline constexpr long SKErrorPaymentCancelled = 2;

class SKPayment : public NSObject {
public:
    SKPayment(std::string productIdentifier, long quantity)
        : productIdentifier_(std::move(productIdentifier)), quantity_(quantity) {}
    // paymentWithProduct: one item of the product.
    static std::shared_ptr<SKPayment> paymentWithProduct(const SKProduct& product) {
        return std::make_shared<SKPayment>(product.productIdentifier(), 1);
    }
    const std::string& productIdentifier() const { return productIdentifier_; }
    long quantity() const { return quantity_; }

protected:
    std::string productIdentifier_;
    long quantity_;
};

class SKMutablePayment : public SKPayment {
public:
    using SKPayment::SKPayment;
    static std::shared_ptr<SKMutablePayment> paymentWithProduct(const SKProduct& product) {
        return std::make_shared<SKMutablePayment>(product.productIdentifier(), 1);
    }
    void setProductIdentifier(std::string identifier) { productIdentifier_ = std::move(identifier); }
    void setQuantity(long quantity) { quantity_ = quantity; }
};

enum SKPaymentTransactionState : long {
    SKPaymentTransactionStatePurchasing = 0,
    SKPaymentTransactionStatePurchased = 1,
    SKPaymentTransactionStateFailed = 2,
    SKPaymentTransactionStateRestored = 3,
};

class SKPaymentTransaction : public NSObject {
public:
    explicit SKPaymentTransaction(std::shared_ptr<const SKPayment> payment) : payment_(std::move(payment)) {}
    // A copy of the payment as it was added.
    const std::shared_ptr<const SKPayment>& payment() const { return payment_; }
    SKPaymentTransactionState transactionState() const;
    // Set for a failed transaction.
    NSErrorPtr error() const;

private:
    friend class SKPaymentQueue;
    const std::shared_ptr<const SKPayment> payment_;
    mutable std::mutex mutex_;
    SKPaymentTransactionState state_ = SKPaymentTransactionStatePurchasing;
    NSErrorPtr error_;
};
using SKPaymentTransactionPtr = std::shared_ptr<SKPaymentTransaction>;

class SKPaymentQueue;

class SKPaymentTransactionObserver {
public:
    virtual ~SKPaymentTransactionObserver() = default;
    // paymentQueue:updatedTransactions: (main thread)
    virtual void paymentQueue(SKPaymentQueue& queue, const std::vector<SKPaymentTransactionPtr>& transactions) = 0;
};

class SKPaymentQueue : public NSObject {
public:
    static bool canMakePayments();
    static void setCanMakePayments(bool allowed);

    static std::shared_ptr<SKPaymentQueue> defaultQueue();

    void addTransactionObserver(const std::shared_ptr<SKPaymentTransactionObserver>& observer);
    void removeTransactionObserver(const std::shared_ptr<SKPaymentTransactionObserver>& observer);
    std::size_t observerCount() const;
    // A transaction for a copy of the payment, in state purchasing.
    SKPaymentTransactionPtr addPayment(const SKPayment& payment);
    // Takes the transaction off the open list (a transaction still purchasing stays).
    void finishTransaction(const SKPaymentTransactionPtr& transaction);
    // The open transactions, oldest first.
    std::vector<SKPaymentTransactionPtr> transactions() const;
    // Every transaction finished so far, in order.
    std::vector<SKPaymentTransactionPtr> finishedTransactions() const;

    // The store's answer to an open transaction (purchased, failed or restored).
    void settleTransaction(const SKPaymentTransactionPtr& transaction, SKPaymentTransactionState state,
                           NSErrorPtr error = nullptr);
    // Forgets transactions and observers.
    void resetForTesting();

private:
    void deliver(const SKPaymentTransactionPtr& transaction);
    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<SKPaymentTransactionObserver>> observers_;
    std::vector<SKPaymentTransactionPtr> open_;
    std::vector<SKPaymentTransactionPtr> finished_;
};
