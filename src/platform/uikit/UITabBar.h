#pragma once
// The bar of a tab-bar controller: its items, in order, and the selected one,
// each shown by a UITabBarButton laid out side by side in equal widths.
//
// Drawn: the bar tint (else the platform's near-white) with a hairline along
// the top edge; the selected item in the bar's tint colour, the others grey,
// badges in red. A tap on an item's button selects the item and tells the
// delegate (the tab-bar controller, which shows that tab).
//
// Main thread only. The delegate is held weakly.
#include <memory>
#include <vector>

#include "platform/uikit/UIView.h"

class UITabBar;
class UITabBarButton;
class UITabBarItem;

class UITabBarDelegate {
public:
    virtual ~UITabBarDelegate() = default;
    // tabBar:didSelectItem: (a user's tap)
    virtual void didSelectItem(UITabBar& /*tabBar*/, const std::shared_ptr<UITabBarItem>& /*item*/) {}
};

class UITabBar : public UIView {
public:
    static constexpr CGFloat kHeight = 49;
    explicit UITabBar(CGRect frame = CGRectZero);

    const std::vector<std::shared_ptr<UITabBarItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<UITabBarItem>> items);
    // Null when the item at that index does not exist.
    std::shared_ptr<UITabBarItem> itemAtIndex(std::size_t index) const;
    std::shared_ptr<UITabBarItem> selectedItem() const { return selectedItem_.lock(); }
    // Only an item of this bar (or null) can be selected.
    void setSelectedItem(const std::shared_ptr<UITabBarItem>& item);

    std::shared_ptr<UITabBarDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UITabBarDelegate> delegate) { delegate_ = std::move(delegate); }

    // Null: the platform's near-white.
    const CGColorRef& barTintColor() const { return barTintColor_; }
    void setBarTintColor(CGColorRef color);

    // The button that shows the item (null for an item not on the bar).
    std::shared_ptr<UITabBarButton> buttonForItem(const std::shared_ptr<UITabBarItem>& item) const;

    void layoutSubviews() override;
    void drawRect(CGRect rect) override;

private:
    void itemTapped(const std::shared_ptr<UITabBarItem>& item);
    std::vector<std::shared_ptr<UITabBarItem>> items_;
    std::vector<std::shared_ptr<UITabBarButton>> buttons_;
    std::weak_ptr<UITabBarItem> selectedItem_;
    std::weak_ptr<UITabBarDelegate> delegate_;
    CGColorRef barTintColor_;
};
