#pragma once
// The ad library's picture of the host application: its early start-up work,
// whether it is in the foreground, its store metadata, the session, and the
// request-quality statistics every ad request carries (the application
// statistics, one dictionary per slot, and the ads whose statistics changed
// since they were last collected).
//
// Start-up: `load` runs when the library starts (before UIApplicationMain
// posts did-finish-launching) and registers for that notification; then
// `runEarlyActivities` runs the once-only hook list that later layers fill.
//
// Threads: any. Slot statistics, the backgrounding ad and the request stamping
// are serialised on "com.adkit.adnet.application-statistics"; the pending set
// on "com.adkit.adnet.application-notification", which is also where statistic
// dictionaries deliver their notifications. Synchronous hops go one way only:
// statistics queue -> a dictionary's queue -> notification queue. The store
// sheet cache is used on "com.adkit.adnet.application-ivar-lock", one
// synchronous block per operation.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "adkit/foundation/AKRequestParameters.h"
#include "adkit/foundation/AKSession.h"
#include "adkit/foundation/AKStatisticDictionary.h"
#include "platform/foundation/NSCache.h"

class SKStoreProductViewController;

class AKApplication : public NSObject, public AKStatisticDictionaryDelegate {
public:
    using StatisticsSet = std::set<std::shared_ptr<AKStatisticDictionary>>;

    static std::shared_ptr<AKApplication> sharedApplication();
    // Registers the did-finish-launching work (once; later calls do nothing),
    // when verifyCategoryMethodAvailability answers YES.
    static void load();
    // Whether the library's extensions are linked in; explains the fix in a log line when not.
    static bool verifyCategoryMethodAvailability();
    // Adds work for runEarlyActivities (work added after it ran runs at once).
    static void addEarlyActivity(std::function<void()> activity);
    AKApplication();
    ~AKApplication() override;

    void runEarlyActivities();
    bool isAppActive() const;
    bool appFinishedLaunching() const { return finishedLaunching_.load(); }

    std::optional<std::string> iTunesMetadataPath() const;
    Value iTunesMetadata() const;  // read once; an empty dictionary when absent

    const std::shared_ptr<AKSession>& currentSession() const { return session_; }
    const std::shared_ptr<AKStatisticDictionary>& statistics() const { return statistics_; }

    StatisticsSet pendingAdStatistics();
    dispatch_queue_t notificationQueue() override { return notificationQueue_; }
    void didUpdateStatisticDictionary(const std::shared_ptr<AKStatisticDictionary>& dictionary) override;
    void didNotSendAdStatistics(const StatisticsSet& statistics);
    static std::set<std::string> normalizedWebViewNavigationSchemes(const Value& schemes);

    std::shared_ptr<NSCache> discardableStoreProductViewControllerAppCache() const;
    void setDiscardableStoreProductViewControllerAppCache(std::shared_ptr<NSCache> cache);
    // 0 drops the cache; another count makes it when missing and sets its count limit.
    void setDiscardableStoreProductViewControllerAppCacheMaxSize(std::uint64_t count);
    // Takes the sheet cached for the product out of the cache (null for an empty
    // ID, none cached, or no cache).
    std::shared_ptr<SKStoreProductViewController> cachedStoreProductViewControllerForProductID(
        const std::string& productID);
    // Gives a sheet back for later use under its product ID (nothing for a null
    // sheet or an empty ID). A sheet the cache lets go is released on the main queue.
    void finishedUsingStoreProductViewController(const std::shared_ptr<SKStoreProductViewController>& controller,
                                                 const std::string& productID);

    // Statistics.
    std::shared_ptr<AKStatisticDictionary> slotStatisticsForSlotID(const Value& slotID);
    Value slotStatisticsDictionary();
    Value nextRequestStatisticsDictionaryForSlot(const AKSlotMediationState& slot);
    void incrementTotalAdRequestCount();
    void decrementTotalAdRequestCount();
    void incrementTotalAdClickCount();
    void incrementSequenceNumber();
    std::string nextSequenceNumberAsString();
    std::uint64_t timeSinceFirstAdRequestInMilliseconds();
    void willLeaveApplicationDueToClickOnAd(const std::shared_ptr<AKAdStatisticsSource>& ad);
    void didBecomeActive();

private:
    void observeApplication();
    std::shared_ptr<AKSession> session_;
    std::shared_ptr<AKStatisticDictionary> statistics_;
    dispatch_queue_t notificationQueue_;
    dispatch_queue_t statisticsQueue_;
    dispatch_queue_t lockQueue_;
    StatisticsSet adStatistics_;  // on notificationQueue_
    std::map<std::string, std::shared_ptr<AKStatisticDictionary>> slotStatistics_;  // on statisticsQueue_
    std::shared_ptr<AKAdStatisticsSource> backgroundingAd_;                         // on statisticsQueue_
    std::shared_ptr<NSCache> storeProductCache_;                                     // on lockQueue_
    std::atomic<bool> finishedLaunching_{false};
    std::atomic<long> applicationState_;  // mirrored from the application's notifications
    std::vector<std::shared_ptr<NSObject>> observers_;
};
