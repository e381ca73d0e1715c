#pragma once
// How the device screen draws each part of a frame. Every painter draws into a
// context whose user space is the screen's: points, origin at the top left, y
// down, already scaled to the screen's pixels.
//
// The defaults draw the window's layer tree as the views render it; the front
// alert as a dimmed screen with a box, its title, message and buttons; the status bar (20 points, no clock, so frames
// stay comparable) as signal dots and a battery, dark or light after the
// application's status-bar style.
#include <functional>

#include "platform/display/DeviceScene.h"
#include "platform/graphics/CGContext.h"

class UIWindow;

inline constexpr CGFloat kDeviceStatusBarHeight = 20;

struct DeviceScreenPainters {
    std::function<void(UIWindow& window, const CGContextRef& context)> window;
    std::function<void(const DeviceAlertLayout& alert, const CGContextRef& context, CGSize screen)> alert;
    std::function<void(const CGContextRef& context, CGSize screen)> statusBar;

    static DeviceScreenPainters defaults();
};

// The default painters, one by one.
void DevicePaintViewTree(UIWindow& window, const CGContextRef& context);
void DevicePaintAlert(const DeviceAlertLayout& alert, const CGContextRef& context, CGSize screen);
void DevicePaintStatusBar(const CGContextRef& context, CGSize screen);
