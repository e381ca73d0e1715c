#include "platform/storekit/SKPaymentQueue.h"

#include <algorithm>
#include <atomic>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
std::atomic<bool> allowed{true};
}

bool SKPaymentQueue::canMakePayments() { return allowed.load(); }
void SKPaymentQueue::setCanMakePayments(bool value) { allowed.store(value); }

SKPaymentTransactionState SKPaymentTransaction::transactionState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

NSErrorPtr SKPaymentTransaction::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::shared_ptr<SKPaymentQueue> SKPaymentQueue::defaultQueue() {
    static ProcessLifetime<std::shared_ptr<SKPaymentQueue>> queue(std::make_shared<SKPaymentQueue>());
    return *queue;
}

void SKPaymentQueue::addTransactionObserver(const std::shared_ptr<SKPaymentTransactionObserver>& observer) {
    if (!observer) return;
    std::lock_guard lock(mutex_);
    const auto same = [&](const auto& held) { return held.lock() == observer; };
    if (std::ranges::none_of(observers_, same)) observers_.push_back(observer);
}

void SKPaymentQueue::removeTransactionObserver(const std::shared_ptr<SKPaymentTransactionObserver>& observer) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [&](const auto& held) { return held.expired() || held.lock() == observer; });
}

std::size_t SKPaymentQueue::observerCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::ranges::count_if(observers_, [](const auto& held) { return !held.expired(); }));
}

SKPaymentTransactionPtr SKPaymentQueue::addPayment(const SKPayment& payment) {
    auto transaction = std::make_shared<SKPaymentTransaction>(
        std::make_shared<const SKPayment>(payment.productIdentifier(), payment.quantity()));
    {
        std::lock_guard lock(mutex_);
        open_.push_back(transaction);
    }
    deliver(transaction);
    return transaction;
}

void SKPaymentQueue::finishTransaction(const SKPaymentTransactionPtr& transaction) {
    if (!transaction || transaction->transactionState() == SKPaymentTransactionStatePurchasing) return;
    std::lock_guard lock(mutex_);
    const auto found = std::ranges::find(open_, transaction);
    if (found == open_.end()) return;
    open_.erase(found);
    finished_.push_back(transaction);
}

std::vector<SKPaymentTransactionPtr> SKPaymentQueue::transactions() const {
    std::lock_guard lock(mutex_);
    return open_;
}

std::vector<SKPaymentTransactionPtr> SKPaymentQueue::finishedTransactions() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

void SKPaymentQueue::settleTransaction(const SKPaymentTransactionPtr& transaction, SKPaymentTransactionState state,
                                       NSErrorPtr error) {
    if (!transaction) return;
    {
        std::lock_guard lock(transaction->mutex_);
        transaction->state_ = state;
        transaction->error_ = state == SKPaymentTransactionStateFailed ? std::move(error) : nullptr;
    }
    deliver(transaction);
}

void SKPaymentQueue::resetForTesting() {
    std::lock_guard lock(mutex_);
    observers_.clear();
    open_.clear();
    finished_.clear();
}

void SKPaymentQueue::deliver(const SKPaymentTransactionPtr& transaction) {
    // The observers are read when the update runs, so one removed meanwhile hears nothing. An
    // update overtaken by a later change of the same transaction is dropped: that change has its
    // own update, and observers read the state from the transaction.
    const auto state = transaction->transactionState();
    dispatch_async(dispatch_get_main_queue(), [queue = self<SKPaymentQueue>(), transaction, state] {
        if (transaction->transactionState() != state) return;
        std::vector<std::weak_ptr<SKPaymentTransactionObserver>> observers;
        {
            std::lock_guard lock(queue->mutex_);
            observers = queue->observers_;
        }
        for (const auto& held : observers) {
            if (const auto observer = held.lock()) observer->paymentQueue(*queue, {transaction});
        }
    });
}
