#pragma once
// Measuring and drawing strings with attributes, as free functions on UTF-8
// strings (like the other string extensions, NSString.h). Text goes through
// graphics/TextLayout.h: the same sizes on every machine, unrounded (callers
// round up with std::ceil where the platform's callers do).
//
// Drawing goes into the current UIKit context (UIGraphicsGetCurrentContext(),
// y down); nothing is drawn without one. Measuring is safe from any thread.
#include <optional>
#include <string_view>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/TextLayout.h"
#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"

// The attributes of drawn text; a null font means the system font of 12
// points, a null colour black, no paragraph style the default one.
struct NSAttributes {
    NSAttributes(UIFontPtr font = nullptr, UIColorPtr foregroundColor = nullptr,
                 std::optional<NSParagraphStyle> paragraphStyle = std::nullopt)
        : font(std::move(font)), foregroundColor(std::move(foregroundColor)), paragraphStyle(paragraphStyle) {}

    UIFontPtr font;
    UIColorPtr foregroundColor;
    std::optional<NSParagraphStyle> paragraphStyle;
};

enum NSStringDrawingOptions : unsigned long {
    NSStringDrawingUsesLineFragmentOrigin = 1 << 0,
    NSStringDrawingUsesFontLeading = 1 << 1,
    NSStringDrawingUsesDeviceMetrics = 1 << 3,
    NSStringDrawingTruncatesLastVisibleLine = 1 << 5,
};
inline NSStringDrawingOptions operator|(NSStringDrawingOptions a, NSStringDrawingOptions b) {
    return static_cast<NSStringDrawingOptions>(static_cast<unsigned long>(a) | static_cast<unsigned long>(b));
}

// What a measuring or drawing call reports back.
struct NSStringDrawingContext {
    CGFloat minimumScaleFactor = 0;  // kept for callers; text is never shrunk here
    CGFloat actualScaleFactor = 1;
    CGRect totalBounds = CGRectZero;
};

// The size of the text on lines of their own (only line breaks in the text
// start new lines); zero for an empty string.
CGSize sizeWithAttributes(std::string_view text, const NSAttributes& attributes);
// With NSStringDrawingUsesLineFragmentOrigin: the lines wrapped (or truncated)
// to size.width, as many as fit in size.height (at least one), from the origin
// (0, 0). Without it: the text as one line, its origin the first baseline
// (origin.y is minus the distance from the top to the baseline).
CGRect boundingRectWithSize(std::string_view text, CGSize size, NSStringDrawingOptions options,
                            const NSAttributes& attributes, NSStringDrawingContext* context = nullptr);
// Wrapped and truncated in the rectangle by the paragraph style, lines that do
// not fit left out, clipped to the rectangle.
void drawInRect(std::string_view text, CGRect rect, const NSAttributes& attributes);
// On lines of their own from the point (the top left corner), unclipped.
void drawAtPoint(std::string_view text, CGPoint point, const NSAttributes& attributes);
void drawWithRect(std::string_view text, CGRect rect, NSStringDrawingOptions options, const NSAttributes& attributes,
                  NSStringDrawingContext* context = nullptr);

// The layout style the attributes give for text in a box (width and height of 0 or less: unlimited).
TextStyle textStyleForAttributes(const NSAttributes& attributes, CGFloat width, CGFloat height);
