#pragma once
// One candidate placement of a popover: an arrow direction and the room on
// that side of the anchor. `value` ranks candidates: 0 when either side of the
// room is not above 0, else ceil(width / 10) x ceil(height / 10) in single
// precision.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "ui/popover/FLPopoverPlacementTypes.h"

class FLPopoverArea : public NSObject {
public:
    FLPopoverArea() = default;
    FLPopoverArea(FLArrowDirection direction, CGSize size) : arrowDirection_(direction), areaSize_(size) {}

    FLArrowDirection arrowDirection() const { return arrowDirection_; }
    void setArrowDirection(FLArrowDirection direction) { arrowDirection_ = direction; }
    CGSize areaSize() const { return areaSize_; }
    void setAreaSize(CGSize size) { areaSize_ = size; }
    float value() const;

    // "UP [ 300.000000 x 150.000000 ]"; the word is empty for an unknown direction.
    std::string description() const override;

private:
    FLArrowDirection arrowDirection_ = 0;
    CGSize areaSize_{};
};

// The word for one direction: "UP", "DOWN", "LEFT", "RIGHT", "NONE", else "".
const char* FLArrowDirectionName(FLArrowDirection direction);
