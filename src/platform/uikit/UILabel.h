#pragma once
// A view that shows a text: font, colour, alignment, number of lines and line
// breaking. The label redraws on every change of them (and of its size).
//
// The text itself is laid out and drawn by the text engine behind two hooks
// (setTextEngine); by default the shipped fonts' engine (UILabelText.h). Alignment and line break use the
// values of NSTextAlignment (0 left, 1 centre, 2 right, 3 justified, 4
// natural) and NSLineBreakMode (0 word wrap, 1 char wrap, 2 clip, 3 head,
// 4 tail, 5 middle truncation).
//
// Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UIView.h"

class UIFont;

class UILabel : public UIView {
public:
    explicit UILabel(CGRect frame = CGRectZero);

    const std::string& text() const { return text_; }
    void setText(std::string text);
    // Null: the system font of 17 points.
    const std::shared_ptr<UIFont>& font() const { return font_; }
    void setFont(std::shared_ptr<UIFont> font);
    // Opaque black unless set (null restores it).
    const CGColorRef& textColor() const { return textColor_; }
    void setTextColor(CGColorRef color);
    const CGColorRef& highlightedTextColor() const { return highlightedTextColor_; }
    void setHighlightedTextColor(CGColorRef color);
    long textAlignment() const { return textAlignment_; }
    void setTextAlignment(long alignment);
    long lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(long mode);
    // 0: as many lines as needed.
    long numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(long lines);
    bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool value);
    CGFloat minimumScaleFactor() const { return minimumScaleFactor_; }
    void setMinimumScaleFactor(CGFloat factor);
    long baselineAdjustment() const { return baselineAdjustment_; }
    void setBaselineAdjustment(long value);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    CGFloat preferredMaxLayoutWidth() const { return preferredMaxLayoutWidth_; }
    void setPreferredMaxLayoutWidth(CGFloat width) { preferredMaxLayoutWidth_ = width; }

    // The rectangle the text takes within the bounds for the number of lines.
    virtual CGRect textRectForBounds(CGRect bounds, long numberOfLines) const;
    // Draws the text in the rectangle (the text engine's drawing hook).
    virtual void drawTextInRect(CGRect rect);
    void drawRect(CGRect rect) override;
    CGSize sizeThatFits(CGSize size) const override;
    // The text's size (wrapped at preferredMaxLayoutWidth when set).
    CGSize intrinsicContentSize() const override;

    // The text engine: draws the label's text in a rectangle of the context,
    // and measures it within a size (width and height limits; 0 for none).
    using DrawText = void (*)(const UILabel& label, const CGContextRef& ctx, CGRect rect);
    using MeasureText = CGSize (*)(const UILabel& label, CGSize limits);
    static void setTextEngine(DrawText draw, MeasureText measure);
    static bool hasTextEngine();

private:
    void changed();
    std::string text_;
    std::shared_ptr<UIFont> font_;
    CGColorRef textColor_;
    CGColorRef highlightedTextColor_;
    long textAlignment_ = 0;
    long lineBreakMode_ = 4;
    long numberOfLines_ = 1;
    bool adjustsFontSize_ = false;
    CGFloat minimumScaleFactor_ = 0;
    long baselineAdjustment_ = 0;
    bool highlighted_ = false;
    bool enabled_ = true;
    CGFloat preferredMaxLayoutWidth_ = 0;
};
