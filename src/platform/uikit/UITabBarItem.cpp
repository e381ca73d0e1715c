#include "platform/uikit/UITabBarItem.h"

std::shared_ptr<UITabBarItem> UITabBarItem::initWithTitle(std::string title, UIImagePtr image, long tag) {
    auto item = std::make_shared<UITabBarItem>(std::move(title), tag);
    item->image_ = std::move(image);
    return item;
}

void UITabBarItem::setTitle(const std::string& title) {
    willChangeValueForKey("title");
    title_ = title;
    didChangeValueForKey("title");
}

void UITabBarItem::setImage(UIImagePtr image) {
    willChangeValueForKey("image");
    image_ = std::move(image);
    didChangeValueForKey("image");
}

void UITabBarItem::setSelectedImage(UIImagePtr image) {
    willChangeValueForKey("selectedImage");
    selectedImage_ = std::move(image);
    didChangeValueForKey("selectedImage");
}

void UITabBarItem::setBadgeValue(std::optional<std::string> value) {
    willChangeValueForKey("badgeValue");
    badgeValue_ = std::move(value);
    didChangeValueForKey("badgeValue");
}
