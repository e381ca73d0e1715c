#pragma once
// What the ad library's foundation needs of objects that later layers define:
// an ad request's parameters, a slot's mediation state and an ad's statistics.
#include <memory>

#include "platform/foundation/Value.h"

class AKStatisticDictionary;

// An ad request (`AKRequest`): its parameter dictionary, or null.
class AKRequestParametersSource {
public:
    virtual ~AKRequestParametersSource() = default;
    virtual Value parameters() const = 0;
};

// An ad slot, as far as the application statistics ask it.
class AKSlotMediationState {
public:
    virtual ~AKSlotMediationState() = default;
    virtual bool isMediating() const = 0;
};

// An ad (`AKAd`), as far as the click statistics ask it.
class AKAdStatisticsSource {
public:
    virtual ~AKAdStatisticsSource() = default;
    virtual std::shared_ptr<AKStatisticDictionary> statistics() const = 0;
};
