#include "platform/uikit/UITabBar.h"

#include <algorithm>

#include "platform/uikit/UITabBarItem.h"

void UITabBar::setItems(std::vector<std::shared_ptr<UITabBarItem>> items) {
    items_ = std::move(items);
    if (auto sel = selectedItem_.lock(); sel && std::find(items_.begin(), items_.end(), sel) == items_.end())
        selectedItem_.reset();
}

std::shared_ptr<UITabBarItem> UITabBar::itemAtIndex(std::size_t index) const {
    return index < items_.size() ? items_[index] : nullptr;
}

void UITabBar::setSelectedItem(const std::shared_ptr<UITabBarItem>& item) {
    if (item && std::find(items_.begin(), items_.end(), item) == items_.end()) return;
    selectedItem_ = item;
}
