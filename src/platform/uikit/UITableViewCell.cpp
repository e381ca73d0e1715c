#include "platform/uikit/UITableViewCell.h"

#include <algorithm>

#include "platform/uikit/UIFont.h"

namespace {
constexpr CGFloat kSideMargin = 15;

// The checkmark accessory: a tick stroked in the tint colour.
class CheckmarkView : public UIView {
public:
    CheckmarkView() : UIView(CGRectMake(0, 0, kTableViewCellAccessoryWidth, 44)) {
        setOpaque(false);
        setUserInteractionEnabled(false);
    }
    void drawRect(CGRect) override {
        auto ctx = currentDrawingContext();
        if (!ctx) return;
        CGRect b = bounds();
        CGFloat cx = b.size.width / 2 - 2, cy = b.size.height / 2;
        CGContextSetStrokeColorWithColor(ctx, tintColor());
        CGContextSetLineWidth(ctx, 2.5);
        CGContextSetLineCap(ctx, kCGLineCapRound);
        CGContextSetLineJoin(ctx, kCGLineJoinRound);
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, cx - 6, cy);
        CGContextAddLineToPoint(ctx, cx - 2, cy + 5);
        CGContextAddLineToPoint(ctx, cx + 7, cy - 6);
        CGContextStrokePath(ctx);
    }
    void tintColorDidChange() override { setNeedsDisplay(); }
};

std::shared_ptr<UIView> plainBackground(CGColorRef color) {
    auto view = std::make_shared<UIView>();
    view->setBackgroundColor(std::move(color));
    view->setUserInteractionEnabled(false);
    return view;
}
}  // namespace

UITableViewCell::UITableViewCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UIView(CGRectMake(0, 0, 320, 44)), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
    setBackgroundColor(CGColorCreateSRGB(1, 1, 1, 1));
    contentView_ = std::make_shared<UIView>(bounds());
    contentView_->setOpaque(false);
    imageView_ = std::make_shared<UIImageView>();
    imageView_->setContentMode(UIViewContentModeScaleAspectFit);
    contentView_->addSubview(imageView_);
    textLabel_ = std::make_shared<UILabel>();
    textLabel_->setFont(UIFont::systemFontOfSize(18));
    textLabel_->setHighlightedTextColor(CGColorCreateSRGB(1, 1, 1, 1));
    contentView_->addSubview(textLabel_);
    if (style_ != UITableViewCellStyleDefault) {
        detailTextLabel_ = std::make_shared<UILabel>();
        detailTextLabel_->setFont(UIFont::systemFontOfSize(12));
        detailTextLabel_->setTextColor(CGColorCreateSRGB(0.5, 0.5, 0.5, 1));
        detailTextLabel_->setHighlightedTextColor(CGColorCreateSRGB(1, 1, 1, 1));
        contentView_->addSubview(detailTextLabel_);
    }
    separator_ = plainBackground(CGColorCreateSRGB(0.78, 0.78, 0.8, 1));
}

// The content view and the separator join the cell once it is shared (they
// cannot from the constructor): before the cell enters a superview or lays out.
void UITableViewCell::assemble() {
    if (contentView_->superview().get() == this) return;
    std::size_t at = 0;
    for (const auto& v : subviews())
        if (v == backgroundView_ || v == selectedBackgroundView_) ++at;
    insertSubview(contentView_, at);
    insertSubview(separator_, at + 1);
}

void UITableViewCell::willMoveToSuperview(const std::shared_ptr<UIView>& superview) {
    UIView::willMoveToSuperview(superview);
    assemble();
}

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
    if (accessoryType_ == type) return;
    accessoryType_ = type;
    if (type == UITableViewCellAccessoryCheckmark && !checkmark_) {
        checkmark_ = std::make_shared<CheckmarkView>();
        addSubview(checkmark_);
    }
    if (checkmark_) checkmark_->setHidden(type != UITableViewCellAccessoryCheckmark || accessoryView_);
    setNeedsLayout();
}

void UITableViewCell::setAccessoryView(std::shared_ptr<UIView> view) {
    if (accessoryView_) accessoryView_->removeFromSuperview();
    accessoryView_ = std::move(view);
    if (accessoryView_) addSubview(accessoryView_);
    if (checkmark_) checkmark_->setHidden(accessoryType_ != UITableViewCellAccessoryCheckmark || accessoryView_);
    setNeedsLayout();
}

void UITableViewCell::setSelectionStyle(UITableViewCellSelectionStyle style) {
    selectionStyle_ = style;
    updateSelectionLook();
}

void UITableViewCell::setBackgroundView(std::shared_ptr<UIView> view) {
    if (backgroundView_) backgroundView_->removeFromSuperview();
    backgroundView_ = std::move(view);
    if (backgroundView_) insertSubview(backgroundView_, 0);
    setNeedsLayout();
}

