#pragma once
// The bar of a tab-bar controller: its items, in order, and the selected one.
#include <memory>
#include <vector>

#include "platform/uikit/UIView.h"

class UITabBarItem;

class UITabBar : public UIView {
public:
    using UIView::UIView;

    const std::vector<std::shared_ptr<UITabBarItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<UITabBarItem>> items);
    // Null when the item at that index does not exist.
    std::shared_ptr<UITabBarItem> itemAtIndex(std::size_t index) const;
    std::shared_ptr<UITabBarItem> selectedItem() const { return selectedItem_.lock(); }
    // Only an item of this bar (or null) can be selected.
    void setSelectedItem(const std::shared_ptr<UITabBarItem>& item);

private:
    std::vector<std::shared_ptr<UITabBarItem>> items_;
    std::weak_ptr<UITabBarItem> selectedItem_;
};
