#pragma once
// Buttons with an image, a background image, a title and a title colour per
// control state. A state without its own shows the normal state's. The title
// shows in titleLabel (a subview made on first use, centred beside the image),
// brought up to date by the layout pass after each change of title or state.
// The state's image shows at its size in imageView, left of the title and
// centred with it; the background image fills the bounds behind both. Both
// image views are made when first needed and take no touches.
#include <map>
#include <string>
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class UIButton : public UIControl {
public:
    using UIControl::UIControl;

    // A null image removes the state's own image.
    void setImage(UIImagePtr image, UIControlState state);
    UIImagePtr imageForState(UIControlState state) const;
    void setBackgroundImage(UIImagePtr image, UIControlState state);
    UIImagePtr backgroundImageForState(UIControlState state) const;
    // The images of the current state.
    UIImagePtr currentImage() const { return imageForState(state()); }
    UIImagePtr currentBackgroundImage() const { return backgroundImageForState(state()); }

    // Titles and their colours per state (an empty title removes the state's own).
    void setTitle(const std::string& title, UIControlState state);
    std::string titleForState(UIControlState state) const;
    void setTitleColor(CGColorRef color, UIControlState state);
    // The state's colour, else the normal state's, else the tint.
    CGColorRef titleColorForState(UIControlState state) const;
    std::string currentTitle() const { return titleForState(state()); }
    CGColorRef currentTitleColor() const { return titleColorForState(state()); }
    std::shared_ptr<UILabel> titleLabel();
    // The view showing the current image (null until an image was shown).
    const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }

    // Whether a touch shows as a glow while highlighted (recorded only).
    bool showsTouchWhenHighlighted() const { return showsTouchWhenHighlighted_; }
    void setShowsTouchWhenHighlighted(bool shows) { showsTouchWhenHighlighted_ = shows; }

    void setHighlighted(bool highlighted) override;
    void setSelected(bool selected) override;
    void layoutSubviews() override;
    CGSize intrinsicContentSize() const override;
    CGSize sizeThatFits(CGSize size) const override;
    void tintColorDidChange() override { setNeedsLayout(); }

private:
    static UIImagePtr lookup(const std::map<UIControlState, UIImagePtr>& images, UIControlState state);
    // Places the image views after the title (UIButtonImages.cpp).
    void layoutImages();
    std::shared_ptr<UIImageView> imageView_;
    std::shared_ptr<UIImageView> backgroundImageView_;
    std::map<UIControlState, UIImagePtr> images_;
    std::map<UIControlState, UIImagePtr> backgroundImages_;
    std::map<UIControlState, std::string> titles_;
    std::map<UIControlState, CGColorRef> titleColors_;
    std::shared_ptr<UILabel> titleLabel_;
    bool showsTouchWhenHighlighted_ = false;
};
