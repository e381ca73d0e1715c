#include "ui/circularprogress/CPCircularProgressView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/base/ThreadAssertions.h"
#include "platform/quartzcore/CAAnimation.h"
#include "platform/uikit/UIGeometry.h"
#include "ui/circularprogress/UIColoriOS7.h"

namespace {
// The single-precision values of the constants the drawing uses.
constexpr double kPi = 3.1415927410125732;
constexpr double kHalfPi = 1.5707963705062866;
constexpr double kFullCircleEnd = 4.71238911151886;     // 3π/2: the whole circle from the top
constexpr double kPartialCircleEnd = 4.084070324897766;  // about 1.3π: a gap before the top
constexpr double kTwoPiSingle = 6.2831855;

// The larger of the two the way the platform's MAX macro picks: a width that
// is not a number loses to the minimum.
CGFloat atLeastOne(float width) { return width > 1.0f ? static_cast<CGFloat>(width) : 1.0; }

// Progress as the arc shows it: 0...1, not a number as 0.
double drawnProgress(double progress) {
    if (std::isnan(progress) || progress < 0) return 0;
    return std::min(progress, 1.0);
}

CGColorRef colorOf(const UIColorPtr& color) { return color ? color->CGColor() : CGColorRef(); }
}  // namespace

CPCircularProgressView::CPCircularProgressView(CGRect frame) : UIView(frame) { setup(); }

std::shared_ptr<CPCircularProgressView> CPCircularProgressView::initWithCoder(const Value& archive) {
    return std::make_shared<CPCircularProgressView>(CGRectValue(archive["frame"]));
}

void CPCircularProgressView::setup() {
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setOpaque(false);
    lineWidth_ = atLeastOne(static_cast<float>(0.025 * frame().size.width));
    tintColor_ = ios7Blue();
    tickColor_ = UIColor::whiteColor();

    progressBackgroundLayer_ = CAShapeLayer::layer();
    progressBackgroundLayer_->setStrokeColor(tintColor_->CGColor());
    progressBackgroundLayer_->setFillColor(backgroundColor());
    progressBackgroundLayer_->setLineCap(kCALineCapRound);
    progressBackgroundLayer_->setLineWidth(lineWidth_);
    layer()->addSublayer(progressBackgroundLayer_);

    progressLayer_ = CAShapeLayer::layer();
    progressLayer_->setStrokeColor(tintColor_->CGColor());
    progressLayer_->setFillColor(CGColorRef());
    progressLayer_->setLineCap(kCALineCapSquare);
    progressLayer_->setLineWidth(lineWidth_ * 2);
    layer()->addSublayer(progressLayer_);

    iconLayer_ = CAShapeLayer::layer();
    iconLayer_->setStrokeColor(tintColor_->CGColor());
    iconLayer_->setFillColor(CGColorRef());
    iconLayer_->setLineCap(kCALineCapButt);
    iconLayer_->setLineWidth(lineWidth_);
    iconLayer_->setFillRule(kCAFillRuleNonZero);
    layer()->addSublayer(iconLayer_);
}

void CPCircularProgressView::setLineWidth(CGFloat lineWidth) {
    lineWidth_ = atLeastOne(static_cast<float>(lineWidth));
    progressBackgroundLayer_->setLineWidth(lineWidth_);
    progressLayer_->setLineWidth(lineWidth_ * 2);
    iconLayer_->setLineWidth(lineWidth_);
}

void CPCircularProgressView::setTintColor(UIColorPtr color) {
    tintColor_ = std::move(color);
    for (const auto& l : {progressBackgroundLayer_, progressLayer_, iconLayer_}) l->setStrokeColor(colorOf(tintColor_));
}

void CPCircularProgressView::setIconView(std::shared_ptr<UIView> view) {
    if (iconView_) iconView_->removeFromSuperview();
    iconView_ = std::move(view);
    if (iconView_) addSubview(iconView_);
}

void CPCircularProgressView::setProgress(double progress) {
    QV_ASSERT_MAIN_THREAD();
    if (progress > 1) progress = 1;
    if (progress == progress_) return;
    progress_ = progress;
    if (progress_ == 1) animateProgressBackgroundLayerFillColor();
    // Back to idle (0, below, or not a number): the done fill goes, so that
    // the idle icon shows on the clear background again.
    if (!(progress_ > 0)) progressBackgroundLayer_->setFillColor(backgroundColor());
    setNeedsDisplay();
}

void CPCircularProgressView::animateProgressBackgroundLayerFillColor() {
    auto animation = CABasicAnimation::animationWithKeyPath("fillColor");
    animation->fromValue = progressBackgroundLayer_->backgroundColor();
    animation->toValue = progressLayer_->strokeColor();
    animation->duration = 0.5;
    animation->repeatCount = 1;
    animation->removedOnCompletion = false;
    animation->timingFunction = kCAMediaTimingFunctionEaseIn;
    progressBackgroundLayer_->addAnimation(animation, "colorAnimation");
}

