#pragma once
// The process-wide owner of running tracking pings: it starts one click tracker
// per URL and holds it until the tracker reports that it is done, so a ping
// outlives whoever asked for it. The page-message handlers, the slot's pings
// and purchase reports call it through the shared instance; tests may install
// a recording one (`setSharedInstance`).
//
// Threads: trackURL/trackURLs may be called on any thread; the trackers and
// their set are touched on the main thread only (a call from elsewhere hops
// there asynchronously). A tracker's redirect or failure schedules a clean-up
// on the main queue that drops every finished tracker. A nil URL, or one whose
// text is empty, starts nothing. When a collection is destroyed, its remaining
// trackers are reset first.
#include <memory>
#include <set>
#include <string>

#include "adkit/foundation/AKClickTracker.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class AKClickTrackerCollection : public NSObject, public AKClickTrackerDelegate {
public:
    using TrackerSet = std::set<std::shared_ptr<AKClickTracker>>;
    ~AKClickTrackerCollection() override;

    static std::shared_ptr<AKClickTrackerCollection> sharedInstance();
    // Null restores a fresh real collection on next use.
    static void setSharedInstance(std::shared_ptr<AKClickTrackerCollection> collection);

    // trackURL:cacheEnabled: (trackURL: is caching on).
    virtual void trackURL(const NSURLPtr& url, bool cacheEnabled = true);
    // Each element in order: a URL object as it is, a URL string parsed (skipped when it forms no
    // URL); any other element is skipped.
    void trackURLs(const Value& urls, bool cacheEnabled = true);

    // Main thread only.
    const TrackerSet& trackers() const;
    void setTrackers(TrackerSet trackers);
    void cleanupTrackers();

    void trackerDidRedirect(AKClickTracker& tracker, const NSURLPtr& url) override;
    void trackerDidFailWithError(AKClickTracker& tracker, const NSErrorPtr& error) override;

private:
    void startTracker(const NSURLPtr& url, bool cacheEnabled);
    void scheduleCleanup();
    TrackerSet trackers_;  // main thread
};

// Pings the URL written in `text` through the shared collection when it is an
// http or https URL (a page cannot make the library fetch other schemes);
// false when nothing was pinged.
bool AKTrackHTTPURL(const std::string& text);
