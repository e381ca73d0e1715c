#pragma once
// A location a publisher puts into an ad request: coordinates with an accuracy,
// or a free-text description. Only a precise location (|lat| <= 90, |long| <=
// 180, neither within FLT_EPSILON of 0, and a finite accuracy, so that its
// numbers can be written as JSON) has the dictionary form sent as "uule":
// "time" (microseconds), "lat"/"long" (degrees x 10^7, truncated), "radius"
// (millimetres). Equality ignores the timestamp, and so does the hash.
// May be shared across threads: the coordinates never change after creation,
// and the description, timestamp and dictionary form are read and written
// under the object's lock.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/AnnotatedMutex.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class AKLocation;
using AKLocationPtr = std::shared_ptr<AKLocation>;

class AKLocation : public NSObject {
public:
    static AKLocationPtr initWithLatitude(double latitude, double longitude, double accuracy);
    static AKLocationPtr initWithLocationDescription(const std::optional<std::string>& description);

    bool isPreciseLocation() const;
    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    double accuracy() const { return accuracy_; }
    double timestamp() const;
    void setTimestamp(double timestamp);
    // The description given, else "%f,%f" of a precise location, else "".
    std::string locationDescription() const;
    void setLocationDescription(std::optional<std::string> description);
    // Null for a location that is not precise.
    Value dictionaryRepresentation() const;
    void setDictionaryRepresentation(Value dictionary);

    bool isEqual(const AKLocation& other) const;
    std::size_t hash() const;
    AKLocationPtr copy() const;

    AKLocation() = default;

private:
    double latitude_ = 0, longitude_ = 0, accuracy_ = 0;  // set before the object is shared
    mutable AnnotatedMutex mutex_;
    double timestamp_ QV_GUARDED_BY(mutex_) = 0;
    std::optional<std::string> description_ QV_GUARDED_BY(mutex_);
    mutable std::optional<Value> dictionary_ QV_GUARDED_BY(mutex_);
};
