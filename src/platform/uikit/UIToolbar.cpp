#include "platform/uikit/UIToolbar.h"

UIToolbar::UIToolbar(CGRect frame) : UIView(frame) { updateBackground(); }

void UIToolbar::setBarStyle(UIBarStyle style) {
    barStyle_ = style;
    updateBackground();
}

void UIToolbar::setBarTintColor(CGColorRef color) {
    barTintColor_ = std::move(color);
    updateBackground();
}

void UIToolbar::setTranslucent(bool translucent) {
    translucent_ = translucent;
    updateBackground();
}

void UIToolbar::updateBackground() {
    double r = 0.97, g = 0.97, b = 0.97, a = 1;
    if (barStyle_ == UIBarStyleBlack) r = g = b = 0.1;
    if (barTintColor_) barTintColor_->getRGBA(r, g, b, a);
    if (translucent_) a *= kTranslucentAlpha;
    setOpaque(!translucent_);
    setBackgroundColor(CGColorCreateSRGB(r, g, b, a));
}
