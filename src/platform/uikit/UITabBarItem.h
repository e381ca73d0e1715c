#pragma once
// One item of a tab bar: a title, a tag and an optional badge text. Setting the
// title or the badge notifies key-value observers of "title" / "badgeValue".
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"

class UITabBarItem : public NSObject {
public:
    UITabBarItem() = default;
    UITabBarItem(std::string title, long tag) : title_(std::move(title)), tag_(tag) {}

    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // No badge is nullopt; an empty string shows an empty badge.
    const std::optional<std::string>& badgeValue() const { return badgeValue_; }
    void setBadgeValue(std::optional<std::string> value);

private:
    std::string title_;
    long tag_ = 0;
    bool enabled_ = true;
    std::optional<std::string> badgeValue_;
};
