#pragma once
// What the device screen shows, back to front: the key window (with the
// controllers presented in it), then the front alert. The scene answers where
// things are in window points and which view a point reaches.
//
// Alerts are not views in a window yet: the screen lays the front alert out
// itself (a box centred on the screen, its buttons along the bottom, side by
// side for two, stacked otherwise) and draws it; while one is up only its
// buttons take taps.
//
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"

class UIAlertView;
class UIView;
class UIWindow;

struct DeviceAlertButton {
    long index = 0;
    std::string title;
    CGRect frame{};  // in screen points
};

struct DeviceAlertLayout {
    std::shared_ptr<UIAlertView> alert;
    CGRect frame{};        // the box
    CGRect messageFrame{};  // title and message
    std::vector<DeviceAlertButton> buttons;
};

class DeviceScene {
public:
    static std::shared_ptr<UIWindow> keyWindow();
    // The screen's size in points, in the interface's orientation (any thread).
    static CGSize screenSize();
    // The alert shown on top (the newest visible one), laid out on the screen.
    static std::optional<DeviceAlertLayout> frontAlert();

    // The frame of a view in its window's coordinates.
    static CGRect frameInWindow(const UIView& view);
    // The part of the view inside its window (empty when nothing is). Views do not
    // clip their subviews yet; a clipping ancestor will cut this down further.
    static CGRect visibleFrameInWindow(const UIView& view);
    // Whether the view and all its ancestors are shown (not hidden, not transparent).
    static bool isShown(const UIView& view);

    // The deepest view of the window under the point (window points) that takes
    // touches, or null: the views' own hit testing.
    static std::shared_ptr<UIView> hitTest(UIWindow& window, CGPoint point);
};
