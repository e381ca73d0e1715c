// Protects the ad errors, the timings on the platform tick counter, the network
// kind from reachability flags, and locations.
#include "AdkitTestSupport.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKLocation.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKNetwork.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKTimingManager.h"
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/foundation/MachTime.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/uikit/UIDevice.h"

namespace {

struct Request : AKRequestParametersSource {
    Value values;
    Value parameters() const override { return values; }
};

struct Checker : AKLogChecker {
    std::vector<std::string> messages;
    void message(const std::string& text) override { messages.push_back(text); }
};

}  // namespace

TEST_CASE("ad errors: texts, status entries, request parameters that never replace the message, private errors") {
    testsupport::TempHome home;
    UIDevice::currentDevice()->setSystemVersion("8.1.0");
    AKDevice::resetProcessFactsForTesting();
    auto one = AKRequestError::errorWithCode(1);
    CHECK(one->domain() == "com.adkit.ads");
    CHECK(one->localizedDescription() == "Request Error: No ad to show.");
    CHECK(one->userInfo()[NSLocalizedFailureReasonErrorKey] == Value("Request Error: No ad to show."));
    CHECK(one->userInfo().count() == 2);
    CHECK(AKRequestError::errorWithCode(2, std::optional<std::string>("custom"))->localizedDescription() == "custom");
    auto notFound = AKRequestError::errorWithCode(1, nullptr, 404);
    CHECK(notFound->userInfo()["HttpStatus"] == Value("HTTP status 404: " + NSHTTPURLResponse::localizedStringForStatusCode(404)));
    CHECK(AKRequestError::errorWithCode(1, nullptr, -3)->userInfo()["HttpStatus"].isNull());
    CHECK(AKRequestError::errorWithCode(99)->localizedDescription() ==
          "Request Error: Invalid ad request parameter(s). Check the Xcode console for details.");
    CHECK(AKRequestError::errorWithCode(4)->localizedDescription() ==
          "Request Error: This device's OS is 8.1.0.It is below the minimum of 5.0.");
    // A code 4 text asked for first off the main thread does not wait for main inside a lock.
    std::string offMain;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        offMain = AKRequestError::localizedStringForErrorCode(4);
        done.store(true);
    });
    adkittest::waitFor([&] { return done.load(); }, "the code 4 text from a worker thread");
    worker.join();
    CHECK(offMain == AKRequestError::localizedStringForErrorCode(4));

    Request request;
    request.values = Value{{"format", Value("320x50")},
                           {NSLocalizedDescriptionKey, Value("hijacked")},
                           {"HttpStatus", Value("hijacked")},
                           {NSUnderlyingErrorKey, Value("hijacked")}};
    auto underlying = NSError::make("net", 5, "socket closed");
    auto zero = AKRequestError::errorWithCode(0, &request, 500, std::nullopt, underlying);
    CHECK(zero->userInfo()["format"] == Value("320x50"));
    CHECK(zero->localizedDescription() == AKRequestError::localizedStringForErrorCode(0));
    CHECK(zero->userInfo()["HttpStatus"].stringValue().rfind("HTTP status 500: ", 0) == 0);
    CHECK(zero->userInfo()[NSUnderlyingErrorKey].objectAs<NSError>() == underlying);
    auto noParams = AKRequestError::errorWithCode(0, &request, 0);
    CHECK(noParams->userInfo()[NSUnderlyingErrorKey].isNull());
    CHECK(noParams->userInfo()["HttpStatus"] == Value("hijacked"));  // no status of its own: the parameter stays
    CHECK(AKRequestError::errorWithCode(1, &request)->userInfo()["format"].isNull());
    CHECK(AKRequestError::errorWithCode(2, underlying)->localizedDescription() == "socket closed");
    CHECK(std::dynamic_pointer_cast<AKRequestError>(one->error()) == nullptr);
    CHECK(one->error()->userInfo() == one->userInfo());

    CHECK_FALSE(ak_localizedDescriptionForErrorCode(4).has_value());
    CHECK(ak_errorWithCode(2, std::nullopt)->userInfo().count() == 0);
    CHECK(ak_errorWithCode(1, ak_localizedDescriptionForErrorCode(1))->localizedDescription() == "File could not be read.");

    auto checker = std::make_shared<Checker>();
    std::vector<std::string> lines;
    setLogHook([&](const std::string& line) { lines.push_back(line); });
    AKMacros::setLogChecker(checker);
    AKMacros::pubLog("slot misconfigured");
    AKMacros::setLogChecker(nullptr);
    AKMacros::pubLog("second");
    setLogHook(nullptr);
    CHECK(checker->messages == std::vector<std::string>{"slot misconfigured"});
    CHECK(lines == std::vector<std::string>{"<AdKit> slot misconfigured", "<AdKit> second"});
}

