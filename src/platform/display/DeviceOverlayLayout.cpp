#include "platform/display/DeviceOverlayLayout.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/NSStringDrawing.h"

namespace {

constexpr CGFloat kAlertWidth = 270;
constexpr CGFloat kAlertButtonHeight = 44;
constexpr CGFloat kAlertTitleHeight = 44;
constexpr CGFloat kAlertMessageLineHeight = 18;
constexpr std::size_t kAlertCharactersPerLine = 34;
constexpr std::size_t kAlertMaxMessageLines = 12;

constexpr CGFloat kSheetMargin = 8;
constexpr CGFloat kSheetMaxWidth = 400;
constexpr CGFloat kSheetButtonHeight = 44;
constexpr CGFloat kSheetTitleMinHeight = 44;
constexpr CGFloat kSheetTitlePadding = 12;  // above and below a title of several lines

std::size_t messageLines(const std::string& message) {
    if (message.empty()) return 0;
    std::size_t lines = 0;
    std::size_t start = 0;
    while (start <= message.size()) {
        auto end = message.find('\n', start);
        if (end == std::string::npos) end = message.size();
        lines += std::max<std::size_t>(1, (end - start + kAlertCharactersPerLine - 1) / kAlertCharactersPerLine);
        start = end + 1;
    }
    return std::min(lines, kAlertMaxMessageLines);
}

// The height of the title's part of the panel: its lines wrapped to the panel's
// width less the insets, padded, never below one button's height.
CGFloat sheetTitleHeight(const std::string& title, CGFloat width) {
    const NSAttributes style(UIFont::systemFontOfSize(kDeviceSheetTitleFontSize));
    const CGFloat text = boundingRectWithSize(title, CGSizeMake(std::max<CGFloat>(1, width - 2 * kDeviceSheetTitleInset), 0),
                                              NSStringDrawingUsesLineFragmentOrigin, style)
                             .size.height;
    return std::max(kSheetTitleMinHeight, std::ceil(text) + 2 * kSheetTitlePadding);
}

DeviceButtonRole roleOf(long index, long cancel, long destructive) {
    if (index == cancel) return DeviceButtonRole::Cancel;
    if (index == destructive) return DeviceButtonRole::Destructive;
    return DeviceButtonRole::Normal;
}

}  // namespace

DeviceAlertLayout DeviceLayoutAlert(std::shared_ptr<UIAlertView> alert, CGSize interface) {
    DeviceAlertLayout layout;
    layout.alert = std::move(alert);
    const long count = layout.alert->numberOfButtons();
    const bool sideBySide = count == 2;
    const CGFloat buttonsHeight = kAlertButtonHeight * static_cast<CGFloat>(sideBySide ? 1 : std::max(count, 0L));
    const CGFloat textHeight =
        kAlertTitleHeight + kAlertMessageLineHeight * static_cast<CGFloat>(messageLines(layout.alert->message()));
    const CGFloat height = textHeight + buttonsHeight;
    layout.frame = CGRectMake(std::round((interface.width - kAlertWidth) / 2),
                              std::round((interface.height - height) / 2), kAlertWidth, height);
    layout.messageFrame = CGRectMake(layout.frame.origin.x, layout.frame.origin.y, kAlertWidth, textHeight);
    const CGFloat top = layout.frame.origin.y + textHeight;
    for (long i = 0; i < count; ++i) {
        DeviceOverlayButton button;
        button.index = i;
        button.title = layout.alert->buttonTitleAtIndex(i);
        button.role = roleOf(i, layout.alert->cancelButtonIndex(), -1);
        if (sideBySide)
            button.frame = CGRectMake(layout.frame.origin.x + kAlertWidth / 2 * static_cast<CGFloat>(i), top,
                                      kAlertWidth / 2, kAlertButtonHeight);
        else
            button.frame = CGRectMake(layout.frame.origin.x, top + kAlertButtonHeight * static_cast<CGFloat>(i),
                                      kAlertWidth, kAlertButtonHeight);
        layout.buttons.push_back(std::move(button));
    }
    return layout;
}

