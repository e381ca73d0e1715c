#pragma once
// Each window's first responder, and the keyboard that follows it.
//
// A window has at most one first responder (held weakly). A view asked to
// become first responder before it is in a window is remembered and becomes
// the first responder of the window it enters (asking its should... hook then);
// a first responder that leaves its window resigns. When a key input
// (UIKeyInput) becomes first responder the keyboard stand-in shows
// (UIKeyboardWillShow at once, did-show after the duration) with the height of
// the device and interface orientation: 216 points in portrait and 162 in
// landscape on a phone, 264 and 352 on a tablet; when the last key input
// resigns with no other taking its place the keyboard hides.
//
// Main thread only.
#include <memory>

#include "platform/graphics/CGGeometry.h"

class UIResponder;
class UIView;
class UIWindow;

class UIFirstResponder {
public:
    static std::shared_ptr<UIResponder> of(const UIWindow& window);
    // The key window's first responder.
    static std::shared_ptr<UIResponder> current();
    // The keyboard height for the device and the interface orientation.
    static CGFloat keyboardHeight();
    static constexpr double kKeyboardDuration = 0.25;

    // UIView calls this after a view (and its subtree) moved to another window.
    static void viewMovedToWindow(UIView& view, const std::shared_ptr<UIWindow>& window);

    // UIResponder's becomeFirstResponder, resignFirstResponder and isFirstResponder.
    static bool become(UIResponder& responder);
    static bool resign(UIResponder& responder);
    static bool isFirst(const UIResponder& responder);
};
