#include "adkit/rendering/AKProductsRequestDelegate.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"

AKProductsRequestDelegate::AKProductsRequestDelegate(std::shared_ptr<SKProductsRequest> request,
                                                     CompletionBlock completionBlock)
    : productsRequest_(std::move(request)), completionBlock_(std::move(completionBlock)) {}

AKProductsRequestDelegate::~AKProductsRequestDelegate() { productsRequest_->cancel(); }

std::shared_ptr<AKProductsRequestDelegate> AKProductsRequestDelegate::make(const IDSet& productIDs,
                                                                           CompletionBlock completionBlock) {
    if (productIDs.empty() || !completionBlock) return nullptr;
    return std::make_shared<AKProductsRequestDelegate>(SKProductsRequest::initWithProductIdentifiers(productIDs),
                                                       std::move(completionBlock));
}

void AKProductsRequestDelegate::startRequest() {
    QV_ASSERT_MAIN_THREAD();
    productsRequest_->setDelegate(self<AKProductsRequestDelegate>());
    productsRequest_->start();
}

void AKProductsRequestDelegate::cancelRequest() {
    QV_ASSERT_MAIN_THREAD();
    productsRequest_->cancel();
    completionBlock_ = nullptr;
}

void AKProductsRequestDelegate::productsRequest(SKProductsRequest& /*request*/,
                                                const std::shared_ptr<SKProductsResponse>& response) {
    ProductMap valid;
    for (const auto& product : response->products()) {
        if (product) valid[product->productIdentifier()] = product;
    }
    const auto& invalid = response->invalidProductIdentifiers();
    complete(std::move(valid), IDSet(invalid.begin(), invalid.end()));
}

void AKProductsRequestDelegate::request(SKProductsRequest& /*request*/, const NSErrorPtr& /*error*/) {
    complete(std::nullopt, std::nullopt);
}

void AKProductsRequestDelegate::complete(std::optional<ProductMap> valid, std::optional<IDSet> invalid) {
    // Any thread: the block itself is touched on the main thread only.
    dispatch_async(dispatch_get_main_queue(), [me = self<AKProductsRequestDelegate>(), valid = std::move(valid),
                                               invalid = std::move(invalid)] {
        auto block = std::move(me->completionBlock_);
        me->completionBlock_ = nullptr;
        if (block) block(me, valid, invalid);
    });
}
