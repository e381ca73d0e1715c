// Protects the store stand-ins: the product lookup answers once, off the main
// thread, with the products the test named and the rest invalid (or the
// failure set), and not at all once cancelled; the payment queue tells its
// weakly held observers each change on the main queue, once per state, and
// finishes only settled transactions.
#include <doctest/doctest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/MainThread.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/storekit/SKPaymentQueue.h"
#include "support/TestEnvironment.h"

namespace {

struct Lookup : SKProductsRequestDelegate {
    std::mutex mutex;
    std::vector<std::string> heard;
    std::atomic<int> answers{0};
    std::atomic<bool> onMain{false};
    void productsRequest(SKProductsRequest&, const std::shared_ptr<SKProductsResponse>& response) override {
        std::lock_guard lock(mutex);
        for (const auto& product : response->products()) heard.push_back(product->productIdentifier() + "=" + product->priceText());
        for (const auto& identifier : response->invalidProductIdentifiers()) heard.push_back("invalid " + identifier);
        onMain = isProcessMainThread();
        ++answers;
    }
    void request(SKProductsRequest&, const NSErrorPtr& error) override {
        std::lock_guard lock(mutex);
        heard.push_back("failed " + std::to_string(error->code()));
        onMain = isProcessMainThread();
        ++answers;
    }
};

struct QueueObserver : SKPaymentTransactionObserver {
    std::vector<std::string> heard;
    void paymentQueue(SKPaymentQueue&, const std::vector<SKPaymentTransactionPtr>& transactions) override {
        REQUIRE(isProcessMainThread());
        for (const auto& t : transactions)
            heard.push_back(t->payment()->productIdentifier() + " " + std::to_string(t->transactionState()));
    }
};

std::vector<std::string> lookUp(std::set<std::string> identifiers, bool cancel = false) {
    auto request = SKProductsRequest::initWithProductIdentifiers(std::move(identifiers));
    const auto lookup = std::make_shared<Lookup>();
    request->setDelegate(lookup);
    if (cancel) request->cancel();
    request->start();
    if (!cancel) REQUIRE(testsupport::runMainUntil([&] { return lookup->answers == 1; }, 10));
    CHECK_FALSE(lookup->onMain);
    std::lock_guard lock(lookup->mutex);
    return lookup->heard;
}

}  // namespace

TEST_CASE("store stand-in: product lookups answer off the main thread with what the test named") {
    SKProductsRequest::resetStoreForTesting();
    SKProductsRequest::setStoreProducts({{"coins", "0,99 €"}, {"gems", "1,99 €"}});
    CHECK(lookUp({"coins", "gems", "nothing"}) == std::vector<std::string>{"coins=0,99 €", "gems=1,99 €", "invalid nothing"});
    CHECK(lookUp({"coins"}, true).empty());  // cancelled before it started
    CHECK(SKProductsRequest::startedCount() == 1);
    SKProductsRequest::setStoreFailure(NSError::make(SKErrorDomain, SKErrorUnknown, "offline"));
    CHECK(lookUp({"coins"}) == std::vector<std::string>{"failed 0"});
    SKProductsRequest::resetStoreForTesting();
}

TEST_CASE("store stand-in: the payment queue tells its observers each state once and finishes settled transactions") {
    const auto queue = SKPaymentQueue::defaultQueue();
    queue->resetForTesting();
    auto observer = std::make_shared<QueueObserver>();
    queue->addTransactionObserver(observer);
    queue->addTransactionObserver(observer);  // once only
    auto payment = std::make_shared<SKMutablePayment>("coins", 1);
    payment->setQuantity(3);
    const auto first = queue->addPayment(*payment);
    const auto second = queue->addPayment(SKPayment("gems", 1));
    payment->setQuantity(5);  // the transaction keeps the payment as it was added
    queue->finishTransaction(first);  // still purchasing: stays open
    queue->settleTransaction(second, SKPaymentTransactionStateFailed, NSError::make(SKErrorDomain, SKErrorPaymentCancelled, "no"));
    bool drained = false;
    dispatch_async(dispatch_get_main_queue(), [&] { drained = true; });
    REQUIRE(testsupport::runMainUntil([&] { return drained; }, 10));
    // The second's purchasing update was overtaken by its failure.
    CHECK(observer->heard == std::vector<std::string>{"coins 0", "gems 2"});
    CHECK(first->payment()->quantity() == 3);
    CHECK(second->error()->code() == SKErrorPaymentCancelled);
    queue->finishTransaction(second);
    CHECK(queue->transactions() == std::vector{first});
    CHECK(queue->finishedTransactions() == std::vector{second});

    // Held weakly: an observer that is gone hears nothing and is not kept.
    observer.reset();
    queue->settleTransaction(first, SKPaymentTransactionStatePurchased);
    CHECK(queue->observerCount() == 0);
    queue->resetForTesting();
}
