// The statistics operations of AKApplication: slot dictionaries, request
// stamping, counters and the click-return pairs.
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKTiming.h"

std::shared_ptr<AKStatisticDictionary> AKApplication::slotStatisticsForSlotID(const Value& slotID) {
    const std::string* id = slotID.string();
    if (!id) return nullptr;
    std::shared_ptr<AKStatisticDictionary> dictionary;
    dispatch_sync(statisticsQueue_, [&] {
        auto& slot = slotStatistics_[*id];
        if (!slot) slot = std::make_shared<AKStatisticDictionary>();
        dictionary = slot;
    });
    return dictionary;
}

Value AKApplication::slotStatisticsDictionary() {
    Value result = Value::dictionary();
    dispatch_sync(statisticsQueue_, [&] {
        for (const auto& [id, dictionary] : slotStatistics_) result.setObject(id, dictionary->dictionary());
    });
    return result;
}

Value AKApplication::nextRequestStatisticsDictionaryForSlot(const AKSlotMediationState& slot) {
    const bool mediating = slot.isMediating();
    Value snapshot;
    dispatch_sync(statisticsQueue_, [&] {
        const Value now(AKAbsoluteTime::absoluteTimeInMilliseconds());
        statistics_->setObject(now, "currts", false);
        if (statistics_->objectForKey("basets").isNull()) statistics_->setObject(now, "basets", false);
        incrementSequenceNumber();
        if (mediating) {
            decrementTotalAdRequestCount();
        } else {
            incrementTotalAdRequestCount();
        }
        snapshot = statistics_->dictionary();
    });
    return snapshot;
}

void AKApplication::incrementTotalAdRequestCount() { statistics_->incrementNumberForKey("preqs", false); }
void AKApplication::decrementTotalAdRequestCount() { statistics_->decrementNumberForKey("preqs", false); }
void AKApplication::incrementTotalAdClickCount() { statistics_->incrementNumberForKey("pclick", false); }
void AKApplication::incrementSequenceNumber() { statistics_->incrementNumberForKey("seq_num", false); }

std::string AKApplication::nextSequenceNumberAsString() {
    std::string text;
    dispatch_sync(statisticsQueue_, [&] {
        incrementSequenceNumber();
        auto number = NSDecimalNumber::fromValue(statistics_->objectForKey("seq_num"));
        text = number ? number->stringValue() : "0";
    });
    return text;
}

std::uint64_t AKApplication::timeSinceFirstAdRequestInMilliseconds() {
    const Value base = statistics_->objectForKey("basets");
    if (base.isNull()) return 0;
    const std::uint64_t now = AKAbsoluteTime::absoluteTimeInMilliseconds();
    const std::uint64_t first = base.unsignedLongLongValue();
    return now > first ? now - first : 0;
}

void AKApplication::willLeaveApplicationDueToClickOnAd(const std::shared_ptr<AKAdStatisticsSource>& ad) {
    auto me = self<AKApplication>();
    dispatch_async(statisticsQueue_, [me, ad] { me->backgroundingAd_ = ad; });
}

void AKApplication::didBecomeActive() {
    std::shared_ptr<AKAdStatisticsSource> ad;
    dispatch_sync(statisticsQueue_, [&] {
        ad.swap(backgroundingAd_);
        if (!ad) return;
        const Value now(AKAbsoluteTime::absoluteTimeInMilliseconds());
        auto adStatistics = ad->statistics();
        if (!adStatistics) return;
        const Value clicked = adStatistics->objectForKey("tclickcurr");
        if (clicked.isNull()) return;
        adStatistics->addObjectToArray(Value::array({clicked, now}), "tclick", true);
    });
}
