#include "platform/coretelephony/CTTelephonyNetworkInfo.h"

#include <mutex>

#include "platform/foundation/NSNotificationCenter.h"

namespace {
std::mutex mutex;
std::optional<std::string> current;
}  // namespace

std::optional<std::string> CTTelephonyNetworkInfo::currentRadioAccessTechnology() const {
    std::lock_guard<std::mutex> lock(mutex);
    return current;
}

void CTTelephonyNetworkInfo::setCurrentRadioAccessTechnology(const std::optional<std::string>& technology) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (current == technology) return;
        current = technology;
    }
    NSNotificationCenter::defaultCenter()->postNotificationName(CTRadioAccessTechnologyDidChangeNotification);
}
