#pragma once
// The control that shows one item in a tab bar: the item's image as a
// template (its shape filled with the tint when selected, grey otherwise) over
// its title, and the badge when the item has one (a red rounded badge with the
// text in white at the image's top right). It follows the item's title, images
// and badge; its accessibility label is the title (so the device screen finds
// a tab by its name). A tap on it sends UIControlEventTouchUpInside as any
// control does; the tab bar selects the item then.
//
// Main thread only.
#include <memory>
#include <vector>

#include "platform/uikit/UIControl.h"

class UITabBarItem;

class UITabBarButton : public UIControl {
public:
    static constexpr CGFloat kImageSide = 30;
    static constexpr CGFloat kBadgeHeight = 18;

    explicit UITabBarButton(CGRect frame = CGRectZero);
    // Follows the item (held weakly).
    void setItem(const std::shared_ptr<UITabBarItem>& item);
    std::shared_ptr<UITabBarItem> item() const { return item_.lock(); }

    // Where the badge is drawn (zero without a badge), in the button's coordinates.
    CGRect badgeFrame() const;
    // The grey of an unselected item and the red of a badge.
    static CGColorRef unselectedColor();
    static CGColorRef badgeColor();

    void setSelected(bool selected) override;
    void tintColorDidChange() override { setNeedsDisplay(); }
    void drawRect(CGRect rect) override;

private:
    CGRect imageFrame() const;
    void itemChanged();
    std::weak_ptr<UITabBarItem> item_;
    std::vector<ObservationToken> observations_;
};
