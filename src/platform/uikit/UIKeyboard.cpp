#include "platform/uikit/UIKeyboard.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UISystemVersion.h"

namespace {
struct KeyboardState {
    bool visible = false;
    CGFloat height = 0;
};
KeyboardState& state() {
    static KeyboardState s;
    return s;
}

// The keyboard's frame on screen (shown) or just off it (hidden).
CGRect frameFor(CGFloat h, bool onScreen) {
    CGRect screen = UIScreen::mainScreen()->portraitBounds();
    CGFloat w = screen.size.width, H = screen.size.height;
    auto o = UIApplication::sharedApplication()->statusBarOrientation();
    if (UIScreenBoundsFollowOrientation()) {
        if (UIInterfaceOrientationIsLandscape(o)) std::swap(w, H);
        return CGRectMake(0, onScreen ? H - h : H, w, h);
    }
    switch (o) {
    case UIInterfaceOrientationPortraitUpsideDown: return CGRectMake(0, onScreen ? 0 : -h, w, h);
    // Home button on the left: the interface's bottom is the portrait screen's right edge.
    case UIInterfaceOrientationLandscapeLeft: return CGRectMake(onScreen ? w - h : w, 0, h, H);
    case UIInterfaceOrientationLandscapeRight: return CGRectMake(onScreen ? 0 : -h, 0, h, H);
    default: return CGRectMake(0, onScreen ? H - h : H, w, h);
    }
}

void post(const char* will, const char* did, CGRect begin, CGRect end, double duration) {
    Value info{{UIKeyboardFrameBeginUserInfoKey, ValueWithCGRect(begin)},
               {UIKeyboardFrameEndUserInfoKey, ValueWithCGRect(end)},
               {UIKeyboardAnimationDurationUserInfoKey, Value(duration)},
               {UIKeyboardAnimationCurveUserInfoKey, Value(7L)}};
    NSNotificationCenter::defaultCenter()->postNotificationName(will, nullptr, info);
    std::string didName = did;
    auto timer = NSTimer::timerWithTimeInterval(
        duration, [didName, info](NSTimer&) { NSNotificationCenter::defaultCenter()->postNotificationName(didName, nullptr, info); },
        false);
    NSRunLoop::mainRunLoop()->addTimer(timer, NSRunLoopCommonModes);
}
}  // namespace

void UIKeyboard::show(CGFloat height, double duration) {
    auto& s = state();
    CGRect begin = s.visible ? frameFor(s.height, true) : frameFor(height, false);
    s.visible = true;
    s.height = height;
    post(UIKeyboardWillShowNotification, UIKeyboardDidShowNotification, begin, frameFor(height, true), duration);
}

void UIKeyboard::hide(double duration) {
    auto& s = state();
    if (!s.visible) return;
    s.visible = false;
    post(UIKeyboardWillHideNotification, UIKeyboardDidHideNotification, frameFor(s.height, true),
         frameFor(s.height, false), duration);
}

bool UIKeyboard::isVisible() { return state().visible; }

CGFloat UIKeyboard::visibleHeight() { return state().visible ? state().height : 0; }

CGRect UIKeyboard::frame() { return state().visible ? frameFor(state().height, true) : CGRectZero; }
