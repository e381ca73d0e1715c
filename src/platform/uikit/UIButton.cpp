#include "platform/uikit/UIButton.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/UIFont.h"

void UIButton::setImage(UIImagePtr image, UIControlState state) {
    if (image) images_[state] = std::move(image);
    else images_.erase(state);
    setNeedsLayout();
}

UIImagePtr UIButton::imageForState(UIControlState state) const { return lookup(images_, state); }

void UIButton::setBackgroundImage(UIImagePtr image, UIControlState state) {
    if (image) backgroundImages_[state] = std::move(image);
    else backgroundImages_.erase(state);
    setNeedsLayout();
}

UIImagePtr UIButton::backgroundImageForState(UIControlState state) const { return lookup(backgroundImages_, state); }

UIImagePtr UIButton::lookup(const std::map<UIControlState, UIImagePtr>& images, UIControlState state) {
    if (auto it = images.find(state); it != images.end()) return it->second;
    if (auto it = images.find(UIControlStateNormal); it != images.end()) return it->second;
    return nullptr;
}

// ---------------------------------------------------------------- titles

void UIButton::setTitle(const std::string& title, UIControlState state) {
    if (title.empty()) titles_.erase(state);
    else titles_[state] = title;
    titleLabel();  // the label shows from now on
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

std::string UIButton::titleForState(UIControlState state) const {
    if (auto it = titles_.find(state); it != titles_.end()) return it->second;
    if (auto it = titles_.find(UIControlStateNormal); it != titles_.end()) return it->second;
    return {};
}

void UIButton::setTitleColor(CGColorRef color, UIControlState state) {
    if (color) titleColors_[state] = std::move(color);
    else titleColors_.erase(state);
    setNeedsLayout();
}

CGColorRef UIButton::titleColorForState(UIControlState state) const {
    if (auto it = titleColors_.find(state); it != titleColors_.end()) return it->second;
    if (auto it = titleColors_.find(UIControlStateNormal); it != titleColors_.end()) return it->second;
    return tintColor();
}

std::shared_ptr<UILabel> UIButton::titleLabel() {
    if (!titleLabel_) {
        titleLabel_ = std::make_shared<UILabel>();
        titleLabel_->setFont(UIFont::systemFontOfSize(15));
        titleLabel_->setTextAlignment(1);
        titleLabel_->setOpaque(false);
        titleLabel_->setBackgroundColor(nullptr);
        addSubview(titleLabel_);
        setNeedsLayout();
    }
    return titleLabel_;
}

void UIButton::setHighlighted(bool highlighted) {
    UIControl::setHighlighted(highlighted);
    setNeedsLayout();
}

void UIButton::setSelected(bool selected) {
    UIControl::setSelected(selected);
    setNeedsLayout();
}

void UIButton::layoutSubviews() {
    if (!titleLabel_) return layoutImages();
    titleLabel_->setText(currentTitle());
    titleLabel_->setTextColor(isEnabled() ? currentTitleColor() : titleColorForState(UIControlStateDisabled));
    CGSize text = titleLabel_->sizeThatFits(CGSizeZero);
    CGRect b = bounds();
    CGFloat imageWidth = 0;
    if (auto image = currentImage()) imageWidth = image->size().width;
    text.width = std::min(text.width, std::max(0.0, b.size.width - imageWidth));
    CGFloat x = b.origin.x + (b.size.width - text.width - imageWidth) / 2 + imageWidth;
    titleLabel_->setFrame(CGRectMake(std::round(x), std::round(b.origin.y + (b.size.height - text.height) / 2),
                                     std::ceil(text.width), std::ceil(text.height)));
    layoutImages();
}

CGSize UIButton::intrinsicContentSize() const {
    CGSize size = CGSizeZero;
    if (titleLabel_ && !currentTitle().empty()) {
        UILabel measure;
        measure.setFont(titleLabel_->font());
        measure.setText(currentTitle());
        size = measure.sizeThatFits(CGSizeZero);
        size.width = std::ceil(size.width);
        size.height = std::ceil(size.height);
    }
    if (auto image = currentImage()) {
        size.width += image->size().width;
        size.height = std::max(size.height, image->size().height);
    }
    if (size.width == 0 && size.height == 0) return CGSizeMake(30, 30);  // an empty button keeps a touchable size
    return size;
}

CGSize UIButton::sizeThatFits(CGSize) const { return intrinsicContentSize(); }
