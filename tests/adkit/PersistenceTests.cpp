// Protects slot statistics and timings across processes: what one process saved
// at will-terminate another restores, and corrupt saved entries give a clean start.
#include <cstdlib>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKSlotStatistics.h"
#include "adkit/foundation/AKStatisticsCore.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"

namespace {

const char* role() {
    const char* r = std::getenv("ADKIT_CHILD_ROLE");
    return r ? r : "";
}

int runChild(const std::string& childRole) {
    const std::string command = "ADKIT_CHILD_ROLE=" + childRole + " '" + testsupport::selfExecutable() +
                                "' --no-skip -tc='adkit child: slot statistics' >/dev/null 2>&1";
    return std::system(command.c_str());
}

}  // namespace

// Run in a child process by the test below (skipped in an ordinary run).
TEST_CASE("adkit child: slot statistics" * doctest::skip()) {
    const std::string r = role();
    auto stats = std::make_shared<AKSlotStatistics>();
    stats->setIdentifier("slot1");
    if (r == "save") {
        for (int i = 0; i < 3; ++i) stats->incrementParameterCount("fills");
        stats->startTimingAdapter();
        stats->endTimingAdapterWithExitCode(1);
        stats->endTimingAdapterWithExitCode(-2);  // ended again: its duration still pairs with the code
        stats->resetTimingAdapters();
        stats->startTimingAdapter();
        stats->endTimingAdapterWithExitCode(1);
        stats->removeTimingNamed("adapter");
        stats->endTimingAdapterWithExitCode(-2);  // no timing at all: "0"
        stats->startTimingNamed("render", false);
        stats->timingNamed("render")->setValue(Value("banner"), "kind");
        stats->timingNamed("render")->setStartTimestamp(12.5);
        stats->timingNamed("render")->setEndTimestamp(13.75);
        NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationWillTerminateNotification);
        std::_Exit(0);  // no destructor runs: only the will-terminate save counts
    }
    if (r == "restore") {
        CHECK(stats->valueForParameter("fills") == 3);
        CHECK(stats->adapterExitCodesParameter() == std::optional<std::string>("1,-2"));
        const auto durations = stats->adapterDurationsParameter();
        REQUIRE(durations);
        CHECK(durations->find(',') != std::string::npos);
        CHECK(durations->substr(durations->find(',') + 1) == "0");
        auto render = stats->timingNamed("render");
        REQUIRE(render);
        CHECK(render->startTimestamp() == 12.5);
        CHECK(render->endTimestamp() == 13.75);
        CHECK(render->elapsedMilliseconds() == 1250);
        CHECK(render->valueForKey("kind") == Value("banner"));
    }
    if (r == "clean") {
        CHECK(stats->valueForParameter("fills") == 0);
        CHECK_FALSE(stats->adapterExitCodesParameter().has_value());
        CHECK_FALSE(stats->adapterDurationsParameter().has_value());
        CHECK(stats->timingNamed("render") == nullptr);
        CHECK(stats->timingNamed("adapter") == nullptr);
        CHECK(stats->valueForParameter("kept") == 7);
    }
}

TEST_CASE("persistence: slot statistics and timings saved at will-terminate come back in another process") {
    testsupport::TempHome home;
    REQUIRE(runChild("save") == 0);
    CHECK(runChild("restore") == 0);

    // Corrupt what was saved: the counters' entry is no dictionary, the
    // adapter lists no longer pair up, and the timings are not timings.
    auto defaults = NSUserDefaults::initWithSuiteName("");
    Value stats = defaults->objectForKey("adkit_stats_slot1");
    REQUIRE(stats.isDictionary());
    stats.setObject("adapter_exit", Value::array({Value("1"), Value("2")}));
    stats.setObject("adapter_duration", Value::array({Value("5")}));
    stats.setObject("fills", Value(Data{1, 2}));
    stats.setObject("kept", Value(7));
    REQUIRE(defaults->setObject(stats, "adkit_stats_slot1"));
    REQUIRE(defaults->setObject(Value{{"render", Value("not a timing")}, {"adapter", Value{{"category", Value(5)}}}},
                                "adkit_timing_slot1"));
    REQUIRE(defaults->synchronize());
    CHECK(runChild("clean") == 0);

    REQUIRE(defaults->setObject(Value("garbage"), "adkit_stats_slot1"));
    REQUIRE(defaults->setObject(Value::array({Value(1)}), "adkit_timing_slot1"));
    REQUIRE(defaults->synchronize());
    auto fresh = std::make_shared<AKSlotStatistics>();
    fresh->setIdentifier("slot1");
    CHECK(fresh->valueForParameter("fills") == 0);
    CHECK(fresh->timingNamed("render") == nullptr);

    // The typed setters keep other kinds out; counters start from nothing.
    auto core = fresh->core();
    core->setNumber(Value("five"), "n");
    CHECK(core->numberForKey("n").isNull());
    CHECK(core->addValue(5, "n") == 5);
    core->setTransientStats({"session"});
    core->setString(Value("s1"), "session");
    core->synchronize();
    auto again = std::make_shared<AKStatisticsCore>();
    again->setTransientStats({"session"});
    again->setIdentifier("slot1");
    CHECK(again->numberForKey("n") == Value(5));
    CHECK(again->stringForKey("session").isNull());
}
