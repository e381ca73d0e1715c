#include "ui/popover/FLPopoverBackgroundView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"

namespace {

// The height of a navigation controller's bar while it shows, else 0.
CGFloat visibleNavigationBarHeight(UIViewController& controller) {
    auto* navigation = dynamic_cast<UINavigationController*>(&controller);
    if (!navigation || navigation->isNavigationBarHidden()) return 0;
    const auto& bar = navigation->navigationBar();
    return bar ? bar->bounds().size.height : 0;
}

FLPopoverBackgroundView::NavigationBarHeightSource& barHeightSource() {
    static FLPopoverBackgroundView::NavigationBarHeightSource source = visibleNavigationBarHeight;
    return source;
}

bool pointsUp(FLArrowDirection d) { return d == FLArrowDirectionUp; }
bool pointsDown(FLArrowDirection d) { return d == FLArrowDirectionDown; }
bool pointsLeft(FLArrowDirection d) { return d == FLArrowDirectionLeft; }
bool pointsRight(FLArrowDirection d) { return d == FLArrowDirectionRight; }
bool vertical(FLArrowDirection d) { return pointsUp(d) || pointsDown(d); }
bool horizontal(FLArrowDirection d) { return pointsLeft(d) || pointsRight(d); }

}  // namespace

FLPopoverBackgroundView::FLPopoverBackgroundView(CGSize contentSize)
    : UIView(CGRectMake(0, 0, contentSize.width, contentSize.height)), contentSize_(contentSize) {
    setAutoresizesSubviews(false);
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setOpaque(false);
    layer()->setName(kLayerName);
    layer()->setContentsScale(UIScreen::mainScreen()->scale());
    // The platform's layers draw on the main thread whatever the system, so the
    // asynchronous drawing of systems from 6.0 on has nothing to switch.
}

FLPopoverBackgroundView::~FLPopoverBackgroundView() = default;

std::shared_ptr<FLPopoverBackgroundView> FLPopoverBackgroundView::initWithContentSize(CGSize contentSize) {
    return std::make_shared<FLPopoverBackgroundView>(contentSize);
}

void FLPopoverBackgroundView::setNavigationBarHeightSource(NavigationBarHeightSource source) {
    barHeightSource() = source ? std::move(source) : NavigationBarHeightSource(visibleNavigationBarHeight);
}

void FLPopoverBackgroundView::setTintColor(UIColorPtr color) {
    tintColor_ = std::move(color);
    UIView::setTintColor(tintColor_ ? tintColor_->CGColor() : nullptr);
}

// ---------------------------------------------------------------- geometry

CGSize FLPopoverBackgroundView::sizeThatFits(CGSize size) const {
    auto bw = static_cast<CGFloat>(borderWidth_);
    auto b = static_cast<CGFloat>(outerShadowBlurRadius_);
    auto h = static_cast<CGFloat>(arrowHeight_);
    CGFloat width = size.width + 2 * (b + bw);
    if (horizontal(arrowDirection_)) width += h;
    CGFloat height = size.height + 2 * b + bw;
    if (navigationBarHeight_ == 0) height += bw;
    if (vertical(arrowDirection_)) height += h;
    return CGSizeMake(width, height);
}

void FLPopoverBackgroundView::sizeToFit() {
    CGSize s = sizeThatFits(contentSize_);
    setBounds(CGRectMake(0, 0, s.width, s.height));
}

CGRect FLPopoverBackgroundView::outerRect(CGRect r, FLArrowDirection d) const {
    auto h = static_cast<CGFloat>(arrowHeight_);
    if (pointsUp(d)) {
        r.size.height -= h;
        r.origin.y += h;
    } else {
        if (pointsDown(d)) r.size.height -= h;
        if (pointsLeft(d)) {
            r.size.width -= h;
            r.origin.x += h;
        }
    }
    if (!pointsLeft(d) && pointsRight(d)) r.size.width -= h;
    auto b = static_cast<CGFloat>(outerShadowBlurRadius_);
    r = CGRectInset(r, b, b);
    return CGRectOffset(r, -outerShadowOffset_.width, -outerShadowOffset_.height);
}

CGRect FLPopoverBackgroundView::innerRect(CGRect r, FLArrowDirection d) const {
    CGRect o = outerRect(r, d);
    auto bw = static_cast<CGFloat>(borderWidth_);
    o.origin.x += bw;
    o.size.width -= 2 * bw;
    o.size.height -= bw;
    if (navigationBarHeight_ == 0 || wantsDefaultContentAppearance_) {
        o.origin.y += bw;
        o.size.height -= bw;
    }
    o = UIEdgeInsetsInsetRect(o, viewContentInsets_);
    if (bw != 0) {
        o.origin.x -= 1;
        o.origin.y -= 1;
        o.size.width += 2;
        o.size.height += 2;
    }
    return o;
}

