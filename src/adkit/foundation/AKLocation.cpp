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
    location->setTimestamp(Clock::now());
    return location->isPreciseLocation() ? location : nullptr;
}

AKLocationPtr AKLocation::initWithLocationDescription(const std::optional<std::string>& description) {
    if (!description || description->empty()) return nullptr;
    auto location = std::make_shared<AKLocation>();
    location->setLocationDescription(description);
    location->setTimestamp(Clock::now());
    return location;
}

bool AKLocation::isPreciseLocation() const {
    // A NaN or infinite accuracy has no JSON form, and would take the whole
    // request's parameters with it.
    return std::fabs(latitude_) <= 90 && std::fabs(longitude_) <= 180 && std::fabs(latitude_) > FLT_EPSILON &&
           std::fabs(longitude_) > FLT_EPSILON && std::isfinite(accuracy_);
}

double AKLocation::timestamp() const {
    AnnotatedLock lock(mutex_);
    return timestamp_;
}

void AKLocation::setTimestamp(double timestamp) {
    AnnotatedLock lock(mutex_);
    timestamp_ = timestamp;
    dictionary_.reset();
}

std::string AKLocation::locationDescription() const {
    {
        AnnotatedLock lock(mutex_);
        if (description_) return *description_;
    }
    if (isPreciseLocation()) return format("%f,%f", latitude_, longitude_);
    return "";
}

void AKLocation::setLocationDescription(std::optional<std::string> description) {
    AnnotatedLock lock(mutex_);
    description_ = std::move(description);
}

Value AKLocation::dictionaryRepresentation() const {
    if (!isPreciseLocation()) return Value();
    AnnotatedLock lock(mutex_);
    if (!dictionary_) {
        dictionary_ = Value{{"time", Value(timestamp_ * 1000000.0)},
                            {"lat", Value(static_cast<std::int64_t>(latitude_ * 10000000.0))},
                            {"long", Value(static_cast<std::int64_t>(longitude_ * 10000000.0))},
                            {"radius", Value(accuracy_ * 1000.0)}};
    }
    return dictionary_->copy();  // the kept form is shared by no caller
}

void AKLocation::setDictionaryRepresentation(Value dictionary) {
    AnnotatedLock lock(mutex_);
    dictionary_ = dictionary.copy();
}

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
    if (twin) twin->setTimestamp(timestamp());
    return twin;
}
