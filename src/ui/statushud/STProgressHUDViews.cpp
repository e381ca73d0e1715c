// The overlay's views and rings, made on first access, and its appearance settings.
#include "ui/statushud/STProgressHUD.h"

#include <cmath>

#include "platform/quartzcore/CATransaction.h"
#include "platform/uikit/UIAppearance.h"
#include "platform/uikit/UIScreen.h"
#include "ui/statushud/STProgressHUDImages.h"

namespace {
constexpr CGFloat kRingRadius = 14;
constexpr CGFloat kRingThickness = 1;
constexpr long kRingSamples = 72;

// The instance's own value, else the proxy's (taken into the instance), else null.
template <class T>
T adopt(T& field, const char* property) {
    if (!field) {
        if (auto proxy = UIAppearance<STProgressHUD>::value<T>(property)) field = *proxy;
    }
    return field;
}
}  // namespace

// ---- Views ----

const std::shared_ptr<UIControl>& STProgressHUD::overlayView() {
    if (!overlayView_) {
        overlayView_ = std::make_shared<UIControl>(UIScreen::mainScreen()->bounds());
        overlayView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        overlayView_->setBackgroundColor(UIColor::clearColor()->CGColor());
        overlayView_->setOpaque(false);
        std::weak_ptr<STProgressHUD> weak = weakSelf<STProgressHUD>();
        overlayView_->addTarget(
            self<STProgressHUD>(),
            [weak](UIControl&, UIEvent* event) {
                if (auto self = weak.lock()) self->overlayViewDidReceiveTouchEvent(event);
            },
            UIControlEventTouchDown);
    }
    return overlayView_;
}

const std::shared_ptr<UIToolbar>& STProgressHUD::hudView() {
    if (!hudView_) {
        hudView_ = std::make_shared<UIToolbar>(CGRectZero);
        hudView_->setTranslucent(true);
        hudView_->setBarTintColor(hudBackgroundColor()->CGColor());
        hudView_->layer()->setCornerRadius(10);
        hudView_->layer()->setMasksToBounds(true);
        hudView_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                      UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
        addSubview(hudView_);
    }
    return hudView_;
}

const std::shared_ptr<UILabel>& STProgressHUD::stringLabel() {
    if (!stringLabel_) {
        stringLabel_ = std::make_shared<UILabel>(CGRectZero);
        stringLabel_->setBackgroundColor(UIColor::clearColor()->CGColor());
        stringLabel_->setOpaque(false);
        stringLabel_->setAdjustsFontSizeToFitWidth(true);
        stringLabel_->setTextAlignment(1);       // centred
        stringLabel_->setBaselineAdjustment(1);  // align centres
        stringLabel_->setTextColor(hudForegroundColor()->CGColor());
        stringLabel_->setFont(hudFont());
        stringLabel_->setNumberOfLines(0);
    }
    if (!stringLabel_->superview()) hudView()->addSubview(stringLabel_);
    return stringLabel_;
}

const std::shared_ptr<UIImageView>& STProgressHUD::imageView() {
    if (!imageView_) imageView_ = std::make_shared<UIImageView>(CGRectMake(0, 0, 28, 28));
    if (!imageView_->superview()) hudView()->addSubview(imageView_);
    return imageView_;
}

const std::shared_ptr<UIActivityIndicatorView>& STProgressHUD::spinnerView() {
    if (!spinnerView_) {
        spinnerView_ = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleWhiteLarge);
        spinnerView_->setHidesWhenStopped(true);
        spinnerView_->setBounds(CGRectMake(0, 0, 37, 37));
        spinnerView_->setColor(hudForegroundColor()->CGColor());
    }
    if (!spinnerView_->superview()) hudView()->addSubview(spinnerView_);
    return spinnerView_;
}

// ---- Rings ----

const CAShapeLayerPtr& STProgressHUD::ringLayer() {
    if (!ringLayer_) {
        CGRect frame = hudView()->frame();
        CGPoint centre{CGRectGetMidX(frame), CGRectGetMidY(frame)};
        ringLayer_ = createRingLayerWithCenter(centre, kRingRadius, kRingThickness, hudRingForegroundColor());
        hudView()->layer()->addSublayer(ringLayer_);  // above the background ring
    }
    return ringLayer_;
}

const CAShapeLayerPtr& STProgressHUD::backgroundRingLayer() {
    if (!backgroundRingLayer_) {
        CGRect frame = hudView()->frame();
        CGPoint centre{CGRectGetMidX(frame), CGRectGetMidY(frame)};
        backgroundRingLayer_ =
            createRingLayerWithCenter(centre, kRingRadius, kRingThickness, hudRingBackgroundColor());
        backgroundRingLayer_->setStrokeEnd(1);
        // The track stays under the progress ring, whichever is made first.
        if (ringLayer_ && ringLayer_->superlayer() == hudView()->layer())
            hudView()->layer()->insertSublayerBelow(backgroundRingLayer_, ringLayer_.get());
        else
            hudView()->layer()->addSublayer(backgroundRingLayer_);
    }
    return backgroundRingLayer_;
}

void STProgressHUD::placeRings(CGPoint position) {
    ringLayer()->setPosition(position);
    backgroundRingLayer()->setPosition(position);
}

void STProgressHUD::cancelRingLayerAnimation() {
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    if (hudView_) hudView_->layer()->removeAllAnimations();
    if (ringLayer_) {
        ringLayer_->setStrokeEnd(0);
        ringLayer_->removeFromSuperlayer();
        ringLayer_.reset();
    }
    if (backgroundRingLayer_) {
        backgroundRingLayer_->removeFromSuperlayer();
        backgroundRingLayer_.reset();
    }
    CATransaction::commit();
}

