#pragma once
// A bar, used for its translucent background (the bar tint, or the style's
// colour: near-white for the default style, near-black for the black one,
// slightly see-through while translucent) and for a row of bar button items.
//
// Items (setItems): laid out left to right, 12 points in from each edge and 10
// points apart; each takes its width (else its content's), flexible spaces
// share what is left equally. An item without a custom view is shown by a
// UIToolbarButton the bar makes (drawn in the bar's tint colour, greyed while
// disabled; a tap runs the item's action); a custom view is centred in its
// place at its own size. Items taken off the bar lose their views.
//
// Main thread only.
#include <vector>

#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIControl.h"
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

    const std::vector<UIBarButtonItemPtr>& items() const { return items_; }
    // `animated` is accepted and ignored: the new row shows at once.
    void setItems(std::vector<UIBarButtonItemPtr> items, bool animated = false);
    void layoutSubviews() override;

    // Alpha of a translucent bar's background.
    static constexpr double kTranslucentAlpha = 0.85;
    static constexpr CGFloat kEdgeInset = 12;
    static constexpr CGFloat kItemGap = 10;

private:
    void updateBackground();
    std::shared_ptr<UIView> viewForItem(const UIBarButtonItemPtr& item);
    UIBarStyle barStyle_ = UIBarStyleDefault;
    CGColorRef barTintColor_;
    bool translucent_ = true;
    std::vector<UIBarButtonItemPtr> items_;
};

// The view a toolbar shows an item with: the item's image (as a template in
// the tint colour), title or system glyph, centred. It carries the item's
// accessibility label and element flag and its enabled state.
class UIToolbarButton : public UIControl {
public:
    explicit UIToolbarButton(const UIBarButtonItemPtr& item);
    std::shared_ptr<UIBarButtonItem> item() const { return item_.lock(); }
    // The content's width (a system glyph 22, an image its width, a title its text).
    CGFloat contentWidth() const;
    void drawRect(CGRect rect) override;
    void tintColorDidChange() override { setNeedsDisplay(); }

private:
    void drawGlyph(UIBarButtonSystemItem glyph, CGRect box, const CGColorRef& colour) const;
    std::weak_ptr<UIBarButtonItem> item_;
};
