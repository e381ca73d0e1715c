#include "platform/uikit/UISegmentedControl.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/NSStringDrawing.h"

namespace {
constexpr CGFloat kHeight = 29;
constexpr CGFloat kTitlePadding = 12;
UIFontPtr titleFont() { return UIFont::systemFontOfSize(13); }
}  // namespace

UISegmentedControl::UISegmentedControl(CGRect frame) : UIControl(frame) {
    setOpaque(false);
    setBackgroundColor(nullptr);
}

UISegmentedControl::UISegmentedControl(std::vector<std::string> items) : UISegmentedControl(CGRectZero) {
    titles_ = std::move(items);
    disabled_.assign(titles_.size(), false);
    CGSize size = sizeThatFits(CGSizeZero);
    setFrame(CGRectMake(0, 0, size.width, size.height));
}

void UISegmentedControl::changed() {
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void UISegmentedControl::setSelectedSegmentIndex(long index) {
    if (index < 0 || index >= long(titles_.size())) index = UISegmentedControlNoSegment;
    if (index == selected_) return;
    selected_ = index;
    setNeedsDisplay();
}

std::string UISegmentedControl::titleForSegmentAtIndex(std::size_t index) const {
    return index < titles_.size() ? titles_[index] : std::string();
}

void UISegmentedControl::setTitle(std::string title, std::size_t index) {
    if (index >= titles_.size()) return;
    titles_[index] = std::move(title);
    changed();
}

void UISegmentedControl::insertSegmentWithTitle(std::string title, std::size_t index, bool) {
    index = std::min(index, titles_.size());
    titles_.insert(titles_.begin() + long(index), std::move(title));
    disabled_.insert(disabled_.begin() + long(index), false);
    if (selected_ >= long(index)) ++selected_;
    changed();
}

void UISegmentedControl::removeSegmentAtIndex(std::size_t index, bool) {
    if (index >= titles_.size()) return;
    titles_.erase(titles_.begin() + long(index));
    disabled_.erase(disabled_.begin() + long(index));
    if (selected_ == long(index)) selected_ = UISegmentedControlNoSegment;
    else if (selected_ > long(index)) --selected_;
    changed();
}

void UISegmentedControl::removeAllSegments() {
    titles_.clear();
    disabled_.clear();
    selected_ = UISegmentedControlNoSegment;
    changed();
}

bool UISegmentedControl::isEnabledForSegmentAtIndex(std::size_t index) const {
    return index < disabled_.size() && !disabled_[index];
}

void UISegmentedControl::setEnabled(bool enabled, std::size_t index) {
    if (index >= disabled_.size()) return;
    disabled_[index] = !enabled;
    setNeedsDisplay();
}

long UISegmentedControl::segmentAtPoint(CGPoint point) const {
    CGRect b = bounds();
    if (titles_.empty() || !CGRectContainsPoint(b, point)) return UISegmentedControlNoSegment;
    CGFloat width = b.size.width / CGFloat(titles_.size());
    long index = long((point.x - b.origin.x) / width);
    return std::clamp(index, 0L, long(titles_.size()) - 1);
}

CGSize UISegmentedControl::intrinsicContentSize() const {
    CGFloat widest = 0;
    for (const auto& t : titles_) widest = std::max(widest, std::ceil(sizeWithAttributes(t, NSAttributes(titleFont())).width));
    return CGSizeMake((widest + 2 * kTitlePadding) * CGFloat(titles_.size()), kHeight);
}

CGSize UISegmentedControl::sizeThatFits(CGSize) const { return intrinsicContentSize(); }

void UISegmentedControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (!touches.empty()) {
        long index = segmentAtPoint((*touches.begin())->locationInView(this));
        if (index != UISegmentedControlNoSegment && index != selected_ && isEnabledForSegmentAtIndex(std::size_t(index))) {
            setSelectedSegmentIndex(index);
            sendActionsForControlEvents(UIControlEventValueChanged, event);
        }
    }
    UIControl::touchesEnded(touches, event);
}

void UISegmentedControl::drawRect(CGRect) {
    auto ctx = currentDrawingContext();
    if (!ctx || titles_.empty()) return;
    CGRect b = CGRectInset(bounds(), 0.5, 0.5);
    CGColorRef tint = tintColor();
    CGFloat width = b.size.width / CGFloat(titles_.size());
    auto font = titleFont();
    CGFloat lineHeight = std::ceil(font->lineHeight());
    NSParagraphStyle centred;
    centred.alignment = NSTextAlignmentCenter;
    for (std::size_t i = 0; i < titles_.size(); ++i) {
        CGRect segment = CGRectMake(b.origin.x + width * CGFloat(i), b.origin.y, width, b.size.height);
        bool selected = long(i) == selected_;
        if (selected) {
            CGContextSetFillColorWithColor(ctx, tint);
            CGContextFillRect(ctx, segment);
        }
        auto color = selected ? UIColor::whiteColor() : UIColor::colorWithCGColor(tint);
        if (!isEnabled() || disabled_[i]) color = UIColor::lightGrayColor();
        CGRect text = CGRectMake(segment.origin.x + 2, segment.origin.y + (segment.size.height - lineHeight) / 2,
                                 segment.size.width - 4, lineHeight);
        drawInRect(titles_[i], text, NSAttributes(font, color, centred));
        if (i > 0) {
            CGContextSetStrokeColorWithColor(ctx, tint);
            CGContextStrokeLineSegments(ctx, {CGPointMake(segment.origin.x, b.origin.y),
                                              CGPointMake(segment.origin.x, CGRectGetMaxY(b))});
        }
    }
    CGContextSetStrokeColorWithColor(ctx, tint);
    CGContextSetLineWidth(ctx, 1);
    CGContextStrokeRect(ctx, b);
}