void UITableViewCell::setSelectedBackgroundView(std::shared_ptr<UIView> view) {
    if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
    selectedBackgroundView_ = std::move(view);
    updateSelectionLook();
}

void UITableViewCell::setSelected(bool selected, bool) {
    if (selected_ == selected) return;
    selected_ = selected;
    updateSelectionLook();
}

void UITableViewCell::setHighlighted(bool highlighted, bool) {
    if (highlighted_ == highlighted) return;
    highlighted_ = highlighted;
    updateSelectionLook();
}

void UITableViewCell::setSeparatorHidden(bool hidden) { separator_->setHidden(hidden); }

bool UITableViewCell::isSeparatorHidden() const { return separator_->isHidden(); }

void UITableViewCell::prepareForReuse() {
    setHighlighted(false);
    setSelected(false);
}

// The selected background shows behind the content while selected or
// highlighted, unless the selection style is none.
void UITableViewCell::updateSelectionLook() {
    bool show = (selected_ || highlighted_) && selectionStyle_ != UITableViewCellSelectionStyleNone;
    if (show && !selectedBackgroundView_) {
        selectedBackgroundView_ = plainBackground(selectionStyle_ == UITableViewCellSelectionStyleBlue
                                                      ? CGColorCreateSRGB(0.0, 0.48, 1.0, 1)
                                                      : CGColorCreateSRGB(0.85, 0.85, 0.85, 1));
    }
    if (selectedBackgroundView_) {
        if (show && !selectedBackgroundView_->superview()) {
            std::size_t at = backgroundView_ && backgroundView_->superview().get() == this ? 1 : 0;
            insertSubview(selectedBackgroundView_, at);
            selectedBackgroundView_->setFrame(bounds());
        } else if (!show && selectedBackgroundView_->superview()) {
            selectedBackgroundView_->removeFromSuperview();
        }
    }
    bool lit = show && selectionStyle_ == UITableViewCellSelectionStyleBlue;
    textLabel_->setHighlighted(lit);
    if (detailTextLabel_) detailTextLabel_->setHighlighted(lit);
    imageView_->setHighlighted(show);
}

void UITableViewCell::layoutSubviews() {
    assemble();
    CGRect b = bounds();
    if (backgroundView_) backgroundView_->setFrame(b);
    if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b);
    auto accessory = accessoryView_ ? accessoryView_
                     : accessoryType_ == UITableViewCellAccessoryCheckmark ? checkmark_
                                                                            : nullptr;
    CGFloat accessoryWidth = 0;
    if (accessory) {
        CGSize size = accessoryView_ ? accessoryView_->frame().size : CGSizeMake(kTableViewCellAccessoryWidth, b.size.height);
        accessoryWidth = std::max<CGFloat>(size.width, 0);
        accessory->setFrame(CGRectMake(b.size.width - accessoryWidth, (b.size.height - size.height) / 2,
                                       size.width, size.height));
    }
    CGRect content = CGRectMake(0, 0, std::max<CGFloat>(b.size.width - accessoryWidth, 0), b.size.height);
    contentView_->setFrame(content);
    layoutLabels(content);
    CGFloat hairline = 0.5;
    separator_->setFrame(CGRectMake(kSideMargin, b.size.height - hairline, std::max<CGFloat>(b.size.width - kSideMargin, 0), hairline));
}

void UITableViewCell::layoutLabels(CGRect content) {
    CGFloat x = kSideMargin;
    bool hasImage = imageView_->image() != nullptr;
    imageView_->setHidden(!hasImage);
    if (hasImage) {
        CGSize size = imageView_->image()->size();
        CGFloat side = std::min(size.height, content.size.height);
        CGFloat width = size.height > 0 ? size.width * side / size.height : 0;
        imageView_->setFrame(CGRectMake(x, (content.size.height - side) / 2, width, side));
        x += width + kSideMargin;
    }
    CGFloat width = std::max<CGFloat>(content.size.width - x - kSideMargin, 0);
    if (!detailTextLabel_) {
        textLabel_->setFrame(CGRectMake(x, 0, width, content.size.height));
        return;
    }
    CGFloat textHeight = textLabel_->sizeThatFits(CGSizeMake(width, content.size.height)).height;
    CGFloat detailHeight = detailTextLabel_->sizeThatFits(CGSizeMake(width, content.size.height)).height;
    CGFloat top = std::max<CGFloat>((content.size.height - textHeight - detailHeight) / 2, 0);
    textLabel_->setFrame(CGRectMake(x, top, width, textHeight));
    detailTextLabel_->setFrame(CGRectMake(x, top + textHeight, width, detailHeight));
}
