#pragma once
// Where the device screen puts what it draws over the key window: the front
// alert, the front action sheet and the keyboard. None of them is a view in a
// window yet, so the screen lays them out itself, in interface points (the key
// window's coordinates; `interface` is the size of the drawn frame):
//
// - an alert: a 270-point box centred on the screen, title and message on top,
//   its buttons along the bottom, side by side for two, stacked otherwise;
// - an action sheet: rising from the bottom, at most 400 points wide with an
//   8-point margin; the title and every button but the cancel button in one
//   panel (in index order), the cancel button alone in a panel below it; the
//   title wraps onto as many lines as it needs (the system font of 13 points,
//   12 points in from the sides) and its part of the panel grows with them;
// - the keyboard: the full width of the interface at its bottom, with the
//   height the platform gives it (216/162 points on a phone in portrait and
//   landscape, 264/352 on a tablet); three rows of letter keys, delete at the
//   end of the third, then space and return.
//
// Pure geometry (text measured, nothing drawn): any thread.
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"

class UIActionSheet;
class UIAlertView;

// The action sheet's title: its font size and how far in from the panel's sides it wraps.
inline constexpr CGFloat kDeviceSheetTitleFontSize = 13;
inline constexpr CGFloat kDeviceSheetTitleInset = 12;

enum class DeviceButtonRole { Normal, Cancel, Destructive };

// A button of an alert or a sheet.
struct DeviceOverlayButton {
    long index = 0;
    std::string title;
    CGRect frame{};
    DeviceButtonRole role = DeviceButtonRole::Normal;
};

struct DeviceAlertLayout {
    std::shared_ptr<UIAlertView> alert;
    CGRect frame{};         // the box
    CGRect messageFrame{};  // title and message
    std::vector<DeviceOverlayButton> buttons;
};

struct DeviceSheetLayout {
    std::shared_ptr<UIActionSheet> sheet;
    CGRect frame{};       // both panels and the gap between them
    CGRect mainPanel{};   // the title and the buttons but the cancel button (empty when there are none)
    CGRect cancelPanel{};  // the cancel button (empty without one)
    CGRect titleFrame{};   // empty without a title; the title's lines are centred in it
    std::vector<DeviceOverlayButton> buttons;  // in index order
};

enum class DeviceKeyKind { Character, Space, Delete, Return };

struct DeviceKeyboardKey {
    DeviceKeyKind kind = DeviceKeyKind::Character;
    std::string label;  // what the key shows: the letter, "space", "delete", "return"
    CGRect frame{};     // the key cap
    CGRect cell{};      // the part of the keyboard whose touches the key takes (the cap and half the gaps)
};

struct DeviceKeyboardLayout {
    CGRect frame{};
    std::vector<DeviceKeyboardKey> keys;
    // The key whose cell holds the point, or null.
    const DeviceKeyboardKey* keyAt(CGPoint point) const;
};

DeviceAlertLayout DeviceLayoutAlert(std::shared_ptr<UIAlertView> alert, CGSize interface);
DeviceSheetLayout DeviceLayoutSheet(std::shared_ptr<UIActionSheet> sheet, CGSize interface);
DeviceKeyboardLayout DeviceLayoutKeyboard(CGSize interface, CGFloat height);
