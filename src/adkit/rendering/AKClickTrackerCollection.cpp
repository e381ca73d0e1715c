#include "adkit/rendering/AKClickTrackerCollection.h"

#include "adkit/foundation/AKURLUtilities.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSString.h"
#include "adkit/foundation/AKInstalled.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
AKInstalled<AKClickTrackerCollection>& shared() {
    static ProcessLifetime<AKInstalled<AKClickTrackerCollection>> holder;
    return *holder;
}
}  // namespace

std::shared_ptr<AKClickTrackerCollection> AKClickTrackerCollection::sharedInstance() {
    return shared().getOrMake();
}

void AKClickTrackerCollection::setSharedInstance(std::shared_ptr<AKClickTrackerCollection> collection) {
    shared().set(std::move(collection));
}

AKClickTrackerCollection::~AKClickTrackerCollection() {
    // Destroyed where the last owner lets go; its trackers were only ever
    // touched on the main thread, and none can call back into it any more.
    for (const auto& tracker : trackers_) {
        tracker->setDelegate(nullptr);
        tracker->reset();
    }
}

void AKClickTrackerCollection::trackURL(const NSURLPtr& url, bool cacheEnabled) {
    if (!url || url->absoluteString().empty()) return;
    if (isProcessMainThread()) {
        startTracker(url, cacheEnabled);
        return;
    }
    auto collection = self<AKClickTrackerCollection>();
    dispatch_async(dispatch_get_main_queue(), [collection, url, cacheEnabled] { collection->startTracker(url, cacheEnabled); });
}

void AKClickTrackerCollection::trackURLs(const Value& urls, bool cacheEnabled) {
    for (std::size_t i = 0; urls.isArray() && i < urls.count(); ++i) {
        const Value element = urls[i];
        if (const auto url = element.objectAs<NSURL>()) {
            trackURL(url, cacheEnabled);
        } else if (const std::string* text = element.string()) {
            if (const NSURLPtr parsed = NSURL::URLWithString(*text)) trackURL(parsed, cacheEnabled);
        }
    }
}

void AKClickTrackerCollection::startTracker(const NSURLPtr& url, bool cacheEnabled) {
    QV_ASSERT_MAIN_THREAD();
    auto tracker = std::make_shared<AKClickTracker>();
    tracker->setDelegate(self<AKClickTrackerCollection>());
    tracker->setCacheEnabled(cacheEnabled);
    trackers_.insert(tracker);
    tracker->trackURL(url);
}

const AKClickTrackerCollection::TrackerSet& AKClickTrackerCollection::trackers() const {
    QV_ASSERT_MAIN_THREAD();
    return trackers_;
}

void AKClickTrackerCollection::setTrackers(TrackerSet trackers) {
    QV_ASSERT_MAIN_THREAD();
    trackers_ = std::move(trackers);
}

void AKClickTrackerCollection::cleanupTrackers() {
    QV_ASSERT_MAIN_THREAD();
    std::erase_if(trackers_, [](const std::shared_ptr<AKClickTracker>& tracker) {
        if (!tracker->hasTracked()) return false;
        tracker->setDelegate(nullptr);
        return true;
    });
}

void AKClickTrackerCollection::scheduleCleanup() {
    std::weak_ptr<AKClickTrackerCollection> weak = self<AKClickTrackerCollection>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto collection = weak.lock()) collection->cleanupTrackers();
    });
}

void AKClickTrackerCollection::trackerDidRedirect(AKClickTracker& /*tracker*/, const NSURLPtr& /*url*/) {
    scheduleCleanup();
}

void AKClickTrackerCollection::trackerDidFailWithError(AKClickTracker& /*tracker*/, const NSErrorPtr& /*error*/) {
    scheduleCleanup();
}

bool AKTrackHTTPURL(const std::string& text) {
    const NSURLPtr url = AKHTTPURLFromString(text);
    if (!url) return false;
    AKClickTrackerCollection::sharedInstance()->trackURL(url);
    return true;
}
