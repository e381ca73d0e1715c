#pragma once
// One validation of product IDs with the store: it owns the store's products
// request and hands the outcome to its completion block, once, on the main
// queue (asynchronously): a dictionary product ID -> store product and the set
// of invalid IDs, or neither when the request failed. The block is dropped
// after it ran, and also when the request is cancelled (cancelRequest, or the
// delegate's destruction), after which it never runs.
//
// Call order: make (null without IDs or block), startRequest, then maybe
// cancelRequest. Main thread, except the store's answers, which may arrive on
// any thread and only hop to the main queue.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/storekit/SKProductsRequest.h"

class AKProductsRequestDelegate : public NSObject, public SKProductsRequestDelegate {
public:
    using ProductMap = std::map<std::string, SKProductPtr>;
    using IDSet = std::set<std::string>;
    using CompletionBlock = std::function<void(const std::shared_ptr<AKProductsRequestDelegate>& requestDelegate,
                                               const std::optional<ProductMap>& validProducts,
                                               const std::optional<IDSet>& invalidProductIDs)>;

    AKProductsRequestDelegate(std::shared_ptr<SKProductsRequest> request, CompletionBlock completionBlock);
    ~AKProductsRequestDelegate() override;
    // initWithProductIDs:completionBlock:
    static std::shared_ptr<AKProductsRequestDelegate> make(const IDSet& productIDs, CompletionBlock completionBlock);

    const std::shared_ptr<SKProductsRequest>& productsRequest() const { return productsRequest_; }
    void startRequest();
    void cancelRequest();

    void productsRequest(SKProductsRequest& request, const std::shared_ptr<SKProductsResponse>& response) override;
    void request(SKProductsRequest& request, const NSErrorPtr& error) override;

private:
    void complete(std::optional<ProductMap> valid, std::optional<IDSet> invalid);
    const std::shared_ptr<SKProductsRequest> productsRequest_;
    CompletionBlock completionBlock_;  // main thread
};
