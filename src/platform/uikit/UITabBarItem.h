#pragma once
// One item of a tab bar: a title, an image (and one for the selected state), a
// tag and an optional badge text. Setting the title, the images or the badge
// notifies key-value observers of "title", "image", "selectedImage" or
// "badgeValue". The tab bar draws the images as templates: their shape in the
// bar's tint when selected, in grey otherwise.
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/UIImage.h"

class UITabBarItem : public NSObject {
public:
    UITabBarItem() = default;
    UITabBarItem(std::string title, long tag) : title_(std::move(title)), tag_(tag) {}
    // initWithTitle:image:tag:
    static std::shared_ptr<UITabBarItem> initWithTitle(std::string title, UIImagePtr image, long tag);

    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    const UIImagePtr& image() const { return image_; }
    void setImage(UIImagePtr image);
    // Null: the selected item shows `image`.
    const UIImagePtr& selectedImage() const { return selectedImage_; }
    void setSelectedImage(UIImagePtr image);

    // No badge is nullopt; an empty string shows an empty badge.
    const std::optional<std::string>& badgeValue() const { return badgeValue_; }
    void setBadgeValue(std::optional<std::string> value);

private:
    std::string title_;
    long tag_ = 0;
    bool enabled_ = true;
    UIImagePtr image_;
    UIImagePtr selectedImage_;
    std::optional<std::string> badgeValue_;
};
