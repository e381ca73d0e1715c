#include "platform/uikit/UIImageView.h"

UIImageView::UIImageView(CGRect frame) : UIView(frame) {}

UIImageView::UIImageView(UIImagePtr image)
    : UIView(image ? CGRectMake(0, 0, image->size().width, image->size().height) : CGRectZero),
      image_(std::move(image)) {}

void UIImageView::setImage(UIImagePtr image) {
    willChangeValueForKey("image");
    image_ = std::move(image);
    ++imageChanges_;
    didChangeValueForKey("image");
}

void UIImageView::setHighlightedImage(UIImagePtr image) { highlightedImage_ = std::move(image); }

void UIImageView::setAnimationImages(std::vector<UIImagePtr> images) {
    animationImages_ = std::move(images);
    if (animationImages_.empty()) animating_ = false;
}

void UIImageView::startAnimating() {
    if (!animationImages_.empty()) animating_ = true;
}

void UIImageView::stopAnimating() { animating_ = false; }
