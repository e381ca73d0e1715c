// The view a toolbar shows a bar button item with, and the system glyphs it
// draws: Done as text, Refresh as a circular arrow, Action as a box with an
// arrow out of its top. Images are drawn as templates in the tint colour.
#include <cmath>
#include <numbers>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIToolbar.h"

namespace {
constexpr CGFloat kGlyphSide = 22;
constexpr CGFloat kTitleSize = 17;
constexpr double kDisabledAlpha = 0.3;

NSAttributes titleAttributes(const UIBarButtonItem& item, const CGColorRef& colour) {
    const bool bold = item.style() == UIBarButtonItemStyleDone;
    return NSAttributes(bold ? UIFont::boldSystemFontOfSize(kTitleSize) : UIFont::systemFontOfSize(kTitleSize),
                        UIColor::colorWithCGColor(colour));
}

std::string titleOf(const UIBarButtonItem& item) {
    if (item.systemItem() == UIBarButtonSystemItemDone) return "Done";
    return item.title();
}
}  // namespace

UIToolbarButton::UIToolbarButton(const UIBarButtonItemPtr& item) : item_(item) {
    setOpaque(false);
    setBackgroundColor(nullptr);
    setEnabled(item->isEnabled());
    setAccessibilityLabel(item->accessibilityLabel());
    setIsAccessibilityElement(item->isAccessibilityElement());
    addTarget(
        nullptr,
        [weak = std::weak_ptr<UIBarButtonItem>(item)](UIControl&, UIEvent*) {
            if (auto held = weak.lock()) held->sendAction();
        },
        UIControlEventTouchUpInside);
}

CGFloat UIToolbarButton::contentWidth() const {
    const auto item = this->item();
    if (!item) return 0;
    if (item->image()) return item->image()->size().width;
    const std::string title = titleOf(*item);
    if (!title.empty()) return std::ceil(sizeWithAttributes(title, titleAttributes(*item, tintColor())).width);
    return kGlyphSide;
}

void UIToolbarButton::drawRect(CGRect) {
    const auto item = this->item();
    auto c = UIGraphicsGetCurrentContext();
    if (!item || !c) return;
    double r = 0, g = 0, b = 0, a = 1;
    tintColor()->getRGBA(r, g, b, a);
    const CGColorRef colour = CGColorCreateSRGB(r, g, b, isEnabled() ? a : a * kDisabledAlpha);
    const CGRect bounds = this->bounds();
    if (const auto& image = item->image()) {
        const CGSize size = image->size();
        const CGRect box = CGRectMake(std::round(CGRectGetMidX(bounds) - size.width / 2),
                                      std::round(CGRectGetMidY(bounds) - size.height / 2), size.width, size.height);
        CGContextBeginTransparencyLayerWithRect(c, box);
        image->drawInRect(box);
        CGContextSetBlendMode(c, kCGBlendModeSourceIn);
        CGContextSetFillColorWithColor(c, colour);
        CGContextFillRect(c, box);
        CGContextEndTransparencyLayer(c);
        return;
    }
    const std::string title = titleOf(*item);
    if (!title.empty()) {
        const NSAttributes attributes = titleAttributes(*item, colour);
        const CGSize size = sizeWithAttributes(title, attributes);
        drawAtPoint(title, CGPointMake(CGRectGetMidX(bounds) - size.width / 2, CGRectGetMidY(bounds) - size.height / 2),
                    attributes);
        return;
    }
    if (item->systemItem()) {
        drawGlyph(*item->systemItem(),
                  CGRectMake(CGRectGetMidX(bounds) - kGlyphSide / 2, CGRectGetMidY(bounds) - kGlyphSide / 2, kGlyphSide,
                             kGlyphSide),
                  colour);
    }
}

void UIToolbarButton::drawGlyph(UIBarButtonSystemItem glyph, CGRect box, const CGColorRef& colour) const {
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    CGContextSetStrokeColorWithColor(c, colour);
    CGContextSetFillColorWithColor(c, colour);
    CGContextSetLineWidth(c, 2);
    const CGFloat x = box.origin.x, y = box.origin.y, side = box.size.width;
    if (glyph == UIBarButtonSystemItemRefresh) {
        // Most of a circle, clockwise from the top, ending in an arrowhead.
        const CGFloat cx = x + side / 2, cy = y + side / 2 + 1, radius = side / 2 - 3;
        const double start = -std::numbers::pi / 2 + 0.5, end = -std::numbers::pi / 2 - 0.3 + 2 * std::numbers::pi;
        CGContextBeginPath(c);
        CGContextAddArc(c, cx, cy, radius, start, end, 0);
        CGContextStrokePath(c);
        const CGFloat tipX = cx + radius * std::cos(end), tipY = cy + radius * std::sin(end);
        CGContextBeginPath(c);
        CGContextMoveToPoint(c, tipX + 5, tipY);
        CGContextAddLineToPoint(c, tipX - 2, tipY - 5);
        CGContextAddLineToPoint(c, tipX - 2, tipY + 5);
        CGContextClosePath(c);
        CGContextFillPath(c);
    } else if (glyph == UIBarButtonSystemItemAction) {
        // A box open at the top, an arrow rising out of it.
        const CGFloat mid = x + side / 2;
        CGContextBeginPath(c);
        CGContextMoveToPoint(c, mid - 4, y + 9);
        CGContextAddLineToPoint(c, x + 3, y + 9);
        CGContextAddLineToPoint(c, x + 3, y + side - 1);
        CGContextAddLineToPoint(c, x + side - 3, y + side - 1);
        CGContextAddLineToPoint(c, x + side - 3, y + 9);
        CGContextAddLineToPoint(c, mid + 4, y + 9);
        CGContextMoveToPoint(c, mid, y + 15);
        CGContextAddLineToPoint(c, mid, y + 2);
        CGContextMoveToPoint(c, mid - 4, y + 6);
        CGContextAddLineToPoint(c, mid, y + 2);
        CGContextAddLineToPoint(c, mid + 4, y + 6);
        CGContextStrokePath(c);
    }
    CGContextRestoreGState(c);
}
