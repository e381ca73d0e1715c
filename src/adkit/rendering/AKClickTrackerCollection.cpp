#include "adkit/rendering/AKClickTrackerCollection.h"

#include <mutex>

#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
struct Shared {
    std::mutex mutex;
    std::shared_ptr<AKClickTrackerCollection> instance;
};
Shared& shared() {
    static ProcessLifetime<Shared> holder;
    return *holder;
}
}  // namespace

std::shared_ptr<AKClickTrackerCollection> AKClickTrackerCollection::sharedInstance() {
    std::lock_guard lock(shared().mutex);
    if (!shared().instance) shared().instance = std::make_shared<AKClickTrackerCollection>();
    return shared().instance;
}

void AKClickTrackerCollection::setSharedInstance(std::shared_ptr<AKClickTrackerCollection> collection) {
    std::lock_guard lock(shared().mutex);
    shared().instance = std::move(collection);
}

bool AKTrackHTTPURL(const std::string& text) {
    const NSURLPtr url = NSURL::URLWithString(text);
    if (!url || !url->scheme() || !url->host()) return false;
    const std::string scheme = lowercaseString(*url->scheme());
    if (scheme != "http" && scheme != "https") return false;
    AKClickTrackerCollection::sharedInstance()->trackURL(url);
    return true;
}
