#include "adkit/foundation/AKApplication.h"

#include <mutex>

#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKTiming.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/storekit/SKStoreProductViewController.h"
#include "platform/uikit/UIApplication.h"

namespace {

struct EarlyActivities {
    std::mutex mutex;
    std::vector<std::function<void()>> pending;
    bool ran = false;
};

EarlyActivities& early() {
    static ProcessLifetime<EarlyActivities> e;
    return *e;
}

// The library's start-up registration: AKApplication's load runs as soon as
// the library is loaded into the program.
const bool registered = [] {
    AKApplication::load();
    return true;
}();

}  // namespace

bool AKApplication::verifyCategoryMethodAvailability() {
    if (AKCheckCategoriesLoaded()) return true;
    AKMacros::pubLog("Category methods are not loaded. Link the ad library as a whole (for example with "
                     "--whole-archive) so that its extensions are present; see the library's documentation.");
    return false;
}

void AKApplication::load() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!verifyCategoryMethodAvailability()) return;
        NSNotificationCenter::defaultCenter()->addObserverForName(
            UIApplicationDidFinishLaunchingNotification, nullptr, dispatch_get_main_queue(), [](const NSNotification&) {
                auto application = sharedApplication();
                application->finishedLaunching_.store(true);
                application->runEarlyActivities();
            });
    });
}

void AKApplication::addEarlyActivity(std::function<void()> activity) {
    {
        std::lock_guard<std::mutex> lock(early().mutex);
        if (!early().ran) {
            early().pending.push_back(std::move(activity));
            return;
        }
    }
    activity();
}

std::shared_ptr<AKApplication> AKApplication::sharedApplication() {
    static ProcessLifetime<std::shared_ptr<AKApplication>> application([] {
        auto a = std::make_shared<AKApplication>();
        a->observeApplication();
        return a;
    }());
    return *application;
}

AKApplication::AKApplication()
    : session_(std::make_shared<AKSession>()),
      statistics_(std::make_shared<AKStatisticDictionary>("com.adkit.adnet.statistics")),
      notificationQueue_(dispatch_queue_create("com.adkit.adnet.application-notification")),
      statisticsQueue_(dispatch_queue_create("com.adkit.adnet.application-statistics")),
      lockQueue_(dispatch_queue_create("com.adkit.adnet.application-ivar-lock")),
      storeProductCache_(std::make_shared<NSCache>()),
      applicationState_(UIApplication::sharedApplication()->applicationState()) {
    statistics_->setObject(Value(session_->sessionIDAsString()), "session_id", false);
    statistics_->decrementNumberForKey("preqs", false);
    storeProductCache_->setCountLimit(1);
}

AKApplication::~AKApplication() {
    for (const auto& observer : observers_) NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
    statistics_->didFinishModifying();
}

void AKApplication::observeApplication() {
    std::weak_ptr<AKApplication> weak = self<AKApplication>();
    auto center = NSNotificationCenter::defaultCenter();
    observers_.push_back(center->addObserverForName(UIApplicationDidBecomeActiveNotification, nullptr,
                                                    dispatch_get_main_queue(), [weak](const NSNotification&) {
                                                        if (auto me = weak.lock()) me->didBecomeActive();
                                                    }));
    // The state is mirrored from the notifications (posted on the main thread),
    // so that any thread can read it.
    const std::pair<const char*, UIApplicationState> moves[] = {
        {UIApplicationDidEnterBackgroundNotification, UIApplicationStateBackground},
        {UIApplicationWillEnterForegroundNotification, UIApplicationStateInactive},
        {UIApplicationWillResignActiveNotification, UIApplicationStateInactive},
        {UIApplicationDidBecomeActiveNotification, UIApplicationStateActive},
    };
    for (const auto& [name, state] : moves) {
        observers_.push_back(center->addObserverForName(name, nullptr, nullptr, [weak, s = state](const NSNotification&) {
            if (auto me = weak.lock()) me->applicationState_.store(s);
        }));
    }
}

void AKApplication::runEarlyActivities() {
    std::vector<std::function<void()>> activities;
    {
        std::lock_guard<std::mutex> lock(early().mutex);
        if (early().ran) return;
        early().ran = true;
        activities.swap(early().pending);
    }
    for (auto& activity : activities) activity();
}

bool AKApplication::isAppActive() const {
    return !(applicationState_.load() == UIApplicationStateBackground && finishedLaunching_.load());
}

