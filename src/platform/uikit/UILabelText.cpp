// The label's text engine: its font, colour, alignment, line break and number
// of lines laid out and drawn with the shipped fonts.
#include "platform/uikit/UILabelText.h"

#include <limits>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/TextLayout.h"
#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"

namespace {

TextStyle labelStyle(const UILabel& label, CGFloat width, CGFloat height) {
    NSParagraphStyle paragraph;
    paragraph.alignment = static_cast<NSTextAlignment>(label.textAlignment());
    paragraph.lineBreakMode = static_cast<NSLineBreakMode>(label.lineBreakMode());
    NSAttributes attributes(label.font() ? label.font() : UIFont::systemFontOfSize(17), nullptr, paragraph);
    TextStyle style = textStyleForAttributes(attributes, width, height);
    style.maximumLines = label.numberOfLines() > 0 ? static_cast<int>(label.numberOfLines()) : 0;
    // Any number of lines with truncation: wrapped, the last line that fits truncated.
    if (label.numberOfLines() == 0 && style.truncation != TextTruncation::None)
        style.maximumLines = std::numeric_limits<int>::max() / 2;
    // One line unless told otherwise: a single-line label never wraps.
    if (label.numberOfLines() == 1 && style.truncation == TextTruncation::None) style.wrap = TextWrap::None;
    return style;
}

// Straight RGBA of a grey or RGB colour; black when there is none.
void rgbaOf(const CGColorRef& color, double rgba[4]) {
    const auto components = CGColorGetComponents(color);
    rgba[0] = rgba[1] = rgba[2] = 0;
    rgba[3] = 1;
    if (components.size() == 2) {
        rgba[0] = rgba[1] = rgba[2] = components[0];
        rgba[3] = components[1];
    } else if (components.size() >= 4) {
        for (int i = 0; i < 4; ++i) rgba[i] = components[static_cast<std::size_t>(i)];
    }
}

}  // namespace

void UILabelDrawText(const UILabel& label, const CGContextRef& ctx, CGRect rect) {
    if (label.text().empty()) return;
    TextStyle style = labelStyle(label, rect.size.width, rect.size.height);
    TextMetrics metrics = TextLayoutMeasure(label.text(), style);
    // Centred vertically in the rectangle, as labels draw.
    CGPoint origin{rect.origin.x, rect.origin.y + (rect.size.height - metrics.size.height) / 2};
    double rgba[4];
    rgbaOf(label.textColor(), rgba);
    TextLayoutDraw(ctx, label.text(), style, origin, rgba, &rect);
}

CGSize UILabelMeasureText(const UILabel& label, CGSize limits) {
    if (label.text().empty()) return CGSizeZero;
    return TextLayoutMeasure(label.text(), labelStyle(label, limits.width, limits.height)).size;
}

