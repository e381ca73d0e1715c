#include "platform/uikit/UITabBarItem.h"

void UITabBarItem::setTitle(const std::string& title) {
    willChangeValueForKey("title");
    title_ = title;
    didChangeValueForKey("title");
}

void UITabBarItem::setBadgeValue(std::optional<std::string> value) {
    willChangeValueForKey("badgeValue");
    badgeValue_ = std::move(value);
    didChangeValueForKey("badgeValue");
}
