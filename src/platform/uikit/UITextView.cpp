#include "platform/uikit/UITextView.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIEvent.h"

UITextView::UITextView(CGRect frame) : UIView(frame) { setBackgroundColor(CGColorCreateSRGB(1, 1, 1, 1)); }

void UITextView::setText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    setNeedsDisplay();
}

void UITextView::setFont(UIFontPtr font) {
    font_ = std::move(font);
    setNeedsDisplay();
}

void UITextView::setTextColor(CGColorRef color) {
    textColor_ = std::move(color);
    setNeedsDisplay();
}

void UITextView::setTextAlignment(long alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

void UITextView::setEditable(bool editable) {
    editable_ = editable;
    if (!editable && isFirstResponder()) (void)resignFirstResponder();  // the delegate may keep it
}

void UITextView::setTextContainerInset(UIEdgeInsets inset) {
    inset_ = inset;
    setNeedsDisplay();
}

// ---------------------------------------------------------------- editing

bool UITextView::shouldBecomeFirstResponder() {
    auto d = delegate();
    return !d || d->textViewShouldBeginEditing(*this);
}

void UITextView::didBecomeFirstResponder() {
    if (auto d = delegate()) d->textViewDidBeginEditing(*this);
}

bool UITextView::shouldResignFirstResponder() {
    auto d = delegate();
    return !d || d->textViewShouldEndEditing(*this);
}

void UITextView::didResignFirstResponder() {
    if (auto d = delegate()) d->textViewDidEndEditing(*this);
}

void UITextView::insertText(const std::string& text) {
    if (!editable_) return;
    auto keep = self<UITextView>();
    for (const auto& ch : UIKeyInputCharacters(text)) {
        text_ += ch;
        setNeedsDisplay();
        if (auto d = delegate()) d->textViewDidChange(*this);
    }
}

void UITextView::deleteBackward() {
    if (!editable_ || !UIKeyInputDeleteLastCharacter(text_)) return;
    setNeedsDisplay();
    if (auto d = delegate()) d->textViewDidChange(*this);
}

void UITextView::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (touches.empty() || !editable_) return;
    if (CGRectContainsPoint(bounds(), (*touches.begin())->locationInView(this)))
        (void)becomeFirstResponder();  // the delegate may refuse
}

// ---------------------------------------------------------------- drawing

CGSize UITextView::sizeThatFits(CGSize size) const {
    CGFloat width = size.width > 0 ? size.width : bounds().size.width;
    CGFloat textWidth = std::max(0.0, width - inset_.left - inset_.right);
    CGRect used = boundingRectWithSize(text_, CGSizeMake(textWidth, 0), NSStringDrawingUsesLineFragmentOrigin,
                                       NSAttributes(effectiveFont()));
    CGFloat lineHeight = effectiveFont()->lineHeight();
    return CGSizeMake(width, std::ceil(std::max(used.size.height, lineHeight) + inset_.top + inset_.bottom));
}

void UITextView::drawRect(CGRect) {
    if (!currentDrawingContext() || text_.empty()) return;
    CGRect b = bounds();
    CGRect area = CGRectMake(b.origin.x + inset_.left, b.origin.y + inset_.top,
                             std::max(0.0, b.size.width - inset_.left - inset_.right),
                             std::max(0.0, b.size.height - inset_.top - inset_.bottom));
    NSParagraphStyle style;
    style.alignment = static_cast<NSTextAlignment>(textAlignment_);
    auto color = textColor_ ? UIColor::colorWithCGColor(textColor_) : UIColor::blackColor();
    drawInRect(text_, area, NSAttributes(effectiveFont(), color, style));
}
