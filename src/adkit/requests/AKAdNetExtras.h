#pragma once
// Network extras a publisher registers on an ad request: `AKAdNetExtras`
// carries additional parameters (sent as the request's "extras"; the keys
// "_orientation", "_ad", "_adHeaders" and "_requestUrl" steer the slot and
// "_useOnce" limits them to one load), `PMAExtras` adds a publisher-provided
// identifier (sent as "ppid"). Values are copied in and out; any thread.
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// The protocol every registered extras object implements.
class AKAdNetworkExtras : public NSObject {};

class AKAdNetExtras : public AKAdNetworkExtras {
public:
    Value additionalParameters() const;
    void setAdditionalParameters(const Value& parameters);  // a deep copy; null clears

private:
    mutable std::mutex mutex_;
    Value additionalParameters_;
};

class PMAExtras : public AKAdNetExtras {
public:
    std::optional<std::string> publisherProvidedID() const;
    void setPublisherProvidedID(std::optional<std::string> identifier);

private:
    mutable std::mutex mutex_;
    std::optional<std::string> publisherProvidedID_;
};
