#pragma once
// The in-memory cache of the HTTP library's image-view and button extensions:
// images keyed by the absolute URL string of their request. A request that
// asks to ignore cached data (cache policy 1 or 4) finds nothing, but what it
// loads is still stored. Any thread (the cache locks itself).
#include <memory>

#include "platform/foundation/NSCache.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIImage.h"

class NLImageCache : public NSCache {
public:
    // The image stored for the request's URL; null for policies 1 and 4.
    virtual UIImagePtr cachedImageForRequest(const NSURLRequest& request);
    // Stores the image under the request's URL; nothing when either is null.
    virtual void cacheImage(const UIImagePtr& image, const std::shared_ptr<NSURLRequest>& request);

    // The default shared cache: made once, emptied on every memory warning.
    static std::shared_ptr<NLImageCache> defaultCache();
};
