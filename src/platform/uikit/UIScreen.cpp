#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIScreen.h"

#include <utility>

#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UISystemVersion.h"

UIScreen::UIScreen() : bounds_(CGRectMake(0, 0, 320, 568)), scale_(2.0) {}

std::shared_ptr<UIScreen> UIScreen::mainScreen() {
    static ProcessLifetime<std::shared_ptr<UIScreen>> screen(std::make_shared<UIScreen>());
    return *screen;
}

CGRect UIScreen::portraitBounds() const {
    std::lock_guard lock(mutex_);
    return bounds_;
}

CGRect UIScreen::bounds() const {
    CGRect b = portraitBounds();
    if (UIScreenBoundsFollowOrientation() &&
        UIInterfaceOrientationIsLandscape(UIApplication::sharedApplication()->statusBarOrientation()))
        std::swap(b.size.width, b.size.height);
    return b;
}

CGFloat UIScreen::scale() const {
    std::lock_guard lock(mutex_);
    return scale_;
}

void UIScreen::setBounds(const CGRect& bounds) {
    willChangeValueForKey("bounds");
    {
        std::lock_guard lock(mutex_);
        bounds_ = bounds;
    }
    didChangeValueForKey("bounds");
}

void UIScreen::setScale(CGFloat scale) {
    willChangeValueForKey("scale");
    {
        std::lock_guard lock(mutex_);
        scale_ = scale;
    }
    didChangeValueForKey("scale");
}
