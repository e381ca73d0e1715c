#include "ui/statushud/STProgressHUD.h"

#include "platform/foundation/NSLog.h"
#include "platform/foundation/LifecycleMove.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIAccessibility.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

#include <algorithm>
#include <cassert>
#include <mutex>

namespace {
// The entrance and exit take this long.
constexpr double kFadeDuration = 0.15;
// Entrance: allow user interaction, begin from the current state. Exit: lay out
// subviews, allow user interaction.
constexpr UIViewAnimationOptions kAppearOptions = 6;
constexpr UIViewAnimationOptions kDisappearOptions = 3;

void post(const char* name, const Value& userInfo) {
    NSNotificationCenter::defaultCenter()->postNotificationName(name, nullptr, userInfo);
}

const char* phaseName(STProgressHUD::Phase phase) {
    switch (phase) {
    case STProgressHUD::Phase::Hidden: return "hidden";
    case STProgressHUD::Phase::Appearing: return "appearing";
    case STProgressHUD::Phase::Visible: return "visible";
    case STProgressHUD::Phase::Dismissing: return "dismissing";
    }
    return "?";
}
}  // namespace

STProgressHUD::STProgressHUD(CGRect frame) : UIView(frame) {
    setUserInteractionEnabled(false);
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setOpaque(false);
    setAlpha(0);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
}

STProgressHUD::~STProgressHUD() {
    if (fadeOutTimer_) fadeOutTimer_->invalidate();
}

std::shared_ptr<STProgressHUD> STProgressHUD::sharedView() {
    static std::once_flag once;
    static ProcessLifetime<std::shared_ptr<STProgressHUD>> shared;
    std::call_once(once, [] { *shared = std::make_shared<STProgressHUD>(UIScreen::mainScreen()->bounds()); });
    return *shared;
}

// ---- Class operations ----

void STProgressHUD::show() { showProgress(-1, std::string(), STProgressHUDMaskTypeNone); }
void STProgressHUD::showWithStatus(const std::string& status) { showProgress(-1, status, STProgressHUDMaskTypeNone); }
void STProgressHUD::showWithMaskType(STProgressHUDMaskType maskType) { showProgress(-1, std::string(), maskType); }
void STProgressHUD::showWithStatus(const std::string& status, STProgressHUDMaskType maskType) {
    showProgress(-1, status, maskType);
}
void STProgressHUD::showProgress(float progress) { showProgress(progress, std::string(), STProgressHUDMaskTypeNone); }
void STProgressHUD::showProgress(float progress, const std::string& status) {
    showProgress(progress, status, STProgressHUDMaskTypeNone);
}
void STProgressHUD::showProgress(float progress, const std::string& status, STProgressHUDMaskType maskType) {
    sharedView()->instanceShowProgress(progress, status, maskType);
}
void STProgressHUD::showSuccessWithStatus(const std::string& status) {
    showImage(sharedView()->hudSuccessImage(), status);
}
void STProgressHUD::showErrorWithStatus(const std::string& status) { showImage(sharedView()->hudErrorImage(), status); }
void STProgressHUD::showImage(const UIImagePtr& image, const std::string& status) {
    sharedView()->showImage(image, status, displayDurationForString(status));
}
void STProgressHUD::setStatus(const std::string& status) { sharedView()->instanceSetStatus(status); }
void STProgressHUD::setOffsetFromCenter(UIOffset offset) { sharedView()->offsetFromCenter_ = offset; }
void STProgressHUD::resetOffsetFromCenter() { setOffsetFromCenter(UIOffsetZero); }

void STProgressHUD::popActivity() {
    auto hud = sharedView();
    // The count never wraps below 0: a pop without a matching show only dismisses.
    if (hud->activityCount_ > 0) --hud->activityCount_;
    if (hud->activityCount_ == 0) hud->instanceDismiss();
}

void STProgressHUD::dismiss() {
    if (isVisible()) sharedView()->instanceDismiss();
}

bool STProgressHUD::isVisible() { return sharedView()->alpha() == 1; }

double STProgressHUD::displayDurationForString(const std::string& string) {
    return std::min(0.3 + 0.06 * static_cast<double>(utf16Length(string)), 5.0);
}

