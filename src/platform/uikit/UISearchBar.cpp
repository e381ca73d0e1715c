#include "platform/uikit/UISearchBar.h"

#include <cmath>

#include "platform/uikit/NSStringDrawing.h"

namespace {
constexpr CGFloat kMargin = 8;
constexpr CGFloat kFieldHeight = 28;
constexpr CGFloat kCancelWidth = 60;
constexpr CGFloat kTextInset = 8;    // the text's distance from the field's sides
constexpr CGFloat kCaretGap = 1;     // between the text and the caret
constexpr CGFloat kCaretWidth = 2;
UIFontPtr fieldFont() { return UIFont::systemFontOfSize(14); }
}  // namespace

UISearchBar::UISearchBar(CGRect frame) : UIView(frame) {
    barTintColor_ = CGColorCreateSRGB(201 / 255.0, 201 / 255.0, 206 / 255.0, 1);
    setBackgroundColor(barTintColor_);
}

void UISearchBar::setText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    setNeedsDisplay();
}

void UISearchBar::setPlaceholder(std::string placeholder) {
    placeholder_ = std::move(placeholder);
    setNeedsDisplay();
}

void UISearchBar::setBarTintColor(CGColorRef color) {
    barTintColor_ = color ? std::move(color) : CGColorCreateSRGB(201 / 255.0, 201 / 255.0, 206 / 255.0, 1);
    setBackgroundColor(barTintColor_);
}

void UISearchBar::setShowsCancelButton(bool shows, bool) {
    if (shows == showsCancelButton()) return;
    if (!shows) {
        cancelButton_->removeFromSuperview();
        cancelButton_.reset();
    } else {
        cancelButton_ = std::make_shared<UIButton>();
        cancelButton_->setTitle("Cancel", UIControlStateNormal);
        std::weak_ptr<UISearchBar> weak = self<UISearchBar>();
        cancelButton_->addTarget(nullptr, [weak](UIControl&, UIEvent*) {
            auto bar = weak.lock();
            if (!bar) return;
            if (auto d = bar->delegate()) d->searchBarCancelButtonClicked(*bar);
        }, UIControlEventTouchUpInside);
        addSubview(cancelButton_);
    }
    setNeedsLayout();
    setNeedsDisplay();
}

CGRect UISearchBar::fieldRect() const {
    CGRect b = bounds();
    CGFloat right = cancelButton_ ? kCancelWidth : 0;
    return CGRectMake(b.origin.x + kMargin, b.origin.y + (b.size.height - kFieldHeight) / 2,
                      std::max(0.0, b.size.width - 2 * kMargin - right), kFieldHeight);
}

void UISearchBar::layoutSubviews() {
    if (!cancelButton_) return;
    CGRect b = bounds();
    cancelButton_->setFrame(CGRectMake(CGRectGetMaxX(b) - kCancelWidth, b.origin.y, kCancelWidth, b.size.height));
}

// ---------------------------------------------------------------- editing

bool UISearchBar::shouldBecomeFirstResponder() {
    auto d = delegate();
    return !d || d->searchBarShouldBeginEditing(*this);
}

void UISearchBar::didBecomeFirstResponder() {
    setNeedsDisplay();
    if (auto d = delegate()) d->searchBarTextDidBeginEditing(*this);
}

bool UISearchBar::shouldResignFirstResponder() {
    auto d = delegate();
    return !d || d->searchBarShouldEndEditing(*this);
}

void UISearchBar::didResignFirstResponder() {
    setNeedsDisplay();
    if (auto d = delegate()) d->searchBarTextDidEndEditing(*this);
}

void UISearchBar::insertText(const std::string& text) {
    auto keep = self<UISearchBar>();  // a delegate may let go of the bar
    for (const auto& ch : UIKeyInputCharacters(text)) {
        if (ch == "\n") {
            if (auto d = delegate()) d->searchBarSearchButtonClicked(*this);
            continue;
        }
        text_ += ch;
        setNeedsDisplay();
        if (auto d = delegate()) d->textDidChange(*this, text_);
    }
}

void UISearchBar::deleteBackward() {
    if (!UIKeyInputDeleteLastCharacter(text_)) return;
    setNeedsDisplay();
    if (auto d = delegate()) d->textDidChange(*this, text_);
}

void UISearchBar::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (touches.empty()) return;
    if (CGRectContainsPoint(bounds(), (*touches.begin())->locationInView(this)))
        (void)becomeFirstResponder();  // the delegate may refuse
}

// ---------------------------------------------------------------- drawing

CGRect UISearchBar::textRect() const {
    const CGRect field = fieldRect();
    const CGFloat lineHeight = std::ceil(fieldFont()->lineHeight());
    return CGRectMake(field.origin.x + kTextInset, field.origin.y + (field.size.height - lineHeight) / 2,
                      std::max(0.0, field.size.width - 2 * kTextInset), lineHeight);
}

CGFloat UISearchBar::textScroll() const {
    if (!isFirstResponder() || text_.empty()) return 0;
    const CGFloat width = sizeWithAttributes(text_, NSAttributes(fieldFont())).width;
    return std::max(0.0, width + kCaretGap + kCaretWidth - textRect().size.width);
}

CGRect UISearchBar::caretRect() const {
    if (!isFirstResponder()) return CGRectNull;
    const CGRect line = textRect();
    const CGFloat width = text_.empty() ? 0 : sizeWithAttributes(text_, NSAttributes(fieldFont())).width;
    return CGRectMake(line.origin.x + width - textScroll() + kCaretGap, line.origin.y, kCaretWidth, line.size.height);
}

void UISearchBar::drawRect(CGRect) {
    auto ctx = currentDrawingContext();
    if (!ctx) return;
    CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
    CGContextFillRect(ctx, fieldRect());
    const CGRect line = textRect();
    const bool empty = text_.empty();
    const auto color = empty ? UIColor::grayColor() : UIColor::blackColor();
    if (isFirstResponder() && !empty) {
        // The whole text, moved left to keep its end and the caret in view.
        CGContextSaveGState(ctx);
        CGContextClipToRect(ctx, line);
        drawAtPoint(text_, CGPointMake(line.origin.x - textScroll(), line.origin.y), NSAttributes(fieldFont(), color));
        CGContextRestoreGState(ctx);
    } else {
        NSParagraphStyle style;
        style.lineBreakMode = NSLineBreakByTruncatingTail;
        drawInRect(empty ? placeholder_ : text_, line, NSAttributes(fieldFont(), color, style));
    }
    if (isFirstResponder()) {
        CGContextSetFillColorWithColor(ctx, tintColor());
        CGContextFillRect(ctx, caretRect());
    }
}
