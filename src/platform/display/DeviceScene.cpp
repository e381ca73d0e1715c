#include "platform/display/DeviceScene.h"

#include <algorithm>
#include <cassert>

#include "platform/foundation/NSThread.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UIWindow.h"

namespace {

constexpr CGFloat kAlertWidth = 270;
constexpr CGFloat kAlertButtonHeight = 44;
constexpr CGFloat kAlertTitleHeight = 44;
constexpr CGFloat kAlertMessageLineHeight = 18;
constexpr std::size_t kAlertCharactersPerLine = 34;
constexpr std::size_t kAlertMaxMessageLines = 12;
constexpr CGFloat kShownAlpha = 0.01;


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

}  // namespace

std::shared_ptr<UIWindow> DeviceScene::keyWindow() { return UIApplication::sharedApplication()->keyWindow(); }

CGSize DeviceScene::screenSize() {
    // The screen as the interface stands on it: landscape once the interface
    // turned, whatever the system version says of the screen's own bounds.
    const auto orientation = UIApplication::sharedApplication()->statusBarOrientation();
    return UIInterfaceRotation::screenBoundsForInterfaceOrientation(orientation).size;
}

std::optional<DeviceAlertLayout> DeviceScene::frontAlert() {
    assert(NSThread::isMainThread());
    auto alerts = UIAlertView::visibleAlerts();
    if (alerts.empty()) return std::nullopt;
    DeviceAlertLayout layout;
    layout.alert = alerts.back();
    const CGSize screen = screenSize();
    const long count = layout.alert->numberOfButtons();
    const bool sideBySide = count == 2;
    const CGFloat buttonsHeight = kAlertButtonHeight * static_cast<CGFloat>(sideBySide ? 1 : std::max(count, 0L));
    const CGFloat textHeight =
        kAlertTitleHeight + kAlertMessageLineHeight * static_cast<CGFloat>(messageLines(layout.alert->message()));
    const CGFloat height = textHeight + buttonsHeight;
    layout.frame = CGRectMake(std::round((screen.width - kAlertWidth) / 2), std::round((screen.height - height) / 2),
                              kAlertWidth, height);
    layout.messageFrame = CGRectMake(layout.frame.origin.x, layout.frame.origin.y, kAlertWidth, textHeight);
    const CGFloat top = layout.frame.origin.y + textHeight;
    for (long i = 0; i < count; ++i) {
        DeviceAlertButton button;
        button.index = i;
        button.title = layout.alert->buttonTitleAtIndex(i);
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

CGRect DeviceScene::frameInWindow(const UIView& view) {
    if (dynamic_cast<const UIWindow*>(&view)) return view.bounds();
    return view.convertRectToView(view.bounds(), nullptr);
}

CGRect DeviceScene::visibleFrameInWindow(const UIView& view) {
    CGRect visible = frameInWindow(view);
    auto window = view.window();
    if (window) visible = CGRectIntersection(visible, window->bounds());
    return CGRectIsEmpty(visible) ? CGRectZero : visible;
}

bool DeviceScene::isShown(const UIView& view) {
    for (const UIView* v = &view; v; v = v->superview().get())
        if (v->isHidden() || v->alpha() < kShownAlpha) return false;
    return true;
}

std::shared_ptr<UIView> DeviceScene::hitTest(UIWindow& window, CGPoint point) {
    return window.hitTest(point, nullptr);
}
