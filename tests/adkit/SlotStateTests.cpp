// Protects the ad slot's state machine: each transition's state and
// bookkeeping (the pending ad statistics a failed load gives back and a valid
// ad drops, the impression count), the guards, the final state, and the rich-media interceptor's
// counter, which every load holds exactly once from its start to its end.
#include <doctest/doctest.h>

#include "SlotTestOwner.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKStatisticDictionary.h"
#include "platform/foundation/NSDecimalNumber.h"

using slottest::SlotFixture;

TEST_CASE("slot: the transitions of a load, their bookkeeping, the guards and the final state") {
    adkittest::QuietLog quiet;
    SlotFixture f;
    auto& slot = *f.slot;
    const auto ad = std::make_shared<AKAd>();
    struct Step {
        const char* what;
        std::function<void()> run;
        AKSlotState state;
        std::int64_t counter;
        bool making;
        const char* owner;  // what the owner heard by then
    };
    const Step steps[] = {
        {"a new slot", [] {}, AKSlotStateIdle, 0, false, ""},
        {"willRequestAdURL", [&] { slot.willRequestAdURL(); }, AKSlotStateRequestingAdURL, 1, true, ""},
        {"the same state again", [&] { slot.setState(AKSlotStateRequestingAdURL); }, AKSlotStateRequestingAdURL, 1, true, ""},
        {"didReceiveAdURL", [&] { slot.didReceiveAdURL(); }, AKSlotStateReceivedAdURL, 1, true, ""},
        {"the ad road's reset keeps the count", [&] { slot.resetState(); }, AKSlotStateIdle, 1, false, ""},
        {"a load of no ad fails and ends the load", [&] { slot.loadAd(nullptr, Value()); }, AKSlotStateFailed, 0,
         false, "failed 13"},
        {"willRequestAdURL from a resting state counts", [&] { slot.willRequestAdURL(); }, AKSlotStateRequestingAdURL, 1, true, "failed 13"},
        {"willProcessMediationResponse", [&] { slot.willProcessMediationResponse(); }, AKSlotStateFetchingAdContent, 1, true, "failed 13"},
        {"willStartAdRendering", [&] { slot.willStartAdRendering(); }, AKSlotStateRendering, 1, true, "failed 13"},
        {"didReceiveValidAd", [&] { slot.didReceiveValidAd(); }, AKSlotStateValidAd, 0, false, "failed 13"},
        {"a failure without an error", [&] { slot.didFailToReceiveAdWithError(nullptr, false, false); }, AKSlotStateFailed, 0, false, "failed 13; failed 11"},
        {"the core page failed", [&] {
             slot.willRequestAdURL();
             slot.didFailToRetrieveSDKCoreWithError(AKRequestError::errorWithCode(2));
         }, AKSlotStateCorePageFailed, 0, false, "failed 13; failed 11; failed 2"},
        {"a failure that cancels ends in 0 and is still reported", [&] {
             slot.willRequestAdURL();
             slot.didFailToReceiveAdWithError(AKRequestError::errorWithCode(3), false, true);
         }, AKSlotStateIdle, 0, false, "failed 13; failed 11; failed 2; failed 3"},
        {"cancelPendingActions", [&] {
             slot.willRequestAdURL();
             slot.cancelPendingActions();
         }, AKSlotStateIdle, 0, false, "failed 13; failed 11; failed 2; failed 3"},
        {"cancelPendingAndFutureActions", [&] {
             slot.willRequestAdURL();
             slot.cancelPendingAndFutureActions();
         }, AKSlotStateInvalidated, 0, true, "failed 13; failed 11; failed 2; failed 3"},
        {"state 8 is final, its bookkeeping still runs", [&] {
             slot.willRequestAdURL();
             slot.didFailToReceiveAdWithError(nullptr, false, false);
         }, AKSlotStateInvalidated, 0, true, "failed 13; failed 11; failed 2; failed 3; failed 11"},
    };
    for (const auto& step : steps) {
        INFO(step.what);
        step.run();
        CHECK(slot.state() == step.state);
        CHECK(AKMRAIDInterceptor::canInitWithRequestCounter() == step.counter);
        CHECK(slot.isMakingRequest() == step.making);
        CHECK(f.owner->joined() == step.owner);
    }
    CHECK_FALSE(slot.shouldMakeRequest(nullptr));
    CHECK_FALSE(slot.isReloadable());
    CHECK(slot.slotDelegate() == nullptr);

    SUBCASE("the statistics stamped on the loading ad and the application") {
        auto fresh = f.makeSlot();
        fresh->willRequestAdURL();
        CHECK(fresh->applicationStatistics().isDictionary());
        fresh->resetState();
        fresh->loadAd(ad, Value());  // the stand-in fetch of a URL ad never ends
        const auto stats = ad->statistics();
        CHECK(stats->objectForKey("tfetch").isNumber());
        CHECK(stats->objectForKey("treq").isNumber());
        CHECK(stats->objectForKey("slotid") == Value("unit-1"));
        fresh->didFetchAdContent();
        CHECK(stats->objectForKey("tresponse").isNumber());
        const auto application = AKApplication::sharedApplication()->statistics();
        const auto oar = NSDecimalNumber::fromValue(application->objectForKey("oar"));
        REQUIRE(oar);
        CHECK(oar->description() == "0");
        fresh->willProcessMediationResponse();
        CHECK(stats->objectForKey("ismediation") == Value(true));
        fresh->willLoadAdHTMLInWebView();
        fresh->didReceiveValidAd();
        fresh->didLoadAdHTMLInWebView();
        CHECK(fresh->ad() == ad);
        CHECK(fresh->loadingAd() == nullptr);
        CHECK(stats->objectForKey("tload").isNumber());
        // The same stamp (milliseconds since the process's first reading: 0 when this runs within its first).
        CHECK(fresh->timeLastLoaded() == stats->objectForKey("tload").integerValue());
        fresh->willLeaveAppDueToClick();
        CHECK(stats->objectForKey("pclb") == Value(true));

        // The statistics of ads not yet sent go with the next request ("ads"), come back to the
        // application when its load fails, and are dropped by a valid ad; an impression counts "pimp",
        // which the next request carries.
        const auto app = AKApplication::sharedApplication();
        const auto waiting = std::make_shared<AKStatisticDictionary>();
        waiting->setObject(Value("waiting"), "mark");
        (void)app->pendingAdStatistics();
        app->didNotSendAdStatistics({waiting});
        // (Other ads of this process may be collected meanwhile: only the waiting one is looked for.)
        const auto carriesWaiting = [](const Value& parameters) {
            const Value ads = parameters["quality_signals"]["ads"];
            for (std::size_t i = 0; i < ads.count(); ++i)
                if (ads[i] == Value{{"mark", "waiting"}}) return true;
            return false;
        };
        auto sending = f.makeSlot();
        sending->loadRequest(AKRequest::request());
        CHECK(carriesWaiting(sending->requestParameters()));
        CHECK(app->pendingAdStatistics().count(waiting) == 0);
        sending->didFailToReceiveAdWithError(AKRequestError::errorWithCode(1), false, false);
        CHECK(app->pendingAdStatistics().count(waiting) == 1);
        app->didNotSendAdStatistics({waiting});
        sending->loadRequest(AKRequest::request());
        CHECK(carriesWaiting(sending->requestParameters()));
        sending->willStartAdRendering();
        sending->didReceiveValidAd();
        CHECK(sending->pendingAdStatistics().empty());
        sending->didFailToReceiveAdWithError(AKRequestError::errorWithCode(1), false, false);
        CHECK(app->pendingAdStatistics().count(waiting) == 0);
        const auto impressions = [&] {
            const auto counted = NSDecimalNumber::fromValue(app->statistics()->objectForKey("pimp"));
            return counted ? counted->integerValue() : 0;
        };
        const std::int64_t before = impressions();
        sending->didMakeAdImpression();
        CHECK(impressions() == before + 1);
        sending->loadRequest(AKRequest::request());
        CHECK(sending->requestParameters()["quality_signals"]["app"]["pimp"].integerValue() == before + 1);
    }
}