void CPCircularProgressView::drawRect(CGRect) {
    CGRect b = bounds();
    for (const auto& l : {progressBackgroundLayer_, progressLayer_, iconLayer_}) l->setFrame(b);

    drawBackgroundCircle(isSpinning_);

    CGPoint centre = CGPointMake(b.size.width / 2, b.size.height / 2);
    CGFloat radius = std::max(0.0, (b.size.width - 3 * lineWidth_) / 2);
    auto arc = UIBezierPath::bezierPathWithArcCenter(centre, radius, -kHalfPi,
                                                     2 * kPi * drawnProgress(progress_) - kHalfPi, true);
    arc->setLineCapStyle(kCGLineCapButt);
    arc->setLineWidth(lineWidth_);
    progressLayer_->setPath(arc->CGPath());

    if (progress_ == 1) {
        drawTick();
    } else if (progress_ > 0 && progress_ < 1) {
        if (!hideProgressIcons_) drawStop();
    } else if (iconView_ || iconPath_) {
        // A custom icon: its shape when one is given; with only a view the icon
        // layer keeps what it last showed.
        if (iconPath_) {
            iconLayer_->setPath(iconPath_->CGPath());
            iconLayer_->setFillColor(CGColorRef());
        }
    } else if (!hideProgressIcons_) {
        drawArrow();
    }
}

void CPCircularProgressView::drawBackgroundCircle(bool partial) {
    CGRect b = bounds();
    CGPoint centre = CGPointMake(b.size.width / 2, b.size.height / 2);
    CGFloat radius = std::max(0.0, (b.size.width - lineWidth_) / 2);
    double end = partial ? kPartialCircleEnd : kFullCircleEnd;
    auto circle = UIBezierPath::bezierPathWithArcCenter(centre, radius, -kHalfPi, end, true);
    circle->setLineCapStyle(kCGLineCapRound);
    circle->setLineWidth(lineWidth_);
    progressBackgroundLayer_->setPath(circle->CGPath());
}

void CPCircularProgressView::drawTick() {
    CGRect f = frame();
    CGFloat r = std::min(f.size.width, f.size.height) / 2;
    CGFloat a = 0.3 * r;
    auto tick = UIBezierPath::bezierPath();
    tick->moveToPoint(CGPointMake(0, 0));
    tick->addLineToPoint(CGPointMake(0, 2 * a));
    tick->addLineToPoint(CGPointMake(3 * a, 2 * a));
    tick->addLineToPoint(CGPointMake(3 * a, a));
    tick->addLineToPoint(CGPointMake(a, a));
    tick->addLineToPoint(CGPointMake(a, 0));
    tick->closePath();
    tick->applyTransform(CGAffineTransformMakeRotation(-M_PI / 4));
    tick->applyTransform(CGAffineTransformMakeTranslation(0.46 * r, 1.02 * r));
    iconLayer_->setPath(tick->CGPath());
    iconLayer_->setFillColor(colorOf(tickColor_));
    progressBackgroundLayer_->setFillColor(progressLayer_->strokeColor());
}

void CPCircularProgressView::drawStop() {
    CGFloat w = bounds().size.width;
    CGFloat s = 0.3 * w;
    auto square = UIBezierPath::bezierPath();
    square->moveToPoint(CGPointMake(0, 0));
    square->addLineToPoint(CGPointMake(s, 0));
    square->addLineToPoint(CGPointMake(s, s));
    square->addLineToPoint(CGPointMake(0, s));
    square->closePath();
    square->applyTransform(CGAffineTransformMakeTranslation(0.35 * w, 0.35 * w));
    iconLayer_->setPath(square->CGPath());
    iconLayer_->setStrokeColor(progressLayer_->strokeColor());
    iconLayer_->setFillColor(colorOf(tintColor_));
}

void CPCircularProgressView::drawArrow() {
    CGFloat w = bounds().size.width;
    CGFloat u = 0.12 * w;
    CGFloat h = w / 2;
    auto arrow = UIBezierPath::bezierPath();
    arrow->moveToPoint(CGPointMake(0, 0));
    arrow->addLineToPoint(CGPointMake(2 * u, 0));
    arrow->addLineToPoint(CGPointMake(2 * u, u));
    arrow->addLineToPoint(CGPointMake(3 * u, u));
    arrow->addLineToPoint(CGPointMake(u, 3.3 * u));
    arrow->addLineToPoint(CGPointMake(-u, u));
    arrow->addLineToPoint(CGPointMake(0, u));
    arrow->addLineToPoint(CGPointMake(0, 0));
    arrow->closePath();
    arrow->applyTransform(CGAffineTransformMakeTranslation(-u / 2, -u / 1.2));
    arrow->applyTransform(CGAffineTransformMakeTranslation(0.88 * h, 0.88 * h));
    iconLayer_->setPath(arrow->CGPath());
    iconLayer_->setFillColor(CGColorRef());
}

void CPCircularProgressView::startSpinProgressBackgroundLayer() {
    QV_ASSERT_MAIN_THREAD();
    isSpinning_ = true;
    drawBackgroundCircle(true);
    auto rotation = CABasicAnimation::animationWithKeyPath("transform.rotation.z");
    rotation->toValue = kTwoPiSingle;
    rotation->duration = 1;
    rotation->cumulative = true;
    rotation->repeatCount = std::numeric_limits<double>::infinity();
    progressBackgroundLayer_->addAnimation(rotation, "rotationAnimation");
}

void CPCircularProgressView::stopSpinProgressBackgroundLayer() {
    QV_ASSERT_MAIN_THREAD();
    drawBackgroundCircle(false);
    progressBackgroundLayer_->removeAllAnimations();
    isSpinning_ = false;
}
