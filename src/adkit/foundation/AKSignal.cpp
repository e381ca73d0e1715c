#include "adkit/foundation/AKSignal.h"

#include <cassert>

#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKSignalInputs.h"
#include "platform/base/ThreadAssertions.h"

namespace AKSignal {

Value recordWithContext(const Value& context, const std::optional<std::string>& walkStopAt) {
    QV_ASSERT_MAIN_THREAD();
    Value record{{"v", Value(1)}};
    // Only JSON-ready context entries travel.
    record.setObject("ctx", context.isDictionary() && ak_JSONStringPretty(context, false) ? context.copy() : Value::dictionary());
    const AKDeviceIdentifierInfo identifier = AKGestureDeviceIdentifierInfo();
    if (identifier.text) record.setObject("id", Value(*identifier.text));
    record.setObject("idt", Value(identifier.type));
    record.setObject("oo", Value(identifier.optedOut));
    const auto [level, state] = AKBatteryLevelAndState();
    record.setObject("bat", Value::array({Value(level), Value(state)}));
    const auto [width, height] = AKScreenModeSize();
    record.setObject("scr", Value::array({Value(width), Value(height)}));
    record.setObject("tz", Value(AKTimeZoneOffsetMinutes()));
    std::uint32_t flags = 0;
    bool readable = false;
    {
        constexpr std::uint32_t kUnset = 0xffffffffu;
        flags = kUnset;
        readable = AKGestureReachabilityFlags(&flags) && flags != kUnset;
    }
    if (readable) record.setObject("net", Value(flags));
    if (walkStopAt) record.setObject("views", AKGestureWalkViews(*walkStopAt));
    return record;
}

std::string signalWithContext(const Value& context, const std::optional<std::string>& walkStopAt) {
    const std::string json = ak_JSONStringPretty(recordWithContext(context, walkStopAt), false).value_or("{}");
    return AKWebsafeBase64StringFromBytes(json.data(), static_cast<std::int32_t>(json.size())).value_or("");
}

}  // namespace AKSignal
