#pragma once
// The targeting a custom event gets with its request: a read-only snapshot of
// what the connector answers at the moment the attempt starts (location
// values follow the connector's location-sharing rule), the connector's test
// mode, and a copy of the publisher's custom-event extras registered for the
// entry's label (AKCustomEventExtras). Immutable once made; any thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class AKMAdNetworkConnector;

class AKCustomEventRequest : public NSObject {
public:
    // initWithConnector:, with the entry's "label" (nullopt: no extras are looked up).
    static std::shared_ptr<AKCustomEventRequest> initWithConnector(const AKMAdNetworkConnector& connector,
                                                                    const std::optional<std::string>& label);

    bool userHasLocation() const { return userHasLocation_; }
    bool isTesting() const { return isTesting_; }
    std::int64_t userGender() const { return userGender_; }
    const std::optional<Date>& userBirthday() const { return userBirthday_; }
    double userLatitude() const { return userLatitude_; }
    double userLongitude() const { return userLongitude_; }
    double userLocationAccuracyInMeters() const { return userLocationAccuracyInMeters_; }
    const std::optional<std::string>& userLocationDescription() const { return userLocationDescription_; }
    // Copies: the snapshot's own arrays and dictionaries are never handed out.
    Value userKeywords() const { return userKeywords_.copy(); }
    Value additionalParameters() const { return additionalParameters_.copy(); }

private:
    bool userHasLocation_ = false;
    bool isTesting_ = false;
    std::int64_t userGender_ = 0;
    std::optional<Date> userBirthday_;
    double userLatitude_ = 0;
    double userLongitude_ = 0;
    double userLocationAccuracyInMeters_ = 0;
    std::optional<std::string> userLocationDescription_;
    Value userKeywords_;
    Value additionalParameters_;
};