// ---- Lifecycle ----

void STProgressHUD::moveTo(Phase next) {
    bool allowed = false;
    switch (phase_) {
    case Phase::Hidden: allowed = next == Phase::Appearing; break;
    case Phase::Appearing: allowed = next == Phase::Visible || next == Phase::Dismissing; break;
    case Phase::Visible: allowed = next == Phase::Dismissing; break;
    case Phase::Dismissing: allowed = next == Phase::Appearing || next == Phase::Hidden; break;
    }
    if (checkLifecycleMove(allowed, true, "STProgressHUD", {}, phaseName(phase_), phaseName(next),
                           "status overlay lifecycle moves only along its transitions"))
        phase_ = next;
}

void STProgressHUD::setFadeOutTimer(std::shared_ptr<NSTimer> timer) {
    if (fadeOutTimer_) fadeOutTimer_->invalidate();
    fadeOutTimer_ = std::move(timer);
}

void STProgressHUD::attachToWindow() {
    auto overlay = overlayView();
    if (!overlay->superview()) {
        auto windows = UIApplication::sharedApplication()->windows();
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if ((*it)->windowLevel() == UIWindowLevelNormal) {
                (*it)->addSubview(overlay);
                break;
            }
        }
    }
    if (!superview()) {
        setFrame(overlay->bounds());
        overlay->addSubview(self<STProgressHUD>());
    }
}

void STProgressHUD::applyAccessibility(const std::string& status) {
    if (maskType_ == STProgressHUDMaskTypeNone) {
        overlayView()->setUserInteractionEnabled(false);
        hudView()->setIsAccessibilityElement(true);
        hudView()->setAccessibilityLabel(status);
    } else {
        overlayView()->setUserInteractionEnabled(true);
        setIsAccessibilityElement(true);
        setAccessibilityLabel(status);
    }
}

void STProgressHUD::instanceShowProgress(float progress, const std::string& status, STProgressHUDMaskType maskType) {
    QV_ASSERT_MAIN_THREAD();
    attachToWindow();

    setFadeOutTimer(nullptr);
    imageView()->setHidden(true);
    maskType_ = maskType;
    progress_ = progress;
    stringLabel()->setText(status);
    updatePosition();

    if (progress >= 0) {
        imageView()->setImage(nullptr);
        imageView()->setHidden(false);
        spinnerView()->stopAnimating();
        ringLayer()->setStrokeEnd(progress);
        if (progress == 0) ++activityCount_;
    } else {
        ++activityCount_;
        cancelRingLayerAnimation();
        spinnerView()->startAnimating();
    }

    applyAccessibility(status);
    overlayView()->setHidden(false);
    positionHUD(nullptr);

    // A show while visible only updates the content; one while hidden or on
    // its way out brings the overlay (back) in.
    if (phase_ == Phase::Hidden || phase_ == Phase::Dismissing) beginAppearing();
    setNeedsDisplay();
}

void STProgressHUD::beginAppearing() {
    post(STProgressHUDWillAppearNotification, notificationUserInfo());
    registerNotifications();
    auto hud = hudView();
    hud->setTransform(CGAffineTransformScale(hud->transform(), 1.3, 1.3));
    bool clear = isClear();
    if (clear) {
        setAlpha(1);
        hud->setAlpha(0);
    }
    moveTo(Phase::Appearing);
    std::weak_ptr<STProgressHUD> weak = weakSelf<STProgressHUD>();
    UIView::animateWithDuration(
        kFadeDuration, 0, kAppearOptions,
        [this, hud, clear] {
            hud->setTransform(CGAffineTransformScale(hud->transform(), 1 / 1.3, 1 / 1.3));
            if (clear) hud->setAlpha(1);
            else setAlpha(1);
        },
        [weak](bool) {
            auto self = weak.lock();
            // Only the entrance still under way ends in view: a dismissal in the
            // meantime has its own notifications.
            if (!self || self->phase_ != Phase::Appearing) return;
            self->moveTo(Phase::Visible);
            post(STProgressHUDDidAppearNotification, self->notificationUserInfo());
            UIAccessibilityPostNotification(UIAccessibilityScreenChangedNotification);
        });
}

