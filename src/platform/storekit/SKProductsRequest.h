#pragma once
// The store's product lookup, as a stand-in: a request for a set of product
// identifiers answers with the products the stand-in store knows and the
// identifiers it does not, or with the failure a test set.
//
// Call order: initWithProductIdentifiers, setDelegate, start (once; a second
// start does nothing), optionally cancel. The answer comes asynchronously on a
// global queue, never on the caller's thread, as the platform's may: the
// delegate gets productsRequest (the response) or request (the error), exactly
// once, unless the request was cancelled first. The request keeps itself alive
// until it has answered; the delegate is held weakly.
//
// The stand-in store is process-wide: setStoreProducts names the products
// (identifier -> price text), setStoreFailure makes every request fail (null:
// answer again); resetStoreForTesting forgets both. Any thread.
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

// A product of the store.
class SKProduct : public NSObject {
public:
    SKProduct(std::string productIdentifier, std::string priceText)
        : productIdentifier_(std::move(productIdentifier)), priceText_(std::move(priceText)) {}
    const std::string& productIdentifier() const { return productIdentifier_; }
    // The price as the store shows it ("0,99 €").
    const std::string& priceText() const { return priceText_; }

private:
    std::string productIdentifier_;
    std::string priceText_;
};
using SKProductPtr = std::shared_ptr<SKProduct>;

class SKProductsResponse : public NSObject {
public:
    SKProductsResponse(std::vector<SKProductPtr> products, std::vector<std::string> invalid)
        : products_(std::move(products)), invalidProductIdentifiers_(std::move(invalid)) {}
    const std::vector<SKProductPtr>& products() const { return products_; }
    const std::vector<std::string>& invalidProductIdentifiers() const { return invalidProductIdentifiers_; }

private:
    std::vector<SKProductPtr> products_;
    std::vector<std::string> invalidProductIdentifiers_;
};

class SKProductsRequest;

class SKProductsRequestDelegate {
public:
    virtual ~SKProductsRequestDelegate() = default;
    // productsRequest:didReceiveResponse:
    virtual void productsRequest(SKProductsRequest& request, const std::shared_ptr<SKProductsResponse>& response) = 0;
    // request:didFailWithError:
    virtual void request(SKProductsRequest& /*request*/, const NSErrorPtr& /*error*/) {}
};

class SKProductsRequest : public NSObject {
public:
    explicit SKProductsRequest(std::set<std::string> productIdentifiers);
    static std::shared_ptr<SKProductsRequest> initWithProductIdentifiers(std::set<std::string> productIdentifiers);

    const std::set<std::string>& productIdentifiers() const { return productIdentifiers_; }
    void setDelegate(const std::shared_ptr<SKProductsRequestDelegate>& delegate);
    std::shared_ptr<SKProductsRequestDelegate> delegate() const;
    void start();
    // No answer begins after this returns (one already running on the global
    // queue finishes).
    void cancel();

    // The stand-in store.
    static void setStoreProducts(std::map<std::string, std::string> productsToPriceTexts);
    static void setStoreFailure(NSErrorPtr error);
    static void resetStoreForTesting();
    // How many requests were started since the last reset.
    static std::size_t startedCount();

private:
    void answer();
    const std::set<std::string> productIdentifiers_;
    mutable std::mutex mutex_;  // guards the three below; never held while a delegate runs
    std::weak_ptr<SKProductsRequestDelegate> delegate_;
    bool started_ = false;
    bool cancelled_ = false;
};