TEST_CASE("slot: overlapping loads, failures, cancels and released slots leave the interceptor counter at 0") {
    adkittest::QuietLog quiet;
    SlotFixture f;
    auto a = f.slot, b = f.makeSlot(), c = f.makeSlot(), d = f.makeSlot();
    const auto counter = [] { return AKMRAIDInterceptor::canInitWithRequestCounter(); };
    for (const auto& s : {a, b, c, d}) s->willRequestAdURL();
    CHECK(counter() == 4);
    a->didFailToReceiveAdWithError(AKRequestError::errorWithCode(2), false, false);
    a->didFailToReceiveAdWithError(AKRequestError::errorWithCode(2), false, false);  // reported twice
    CHECK(counter() == 3);
    b->cancelPendingActions();  // the owner cancels mid-load
    CHECK(counter() == 2);
    c->didReceiveAdURL();
    c->resetState();
    c->willFetchAdContent();
    c->willStartAdRendering();
    c->didReceiveValidAd();
    CHECK(counter() == 1);
    d.reset();  // released while waiting for the page
    CHECK(counter() == 0);
    a->willRequestAdURL();  // a load from a resting state counts too
    CHECK(counter() == 1);
    a->didFailToRetrieveSDKCoreWithError(AKRequestError::errorWithCode(2));
    c->willRequestAdURL();
    c->cancelPendingAndFutureActions();
    CHECK(counter() == 0);
}