DeviceSheetLayout DeviceLayoutSheet(std::shared_ptr<UIActionSheet> sheet, CGSize interface) {
    DeviceSheetLayout layout;
    layout.sheet = std::move(sheet);
    const UIActionSheet& s = *layout.sheet;
    const long count = s.numberOfButtons();
    const long cancel = s.cancelButtonIndex();
    const bool hasCancel = cancel >= 0 && cancel < count;
    const long others = count - (hasCancel ? 1 : 0);
    const bool hasTitle = !s.title().empty();

    const CGFloat width = std::min(kSheetMaxWidth, std::max<CGFloat>(0, interface.width - 2 * kSheetMargin));
    const CGFloat x = std::round((interface.width - width) / 2);
    const CGFloat titleHeight = hasTitle ? sheetTitleHeight(s.title(), width) : 0;
    const CGFloat mainHeight = titleHeight + kSheetButtonHeight * static_cast<CGFloat>(others);
    const CGFloat cancelHeight = hasCancel ? kSheetButtonHeight : 0;
    const CGFloat gap = mainHeight > 0 && hasCancel ? kSheetMargin : 0;
    const CGFloat height = mainHeight + gap + cancelHeight;
    const CGFloat top = interface.height - kSheetMargin - height;
    layout.frame = CGRectMake(x, top, width, height);
    if (mainHeight > 0) layout.mainPanel = CGRectMake(x, top, width, mainHeight);
    if (hasCancel) layout.cancelPanel = CGRectMake(x, top + mainHeight + gap, width, cancelHeight);
    if (hasTitle) layout.titleFrame = CGRectMake(x, top, width, titleHeight);

    CGFloat y = top + titleHeight;
    for (long i = 0; i < count; ++i) {
        DeviceOverlayButton button;
        button.index = i;
        button.title = s.buttonTitleAtIndex(i);
        button.role = roleOf(i, cancel, s.destructiveButtonIndex());
        if (button.role == DeviceButtonRole::Cancel) {
            button.frame = layout.cancelPanel;
        } else {
            button.frame = CGRectMake(x, y, width, kSheetButtonHeight);
            y += kSheetButtonHeight;
        }
        layout.buttons.push_back(std::move(button));
    }
    return layout;
}

namespace {

constexpr const char* kLetterRows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
constexpr CGFloat kKeyGapX = 6;
constexpr CGFloat kKeyGapY = 10;

void addKey(DeviceKeyboardLayout& layout, DeviceKeyKind kind, std::string label, CGRect cell) {
    DeviceKeyboardKey key;
    key.kind = kind;
    key.label = std::move(label);
    key.cell = cell;
    key.frame = CGRectInset(cell, kKeyGapX / 2, kKeyGapY / 2);
    layout.keys.push_back(std::move(key));
}

}  // namespace

DeviceKeyboardLayout DeviceLayoutKeyboard(CGSize interface, CGFloat height) {
    DeviceKeyboardLayout layout;
    layout.frame = CGRectMake(0, interface.height - height, interface.width, height);
    // Four rows; keys a tenth of the width wide (the second row centred, the
    // third leaving room on the left as the shift key would).
    const CGFloat keyWidth = interface.width / 10;
    const CGFloat rowHeight = height / 4;
    const CGFloat top = layout.frame.origin.y;
    const CGFloat rowStart[] = {0, keyWidth / 2, keyWidth * 1.5};
    for (int row = 0; row < 3; ++row) {
        const std::string letters = kLetterRows[row];
        const CGFloat y = top + rowHeight * static_cast<CGFloat>(row);
        for (std::size_t i = 0; i < letters.size(); ++i)
            addKey(layout, DeviceKeyKind::Character, letters.substr(i, 1),
                   CGRectMake(rowStart[row] + keyWidth * static_cast<CGFloat>(i), y, keyWidth, rowHeight));
    }
    const CGFloat third = top + rowHeight * 2;
    addKey(layout, DeviceKeyKind::Delete, "delete",
           CGRectMake(interface.width - keyWidth * 1.5, third, keyWidth * 1.5, rowHeight));
    const CGFloat last = top + rowHeight * 3;
    addKey(layout, DeviceKeyKind::Space, "space", CGRectMake(0, last, keyWidth * 7.5, rowHeight));
    addKey(layout, DeviceKeyKind::Return, "return",
           CGRectMake(keyWidth * 7.5, last, interface.width - keyWidth * 7.5, rowHeight));
    return layout;
}

const DeviceKeyboardKey* DeviceKeyboardLayout::keyAt(CGPoint point) const {
    for (const auto& key : keys)
        if (CGRectContainsPoint(key.cell, point)) return &key;
    return nullptr;
}
