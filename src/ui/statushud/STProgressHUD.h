#pragma once
// The process-wide status overlay: a small translucent box near the middle of
// the screen with a spinner, a progress ring or an image (success, error or any
// other) above a status text, optionally masking the rest of the screen.
//
// Call order: everything goes through the class operations (show...,
// popActivity, dismiss, setStatus), which work on `sharedView`, made once on
// first use and kept for the life of the process. A show adds the overlay
// control to the front-most window of the normal level, fades the box in over
// 0.15 s and posts STProgressHUDWillAppearNotification, then
// STProgressHUDDidAppearNotification; a dismissal fades it out over 0.15 s
// between STProgressHUDWillDisappearNotification and
// STProgressHUDDidDisappearNotification, then discards the box and the control.
// Each of the four carries the status text under
// STProgressHUDStatusUserInfoKey (null user info without a text). An image
// shown with showImage/showSuccess/showError dismisses itself after
// displayDurationForString of its text.
//
// The lifecycle is one value (hidden, appearing, visible, dismissing) moved by
// one transition function: a dismissal cancels the pending timed dismissal and
// runs once, a show during a dismissal brings the overlay back, and each
// showing posts each notification at most once.
//
// While shown, the box follows the keyboard notifications and the status-bar
// orientation. On systems whose screen bounds follow the orientation (see
// UISystemVersion.h) the bounds are taken as they are and the box is not
// rotated; before, the portrait bounds are swapped and the box turned.
//
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/quartzcore/CAShapeLayer.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIOffset.h"
#include "platform/uikit/UIToolbar.h"
#include "platform/uikit/UIView.h"

class NSNotification;

using STProgressHUDMaskType = unsigned long;
inline constexpr STProgressHUDMaskType STProgressHUDMaskTypeNone = 1;      // touches pass through
inline constexpr STProgressHUDMaskType STProgressHUDMaskTypeClear = 2;     // touches blocked
inline constexpr STProgressHUDMaskType STProgressHUDMaskTypeBlack = 3;     // blocked, black at alpha 0.5 behind
inline constexpr STProgressHUDMaskType STProgressHUDMaskTypeGradient = 4;  // blocked, radial gradient behind

inline constexpr const char* STProgressHUDDidReceiveTouchEventNotification =
    "STProgressHUDDidReceiveTouchEventNotification";
inline constexpr const char* STProgressHUDWillDisappearNotification = "STProgressHUDWillDisappearNotification";
inline constexpr const char* STProgressHUDDidDisappearNotification = "STProgressHUDDidDisappearNotification";
inline constexpr const char* STProgressHUDWillAppearNotification = "STProgressHUDWillAppearNotification";
inline constexpr const char* STProgressHUDDidAppearNotification = "STProgressHUDDidAppearNotification";
inline constexpr const char* STProgressHUDStatusUserInfoKey = "STProgressHUDStatusUserInfoKey";

// The images the success and error forms show, beside the executable.
inline constexpr const char* STProgressHUDSuccessImageName = "STProgressHUD.bundle/success-black";
inline constexpr const char* STProgressHUDErrorImageName = "STProgressHUD.bundle/error-black";

class STProgressHUD : public UIView {
public:
    explicit STProgressHUD(CGRect frame);
    ~STProgressHUD() override;

    // The one instance, framed to the main screen's bounds.
    static std::shared_ptr<STProgressHUD> sharedView();

    // Class operations (an empty status means none).
    static void show();
    static void showWithStatus(const std::string& status);
    static void showWithMaskType(STProgressHUDMaskType maskType);
    static void showWithStatus(const std::string& status, STProgressHUDMaskType maskType);
    static void showProgress(float progress);
    static void showProgress(float progress, const std::string& status);
    static void showProgress(float progress, const std::string& status, STProgressHUDMaskType maskType);
    static void showSuccessWithStatus(const std::string& status);
    static void showErrorWithStatus(const std::string& status);
    static void showImage(const UIImagePtr& image, const std::string& status);
    static void setStatus(const std::string& status);
    static void setOffsetFromCenter(UIOffset offset);
    static void resetOffsetFromCenter();
    // One activity fewer (never below 0); dismisses when none is left.
    static void popActivity();
    // Dismisses when visible.
    static void dismiss();
    // Whether the overlay's alpha is exactly 1.
    static bool isVisible();

    // Instance forms of the class operations of the same names.
    void instanceShowProgress(float progress, const std::string& status, STProgressHUDMaskType maskType);
    void showImage(const UIImagePtr& image, const std::string& status, double duration);
    void instanceDismiss();
    void instanceSetStatus(const std::string& status);