std::optional<std::string> AKApplication::iTunesMetadataPath() const {
    const auto documents = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    if (documents.empty()) return std::nullopt;
    return stringByAppendingPathComponent(stringByDeletingLastPathComponent(documents.front()), "iTunesMetadata.plist");
}

Value AKApplication::iTunesMetadata() const {
    static std::once_flag once;
    static Value metadata;
    std::call_once(once, [this] {
        metadata = Value::dictionary();
        const auto path = iTunesMetadataPath();
        auto data = path ? NSFileManager::defaultManager()->contentsAtPath(*path) : std::nullopt;
        if (!data) {
            [[maybe_unused]] auto unread = ak_errorWithCode(1, ak_localizedDescriptionForErrorCode(1));  // dropped
            return;
        }
        auto parsed = NSPropertyListSerialization::propertyListWithData(*data);
        if (parsed && parsed->isDictionary()) metadata = *parsed;
    });
    return metadata;
}

AKApplication::StatisticsSet AKApplication::pendingAdStatistics() {
    StatisticsSet taken;
    dispatch_sync(notificationQueue_, [&] { taken.swap(adStatistics_); });
    return taken;
}

void AKApplication::didUpdateStatisticDictionary(const std::shared_ptr<AKStatisticDictionary>& dictionary) {
    if (dictionary) adStatistics_.insert(dictionary);  // called on the notification queue
}

void AKApplication::didNotSendAdStatistics(const StatisticsSet& statistics) {
    dispatch_sync(notificationQueue_, [&] { adStatistics_.insert(statistics.begin(), statistics.end()); });
}

std::set<std::string> AKApplication::normalizedWebViewNavigationSchemes(const Value& schemes) {
    std::set<std::string> out = {"http", "https", "file", "about", "publishertoolbar", "amsg"};
    if (auto items = schemes.arrayRef()) {
        for (const Value& item : *items) {
            if (const std::string* s = item.string()) out.insert(lowercaseString(*s));
        }
    }
    return out;
}

std::shared_ptr<NSCache> AKApplication::discardableStoreProductViewControllerAppCache() const {
    std::shared_ptr<NSCache> cache;
    dispatch_sync(lockQueue_, [&] { cache = storeProductCache_; });
    return cache;
}

void AKApplication::setDiscardableStoreProductViewControllerAppCache(std::shared_ptr<NSCache> cache) {
    dispatch_sync(lockQueue_, [&] { storeProductCache_ = std::move(cache); });
}

void AKApplication::setDiscardableStoreProductViewControllerAppCacheMaxSize(std::uint64_t count) {
    dispatch_sync(lockQueue_, [&] {
        if (count == 0) {
            storeProductCache_.reset();
            return;
        }
        if (!storeProductCache_) storeProductCache_ = std::make_shared<NSCache>();
        storeProductCache_->setCountLimit(count);
    });
}

// ---- Store sheets kept for reuse ------------------------------------------------------------

namespace {
// The cache's entry for a sheet. The cache lets entries go on the lock queue;
// a sheet is a view controller, so its last reference goes on the main queue.
class StoreSheetEntry : public NSObject {
public:
    explicit StoreSheetEntry(std::shared_ptr<SKStoreProductViewController> sheet) : sheet(std::move(sheet)) {}
    ~StoreSheetEntry() override {
        if (sheet) dispatch_async(dispatch_get_main_queue(), [kept = std::move(sheet)] {});
    }
    std::shared_ptr<SKStoreProductViewController> sheet;
};
}  // namespace

std::shared_ptr<SKStoreProductViewController> AKApplication::cachedStoreProductViewControllerForProductID(
    const std::string& productID) {
    if (productID.empty()) return nullptr;
    std::shared_ptr<SKStoreProductViewController> sheet;
    dispatch_sync(lockQueue_, [&] {
        if (!storeProductCache_) return;
        if (auto entry = storeProductCache_->objectForKeyAs<StoreSheetEntry>(productID)) {
            sheet = std::move(entry->sheet);
            storeProductCache_->removeObjectForKey(productID);
        }
    });
    return sheet;
}

void AKApplication::finishedUsingStoreProductViewController(
    const std::shared_ptr<SKStoreProductViewController>& controller, const std::string& productID) {
    if (!controller || productID.empty()) return;
    auto entry = std::make_shared<StoreSheetEntry>(controller);
    dispatch_sync(lockQueue_, [&] {
        if (storeProductCache_) storeProductCache_->setObject(productID, std::move(entry));
    });
}