CAShapeLayerPtr STProgressHUD::createRingLayerWithCenter(CGPoint center, CGFloat radius, CGFloat lineWidth,
                                                         const UIColorPtr& color) const {
    auto layer = CAShapeLayer::layer();
    layer->setFrame(CGRectMake(center.x - radius, center.y - radius, radius * 2, radius * 2));
    layer->setFillColor(UIColor::clearColor()->CGColor());
    layer->setStrokeColor(color ? color->CGColor() : CGColorRef());
    layer->setLineWidth(lineWidth);
    layer->setLineCap(kCALineCapRound);
    layer->setLineJoin(kCALineJoinBevel);
    layer->setPath(createCirclePathWithCenter(center, radius, kRingSamples));
    return layer;
}

CGPathRef STProgressHUD::createCirclePathWithCenter(CGPoint center, CGFloat radius, long sampleCount) {
    auto path = CGPathCreateMutable();
    if (sampleCount <= 0) return path;
    const double step = static_cast<float>(360.0f / static_cast<float>(sampleCount));
    CGPoint first = pointOnCircleWithCenter(center, radius, -90);
    CGPathMoveToPoint(path, nullptr, first.x, first.y);
    for (long i = 1; i < sampleCount; ++i) {
        CGPoint p = pointOnCircleWithCenter(center, radius, -90 + step * static_cast<double>(i));
        CGPathAddLineToPoint(path, nullptr, p.x, p.y);
    }
    CGPathAddLineToPoint(path, nullptr, first.x, first.y);
    return path;
}

CGPoint STProgressHUD::pointOnCircleWithCenter(CGPoint /*center*/, CGFloat radius, double angleInDegrees) {
    // In the ring layer's own square: the centre argument is not used.
    double a = angleInDegrees * M_PI / 180;
    return CGPoint{static_cast<float>(radius + radius * std::cos(a)), static_cast<float>(radius + radius * std::sin(a))};
}

// ---- Appearance ----

UIColorPtr STProgressHUD::hudBackgroundColor() {
    auto c = adopt(hudBackgroundColor_, "hudBackgroundColor");
    return c ? c : UIColor::whiteColor();
}
void STProgressHUD::setHudBackgroundColor(UIColorPtr color) {
    hudBackgroundColor_ = std::move(color);
    if (hudView_) hudView_->setBarTintColor(hudBackgroundColor()->CGColor());
}

UIColorPtr STProgressHUD::hudForegroundColor() {
    auto c = adopt(hudForegroundColor_, "hudForegroundColor");
    return c ? c : UIColor::colorWithWhite(0, 0.8);
}
void STProgressHUD::setHudForegroundColor(UIColorPtr color) {
    hudForegroundColor_ = std::move(color);
    if (stringLabel_) stringLabel_->setTextColor(hudForegroundColor()->CGColor());
    if (spinnerView_) spinnerView_->setColor(hudForegroundColor()->CGColor());
}

UIColorPtr STProgressHUD::hudRingBackgroundColor() {
    auto c = adopt(hudRingBackgroundColor_, "hudRingBackgroundColor");
    return c ? c : UIColor::whiteColor();
}
void STProgressHUD::setHudRingBackgroundColor(UIColorPtr color) {
    hudRingBackgroundColor_ = std::move(color);
    if (backgroundRingLayer_) backgroundRingLayer_->setStrokeColor(hudRingBackgroundColor()->CGColor());
}

UIColorPtr STProgressHUD::hudRingForegroundColor() {
    auto c = adopt(hudRingForegroundColor_, "hudRingForegroundColor");
    return c ? c : UIColor::colorWithCGColor(tintColor());
}
void STProgressHUD::setHudRingForegroundColor(UIColorPtr color) {
    hudRingForegroundColor_ = std::move(color);
    if (ringLayer_) ringLayer_->setStrokeColor(hudRingForegroundColor()->CGColor());
}

UIColorPtr STProgressHUD::hudStatusShadowColor() {
    auto c = adopt(hudStatusShadowColor_, "hudStatusShadowColor");
    return c ? c : UIColor::colorWithWhite(static_cast<float>(200.0f / 255.0f), 0.8);
}
void STProgressHUD::setHudStatusShadowColor(UIColorPtr color) { hudStatusShadowColor_ = std::move(color); }

UIFontPtr STProgressHUD::hudFont() {
    auto f = adopt(hudFont_, "hudFont");
    return f ? f : UIFont::preferredFontForTextStyle(UIFontTextStyleHeadline);
}
void STProgressHUD::setHudFont(UIFontPtr font) {
    hudFont_ = std::move(font);
    if (stringLabel_) stringLabel_->setFont(hudFont());
}

UIImagePtr STProgressHUD::hudSuccessImage() {
    auto i = adopt(hudSuccessImage_, "hudSuccessImage");
    return i ? i : STProgressHUDNamedImage(STProgressHUDSuccessImageName);
}
void STProgressHUD::setHudSuccessImage(UIImagePtr image) { hudSuccessImage_ = std::move(image); }

UIImagePtr STProgressHUD::hudErrorImage() {
    auto i = adopt(hudErrorImage_, "hudErrorImage");
    return i ? i : STProgressHUDNamedImage(STProgressHUDErrorImageName);
}
void STProgressHUD::setHudErrorImage(UIImagePtr image) { hudErrorImage_ = std::move(image); }
