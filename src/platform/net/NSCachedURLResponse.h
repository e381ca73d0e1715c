#pragma once
// A response with its body, as offered to a cache.
#include <memory>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSURLResponse.h"

enum NSURLCacheStoragePolicy : unsigned long {
    NSURLCacheStorageAllowed = 0,
    NSURLCacheStorageAllowedInMemoryOnly = 1,
    NSURLCacheStorageNotAllowed = 2,
};

class NSCachedURLResponse : public NSObject {
public:
    NSCachedURLResponse(std::shared_ptr<NSURLResponse> response, Data data,
                        NSURLCacheStoragePolicy storagePolicy = NSURLCacheStorageAllowed)
        : response_(std::move(response)), data_(std::move(data)), storagePolicy_(storagePolicy) {}

    const std::shared_ptr<NSURLResponse>& response() const { return response_; }
    const Data& data() const { return data_; }
    NSURLCacheStoragePolicy storagePolicy() const { return storagePolicy_; }

private:
    std::shared_ptr<NSURLResponse> response_;
    Data data_;
    NSURLCacheStoragePolicy storagePolicy_;
};
