#pragma once
// The calendar database: a recording stand-in.
//
// Access: requestAccessToEntityType answers with the process-wide answer
// tests set (granted by default), on a global queue rather than the caller's
// thread, as the platform may; the completion is called exactly once. The
// requests are counted.
//
// Saving: saveEvent keeps the event in this store (tests read events()); an
// event without both dates, or one made for another store, is refused with an
// error in EKErrorDomain. The store is used on the main thread; only the
// access answer comes from another thread.
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class EKEvent;

inline constexpr const char* EKErrorDomain = "EKErrorDomain";
inline constexpr long EKErrorNoStartDate = 4;
inline constexpr long EKErrorNoEndDate = 3;
inline constexpr long EKErrorEventStoreNotAuthorized = 29;

enum EKEntityType : unsigned long { EKEntityTypeEvent = 0, EKEntityTypeReminder = 1 };
enum EKSpan : long { EKSpanThisEvent = 0, EKSpanFutureEvents = 1 };

class EKEventStore : public NSObject {
public:
    using RequestAccessCompletion = std::function<void(bool granted, const NSErrorPtr& error)>;

    // The answer later access requests get, and how many were asked (any thread).
    static void setAccessGranted(bool granted);
    static std::size_t accessRequestCount();
    // Access granted again, the count at zero.
    static void resetForTesting();

    void requestAccessToEntityType(EKEntityType type, RequestAccessCompletion completion);
    [[nodiscard]] bool saveEvent(const std::shared_ptr<EKEvent>& event, EKSpan span, NSErrorPtr* error);
    // The events saved in this store, oldest first.
    const std::vector<std::shared_ptr<EKEvent>>& events() const { return events_; }

private:
    std::vector<std::shared_ptr<EKEvent>> events_;
};
