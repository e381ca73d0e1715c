// The button's image and background image, shown by two image views that the
// layout pass keeps up to date with the state.
#include <algorithm>
#include <cmath>

#include "platform/uikit/UIButton.h"

namespace {
std::shared_ptr<UIImageView> makeImageView() {
    auto view = std::make_shared<UIImageView>();
    view->setUserInteractionEnabled(false);
    view->setOpaque(false);
    return view;
}
}  // namespace

void UIButton::layoutImages() {
    const CGRect b = bounds();
    if (auto background = currentBackgroundImage(); background || backgroundImageView_) {
        if (!backgroundImageView_) {
            backgroundImageView_ = makeImageView();
            insertSubview(backgroundImageView_, 0);
        }
        backgroundImageView_->setImage(background);
        backgroundImageView_->setHidden(!background);
        backgroundImageView_->setFrame(b);
    }
    auto image = currentImage();
    if (!image && !imageView_) return;
    if (!imageView_) {
        imageView_ = makeImageView();
        insertSubview(imageView_, backgroundImageView_ ? 1 : 0);
    }
    imageView_->setImage(image);
    imageView_->setHidden(!image);
    if (!image) return;
    const CGSize size = image->size();
    // The title's room as the title's layout measured it, left of which the image sits.
    const CGFloat textWidth = titleLabel_ && !currentTitle().empty() ? titleLabel_->frame().size.width : 0;
    const CGFloat x = b.origin.x + (b.size.width - textWidth - size.width) / 2;
    imageView_->setFrame(CGRectMake(std::round(x), std::round(b.origin.y + (b.size.height - size.height) / 2),
                                    size.width, size.height));
}