void STProgressHUD::showImage(const UIImagePtr& image, const std::string& status, double duration) {
    QV_ASSERT_MAIN_THREAD();
    progress_ = -1;
    cancelRingLayerAnimation();
    // Coming in counts one activity, as a show does; the entrance already
    // carries the image's text.
    if (phase_ == Phase::Hidden || phase_ == Phase::Dismissing)
        instanceShowProgress(-1, status, STProgressHUDMaskTypeNone);

    imageView()->setImage(image);
    imageView()->setHidden(false);
    stringLabel()->setText(status);
    updatePosition();
    spinnerView()->stopAnimating();
    applyAccessibility(status);
    UIAccessibilityPostNotification(UIAccessibilityScreenChangedNotification);
    UIAccessibilityPostNotification(UIAccessibilityAnnouncementNotification, Value(status));

    std::weak_ptr<STProgressHUD> weak = weakSelf<STProgressHUD>();
    auto timer = NSTimer::timerWithTimeInterval(
        duration,
        [weak](NSTimer&) {
            if (auto self = weak.lock()) self->instanceDismiss();
        },
        false);
    setFadeOutTimer(timer);
    NSRunLoop::mainRunLoop()->addTimer(timer, NSRunLoopCommonModes);
}

void STProgressHUD::instanceSetStatus(const std::string& status) {
    QV_ASSERT_MAIN_THREAD();
    if (phase_ == Phase::Hidden) return;  // no box to change
    stringLabel()->setText(status);
    updatePosition();
}

void STProgressHUD::instanceDismiss() {
    QV_ASSERT_MAIN_THREAD();
    // Whatever ends the showing, the timed dismissal is no longer due.
    setFadeOutTimer(nullptr);
    if (phase_ == Phase::Hidden || phase_ == Phase::Dismissing) return;

    Value userInfo = notificationUserInfo();
    post(STProgressHUDWillDisappearNotification, userInfo);
    activityCount_ = 0;
    moveTo(Phase::Dismissing);

    auto hud = hudView();
    bool clear = isClear();
    std::weak_ptr<STProgressHUD> weak = weakSelf<STProgressHUD>();
    UIView::animateWithDuration(
        kFadeDuration, 0, kDisappearOptions,
        [this, hud, clear] {
            hud->setTransform(CGAffineTransformScale(hud->transform(), 0.8, 0.8));
            if (clear) hud->setAlpha(0);
            else setAlpha(0);
        },
        [weak, userInfo](bool) {
            auto self = weak.lock();
            // A show during the exit brought the overlay back: nothing to tear down.
            if (self && self->phase_ == Phase::Dismissing) self->finishDismissal(userInfo);
        });
}

void STProgressHUD::finishDismissal(const Value& userInfo) {
    setAlpha(0);
    if (hudView_) hudView_->setAlpha(0);
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    cancelRingLayerAnimation();
    if (hudView_) {
        hudView_->removeFromSuperview();
        hudView_.reset();
    }
    removeFromSuperview();
    if (overlayView_) {
        overlayView_->removeFromSuperview();
        overlayView_.reset();
    }
    moveTo(Phase::Hidden);
    UIAccessibilityPostNotification(UIAccessibilityScreenChangedNotification);
    post(STProgressHUDDidDisappearNotification, userInfo);
    if (auto key = UIApplication::sharedApplication()->keyWindow())
        if (auto root = key->rootViewController()) root->setNeedsStatusBarAppearanceUpdate();
}

Value STProgressHUD::notificationUserInfo() const {
    if (!stringLabel_ || stringLabel_->text().empty()) return Value();
    return Value{{STProgressHUDStatusUserInfoKey, Value(stringLabel_->text())}};
}

void STProgressHUD::overlayViewDidReceiveTouchEvent(UIEvent* event) {
    std::shared_ptr<NSObject> object = event ? event->weak_from_this().lock() : nullptr;
    NSNotificationCenter::defaultCenter()->postNotificationName(STProgressHUDDidReceiveTouchEventNotification, object);
}
