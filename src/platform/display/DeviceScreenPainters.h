#pragma once
// How the device screen draws each part of a frame. Every painter draws into a
// context whose user space is the interface's: points, origin at the top left,
// y down, already scaled to the screen's pixels; `interface` is the frame's
// size in points.
//
// The defaults draw the window's layer tree as the views render it; the
// keyboard as a grey board of white key caps with their letters; the front
// action sheet over a dimmed screen as white panels (the cancel button apart
// and bold, a destructive button red); the front alert as a dimmed screen with
// a box, its title, message and buttons; the status bar (20 points, no clock,
// so frames stay comparable) as signal dots and a battery, dark or light after
// the application's status-bar style.
#include <functional>

#include "platform/display/DeviceOverlayLayout.h"
#include "platform/graphics/CGContext.h"

class UIWindow;

inline constexpr CGFloat kDeviceStatusBarHeight = 20;

struct DeviceScreenPainters {
    std::function<void(UIWindow& window, const CGContextRef& context)> window;
    std::function<void(const DeviceKeyboardLayout& keyboard, const CGContextRef& context, CGSize interface)> keyboard;
    std::function<void(const DeviceSheetLayout& sheet, const CGContextRef& context, CGSize interface)> sheet;
    std::function<void(const DeviceAlertLayout& alert, const CGContextRef& context, CGSize interface)> alert;
    std::function<void(const CGContextRef& context, CGSize interface)> statusBar;

    static DeviceScreenPainters defaults();
};

// The default painters, one by one.
void DevicePaintViewTree(UIWindow& window, const CGContextRef& context);
void DevicePaintKeyboard(const DeviceKeyboardLayout& keyboard, const CGContextRef& context, CGSize interface);
void DevicePaintSheet(const DeviceSheetLayout& sheet, const CGContextRef& context, CGSize interface);
void DevicePaintAlert(const DeviceAlertLayout& alert, const CGContextRef& context, CGSize interface);
void DevicePaintStatusBar(const CGContextRef& context, CGSize interface);

// The colours the overlays use, for tests that probe them (0-1 components).
struct DeviceOverlayColors {
    static constexpr double dimAlpha = 0.4;           // black over the screen behind an alert or sheet
    static constexpr double panel = 0.97;             // grey of alert boxes and sheet panels
    static constexpr double keyboard[3] = {0.82, 0.835, 0.86};
    static constexpr double keyCap = 1;               // white
    static constexpr double destructive[3] = {1, 0.231, 0.188};
    static constexpr double tint[3] = {0, 0.478, 1};
};