    // Layout of the box for the current text and indicator.
    void updatePosition();
    // Places the box for the screen, status bar, keyboard and orientation; with
    // a keyboard or orientation notification it moves animated.
    void positionHUD(const NSNotification* notification);
    void moveToPoint(CGPoint point, double rotateAngle);
    void registerNotifications();
    // The status dictionary, or null without a status text.
    Value notificationUserInfo() const;
    // min(0.3 + 0.06 x characters, 5) seconds.
    static double displayDurationForString(const std::string& string);
    // Drops both rings, without animation.
    void cancelRingLayerAnimation();
    CAShapeLayerPtr createRingLayerWithCenter(CGPoint center, CGFloat radius, CGFloat lineWidth,
                                              const UIColorPtr& color) const;
    static CGPathRef createCirclePathWithCenter(CGPoint center, CGFloat radius, long sampleCount);
    static CGPoint pointOnCircleWithCenter(CGPoint center, CGFloat radius, double angleInDegrees);
    void drawRect(CGRect rect) override;

    // The views, made on first access (the three inner ones re-added to the box
    // when found without a parent).
    const std::shared_ptr<UIControl>& overlayView();
    const std::shared_ptr<UIToolbar>& hudView();
    const std::shared_ptr<UILabel>& stringLabel();
    const std::shared_ptr<UIImageView>& imageView();
    const std::shared_ptr<UIActivityIndicatorView>& spinnerView();
    const CAShapeLayerPtr& ringLayer();
    const CAShapeLayerPtr& backgroundRingLayer();
    // Whether the views exist now (without making them).
    bool hasOverlayView() const { return overlayView_ != nullptr; }
    bool hasHudView() const { return hudView_ != nullptr; }
    bool hasRingLayers() const { return ringLayer_ != nullptr || backgroundRingLayer_ != nullptr; }

    // Plain state.
    STProgressHUDMaskType maskType() const { return maskType_; }
    double progress() const { return progress_; }
    unsigned long activityCount() const { return activityCount_; }
    const std::shared_ptr<NSTimer>& fadeOutTimer() const { return fadeOutTimer_; }
    UIOffset offsetFromCenter() const { return offsetFromCenter_; }
    // The keyboard's height on screen, 0 when none.
    CGFloat visibleKeyboardHeight() const;

    // Appearance: set here or on UIAppearance<STProgressHUD> (an instance
    // without its own value takes the proxy's, else the default).
    UIColorPtr hudBackgroundColor();
    void setHudBackgroundColor(UIColorPtr color);
    UIColorPtr hudForegroundColor();
    void setHudForegroundColor(UIColorPtr color);
    UIColorPtr hudRingBackgroundColor();
    void setHudRingBackgroundColor(UIColorPtr color);
    UIColorPtr hudRingForegroundColor();
    void setHudRingForegroundColor(UIColorPtr color);
    UIColorPtr hudStatusShadowColor();
    void setHudStatusShadowColor(UIColorPtr color);
    UIFontPtr hudFont();
    void setHudFont(UIFontPtr font);
    UIImagePtr hudSuccessImage();
    void setHudSuccessImage(UIImagePtr image);
    UIImagePtr hudErrorImage();
    void setHudErrorImage(UIImagePtr image);

    // Where the overlay is in its life.
    enum class Phase { Hidden, Appearing, Visible, Dismissing };
    Phase phase() const { return phase_; }

private:
    bool isClear() const { return maskType_ == STProgressHUDMaskTypeNone || maskType_ == STProgressHUDMaskTypeClear; }
    void setFadeOutTimer(std::shared_ptr<NSTimer> timer);
    void moveTo(Phase next);
    void attachToWindow();
    void applyAccessibility(const std::string& status);
    void beginAppearing();
    void finishDismissal(const Value& userInfo);
    void overlayViewDidReceiveTouchEvent(UIEvent* event);
    void placeRings(CGPoint position);

    STProgressHUDMaskType maskType_ = STProgressHUDMaskTypeNone;
    double progress_ = -1;
    unsigned long activityCount_ = 0;
    std::shared_ptr<NSTimer> fadeOutTimer_;
    UIOffset offsetFromCenter_{};
    Phase phase_ = Phase::Hidden;

    std::shared_ptr<UIControl> overlayView_;
    std::shared_ptr<UIToolbar> hudView_;
    std::shared_ptr<UILabel> stringLabel_;
    std::shared_ptr<UIImageView> imageView_;
    std::shared_ptr<UIActivityIndicatorView> spinnerView_;
    CAShapeLayerPtr ringLayer_;
    CAShapeLayerPtr backgroundRingLayer_;

    UIColorPtr hudBackgroundColor_;
    UIColorPtr hudForegroundColor_;
    UIColorPtr hudRingBackgroundColor_;
    UIColorPtr hudRingForegroundColor_;
    UIColorPtr hudStatusShadowColor_;
    UIFontPtr hudFont_;
    UIImagePtr hudSuccessImage_;
    UIImagePtr hudErrorImage_;
};
