#pragma once
// The advertising identifier and the user's tracking choice. A recording
// stand-in: the identifier is a random UUID made once per application home and
// kept in <home>/Library/Preferences/advertising-identifier (so clearing the
// home resets it); tracking is enabled unless set otherwise. Any thread.
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSUUID.h"

class ASIdentifierManager : public NSObject {
public:
    static std::shared_ptr<ASIdentifierManager> sharedManager();

    // Null only when the home cannot keep it and none was pinned.
    NSUUIDPtr advertisingIdentifier() const;
    bool isAdvertisingTrackingEnabled() const;

    void setAdvertisingTrackingEnabled(bool enabled);
    // Pins the identifier (a user reset); nullptr goes back to the home's.
    void setAdvertisingIdentifier(NSUUIDPtr identifier);
    void resetToDefaults();

private:
    mutable std::mutex mutex_;
    bool trackingEnabled_ = true;
    NSUUIDPtr pinned_;
};
