#pragma once
// What accompanies every activity report: the device parameters of the ad
// request (AKDevice `parameters`) as "ak_device" and the library's version as
// "sdk_version" {"major", "minor", "patch"}, each when present. Compact JSON;
// building it reads the device facts (any thread).
#include <optional>
#include <string>

#include "adkit/requests/AKJSONSerializable.h"
#include "platform/foundation/Value.h"

class PMACoreMetadata : public AKJSONSerializable {
public:
    // {"major": 6, "minor": 12, "patch": 2}.
    static Value SDKVersion();
    std::optional<std::string> JSONStringValue(std::string* failure = nullptr) const override;
};
