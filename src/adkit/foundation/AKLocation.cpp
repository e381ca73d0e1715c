#include "adkit/foundation/AKLocation.h"

#include <cfloat>
#include <cmath>
#include <functional>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"

AKLocationPtr AKLocation::initWithLatitude(double latitude, double longitude, double accuracy) {
    auto location = std::make_shared<AKLocation>();
    location->latitude_ = latitude;
    location->longitude_ = longitude;
    location->accuracy_ = accuracy;
    location->timestamp_ = Clock::now();
    return location->isPreciseLocation() ? location : nullptr;
}

AKLocationPtr AKLocation::initWithLocationDescription(const std::optional<std::string>& description) {
    if (!description || description->empty()) return nullptr;
    auto location = std::make_shared<AKLocation>();
    location->description_ = description;
    location->timestamp_ = Clock::now();
    return location;
}

bool AKLocation::isPreciseLocation() const {
    return std::fabs(latitude_) <= 90 && std::fabs(longitude_) <= 180 && std::fabs(latitude_) > FLT_EPSILON &&
           std::fabs(longitude_) > FLT_EPSILON;
}

void AKLocation::setTimestamp(double timestamp) {
    timestamp_ = timestamp;
    dictionary_.reset();
}

std::string AKLocation::locationDescription() const {
    if (description_) return *description_;
    if (isPreciseLocation()) return format("%f,%f", latitude_, longitude_);
    return "";
}

void AKLocation::setLocationDescription(std::optional<std::string> description) { description_ = std::move(description); }

Value AKLocation::dictionaryRepresentation() const {
    if (!isPreciseLocation()) return Value();
    if (!dictionary_) {
        dictionary_ = Value{{"time", Value(timestamp_ * 1000000.0)},
                            {"lat", Value(static_cast<std::int64_t>(latitude_ * 10000000.0))},
                            {"long", Value(static_cast<std::int64_t>(longitude_ * 10000000.0))},
                            {"radius", Value(accuracy_ * 1000.0)}};
    }
    return *dictionary_;
}

void AKLocation::setDictionaryRepresentation(Value dictionary) { dictionary_ = std::move(dictionary); }

bool AKLocation::isEqual(const AKLocation& other) const {
    if (this == &other) return true;
    const bool precise = isPreciseLocation();
    if (precise != other.isPreciseLocation()) return false;
    if (precise) {
        return std::fabs(latitude_ - other.latitude_) < FLT_EPSILON && std::fabs(longitude_ - other.longitude_) < FLT_EPSILON &&
               std::fabs(accuracy_ - other.accuracy_) < FLT_EPSILON;
    }
    return locationDescription() == other.locationDescription();
}

std::size_t AKLocation::hash() const {
    // Equal locations must hash alike. The timestamp stays out; precise
    // locations are equal within a tolerance, which any rounding of the
    // position could split at a boundary, so they share one hash.
    if (isPreciseLocation()) return std::hash<std::string>{}("precise");
    return std::hash<std::string>{}(locationDescription());
}

AKLocationPtr AKLocation::copy() const {
    AKLocationPtr twin = isPreciseLocation() ? initWithLatitude(latitude_, longitude_, accuracy_)
                                             : initWithLocationDescription(locationDescription());
    if (twin) twin->timestamp_ = timestamp_;
    return twin;
}
