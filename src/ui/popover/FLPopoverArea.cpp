#include "ui/popover/FLPopoverArea.h"

#include <cmath>
#include <cstdio>

float FLPopoverArea::value() const {
    if (!(areaSize_.width > 0) || !(areaSize_.height > 0)) return 0;
    float w = std::ceil(static_cast<float>(areaSize_.width) / 10.0f);
    float h = std::ceil(static_cast<float>(areaSize_.height) / 10.0f);
    return w * h;
}

const char* FLArrowDirectionName(FLArrowDirection direction) {
    switch (direction) {
    case FLArrowDirectionUp: return "UP";
    case FLArrowDirectionDown: return "DOWN";
    case FLArrowDirectionLeft: return "LEFT";
    case FLArrowDirectionRight: return "RIGHT";
    case FLArrowDirectionNone: return "NONE";
    default: return "";
    }
}

std::string FLPopoverArea::description() const {
    char text[128];
    std::snprintf(text, sizeof text, "%s [ %f x %f ]", FLArrowDirectionName(arrowDirection_),
                  static_cast<double>(areaSize_.width), static_cast<double>(areaSize_.height));
    return text;
}
