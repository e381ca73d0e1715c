#include "adkit/rendering/AKMRAIDCalendarProperties.h"

#include <mutex>

#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
struct SharedFormatter {
    SharedFormatter() {
        formatter.setLocaleIdentifier("en_US_POSIX");
        formatter.setDateFormat("yyyy-MM-dd'T'HH:mm:ssZZZZZ");
    }
    std::mutex mutex;  // a formatter serves one thread at a time
    NSDateFormatter formatter;
};
}  // namespace

std::optional<Date> AKMRAIDCalendarProperties::dateFromString(const std::string& text) {
    static ProcessLifetime<SharedFormatter> shared;
    std::lock_guard lock(shared->mutex);
    return shared->formatter.dateFromString(text);
}

std::shared_ptr<AKMRAIDCalendarProperties> AKMRAIDCalendarProperties::initWithDictionary(const Value& dictionary) {
    if (!dictionary.isDictionary()) return nullptr;
    for (const char* key : {"start", "end", "summary", "description", "location"}) {
        if (dictionary[key].isNull()) return nullptr;
    }
    auto properties = std::make_shared<AKMRAIDCalendarProperties>();
    properties->startTime_ = dateFromString(dictionary["start"].stringValue());
    properties->endTime_ = dateFromString(dictionary["end"].stringValue());
    properties->summary_ = dictionary["summary"].stringValue();
    properties->eventDescription_ = dictionary["description"].stringValue();
    properties->location_ = dictionary["location"].stringValue();
    return properties;
}
