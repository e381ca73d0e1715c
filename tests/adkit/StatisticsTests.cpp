// Protects the request-quality statistics: exact counts and collection under
// concurrency, coalesced notifications, finishing, snapshots that never change,
// the click-return pairs through the real application notifications, and the
// request stamping of a fresh process.
#include <thread>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKStatisticDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"

namespace {

struct Slot : AKSlotMediationState {
    explicit Slot(bool m) : mediating(m) {}
    bool isMediating() const override { return mediating; }
    bool mediating;
};

struct Ad : AKAdStatisticsSource {
    std::shared_ptr<AKStatisticDictionary> dictionary;
    std::shared_ptr<AKStatisticDictionary> statistics() const override { return dictionary; }
};

std::int64_t decimal(const Value& v) {
    auto d = NSDecimalNumber::fromValue(v);
    return d ? d->integerValue() : INT64_MIN;
}

// Counts notifications on its own queue.
struct CountingDelegate : AKStatisticDictionaryDelegate {
    dispatch_queue_t queue = dispatch_queue_create("test.notifications");
    std::atomic<int> notifications{0};
    dispatch_queue_t notificationQueue() override { return queue; }
    void didUpdateStatisticDictionary(const std::shared_ptr<AKStatisticDictionary>&) override { ++notifications; }
};

// Holds a serial queue until released, so that writes pile up behind it.
struct QueueHold {
    explicit QueueHold(const dispatch_queue_t& queue) : sema(dispatch_semaphore_create(0)) {
        auto s = sema;
        dispatch_async(queue, [s] { dispatch_semaphore_wait(s, DISPATCH_TIME_FOREVER); });
    }
    void release() { dispatch_semaphore_signal(sema); }
    dispatch_semaphore_t sema;
};

// Lets every notification the dictionary's writes so far asked for reach the
// queue: the first read runs after those writes (which queue the notification
// block), the second after that block.
void drain(const std::shared_ptr<AKStatisticDictionary>& dictionary, const dispatch_queue_t& notificationQueue) {
    (void)dictionary->dictionary();
    (void)dictionary->dictionary();
    dispatch_sync(notificationQueue, [] {});
}

}  // namespace

