#include "platform/uikit/UISearchBar.h"

#include <cmath>

#include "platform/uikit/NSStringDrawing.h"

namespace {
constexpr CGFloat kMargin = 8;
constexpr CGFloat kFieldHeight = 28;
constexpr CGFloat kCancelWidth = 60;
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

void UISearchBar::drawRect(CGRect) {
    auto ctx = currentDrawingContext();
    if (!ctx) return;
    CGRect field = fieldRect();
    CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
    CGContextFillRect(ctx, field);
    auto font = fieldFont();
    CGFloat lineHeight = std::ceil(font->lineHeight());
    CGRect textRect = CGRectMake(field.origin.x + 8, field.origin.y + (field.size.height - lineHeight) / 2,
                                 std::max(0.0, field.size.width - 16), lineHeight);
    bool empty = text_.empty();
    auto color = empty ? UIColor::grayColor() : UIColor::blackColor();
    NSParagraphStyle style;
    style.lineBreakMode = NSLineBreakByTruncatingTail;
    drawInRect(empty ? placeholder_ : text_, textRect, NSAttributes(font, color, style));
    if (isFirstResponder()) {
        // The caret after the text.
        CGFloat x = empty ? 0 : std::min(textRect.size.width, sizeWithAttributes(text_, NSAttributes(font)).width);
        CGContextSetFillColorWithColor(ctx, tintColor());
        CGContextFillRect(ctx, CGRectMake(textRect.origin.x + x + 1, textRect.origin.y, 2, lineHeight));
    }
}
