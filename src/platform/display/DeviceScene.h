#pragma once
// What the device screen shows, back to front: the key window (with the
// controllers presented in it), the keyboard while a text input is first
// responder, the front action sheet, then the front alert. The scene answers
// the size of the interface, where things are in window points and which view
// a point reaches.
//
// The frame follows the interface: the screen's size turned the way the key
// window is (a window wider than tall on a portrait screen is drawn in
// landscape), read anew for every frame; without a key window, the way the
// status bar is. While an alert is up only its buttons take taps; else, while
// a sheet is up, only the sheet's.
//
// Main thread only.
#include <memory>
#include <optional>

#include "platform/display/DeviceOverlayLayout.h"
#include "platform/graphics/CGGeometry.h"

class UIView;
class UIWindow;

class DeviceScene {
public:
    static std::shared_ptr<UIWindow> keyWindow();
    // The screen's size in points, turned as the interface is: the size of a frame.
    static CGSize screenSize();
    // Whether the interface is drawn wider than tall.
    static bool isLandscape();

    // The alert shown on top (the newest visible one), laid out on the screen.
    static std::optional<DeviceAlertLayout> frontAlert();
    // The newest visible action sheet, laid out on the screen.
    static std::optional<DeviceSheetLayout> frontSheet();
    // The keyboard, while the key window's first responder is a text input
    // and the keyboard is up.
    static std::optional<DeviceKeyboardLayout> keyboard();

    // The frame of a view in its window's coordinates.
    static CGRect frameInWindow(const UIView& view);
    // The part of the view inside its window and above the keyboard (empty
    // when nothing is). Views do not clip their subviews yet; a clipping
    // ancestor will cut this down further.
    static CGRect visibleFrameInWindow(const UIView& view);
    // Whether the view and all its ancestors are shown (not hidden, not transparent).
    static bool isShown(const UIView& view);

    // The deepest view of the window under the point (window points) that takes
    // touches, or null: the views' own hit testing.
    static std::shared_ptr<UIView> hitTest(UIWindow& window, CGPoint point);
};
