#include "platform/uikit/UIPopoverPlacement.h"

#include <algorithm>
#include <cmath>

namespace {

using P = UIPopoverPlacement;

bool vertical(UIPopoverArrowDirection d) { return d == UIPopoverArrowDirectionUp || d == UIPopoverArrowDirectionDown; }

// The room beside the anchor along the direction's axis, arrow excluded.
CGFloat roomFor(UIPopoverArrowDirection d, CGRect anchor, CGRect area) {
    switch (d) {
    case UIPopoverArrowDirectionUp: return CGRectGetMaxY(area) - CGRectGetMaxY(anchor) - P::kArrowHeight;
    case UIPopoverArrowDirectionDown: return CGRectGetMinY(anchor) - CGRectGetMinY(area) - P::kArrowHeight;
    case UIPopoverArrowDirectionLeft: return CGRectGetMaxX(area) - CGRectGetMaxX(anchor) - P::kArrowHeight;
    default: return CGRectGetMinX(anchor) - CGRectGetMinX(area) - P::kArrowHeight;
    }
}

// Centred on `middle` with length `length`, then pushed inside [low, high].
CGFloat clampedStart(CGFloat middle, CGFloat length, CGFloat low, CGFloat high) {
    const CGFloat start = std::round(middle - length / 2);
    return std::max(low, std::min(start, high - length));
}

}  // namespace

UIPopoverPlacement UIPopoverPlacement::place(CGRect anchor, CGSize contentSize, UIPopoverArrowDirection permitted,
                                             CGRect area) {
    anchor = CGRectStandardize(anchor);
    area = CGRectStandardize(area);
    if ((permitted & UIPopoverArrowDirectionAny) == 0 || permitted == UIPopoverArrowDirectionUnknown)
        permitted = UIPopoverArrowDirectionAny;
    const CGSize body{std::round(std::max<CGFloat>(contentSize.width, 0)) + 2 * kBorder,
                      std::round(std::max<CGFloat>(contentSize.height, 0)) + 2 * kBorder};

    const UIPopoverArrowDirection order[] = {UIPopoverArrowDirectionUp, UIPopoverArrowDirectionDown,
                                             UIPopoverArrowDirectionLeft, UIPopoverArrowDirectionRight};
    UIPopoverArrowDirection chosen = UIPopoverArrowDirectionUnknown;
    CGFloat bestRoom = -1e9;
    UIPopoverArrowDirection roomiest = UIPopoverArrowDirectionUnknown;
    for (auto d : order) {
        if (!(permitted & d)) continue;
        const CGFloat room = roomFor(d, anchor, area);
        const bool fits = vertical(d) ? room >= body.height && area.size.width >= body.width
                                      : room >= body.width && area.size.height >= body.height;
        if (fits) {
            chosen = d;
            break;
        }
        if (room > bestRoom) {
            bestRoom = room;
            roomiest = d;
        }
    }
    const bool shrink = chosen == UIPopoverArrowDirectionUnknown;
    if (shrink) chosen = roomiest;

    CGSize fitted = body;
    const CGFloat room = std::max<CGFloat>(roomFor(chosen, anchor, area), 2 * kBorder);
    if (vertical(chosen)) {
        fitted.width = std::min(body.width, area.size.width);
        if (shrink) fitted.height = std::min(body.height, std::floor(room));
    } else {
        fitted.height = std::min(body.height, area.size.height);
        if (shrink) fitted.width = std::min(body.width, std::floor(room));
    }

    UIPopoverPlacement p;
    p.direction = chosen;
    const CGFloat inset = kCornerRadius + kArrowBase / 2;
    if (vertical(chosen)) {
        const CGFloat x = clampedStart(CGRectGetMidX(anchor), fitted.width, CGRectGetMinX(area), CGRectGetMaxX(area));
        const bool below = chosen == UIPopoverArrowDirectionUp;
        const CGFloat y = below ? CGRectGetMaxY(anchor) : CGRectGetMinY(anchor) - kArrowHeight - fitted.height;
        p.frame = CGRectMake(x, std::round(y), fitted.width, fitted.height + kArrowHeight);
        p.contentFrame = CGRectMake(kBorder, (below ? kArrowHeight : 0) + kBorder, fitted.width - 2 * kBorder,
                                    fitted.height - 2 * kBorder);
        p.arrowOffset = std::clamp(std::round(CGRectGetMidX(anchor) - x), inset, std::max(inset, fitted.width - inset));
    } else {
        const CGFloat y = clampedStart(CGRectGetMidY(anchor), fitted.height, CGRectGetMinY(area), CGRectGetMaxY(area));
        const bool right = chosen == UIPopoverArrowDirectionLeft;
        const CGFloat x = right ? CGRectGetMaxX(anchor) : CGRectGetMinX(anchor) - kArrowHeight - fitted.width;
        p.frame = CGRectMake(std::round(x), y, fitted.width + kArrowHeight, fitted.height);
        p.contentFrame = CGRectMake((right ? kArrowHeight : 0) + kBorder, kBorder, fitted.width - 2 * kBorder,
                                    fitted.height - 2 * kBorder);
        p.arrowOffset = std::clamp(std::round(CGRectGetMidY(anchor) - y), inset, std::max(inset, fitted.height - inset));
    }
    return p;
}
