#include "platform/uikit/UIImageView.h"

UIImageView::UIImageView(CGRect frame) : UIView(frame) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

UIImageView::UIImageView(UIImagePtr image)
    : UIView(image ? CGRectMake(0, 0, image->size().width, image->size().height) : CGRectZero),
      image_(std::move(image)) {
    setUserInteractionEnabled(false);
    setOpaque(false);
    updateContents();
}

void UIImageView::setImage(UIImagePtr image) {
    willChangeValueForKey("image");
    image_ = std::move(image);
    ++imageChanges_;
    updateContents();
    if (!translatesAutoresizingMaskIntoConstraints()) invalidateIntrinsicContentSize();
    didChangeValueForKey("image");
}

void UIImageView::setHighlightedImage(UIImagePtr image) {
    highlightedImage_ = std::move(image);
    updateContents();
}

void UIImageView::setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    updateContents();
}

void UIImageView::updateContents() {
    const UIImagePtr& shown = highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
    layer()->setContents(shown ? shown->CGImage() : nullptr);
    if (shown) layer()->setContentsScale(shown->scale());
}

CGSize UIImageView::sizeThatFits(CGSize) const { return image_ ? image_->size() : CGSizeZero; }

void UIImageView::setAnimationImages(std::vector<UIImagePtr> images) {
    animationImages_ = std::move(images);
    if (animationImages_.empty()) animating_ = false;
}

void UIImageView::startAnimating() {
    if (!animationImages_.empty()) animating_ = true;
}

void UIImageView::stopAnimating() { animating_ = false; }

CGSize UIImageView::intrinsicContentSize() const {
    if (!image_) return CGSizeMake(UIViewNoIntrinsicMetric, UIViewNoIntrinsicMetric);
    return image_->size();
}
