#include "platform/uikit/UITabBarButton.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UITabBarItem.h"

namespace {
constexpr CGFloat kImageTop = 4;
constexpr CGFloat kTitleHeight = 13;
constexpr CGFloat kTitleBottom = 3;
constexpr CGFloat kBadgePadding = 5;
constexpr CGFloat kTitleFontSize = 10;
constexpr CGFloat kBadgeFontSize = 13;

UIColorPtr asColor(const CGColorRef& color) { return UIColor::colorWithCGColor(color); }

std::string badgeText(const UITabBarItem& item) { return item.badgeValue().value_or(std::string()); }
}  // namespace

UITabBarButton::UITabBarButton(CGRect frame) : UIControl(frame) {
    setOpaque(false);
    setBackgroundColor(nullptr);
}

CGColorRef UITabBarButton::unselectedColor() { return CGColorCreateSRGB(0.57, 0.57, 0.57, 1); }

CGColorRef UITabBarButton::badgeColor() { return CGColorCreateSRGB(1, 0.23, 0.19, 1); }

void UITabBarButton::setItem(const std::shared_ptr<UITabBarItem>& item) {
    observations_.clear();
    item_ = item;
    if (item) {
        std::weak_ptr<UITabBarButton> weak = self<UITabBarButton>();
        for (const char* key : {"title", "image", "selectedImage", "badgeValue"})
            observations_.push_back(item->observeValueForKey(key, [weak](const std::string&) {
                if (auto button = weak.lock()) button->itemChanged();
            }));
    }
    itemChanged();
}

void UITabBarButton::itemChanged() {
    auto item = item_.lock();
    setAccessibilityLabel(item ? item->title() : std::string());
    setNeedsDisplay();
}

void UITabBarButton::setSelected(bool selected) {
    UIControl::setSelected(selected);
    setNeedsDisplay();
}

CGRect UITabBarButton::imageFrame() const {
    return CGRectMake(std::round((bounds().size.width - kImageSide) / 2), kImageTop, kImageSide, kImageSide);
}

CGRect UITabBarButton::badgeFrame() const {
    auto item = item_.lock();
    if (!item || !item->badgeValue()) return CGRectZero;
    const CGSize text = sizeWithAttributes(badgeText(*item), NSAttributes(UIFont::systemFontOfSize(kBadgeFontSize)));
    const CGFloat width = std::max(kBadgeHeight, std::ceil(text.width) + 2 * kBadgePadding);
    const CGRect image = imageFrame();
    return CGRectMake(CGRectGetMaxX(image) - kBadgeHeight / 2, 1, width, kBadgeHeight);
}

void UITabBarButton::drawRect(CGRect) {
    auto c = UIGraphicsGetCurrentContext();
    auto item = item_.lock();
    if (!c || !item) return;
    const CGColorRef tint = isSelected() ? tintColor() : unselectedColor();
    const CGRect b = bounds();

    // The image as a template: its shape, filled with the colour.
    auto image = isSelected() && item->selectedImage() ? item->selectedImage() : item->image();
    if (image) {
        const CGRect area = imageFrame();
        CGSize size = image->size();
        const CGFloat fit = std::min<CGFloat>({1, area.size.width / std::max<CGFloat>(size.width, 1),
                                              area.size.height / std::max<CGFloat>(size.height, 1)});
        size = CGSizeMake(size.width * fit, size.height * fit);
        const CGRect rect = CGRectMake(area.origin.x + (area.size.width - size.width) / 2,
                                       area.origin.y + (area.size.height - size.height) / 2, size.width, size.height);
        CGContextSaveGState(c);
        CGContextBeginTransparencyLayerWithRect(c, rect);
        image->drawInRect(rect);
        CGContextSetBlendMode(c, kCGBlendModeSourceIn);
        CGContextSetFillColorWithColor(c, tint);
        CGContextFillRect(c, rect);
        CGContextEndTransparencyLayer(c);
        CGContextRestoreGState(c);
    }

    NSParagraphStyle centred;
    centred.alignment = NSTextAlignmentCenter;
    centred.lineBreakMode = NSLineBreakByTruncatingTail;
    drawInRect(item->title(),
               CGRectMake(0, b.size.height - kTitleHeight - kTitleBottom, b.size.width, kTitleHeight),
               NSAttributes(UIFont::systemFontOfSize(kTitleFontSize), asColor(tint), centred));

    const CGRect badge = badgeFrame();
    if (CGRectIsEmpty(badge)) return;
    auto path = CGPathCreateWithRoundedRect(badge, kBadgeHeight / 2, kBadgeHeight / 2, nullptr);
    CGContextAddPath(c, path);
    CGContextSetFillColorWithColor(c, badgeColor());
    CGContextFillPath(c);
    const CGSize text = sizeWithAttributes(badgeText(*item), NSAttributes(UIFont::systemFontOfSize(kBadgeFontSize)));
    drawInRect(badgeText(*item),
               CGRectMake(badge.origin.x, badge.origin.y + (kBadgeHeight - std::ceil(text.height)) / 2,
                          badge.size.width, std::ceil(text.height)),
               NSAttributes(UIFont::systemFontOfSize(kBadgeFontSize), UIColor::whiteColor(), centred));
}
