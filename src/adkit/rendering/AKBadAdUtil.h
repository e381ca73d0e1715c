#pragma once
// The bad-ad report as ad rendering sees it: the debug dialog hands the ad's
// debug text to the shared instance's reportBadAd. The report itself (one POST
// of {"debugHeader": text} to the report endpoint) is a subclass that installs
// itself with setSharedInstance; until one is installed the shared instance
// sends nothing. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"

class AKBadAdUtil : public NSObject {
public:
    static std::shared_ptr<AKBadAdUtil> sharedInstance();
    // Null restores the instance that sends nothing.
    static void setSharedInstance(std::shared_ptr<AKBadAdUtil> instance);

    virtual void reportBadAd(const std::optional<std::string>& /*text*/) {}
};
