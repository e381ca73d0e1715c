#pragma once
// A bar, used for its translucent background: the bar tint (or the style's
// colour: near-white for the default style, near-black for the black one),
// slightly see-through while translucent.
#include "platform/uikit/UIView.h"

enum UIBarStyle : long {
    UIBarStyleDefault = 0,
    UIBarStyleBlack = 1,
};

class UIToolbar : public UIView {
public:
    explicit UIToolbar(CGRect frame = CGRectZero);

    UIBarStyle barStyle() const { return barStyle_; }
    void setBarStyle(UIBarStyle style);
    const CGColorRef& barTintColor() const { return barTintColor_; }
    void setBarTintColor(CGColorRef color);
    bool isTranslucent() const { return translucent_; }
    void setTranslucent(bool translucent);

    // Alpha of a translucent bar's background.
    static constexpr double kTranslucentAlpha = 0.85;

private:
    void updateBackground();
    UIBarStyle barStyle_ = UIBarStyleDefault;
    CGColorRef barTintColor_;
    bool translucent_ = true;
};
