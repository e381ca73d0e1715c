#include "platform/uikit/UIAccessibility.h"

#include <mutex>

namespace {
std::mutex& mutex() {
    static auto* m = new std::mutex();
    return *m;
}
std::vector<UIAccessibilityPostedNotification>& posted() {
    static auto* list = new std::vector<UIAccessibilityPostedNotification>();
    return *list;
}
}  // namespace

void UIAccessibilityPostNotification(UIAccessibilityNotifications notification, Value argument) {
    std::lock_guard lock(mutex());
    posted().push_back({notification, std::move(argument)});
}

std::vector<UIAccessibilityPostedNotification> UIAccessibilityPostedNotifications() {
    std::lock_guard lock(mutex());
    return posted();
}

void UIAccessibilityResetPostedNotifications() {
    std::lock_guard lock(mutex());
    posted().clear();
}
