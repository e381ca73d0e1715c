#include "platform/storekit/SKProductsRequest.h"

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
struct Store {
    std::mutex mutex;
    std::map<std::string, std::string> products;
    NSErrorPtr failure;
    std::size_t started = 0;
};
Store& store() {
    static ProcessLifetime<Store> shared;
    return *shared;
}
}  // namespace

SKProductsRequest::SKProductsRequest(std::set<std::string> productIdentifiers)
    : productIdentifiers_(std::move(productIdentifiers)) {}

std::shared_ptr<SKProductsRequest> SKProductsRequest::initWithProductIdentifiers(std::set<std::string> identifiers) {
    return std::make_shared<SKProductsRequest>(std::move(identifiers));
}

void SKProductsRequest::setDelegate(const std::shared_ptr<SKProductsRequestDelegate>& delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = delegate;
}

std::shared_ptr<SKProductsRequestDelegate> SKProductsRequest::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void SKProductsRequest::start() {
    {
        std::lock_guard lock(mutex_);
        if (started_ || cancelled_) return;
        started_ = true;
    }
    {
        std::lock_guard lock(store().mutex);
        ++store().started;
    }
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
                   [request = self<SKProductsRequest>()] { request->answer(); });
}

void SKProductsRequest::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    delegate_.reset();
}

void SKProductsRequest::answer() {
    NSErrorPtr failure;
    std::vector<SKProductPtr> products;
    std::vector<std::string> invalid;
    {
        std::lock_guard lock(store().mutex);
        failure = store().failure;
        for (const auto& identifier : productIdentifiers_) {
            const auto found = store().products.find(identifier);
            if (found == store().products.end()) {
                invalid.push_back(identifier);
            } else {
                products.push_back(std::make_shared<SKProduct>(identifier, found->second));
            }
        }
    }
    std::shared_ptr<SKProductsRequestDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;
        delegate = delegate_.lock();
    }
    if (!delegate) return;
    if (failure) {
        delegate->request(*this, failure);
    } else {
        delegate->productsRequest(*this, std::make_shared<SKProductsResponse>(std::move(products), std::move(invalid)));
    }
}

void SKProductsRequest::setStoreProducts(std::map<std::string, std::string> productsToPriceTexts) {
    std::lock_guard lock(store().mutex);
    store().products = std::move(productsToPriceTexts);
}

void SKProductsRequest::setStoreFailure(NSErrorPtr error) {
    std::lock_guard lock(store().mutex);
    store().failure = std::move(error);
}

void SKProductsRequest::resetStoreForTesting() {
    std::lock_guard lock(store().mutex);
    store().products.clear();
    store().failure = nullptr;
    store().started = 0;
}

std::size_t SKProductsRequest::startedCount() {
    std::lock_guard lock(store().mutex);
    return store().started;
}
