#pragma once
// The parameters of a rich-media "resize" command: size ("width", "height"),
// offset ("offsetX", "offsetY"), the custom close position and whether the ad
// may leave the screen. All six keys must be present, else there is no object.
// Plain value; any thread.
#include <cstdint>
#include <memory>

#include "adkit/rendering/AKNotification.h"
#include "platform/graphics/CGGeometry.h"

// Close positions: "top-right" 0 (also any text not listed), "top-center" 1,
// "top-left" 2, "center" 3, "bottom-right" 4, "bottom-center" 5, "bottom-left" 6.
enum AKMRAIDCustomClosePosition : std::int64_t {
    AKMRAIDCustomClosePositionTopRight = 0,
    AKMRAIDCustomClosePositionTopCenter = 1,
    AKMRAIDCustomClosePositionTopLeft = 2,
    AKMRAIDCustomClosePositionCenter = 3,
    AKMRAIDCustomClosePositionBottomRight = 4,
    AKMRAIDCustomClosePositionBottomCenter = 5,
    AKMRAIDCustomClosePositionBottomLeft = 6,
};

class AKMRAIDResizeProperties {
public:
    // MRAIDResizePropertiesWithDictionary: / initWithDictionary:
    static std::shared_ptr<AKMRAIDResizeProperties> MRAIDResizePropertiesWithDictionary(
        const AKNotification::Parameters& parameters);
    static AKMRAIDCustomClosePosition closePositionFromString(const std::string& text);

    CGSize size() const { return size_; }
    CGPoint offset() const { return offset_; }
    AKMRAIDCustomClosePosition customClosePosition() const { return customClosePosition_; }
    bool allowOffscreen() const { return allowOffscreen_; }

private:
    CGSize size_{};
    CGPoint offset_{};
    AKMRAIDCustomClosePosition customClosePosition_ = AKMRAIDCustomClosePositionTopRight;
    bool allowOffscreen_ = false;
};