TEST_CASE("timings: milliseconds on a 125/3 tick counter under virtual time, stopwatches and their saved form") {
    // The millisecond clock's base is taken at its first use in the process, which
    // may have been earlier, in real time. Virtual time starts on the whole second
    // before the real time, and the base is taken now if not yet: no later than the
    // real time, so tests after this one that start from the real time see it move.
    adkittest::VirtualTime time(std::floor(Clock::now()));
    (void)AKAbsoluteTime::absoluteTimeInMilliseconds();
    testsupport::TempHome home;
    REQUIRE(mach_set_timebase_for_testing(125, 3));
    CHECK_FALSE(mach_set_timebase_for_testing(0, 3));
    const std::uint64_t t0 = mach_absolute_time();
    CHECK(t0 > 0);
    Clock::advance(1);
    CHECK(mach_absolute_time() - t0 == 24000000u);  // 1e9 ns at 125/3 ns per tick
    // Half a millisecond into one of its milliseconds, whenever its base was taken.
    const std::uint64_t before = AKAbsoluteTime::absoluteTimeInMilliseconds();
    for (int step = 0; step < 200 && AKAbsoluteTime::absoluteTimeInMilliseconds() == before; ++step)
        Clock::advance(1e-5);
    REQUIRE_MESSAGE(AKAbsoluteTime::absoluteTimeInMilliseconds() == before + 1,
                    "the millisecond clock did not move with the virtual time");
    Clock::advance(0.0005);
    const std::uint64_t base = AKAbsoluteTime::absoluteTimeInMilliseconds();
    Clock::advance(0.25);
    CHECK(AKAbsoluteTime::absoluteTimeInMilliseconds() - base == 250);

    AKTiming timing("load");
    CHECK(timing.elapsedMilliseconds() == 0);
    timing.end();  // never started: unchanged
    CHECK(timing.endTimestamp() == 0);
    timing.start();
    Clock::advance(0.25);
    timing.end();
    CHECK(timing.elapsedMilliseconds() == 250);
    CHECK_FALSE(timing.isActive());
    timing.start();  // restarts
    CHECK(timing.endTimestamp() == 0);
    Clock::advance(0.1);
    CHECK(timing.elapsedMilliseconds() == 100);  // running
    timing.setExplicitEnd(true);
    CHECK(timing.elapsedMilliseconds() == 0);
    CHECK(timing.elapsedMillisecondsString() == "0");
    const Value form = timing.dictionaryRepresentation();
    CHECK(form.count() == 3);
    timing.setValue(Value("x"), "k");
    CHECK(timing.dictionaryRepresentation()["userData"]["k"] == Value("x"));
    CHECK(timing.copy()->dictionaryRepresentation() == timing.dictionaryRepresentation());
    CHECK(AKTiming().category().rfind("AKTiming (", 0) == 0);

    auto manager = std::make_shared<AKTimingManager>();
    manager->setIdentifier("slot1");
    CHECK(manager->userDefaultsKey() == std::optional<std::string>("adkit_timing_slot1"));
    auto first = manager->addTimingWithCategory("a");
    auto second = manager->addTimingWithCategory("a");
    CHECK(manager->timings().size() == 1);
    CHECK(manager->timingForCategory("a") == second);
    second->start();
    Clock::advance(0.5);
    second->end();
    manager->synchronize();
    auto restored = std::make_shared<AKTimingManager>();
    restored->setIdentifier("slot1");
    REQUIRE(restored->timingForCategory("a"));
    CHECK(restored->timingForCategory("a")->startTimestamp() == second->startTimestamp());
    CHECK(restored->timingForCategory("a")->elapsedMilliseconds() == 500);
    REQUIRE(mach_set_timebase_for_testing(1, 1));

    // Far along the tick counter (a test before may have moved it there), a
    // stopwatch still counts whole milliseconds exactly.
    Clock::useVirtualTime(5e9 + 0.123456789);
    for (double step : {0.1, 0.25, 0.001}) {
        AKTiming far("far");
        far.start();
        Clock::advance(step);
        far.end();
        CHECK(far.elapsedMilliseconds() == static_cast<std::uint64_t>(std::llround(step * 1000)));
        CHECK(far.copy()->elapsedMilliseconds() == far.elapsedMilliseconds());
    }
}

