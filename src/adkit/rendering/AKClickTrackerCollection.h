#pragma once
// The process-wide owner of running tracking pings: it starts one click tracker
// per URL and holds it until the ping is done, so a ping outlives whoever asked
// for it. This header is what the page-message handlers call; the collection
// that owns the trackers comes with the ad slot's pings and replaces the shared
// instance at start-up (tests install a recording one). Until then the shared
// instance is this base, which pings nothing. Main thread only.
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class AKClickTrackerCollection : public NSObject {
public:
    ~AKClickTrackerCollection() override = default;

    static std::shared_ptr<AKClickTrackerCollection> sharedInstance();
    // Null restores the base instance.
    static void setSharedInstance(std::shared_ptr<AKClickTrackerCollection> collection);

    // trackURL:cacheEnabled: (trackURL: is caching on).
    virtual void trackURL(const NSURLPtr& /*url*/, bool /*cacheEnabled*/ = true) {}
};

// Pings the URL written in `text` through the shared collection when it is an
// http or https URL (a page cannot make the library fetch other schemes);
// false when nothing was pinged.
bool AKTrackHTTPURL(const std::string& text);
