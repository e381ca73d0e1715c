#include "platform/eventkit/EKEventStore.h"

#include <atomic>

#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/eventkit/EKEvent.h"

namespace {
std::atomic<bool> accessGranted{true};
std::atomic<std::size_t> accessRequests{0};
}  // namespace

std::shared_ptr<EKEvent> EKEvent::eventWithEventStore(const std::shared_ptr<EKEventStore>& store) {
    auto event = std::make_shared<EKEvent>();
    event->store_ = store;
    return event;
}

void EKEventStore::setAccessGranted(bool granted) { accessGranted = granted; }
std::size_t EKEventStore::accessRequestCount() { return accessRequests; }
void EKEventStore::resetForTesting() {
    accessGranted = true;
    accessRequests = 0;
}

void EKEventStore::requestAccessToEntityType(EKEntityType /*type*/, RequestAccessCompletion completion) {
    ++accessRequests;
    const bool granted = accessGranted;
    dispatch_async(dispatch_get_global_queue(0, 0), [granted, completion = std::move(completion)] {
        if (!completion) return;
        completion(granted, granted ? nullptr
                                    : NSError::errorWithDomain(EKErrorDomain, EKErrorEventStoreNotAuthorized));
    });
}

bool EKEventStore::saveEvent(const std::shared_ptr<EKEvent>& event, EKSpan /*span*/, NSErrorPtr* error) {
    QV_ASSERT_MAIN_THREAD();
    auto fail = [&](long code) {
        if (error) *error = NSError::errorWithDomain(EKErrorDomain, code);
        return false;
    };
    if (!event || event->eventStore().get() != this) return fail(EKErrorEventStoreNotAuthorized);
    if (!event->startDate()) return fail(EKErrorNoStartDate);
    if (!event->endDate()) return fail(EKErrorNoEndDate);
    events_.push_back(event);
    return true;
}
