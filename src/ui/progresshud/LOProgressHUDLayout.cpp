// The overlay's geometry: the panel's layout, its drawing and the rotation for
// the status-bar orientation.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "platform/base/ThreadAssertions.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UISystemVersion.h"
#include "ui/progresshud/LODrawingScope.h"
#include "ui/progresshud/LOProgressHUD.h"

namespace {

constexpr CGFloat kPadding = 4;
// Systems before this Foundation version leave the rotation of a window's content to it.
constexpr double kSelfRotatingBelowFoundationVersion = 1129.15;

// Centred horizontally at y, with the offset.
CGRect centredAt(CGSize size, CGFloat width, CGFloat y, CGFloat xOffset) {
    return CGRectMake(std::round((width - size.width) / 2) + xOffset, y, size.width, size.height);
}

}  // namespace

void LOProgressHUD::layoutSubviews() {
    QV_ASSERT_MAIN_THREAD();
    UIView::layoutSubviews();
    attachViews();
    if (auto host = superview()) setFrame(host->bounds());
    const Properties p = propertiesSnapshot();
    const CGRect bounds = this->bounds();
    const CGFloat W = bounds.size.width, H = bounds.size.height;
    const CGFloat margin = p.margin;
    // A host too small for the margins leaves no room, never a negative one.
    const CGFloat maxWidth = std::max<CGFloat>(0, W - 4 * margin);
    CGSize total = CGSizeZero;

    CGSize indicatorSize = indicator_ ? indicator_->bounds().size : CGSizeZero;
    indicatorSize.width = std::min(indicatorSize.width, maxWidth);
    total.width = std::max(total.width, indicatorSize.width);
    total.height += indicatorSize.height;

    CGSize labelSize = CGSizeZero;
    if (!label_->text().empty()) labelSize = sizeWithAttributes(label_->text(), NSAttributes(label_->font()));
    labelSize.width = std::min(labelSize.width, maxWidth);
    total.width = std::max(total.width, labelSize.width);
    total.height += labelSize.height;
    if (labelSize.height > 0 && indicatorSize.height > 0) total.height += kPadding;

    const CGFloat remainingHeight = H - total.height - kPadding - 4 * margin;
    CGSize detailsSize = CGSizeZero;
    if (!detailsLabel_->text().empty() && maxWidth > 0) {
        // With no height left the details keep one line.
        const CGSize room = CGSizeMake(maxWidth, std::max<CGFloat>(remainingHeight, 1e-3));
        detailsSize = boundingRectWithSize(detailsLabel_->text(), room, NSStringDrawingUsesLineFragmentOrigin,
                                           NSAttributes(detailsLabel_->font()))
                          .size;
        detailsSize.width = std::min(detailsSize.width, maxWidth);
    }
    total.width = std::max(total.width, detailsSize.width);
    total.height += detailsSize.height;
    const bool detailsSpaced = detailsSize.height > 0 && (indicatorSize.height > 0 || labelSize.height > 0);
    if (detailsSpaced) total.height += kPadding;

    total.width += 2 * margin;
    total.height += 2 * margin;

    CGFloat y = std::round((H - total.height) / 2) + margin + p.yOffset;
    if (indicator_) indicator_->setFrame(centredAt(indicatorSize, W, y, p.xOffset));
    y += indicatorSize.height;
    if (labelSize.height > 0 && indicatorSize.height > 0) y += kPadding;
    label_->setFrame(centredAt(labelSize, W, y, p.xOffset));
    y += labelSize.height;
    if (detailsSpaced) y += kPadding;
    detailsLabel_->setFrame(centredAt(detailsSize, W, y, p.xOffset));

    if (p.square) {
        const CGFloat side = std::max(total.width, total.height);
        if (side <= W - 2 * margin) total.width = side;
        if (side <= H - 2 * margin) total.height = side;
    }
    total.width = std::max({total.width, p.minSize.width, CGFloat(0)});
    total.height = std::max({total.height, p.minSize.height, CGFloat(0)});
    std::lock_guard<std::mutex> lock(propertiesMutex_);
    properties_.size = total;
}

