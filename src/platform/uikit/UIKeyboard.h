#pragma once
// A stand-in for the on-screen keyboard. show() posts
// UIKeyboardWillShowNotification at once and UIKeyboardDidShowNotification
// after the animation duration of Clock time on the main run loop; hide() the
// same with the hide notifications. The user info holds the begin and end
// frames (screen coordinates, as text: see CGRectValue), the duration and the
// curve. Frames sit at the bottom of the interface: in the oriented screen from
// system 8.0 on, in the portrait screen's fixed coordinates before.
//
// Main thread only.
#include "platform/graphics/CGGeometry.h"

inline constexpr const char* UIKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* UIKeyboardDidShowNotification = "UIKeyboardDidShowNotification";
inline constexpr const char* UIKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* UIKeyboardDidHideNotification = "UIKeyboardDidHideNotification";
inline constexpr const char* UIKeyboardFrameBeginUserInfoKey = "UIKeyboardFrameBeginUserInfoKey";
inline constexpr const char* UIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* UIKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";
inline constexpr const char* UIKeyboardAnimationCurveUserInfoKey = "UIKeyboardAnimationCurveUserInfoKey";

class UIKeyboard {
public:
    // Shows the keyboard with the height (in the interface's orientation).
    static void show(CGFloat height = 216, double duration = 0.25);
    static void hide(double duration = 0.25);
    static bool isVisible();
    // The keyboard's height on screen, 0 when hidden.
    static CGFloat visibleHeight();
    // The frame it covers (screen coordinates), zero when hidden.
    static CGRect frame();
};
