#include "networking/NLImageCache.h"

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIApplication.h"

UIImagePtr NLImageCache::cachedImageForRequest(const NSURLRequest& request) {
    switch (request.cachePolicy()) {
        case NSURLRequestReloadIgnoringLocalCacheData:
        case NSURLRequestReloadIgnoringLocalAndRemoteCacheData: return nullptr;
        default: break;
    }
    return objectForKeyAs<UIImage>(request.URL());
}

void NLImageCache::cacheImage(const UIImagePtr& image, const std::shared_ptr<NSURLRequest>& request) {
    if (!image || !request) return;
    setObject(request->URL(), image);
}

std::shared_ptr<NLImageCache> NLImageCache::defaultCache() {
    static ProcessLifetime<std::shared_ptr<NLImageCache>> shared([] {
        auto cache = std::make_shared<NLImageCache>();
        std::weak_ptr<NLImageCache> weak = cache;
        // The registration lives as long as the process: it is never removed.
        (void)NSNotificationCenter::defaultCenter()->addObserverForName(
            UIApplicationDidReceiveMemoryWarningNotification, nullptr, dispatch_get_main_queue(),
            [weak](const NSNotification&) {
                if (auto c = weak.lock()) c->removeAllObjects();
            });
        return cache;
    }());
    return *shared;
}