void LOProgressHUD::drawRect(CGRect) {
    LODrawingScope scope;
    if (!scope) return;
    const CGContextRef& c = scope.context();
    const Properties p = propertiesSnapshot();
    const CGRect bounds = this->bounds();
    const CGFloat W = bounds.size.width, H = bounds.size.height;

    if (p.dimBackground) {
        auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(),
                                                            {0, 0, 0, 0, 0, 0, 0, 0.75}, {0, 1});
        const CGPoint centre = CGPointMake(W / 2, H / 2);
        const float radius = static_cast<float>(std::min(W, H));
        CGContextDrawRadialGradient(c, gradient, centre, 0, centre, radius, kCGGradientDrawsAfterEndLocation);
    }

    if (p.color) CGContextSetFillColorWithColor(c, p.color->CGColor());
    else CGContextSetGrayFillColor(c, 0, p.opacity);

    const CGRect panel = CGRectMake(std::round((W - p.size.width) / 2) + p.xOffset,
                                    std::round((H - p.size.height) / 2) + p.yOffset, p.size.width, p.size.height);
    // A radius beyond half the shorter side, or below 0, would turn the outline inside out.
    const CGFloat r = std::clamp<CGFloat>(std::isfinite(p.cornerRadius) ? p.cornerRadius : 0, 0,
                                          std::min(panel.size.width, panel.size.height) / 2);
    CGContextBeginPath(c);
    CGContextMoveToPoint(c, CGRectGetMinX(panel) + r, CGRectGetMinY(panel));
    CGContextAddArc(c, CGRectGetMaxX(panel) - r, CGRectGetMinY(panel) + r, r, 3 * M_PI / 2, 0, 0);
    CGContextAddArc(c, CGRectGetMaxX(panel) - r, CGRectGetMaxY(panel) - r, r, 0, M_PI / 2, 0);
    CGContextAddArc(c, CGRectGetMinX(panel) + r, CGRectGetMaxY(panel) - r, r, M_PI / 2, M_PI, 0);
    CGContextAddArc(c, CGRectGetMinX(panel) + r, CGRectGetMinY(panel) + r, r, M_PI, 3 * M_PI / 2, 0);
    CGContextClosePath(c);
    CGContextFillPath(c);
}

// ---------------------------------------------------------------- orientation

// Only where a window keeps portrait coordinates in landscape does an overlay
// straight on it turn itself; windows here take the interface's coordinates on
// every system, so it follows their bounds like any other host.
bool LOProgressHUD::shouldPerformOrientationTransform() const {
    return !UIInterfaceRotation::kWindowsTakeInterfaceCoordinates &&
           NSFoundationVersionNumber() < kSelfRotatingBelowFoundationVersion &&
           std::dynamic_pointer_cast<UIWindow>(superview()) != nullptr;
}

void LOProgressHUD::didMoveToSuperview() {
    UIView::didMoveToSuperview();
    attachViews();
    registerForOrientationChanges();
    if (shouldPerformOrientationTransform()) setTransformForCurrentOrientation(false);
}

void LOProgressHUD::registerForOrientationChanges() {
    if (observingOrientation_) return;
    observingOrientation_ = true;
    std::weak_ptr<NSObject> weak = weak_from_this();
    NSNotificationCenter::defaultCenter()->addObserver(
        shared_from_this(),
        [weak](const NSNotification&) {
            if (auto hud = std::static_pointer_cast<LOProgressHUD>(weak.lock())) hud->statusBarOrientationDidChange();
        },
        UIApplicationDidChangeStatusBarOrientationNotification);
}

void LOProgressHUD::statusBarOrientationDidChange() {
    auto host = superview();
    if (!host) return;
    if (shouldPerformOrientationTransform()) {
        setTransformForCurrentOrientation(true);
    } else {
        setFrame(host->bounds());
        setNeedsDisplay();
    }
}

void LOProgressHUD::setTransformForCurrentOrientation(bool animated) {
    if (auto host = superview()) {
        setBounds(host->bounds());
        setNeedsDisplay();
    }
    const UIInterfaceOrientation orientation = UIApplication::sharedApplication()->statusBarOrientation();
    double radians = 0;
    if (UIInterfaceOrientationIsLandscape(orientation)) {
        radians = orientation == UIInterfaceOrientationLandscapeLeft ? -M_PI / 2 : M_PI / 2;
        const CGRect b = bounds();
        setBounds(CGRectMake(0, 0, b.size.height, b.size.width));
    } else if (orientation == UIInterfaceOrientationPortraitUpsideDown) {
        radians = M_PI;
    }
    rotationTransform_ = CGAffineTransformMakeRotation(radians);
    if (!animated) {
        setTransform(rotationTransform_);
        return;
    }
    UIView::beginAnimations("");
    UIView::setAnimationDuration(0.3);
    setTransform(rotationTransform_);
    UIView::commitAnimations();
}
