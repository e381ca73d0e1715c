#pragma once
// A view that shows an image, a highlighted image or an animation of images.
// The image shown is the layer's contents, placed by the content mode. Image
// views take no touches unless user interaction is turned on.
#include <vector>
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"

class UIImageView : public UIView {
public:
    explicit UIImageView(CGRect frame = CGRectZero);
    explicit UIImageView(UIImagePtr image);

    UIImagePtr image() const { return image_; }
    // Observable under "image".
    void setImage(UIImagePtr image);
    UIImagePtr highlightedImage() const { return highlightedImage_; }
    void setHighlightedImage(UIImagePtr image);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);
    CGSize sizeThatFits(CGSize size) const override;
    // The image's size; none without an image.
    CGSize intrinsicContentSize() const override;

    const std::vector<UIImagePtr>& animationImages() const { return animationImages_; }
    void setAnimationImages(std::vector<UIImagePtr> images);
    double animationDuration() const { return animationDuration_; }
    void setAnimationDuration(double seconds) { animationDuration_ = seconds; }
    // Animating needs frames: starting without animation images does nothing.
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }

    // How many times the image was replaced (for observers that count redraws).
    std::size_t imageChangeCount() const { return imageChanges_; }

private:
    void updateContents();
    UIImagePtr image_;
    UIImagePtr highlightedImage_;
    bool highlighted_ = false;
    std::vector<UIImagePtr> animationImages_;
    double animationDuration_ = 0;
    bool animating_ = false;
    std::size_t imageChanges_ = 0;
};
