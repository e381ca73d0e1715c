#include "platform/uikit/NSStringDrawing.h"

#include <cmath>

#include "platform/uikit/UIGraphics.h"

namespace {

CGFloat limit(CGFloat v) { return std::isfinite(v) && v > 0 ? v : 0; }

}  // namespace

TextStyle textStyleForAttributes(const NSAttributes& attributes, CGFloat width, CGFloat height) {
    TextStyle style;
    style.font = attributes.font ? attributes.font->textFont() : TextFont{false, 12};
    const NSParagraphStyle& p = attributes.paragraphStyle ? *attributes.paragraphStyle
                                                          : NSParagraphStyle::defaultParagraphStyle();
    style.width = limit(width);
    style.height = limit(height);
    style.lineSpacing = p.lineSpacing;
    switch (p.alignment) {
    case NSTextAlignmentCenter: style.alignment = TextAlignment::Center; break;
    case NSTextAlignmentRight: style.alignment = TextAlignment::Right; break;
    case NSTextAlignmentJustified: style.alignment = TextAlignment::Justified; break;
    case NSTextAlignmentLeft:
    case NSTextAlignmentNatural: style.alignment = TextAlignment::Left; break;
    }
    switch (p.lineBreakMode) {
    case NSLineBreakByCharWrapping: style.wrap = TextWrap::Character; break;
    case NSLineBreakByClipping: style.wrap = TextWrap::None; break;
    case NSLineBreakByTruncatingHead: style.truncation = TextTruncation::Head; break;
    case NSLineBreakByTruncatingMiddle: style.truncation = TextTruncation::Middle; break;
    case NSLineBreakByTruncatingTail: style.truncation = TextTruncation::Tail; break;
    case NSLineBreakByWordWrapping: break;
    }
    return style;
}

CGSize sizeWithAttributes(std::string_view text, const NSAttributes& attributes) {
    TextStyle style = textStyleForAttributes(attributes, 0, 0);
    style.truncation = TextTruncation::None;
    return TextLayoutMeasure(text, style).size;
}

CGRect boundingRectWithSize(std::string_view text, CGSize size, NSStringDrawingOptions options,
                            const NSAttributes& attributes, NSStringDrawingContext* context) {
    CGRect rect;
    if (options & NSStringDrawingUsesLineFragmentOrigin) {
        TextMetrics m = TextLayoutMeasure(text, textStyleForAttributes(attributes, size.width, size.height));
        rect = CGRectMake(0, 0, m.size.width, m.size.height);
    } else {
        TextStyle style = textStyleForAttributes(attributes, 0, 0);
        style.wrap = TextWrap::None;
        style.truncation = TextTruncation::None;
        style.maximumLines = 1;
        TextMetrics m = TextLayoutMeasure(text, style);
        rect = CGRectMake(0, -m.baseline, m.size.width, m.size.height);
    }
    if (context) {
        context->actualScaleFactor = 1;
        context->totalBounds = rect;
    }
    return rect;
}

namespace {
void draw(std::string_view text, CGPoint origin, const TextStyle& style, const NSAttributes& attributes,
          const CGRect* clip) {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) return;
    double rgba[4] = {0, 0, 0, 1};
    if (attributes.foregroundColor)
        attributes.foregroundColor->CGColor()->getRGBA(rgba[0], rgba[1], rgba[2], rgba[3]);
    TextLayoutDraw(c, text, style, origin, rgba, clip);
}
}  // namespace

void drawInRect(std::string_view text, CGRect rect, const NSAttributes& attributes) {
    drawWithRect(text, rect, NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingTruncatesLastVisibleLine,
                 attributes);
}

void drawWithRect(std::string_view text, CGRect rect, NSStringDrawingOptions options, const NSAttributes& attributes,
                  NSStringDrawingContext* context) {
    if (!CGRectIsFinite(rect)) return;
    rect = CGRectStandardize(rect);
    TextStyle style = textStyleForAttributes(attributes, rect.size.width, rect.size.height);
    CGPoint origin = rect.origin;
    bool fragments = options & NSStringDrawingUsesLineFragmentOrigin;
    if (!fragments) {
        // The rectangle's origin is the first baseline: one line.
        style.wrap = TextWrap::None;
        style.truncation = TextTruncation::None;
        style.maximumLines = 1;
        origin.y -= TextLayoutMeasure(text, style).baseline;
    }
    if (context) {
        CGSize used = TextLayoutMeasure(text, style).size;
        context->actualScaleFactor = 1;
        context->totalBounds = CGRectMake(0, 0, used.width, used.height);
    }
    draw(text, origin, style, attributes, fragments ? &rect : nullptr);
}

void drawAtPoint(std::string_view text, CGPoint point, const NSAttributes& attributes) {
    TextStyle style = textStyleForAttributes(attributes, 0, 0);
    style.truncation = TextTruncation::None;
    draw(text, point, style, attributes, nullptr);
}
