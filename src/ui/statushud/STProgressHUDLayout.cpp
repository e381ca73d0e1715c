// The overlay's box: its size for the text, its place on the screen (keyboard,
// status bar, orientation) and the mask drawn behind it.
#include "ui/statushud/STProgressHUD.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/graphics/CGGradient.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UISystemVersion.h"

namespace {
constexpr CGFloat kMinimumSide = 100;
constexpr CGFloat kTextMaxWidth = 200;
constexpr CGFloat kTextMaxHeight = 300;
constexpr CGFloat kHorizontalPadding = 24;

// Width and height swapped through single precision, as landscape frames are.
CGRect swapped(CGRect r) {
    return CGRectMake(r.origin.x, r.origin.y, static_cast<float>(r.size.height), static_cast<float>(r.size.width));
}
}  // namespace

void STProgressHUD::updatePosition() {
    auto label = stringLabel();
    auto image = imageView();
    auto spinner = spinnerView();
    const std::string& text = label->text();
    bool imageUsed = image->image() != nullptr || image->isHidden();

    CGFloat width = kMinimumSide, height = kMinimumSide;
    CGRect labelRect = CGRectZero;
    CGPoint ringPosition{};
    if (text.empty()) {
        image->setCenter(CGPointMake(width / 2, height / 2));
        ringPosition = CGPointMake(width / 2, height / 2);
        spinner->setCenter(CGPointMake(std::ceil(width / 2) + 0.5, std::ceil(height / 2) + 0.5));
    } else {
        auto options = NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingUsesFontLeading |
                       NSStringDrawingTruncatesLastVisibleLine;
        CGSize textSize =
            boundingRectWithSize(text, CGSizeMake(kTextMaxWidth, kTextMaxHeight), options, NSAttributes(label->font()))
                .size;
        height = textSize.height + (imageUsed ? 80 : 20);
        if (textSize.width > kMinimumSide) width = std::ceil(textSize.width / 2) * 2;
        CGFloat top = imageUsed ? 66 : 9;
        labelRect = height > kMinimumSide ? CGRectMake(12, top, width, textSize.height)
                                          : CGRectMake(0, top, width + kHorizontalPadding, textSize.height);
        width += kHorizontalPadding;
        image->setCenter(CGPointMake(width / 2, 36));
        ringPosition = CGPointMake(width / 2, 36);
        spinner->setCenter(CGPointMake(std::ceil(width / 2) + 0.5, 40.5));
    }

    hudView()->setBounds(CGRectMake(0, 0, width, height));
    label->setHidden(false);
    label->setFrame(labelRect);
    if (progress_ != -1) placeRings(ringPosition);
}

void STProgressHUD::registerNotifications() {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this);  // never twice
    std::weak_ptr<STProgressHUD> weak = weakSelf<STProgressHUD>();
    auto handler = [weak](const NSNotification& notification) {
        if (auto self = weak.lock()) self->positionHUD(&notification);
    };
    for (const char* name : {UIApplicationDidChangeStatusBarOrientationNotification, UIKeyboardWillHideNotification,
                             UIKeyboardDidHideNotification, UIKeyboardWillShowNotification,
                             UIKeyboardDidShowNotification})
        center->addObserver(self<STProgressHUD>(), handler, name);
}

void STProgressHUD::positionHUD(const NSNotification* notification) {
    auto application = UIApplication::sharedApplication();
    auto orientation = application->statusBarOrientation();
    // Newer systems give screen, status-bar and keyboard frames in the
    // interface's own orientation: nothing is to be swapped or turned.
    const bool oriented = UIScreenBoundsFollowOrientation();

    CGFloat keyboardHeight = 0;
    double duration = 0;
    if (notification) {
        const Value info = notification->userInfo();
        CGRect keyboardFrame = CGRectValue(info[UIKeyboardFrameBeginUserInfoKey]);
        duration = info[UIKeyboardAnimationDurationUserInfoKey].doubleValue();
        const std::string& name = notification->name();
        if (name == UIKeyboardWillShowNotification || name == UIKeyboardDidShowNotification)
            keyboardHeight = oriented || UIInterfaceOrientationIsPortrait(orientation) ? keyboardFrame.size.height
                                                                                       : keyboardFrame.size.width;
    } else {
        keyboardHeight = visibleKeyboardHeight();
    }

    CGRect frame = UIScreen::mainScreen()->bounds();
    CGRect statusBarFrame = application->statusBarFrame();
    if (!oriented && UIInterfaceOrientationIsLandscape(orientation)) {
        frame = swapped(frame);
        statusBarFrame = swapped(statusBarFrame);
    }

    CGFloat activeHeight = frame.size.height;
    if (keyboardHeight > 0) activeHeight += statusBarFrame.size.height * 2 - keyboardHeight;
    CGFloat posY = std::floor(activeHeight * 0.45);
    CGFloat posX = frame.size.width / 2;

    CGPoint centre = CGPointMake(posX, posY);
    double angle = 0;
    if (!oriented) {
        switch (orientation) {
        case UIInterfaceOrientationLandscapeLeft:
            angle = -M_PI / 2;
            centre = CGPointMake(posY, posX);
            break;
        case UIInterfaceOrientationLandscapeRight:
            angle = M_PI / 2;
            centre = CGPointMake(frame.size.height - posY, posX);
            break;
        case UIInterfaceOrientationPortraitUpsideDown:
            angle = M_PI;
            centre = CGPointMake(posX, frame.size.height - posY);
            break;
        default: break;
        }
    }

    if (notification) {
        std::weak_ptr<STProgressHUD> weak = weakSelf<STProgressHUD>();
        UIView::animateWithDuration(
            duration, 0, UIViewAnimationOptionAllowUserInteraction,
            [weak, centre, angle] {
                if (auto self = weak.lock()) self->moveToPoint(centre, angle);
            },
            {});
    } else {
        moveToPoint(centre, angle);
    }
}

void STProgressHUD::moveToPoint(CGPoint point, double rotateAngle) {
    auto hud = hudView();
    hud->setTransform(CGAffineTransformMakeRotation(rotateAngle));
    hud->setCenter(CGPointMake(point.x + offsetFromCenter_.horizontal, point.y + offsetFromCenter_.vertical));
}

CGFloat STProgressHUD::visibleKeyboardHeight() const { return UIKeyboard::visibleHeight(); }

void STProgressHUD::drawRect(CGRect) {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    CGRect b = bounds();
    if (maskType_ == STProgressHUDMaskTypeGradient) {
        auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), {0, 0, 0, 0, 0, 0, 0, 0.75},
                                                            {0, 1});
        if (!gradient) return;  // refused with a console line
        CGFloat freeHeight = b.size.height - visibleKeyboardHeight();
        CGPoint centre = CGPointMake(b.size.width / 2, freeHeight / 2);
        double radius = static_cast<float>(std::min(b.size.width, b.size.height));
        CGContextDrawRadialGradient(ctx, gradient, centre, 0, centre, radius, kCGGradientDrawsAfterEndLocation);
    } else if (maskType_ == STProgressHUDMaskTypeBlack) {
        UIColor::colorWithWhite(0, 0.5)->set();
        CGContextFillRect(ctx, b);
    }
}
