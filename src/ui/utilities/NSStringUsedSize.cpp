#include "ui/utilities/NSStringUsedSize.h"

#include <cmath>
#include <limits>

CGSize usedSizeFromBoundingRect(CGRect boundingRect) {
    const float width = std::ceil(static_cast<float>(boundingRect.size.width));
    const float height = std::ceil(static_cast<float>(boundingRect.size.height)) + 1.0f;
    return CGSizeMake(width, height);
}

CGSize usedSizeForWidth(std::string_view text, CGFloat width, const UIFontPtr& font,
                        const std::optional<NSAttributes>& withAttributes) {
    const NSAttributes attributes = withAttributes ? *withAttributes : NSAttributes(font);
    const CGSize room = CGSizeMake(width, std::numeric_limits<double>::max());
    const CGRect rect = boundingRectWithSize(
        text, room, NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingUsesFontLeading, attributes, nullptr);
    return usedSizeFromBoundingRect(rect);
}