CGRect FLPopoverBackgroundView::arrowRect(CGRect r, FLArrowDirection d) const {
    if (arrowHeight_ == 0) return CGRectZero;
    auto h = static_cast<CGFloat>(arrowHeight_);
    auto base = static_cast<CGFloat>(arrowBase_);
    CGSize size = horizontal(d) ? CGSizeMake(h, base) : CGSizeMake(base, h);
    CGRect o = outerRect(r, d);
    CGPoint origin{};
    if (pointsUp(d)) {
        origin = CGPointMake(CGRectGetMidX(o) - size.width / 2 + arrowOffset_, CGRectGetMinY(o) - size.height);
    } else if (pointsDown(d)) {
        origin = CGPointMake(CGRectGetMidX(o) - size.width / 2 + arrowOffset_, CGRectGetMaxY(o));
    } else if (pointsRight(d)) {
        origin = CGPointMake(CGRectGetMaxX(o), CGRectGetMidY(o) - size.height / 2 + arrowOffset_);
    } else if (pointsLeft(d)) {
        origin = CGPointMake(CGRectGetMinX(o) - size.width, CGRectGetMidY(o) - size.height / 2 + arrowOffset_);
    } else {
        return CGRectZero;  // no arrow
    }
    return CGRect{origin, size};
}

UIEdgeInsets FLPopoverBackgroundView::outerShadowInsets() const {
    auto b = static_cast<CGFloat>(outerShadowBlurRadius_);
    CGFloat ox = outerShadowOffset_.width, oy = outerShadowOffset_.height;
    return UIEdgeInsetsMake(b - oy, b - ox, b + oy, b + ox);
}

bool FLPopoverBackgroundView::isTouchedAtPoint(CGPoint point) const {
    return CGRectContainsPoint(outerRect(), point) || CGRectContainsPoint(arrowRect(), point);
}

void FLPopoverBackgroundView::setArrowOffset(CGFloat o) {
    FLArrowDirection d = arrowDirection_;
    if (o == 0 || !std::isfinite(o)) {
        arrowOffset_ = vertical(d) ? outerShadowOffset_.width : horizontal(d) ? outerShadowOffset_.height : 0;
        return;
    }
    if (!vertical(d) && !horizontal(d)) {
        arrowOffset_ = o;
        return;
    }
    CGFloat s = o < 0 ? -1 : 1;
    auto k = static_cast<CGFloat>(static_cast<float>(static_cast<double>(arrowBase_) * 0.5 + 0.5)) +
             static_cast<CGFloat>(std::min(minOuterCornerRadius_, outerCornerRadius_));
    CGRect body = outerRect();
    // Room left for the arrow's middle on each side of the edge's middle; none
    // when the body is narrower than the arrow and its corners (the arrow centres).
    CGFloat side = vertical(d) ? CGRectGetWidth(body) : CGRectGetHeight(body);
    CGFloat allowance = std::max<CGFloat>(0, (side - 2 * k) / 2);
    CGFloat along = vertical(d) ? outerShadowOffset_.width : outerShadowOffset_.height;
    CGFloat wanted = std::max<CGFloat>(0, std::fabs(o) + s * along);
    arrowOffset_ = s * std::min(wanted, allowance);
}

// ---------------------------------------------------------------- content

void FLPopoverBackgroundView::setViewController(const std::shared_ptr<UIViewController>& controller) {
    if (!controller) return;
    auto view = controller->view();
    if (!view) return;
    contentView_ = view;
    view->setFrame(CGRectIntegral(CGRectMake(0, 0, bounds().size.width, bounds().size.height)));
    addSubview(view);

    navigationBarHeight_ = std::max<CGFloat>(0, barHeightSource()(*controller));
    view->setFrame(CGRectIntegral(innerRect()));

    if (!innerView_) {
        innerView_ = FLPopoverBackgroundInnerView::initWithFrame(view->frame());
        innerView_->setUserInteractionEnabled(false);
    }
    refreshInnerView();
    insertSubviewAbove(innerView_, view.get());
    innerView_->setFrame(CGRectIntegral(view->frame()));
    layer()->setNeedsDisplay();
}

void FLPopoverBackgroundView::refreshInnerView() {
    if (!innerView_) return;
    auto& in = *innerView_;
    in.gradientTopColor = fillTopColor_;
    in.gradientBottomColor = fillBottomColor_;
    in.innerShadowColor = innerShadowColor_;
    in.innerStrokeColor = innerStrokeColor_;
    in.innerShadowOffset = innerShadowOffset_;
    in.innerCornerRadius = static_cast<CGFloat>(innerCornerRadius_);
    in.innerShadowBlurRadius = static_cast<CGFloat>(innerShadowBlurRadius_);
    in.borderWidth = static_cast<CGFloat>(borderWidth_);
    in.navigationBarHeight = navigationBarHeight_;
    in.gradientHeight = frame().size.height - 2 * static_cast<CGFloat>(outerShadowBlurRadius_);
    in.gradientTopPosition = (contentView_ ? contentView_->frame().origin.y : 0) - outerShadowInsets().top;
    in.wantsDefaultContentAppearance = wantsDefaultContentAppearance_;
}

void FLPopoverBackgroundView::setNeedsDisplay() {
    UIView::setNeedsDisplay();
    if (!innerView_) return;
    refreshInnerView();
    innerView_->setNeedsDisplay();
}

void FLPopoverBackgroundView::tapOut() {
    if (auto d = delegate_.lock()) d->popoverBackgroundViewDidTouchOutside(*this);
}

bool FLPopoverBackgroundView::mayDrawLayer(const CALayer& layer) const { return layer.name() == kLayerName; }

bool FLPopoverBackgroundView::drawLayer(CALayer& layer, const CGContextRef& ctx) {
    if (layer.name() != kLayerName || !ctx) return false;
    CGContextSaveGState(ctx);
    FLPopoverChromeDrawingCache().drawInto(ctx, drawingRecipe(), [this](const CGContextRef& c) { drawChrome(c); });
    CGContextRestoreGState(ctx);
    return true;
}
