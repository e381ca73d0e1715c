#pragma once
// The spinner: twelve spokes around the centre, fading one after the other.
// Styles: 0 white large (37 points), 1 white (20), 2 grey (20); the colour
// follows the style unless set. Starting adds a repeating rotation under the
// layer key "spin"; stopping removes it and, with hidesWhenStopped (the
// default), hides the view. A new indicator is stopped (and so hidden).
//
// Main thread only.
#include "platform/uikit/UIView.h"

enum UIActivityIndicatorViewStyle : long {
    UIActivityIndicatorViewStyleWhiteLarge = 0,
    UIActivityIndicatorViewStyleWhite = 1,
    UIActivityIndicatorViewStyleGray = 2,
};

class UIActivityIndicatorView : public UIView {
public:
    explicit UIActivityIndicatorView(UIActivityIndicatorViewStyle style = UIActivityIndicatorViewStyleWhite);
    explicit UIActivityIndicatorView(CGRect frame);

    UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
    void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);
    // The spokes' colour: the style's unless set (null goes back to it).
    CGColorRef color() const;
    void setColor(CGColorRef color);
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool value);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }

    // The style's side: 37 for the large style, 20 for the others.
    static CGFloat sideForStyle(UIActivityIndicatorViewStyle style);
    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(CGRect rect) override;

private:
    UIActivityIndicatorViewStyle style_;
    CGColorRef color_;
    bool hidesWhenStopped_ = true;
    bool animating_ = false;
};
