#include "platform/uikit/UILabel.h"

#include <cmath>

#include "platform/uikit/UILabelText.h"

namespace {
UILabel::DrawText drawHook = UILabelDrawText;
UILabel::MeasureText measureHook = UILabelMeasureText;

CGColorRef black() {
    static auto* c = new CGColorRef(CGColorCreateSRGB(0, 0, 0, 1));
    return *c;
}
}  // namespace

UILabel::UILabel(CGRect frame) : UIView(frame), textColor_(black()) {
    setOpaque(false);
    setUserInteractionEnabled(false);
    setContentMode(UIViewContentModeRedraw);
}

void UILabel::setTextEngine(DrawText draw, MeasureText measure) {
    // Null hooks put the shipped text engine back.
    drawHook = draw ? draw : UILabelDrawText;
    measureHook = measure ? measure : UILabelMeasureText;
}

bool UILabel::hasTextEngine() { return drawHook != nullptr; }

void UILabel::changed() {
    setNeedsDisplay();
    if (auto s = superview()) s->setNeedsLayout();
}

void UILabel::setText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    changed();
}

void UILabel::setFont(std::shared_ptr<UIFont> font) {
    font_ = std::move(font);
    changed();
}

void UILabel::setTextColor(CGColorRef color) {
    textColor_ = color ? std::move(color) : black();
    setNeedsDisplay();
}

void UILabel::setHighlightedTextColor(CGColorRef color) {
    highlightedTextColor_ = std::move(color);
    if (highlighted_) setNeedsDisplay();
}

void UILabel::setTextAlignment(long alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

void UILabel::setLineBreakMode(long mode) {
    lineBreakMode_ = mode;
    changed();
}

void UILabel::setNumberOfLines(long lines) {
    numberOfLines_ = lines < 0 ? 0 : lines;
    changed();
}

void UILabel::setAdjustsFontSizeToFitWidth(bool value) {
    adjustsFontSize_ = value;
    setNeedsDisplay();
}

void UILabel::setMinimumScaleFactor(CGFloat factor) {
    minimumScaleFactor_ = std::isfinite(factor) ? std::clamp(factor, 0.0, 1.0) : 0.0;
    setNeedsDisplay();
}

void UILabel::setBaselineAdjustment(long value) {
    baselineAdjustment_ = value;
    setNeedsDisplay();
}

void UILabel::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    setNeedsDisplay();
}

void UILabel::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    setNeedsDisplay();
}

CGRect UILabel::textRectForBounds(CGRect bounds, long lines) const {
    if (!measureHook || text_.empty()) return CGRectMake(bounds.origin.x, bounds.origin.y, 0, 0);
    CGSize limits{bounds.size.width, lines == 1 ? 0 : bounds.size.height};
    CGSize s = measureHook(*this, limits);
    s.width = std::min(s.width, bounds.size.width);
    s.height = std::min(s.height, bounds.size.height);
    return CGRectMake(bounds.origin.x, bounds.origin.y, s.width, s.height);
}

void UILabel::drawTextInRect(CGRect rect) {
    auto ctx = currentDrawingContext();
    if (drawHook && ctx && !text_.empty()) drawHook(*this, ctx, rect);
}

void UILabel::drawRect(CGRect) {
    // The text sits centred vertically in the bounds, as the platform's label.
    CGRect b = bounds();
    CGRect text = textRectForBounds(b, numberOfLines_);
    CGRect r = measureHook ? CGRectMake(b.origin.x, b.origin.y + std::floor((b.size.height - text.size.height) / 2),
                                        b.size.width, text.size.height)
                           : b;
    drawTextInRect(r);
}

CGSize UILabel::sizeThatFits(CGSize size) const {
    if (!measureHook || text_.empty()) return CGSizeZero;
    CGFloat width = numberOfLines_ == 1 ? 0 : size.width;
    return measureHook(*this, {width, 0});
}

CGSize UILabel::intrinsicContentSize() const {
    CGFloat width = numberOfLines_ != 1 ? preferredMaxLayoutWidth_ : 0;
    CGSize size = sizeThatFits(CGSizeMake(width, 0));
    return CGSizeMake(std::ceil(size.width), std::ceil(size.height));
}