TEST_CASE("statistics: eight threads stamp, click, notify and drain with exact counts and nothing lost") {
    auto app = std::make_shared<AKApplication>();
    constexpr int kThreads = 8, kRounds = 300, kAds = 16;
    std::vector<std::shared_ptr<AKStatisticDictionary>> ads;
    for (int i = 0; i < kAds; ++i) ads.push_back(std::make_shared<AKStatisticDictionary>("com.adkit.adnet.statistics", app));
    std::mutex collectedMutex;
    std::set<std::shared_ptr<AKStatisticDictionary>> collected;
    std::vector<std::pair<Value, std::string>> firstSnapshots(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const Slot slot(t % 2 == 1);
            for (int i = 0; i < kRounds; ++i) {
                const Value snapshot = app->nextRequestStatisticsDictionaryForSlot(slot);
                if (i == 0) firstSnapshots[static_cast<std::size_t>(t)] = {snapshot, snapshot.description()};
                app->incrementTotalAdClickCount();
                ads[static_cast<std::size_t>((t * kRounds + i) % kAds)]->incrementNumberForKey("imp", true);
                ads[static_cast<std::size_t>(i % kAds)]->addObjectToArray(Value(i), "tclick", false);
                if (i % 10 == 9) {
                    auto pending = app->pendingAdStatistics();
                    if (i % 20 == 19) {
                        app->didNotSendAdStatistics(pending);  // a failed request gives them back
                    } else {
                        std::lock_guard<std::mutex> lock(collectedMutex);
                        collected.insert(pending.begin(), pending.end());
                    }
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    // Every notification queued so far reaches the application's queue.
    for (const auto& ad : ads) drain(ad, app->notificationQueue());
    for (const auto& ad : app->pendingAdStatistics()) collected.insert(ad);

    const Value stats = app->statistics()->dictionary();
    CHECK(decimal(stats["seq_num"]) == kThreads * kRounds);
    CHECK(decimal(stats["pclick"]) == kThreads * kRounds);
    CHECK(decimal(stats["preqs"]) == -1);  // as many mediating requests counted down as others up, from -1
    CHECK(stats["basets"].unsignedLongLongValue() <= stats["currts"].unsignedLongLongValue());
    std::int64_t impressions = 0;
    for (int k = 0; k < kAds; ++k) {
        const auto& ad = ads[static_cast<std::size_t>(k)];
        impressions += decimal(ad->objectForKey("imp"));
        const int rounds = (kRounds - k + kAds - 1) / kAds;  // values of i below kRounds with i % kAds == k
        CHECK(ad->objectForKey("tclick").count() == static_cast<std::size_t>(kThreads * rounds));
    }
    CHECK(impressions == kThreads * kRounds);
    CHECK(collected.size() == static_cast<std::size_t>(kAds));
    for (const auto& [snapshot, text] : firstSnapshots) CHECK(snapshot.description() == text);
}

TEST_CASE("statistics: one notification per burst, finishing drops later writes, snapshots stay as taken") {
    auto delegate = std::make_shared<CountingDelegate>();
    auto dictionary = std::make_shared<AKStatisticDictionary>("com.adkit.adnet.statistics", delegate);
    {
        QueueHold hold(dictionary->serialQueue());
        dictionary->setObject(Value("quiet"), "q", false);
        for (int i = 0; i < 10; ++i) dictionary->incrementNumberForKey("n", true);
        hold.release();
    }
    drain(dictionary, delegate->queue);
    CHECK(decimal(dictionary->objectForKey("n")) == 10);
    CHECK(delegate->notifications == 1);
    const Value before = dictionary->dictionary();
    dictionary->addObjectToArray(Value(1), "tclick", true);
    dictionary->decrementNumberForKey("missing", false);
    dictionary->setObject(Value(5), "number", false);
    dictionary->addObjectToArray(Value(1), "number", false);  // a number stays a number
    drain(dictionary, delegate->queue);
    CHECK(delegate->notifications == 2);
    CHECK(decimal(dictionary->objectForKey("missing")) == -1);
    CHECK(dictionary->objectForKey("number") == Value(5));
    CHECK(before["tclick"].isNull());
    const Value grown = dictionary->dictionary();
    dictionary->addObjectToArray(Value(2), "tclick", false);
    CHECK(grown["tclick"].count() == 1);  // the snapshot does not grow with the statistics
    CHECK(dictionary->objectForKey("tclick").count() == 2);

    auto flag = std::make_shared<std::atomic<bool>>(false);
    dictionary->setWasDeallocated(flag);
    dictionary->didFinishModifying();
    dictionary->setObject(Value("late"), "q", true);
    CHECK(dictionary->objectForKey("q") == Value("quiet"));
    CHECK(dictionary->delegate() == nullptr);
    CHECK(delegate->notifications == 2);
    CHECK(dictionary->description().find("queue: com.adkit.adnet.statistics") != std::string::npos);
    dictionary.reset();
    CHECK(flag->load());
}

TEST_CASE("statistics: a fresh process stamps requests from preqs 0 and sequence 1") {
    auto app = std::make_shared<AKApplication>();
    CHECK(app->timeSinceFirstAdRequestInMilliseconds() == 0);
    const Slot plain(false), mediating(true);
    const Value first = app->nextRequestStatisticsDictionaryForSlot(plain);
    CHECK(decimal(first["preqs"]) == 0);
    CHECK(decimal(first["seq_num"]) == 1);
    CHECK(first["currts"] == first["basets"]);
    CHECK(first["session_id"] == Value(app->currentSession()->sessionIDAsString()));
    // Decimals go out as plain JSON numbers.
    const auto json = Value::fromJSON(AKMacros::dictionaryToJSONString(first));
    REQUIRE(json);
    CHECK((*json)["preqs"] == Value(0));
    CHECK((*json)["seq_num"] == Value(1));
    const Value second = app->nextRequestStatisticsDictionaryForSlot(plain);
    CHECK(decimal(second["preqs"]) == 1);
    CHECK(decimal(second["seq_num"]) == 2);
    CHECK(second["basets"] == first["basets"]);
    CHECK(decimal(app->nextRequestStatisticsDictionaryForSlot(mediating)["preqs"]) == 0);
    CHECK(app->nextSequenceNumberAsString() == "4");
    CHECK(app->nextSequenceNumberAsString() == "5");
    CHECK(app->slotStatisticsForSlotID(Value(3)) == nullptr);
    auto slot = app->slotStatisticsForSlotID(Value("unit/1"));
    CHECK(slot == app->slotStatisticsForSlotID(Value("unit/1")));
    slot->setObject(Value("x"), "k");
    CHECK(app->slotStatisticsDictionary()["unit/1"]["k"] == Value("x"));
    const auto schemes = AKApplication::normalizedWebViewNavigationSchemes(Value::array({Value("HTTP"), Value("Market"), Value(3)}));
    CHECK(schemes == std::set<std::string>{"http", "https", "file", "about", "publishertoolbar", "amsg", "market"});
    testsupport::TempHome home;
    CHECK(app->iTunesMetadata().isDictionary());
    CHECK(app->iTunesMetadata().count() == 0);
}

TEST_CASE("statistics: a click, then background and foreground through the notifications, leaves one tclick pair") {
    testsupport::TempHome home;
    auto ui = UIApplication::sharedApplication();
    ui->setApplicationState(UIApplicationStateActive);
    auto app = AKApplication::sharedApplication();
    std::atomic<int> earlyRuns{0};
    AKApplication::addEarlyActivity([&] { ++earlyRuns; });
    NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidFinishLaunchingNotification, ui);
    adkittest::waitFor([&] { return app->appFinishedLaunching() && earlyRuns == 1; }, "did-finish-launching work");
    app->runEarlyActivities();  // once only
    CHECK(earlyRuns == 1);

    auto ad = std::make_shared<Ad>();
    ad->dictionary = std::make_shared<AKStatisticDictionary>("com.adkit.adnet.statistics", app);
    ad->dictionary->setObject(Value(std::uint64_t{42}), "tclickcurr");
    (void)app->pendingAdStatistics();
    app->willLeaveApplicationDueToClickOnAd(ad);
    ui->enterBackgroundForTesting();
    CHECK_FALSE(app->isAppActive());
    ui->enterForegroundForTesting();
    adkittest::waitFor([&] { return ad->dictionary->objectForKey("tclick").count() == 1; }, "the click-return pair");
    CHECK(app->isAppActive());
    const Value pair = ad->dictionary->objectForKey("tclick")[0];
    CHECK(pair.count() == 2);
    CHECK(pair[0] == Value(std::uint64_t{42}));
    // A second activation without a new click adds nothing.
    ui->enterBackgroundForTesting();
    ui->enterForegroundForTesting();
    testsupport::runMainUntil([] { return false; }, 0.2);  // lets the main queue run what was posted
    CHECK(ad->dictionary->objectForKey("tclick").count() == 1);
    drain(ad->dictionary, app->notificationQueue());
    CHECK(app->pendingAdStatistics().count(ad->dictionary) == 1);
}
