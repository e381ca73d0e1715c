#include "adkit/rendering/AKMRAIDResizeProperties.h"

#include <map>

#include "platform/foundation/ProcessLifetime.h"
#include "platform/foundation/Value.h"

std::shared_ptr<AKMRAIDResizeProperties> AKMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(
    const AKNotification::Parameters& parameters) {
    for (const char* key : {"width", "height", "offsetX", "offsetY", "customClosePosition", "allowOffscreen"}) {
        if (!parameters.contains(key)) return nullptr;
    }
    auto number = [&](const char* key) { return Value(parameters.at(key)).doubleValue(); };
    auto properties = std::make_shared<AKMRAIDResizeProperties>();
    properties->size_ = CGSizeMake(number("width"), number("height"));
    properties->offset_ = CGPointMake(number("offsetX"), number("offsetY"));
    properties->customClosePosition_ = closePositionFromString(parameters.at("customClosePosition"));
    properties->allowOffscreen_ = Value(parameters.at("allowOffscreen")).boolValue();
    return properties;
}

AKMRAIDCustomClosePosition AKMRAIDResizeProperties::closePositionFromString(const std::string& text) {
    using Table = std::map<std::string, AKMRAIDCustomClosePosition>;
    static ProcessLifetime<Table> positions(Table{
        {"top-right", AKMRAIDCustomClosePositionTopRight},
        {"top-center", AKMRAIDCustomClosePositionTopCenter},
        {"top-left", AKMRAIDCustomClosePositionTopLeft},
        {"center", AKMRAIDCustomClosePositionCenter},
        {"bottom-right", AKMRAIDCustomClosePositionBottomRight},
        {"bottom-center", AKMRAIDCustomClosePositionBottomCenter},
        {"bottom-left", AKMRAIDCustomClosePositionBottomLeft},
    });
    const auto it = positions->find(text);
    return it == positions->end() ? AKMRAIDCustomClosePositionTopRight : it->second;
}