TEST_CASE("network and location: flags to kinds, change counts, last known kind, and precise and described locations") {
    auto network = std::make_shared<AKNetwork>();
    AKReachability::setSimulatedFlags(kAKReachabilityFlagsReachable);
    network->enableNetworkChecking();
    CHECK(network->isChecking());
    adkittest::waitFor([&] { return network->networkType() == 2; }, "Wi-Fi from the reachability source");
    CHECK(network->networkTypeString() == std::optional<std::string>("wi"));
    AKReachability::setSimulatedFlags(0);
    adkittest::waitFor([&] { return network->networkType() == 1; }, "no network");
    CHECK_FALSE(network->networkTypeString().has_value());
    CHECK(network->lastKnownNetworkTypeString() == std::optional<std::string>("wi"));
    CHECK(network->changeCount() == 2);
    AKReachability::setSimulatedFlags(kAKReachabilityFlagsIsWWAN);  // cellular without the reachable bit: still "ed"
    adkittest::waitFor([&] { return network->networkType() == 3; }, "cellular");
    CHECK(network->networkTypeString() == std::optional<std::string>("ed"));
    network->setNetworkType(3);
    CHECK(network->changeCount() == 3);
    network->disableNetworkChecking();
    CHECK(network->networkType() == 0);
    CHECK(network->changeCount() == 3);
    CHECK(network->lastKnownNetworkTypeString() == std::optional<std::string>("ed"));
    AKReachability::setSimulatedFlags(kAKReachabilityFlagsReachable);

    CHECK(AKLocation::initWithLatitude(0, 0, 10) == nullptr);
    CHECK(AKLocation::initWithLatitude(91, 10, 10) == nullptr);
    CHECK(AKLocation::initWithLatitude(10, 0, 10) == nullptr);
    // An accuracy without a JSON form would empty the request's whole parameter text.
    for (double accuracy : {std::nan(""), HUGE_VAL, -HUGE_VAL}) CHECK(AKLocation::initWithLatitude(37.5, -122.25, accuracy) == nullptr);
    auto precise = AKLocation::initWithLatitude(37.5, -122.25, 100);
    REQUIRE(precise);
    // Shared across threads: the form made on first need while another thread moves the timestamp.
    std::atomic<int> wellFormed{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (t == 0) precise->setTimestamp(precise->timestamp());
                if (precise->dictionaryRepresentation()["lat"] == Value(std::int64_t{375000000})) ++wellFormed;
            }
        });
    }
    for (auto& reader : readers) reader.join();
    CHECK(wellFormed == 8000);
    const Value uule = precise->dictionaryRepresentation();
    CHECK(uule["lat"] == Value(std::int64_t{375000000}));
    CHECK(uule["long"] == Value(std::int64_t{-1222500000}));
    CHECK(uule["radius"] == Value(100000.0));
    CHECK(precise->locationDescription() == "37.500000,-122.250000");
    auto later = precise->copy();
    later->setTimestamp(precise->timestamp() + 30);
    CHECK(precise->isEqual(*later));
    CHECK(precise->hash() == later->hash());
    CHECK(AKLocation::initWithLocationDescription(std::string("")) == nullptr);
    auto place = AKLocation::initWithLocationDescription(std::string("Mountain View"));
    REQUIRE(place);
    CHECK(place->locationDescription() == "Mountain View");
    CHECK(place->dictionaryRepresentation().isNull());
    CHECK_FALSE(place->isEqual(*precise));
    auto same = AKLocation::initWithLocationDescription(std::string("Mountain View"));
    CHECK(place->isEqual(*same));
    CHECK(place->hash() == same->hash());
}
