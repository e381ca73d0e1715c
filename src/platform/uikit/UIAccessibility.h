#pragma once
// Accessibility notifications, recorded (no screen reader runs here). Any thread.
#include <cstdint>
#include <vector>

#include "platform/foundation/Value.h"

using UIAccessibilityNotifications = std::uint32_t;
inline constexpr UIAccessibilityNotifications UIAccessibilityScreenChangedNotification = 1000;
inline constexpr UIAccessibilityNotifications UIAccessibilityLayoutChangedNotification = 1001;
inline constexpr UIAccessibilityNotifications UIAccessibilityAnnouncementNotification = 1008;
inline constexpr UIAccessibilityNotifications UIAccessibilityPageScrolledNotification = 1009;

struct UIAccessibilityPostedNotification {
    UIAccessibilityNotifications notification;
    Value argument;  // the announced text, the element to focus, or null
};

void UIAccessibilityPostNotification(UIAccessibilityNotifications notification, Value argument = {});
std::vector<UIAccessibilityPostedNotification> UIAccessibilityPostedNotifications();
void UIAccessibilityResetPostedNotifications();
inline bool UIAccessibilityIsVoiceOverRunning() { return false; }
