#include "platform/display/DeviceScene.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIFirstResponder.h"
#include "platform/uikit/UIKeyInput.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"

namespace {
constexpr CGFloat kShownAlpha = 0.01;
}  // namespace

std::shared_ptr<UIWindow> DeviceScene::keyWindow() { return UIApplication::sharedApplication()->keyWindow(); }

bool DeviceScene::isLandscape() {
    if (auto window = keyWindow(); window && !window->isHidden()) {
        const CGSize bounds = window->bounds().size;
        if (bounds.width != bounds.height) return bounds.width > bounds.height;
    }
    return UIInterfaceOrientationIsLandscape(UIApplication::sharedApplication()->statusBarOrientation());
}

CGSize DeviceScene::screenSize() {
    CGSize size = UIScreen::mainScreen()->portraitBounds().size;
    const bool screenLandscape = size.width > size.height;
    if (isLandscape() != screenLandscape) std::swap(size.width, size.height);
    return size;
}

std::optional<DeviceAlertLayout> DeviceScene::frontAlert() {
    QV_ASSERT_MAIN_THREAD();
    auto alerts = UIAlertView::visibleAlerts();
    if (alerts.empty()) return std::nullopt;
    return DeviceLayoutAlert(alerts.back(), screenSize());
}

std::optional<DeviceSheetLayout> DeviceScene::frontSheet() {
    QV_ASSERT_MAIN_THREAD();
    auto sheets = UIActionSheet::visibleSheets();
    if (sheets.empty()) return std::nullopt;
    return DeviceLayoutSheet(sheets.back(), screenSize());
}

std::optional<DeviceKeyboardLayout> DeviceScene::keyboard() {
    QV_ASSERT_MAIN_THREAD();
    if (!UIKeyboard::isVisible()) return std::nullopt;
    auto responder = UIFirstResponder::current();
    if (!dynamic_cast<const UIKeyInput*>(responder.get())) return std::nullopt;
    // The height for the interface as it is now (it turns with the device).
    return DeviceLayoutKeyboard(screenSize(), UIFirstResponder::keyboardHeight());
}

CGRect DeviceScene::frameInWindow(const UIView& view) {
    if (dynamic_cast<const UIWindow*>(&view)) return view.bounds();
    return view.convertRectToView(view.bounds(), nullptr);
}

CGRect DeviceScene::visibleFrameInWindow(const UIView& view) {
    CGRect visible = frameInWindow(view);
    auto window = view.window();
    if (window) visible = CGRectIntersection(visible, window->bounds());
    // The keyboard spans the interface's width, so what it leaves is the part above it.
    if (auto keys = keyboard(); keys && CGRectGetMaxY(visible) > keys->frame.origin.y)
        visible.size.height = std::max<CGFloat>(0, keys->frame.origin.y - visible.origin.y);
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
