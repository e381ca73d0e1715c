#pragma once
// The popover's chrome: the rounded body with its arrow, drop shadow, gradient
// fill, gloss and outer border, drawn into the view's own layer (named
// "parent"), holding the content view controller's view inside an inner frame
// with an inner view (FLPopoverBackgroundInnerView) above it.
//
// Geometry, for bounds r and the view's arrowDirection (FLPopoverTypes.h):
// - outerRect: r less the arrow's height on the arrow's side, inset by the outer
//   shadow's blur and moved by minus its offset, so the drop shadow fits.
// - innerRect: outerRect less the border (the top border only without a
//   visible navigation bar), less viewContentInsets, grown by 1 with a border.
// - arrowRect: the arrow's box against outerRect's edge, shifted along the edge
//   by arrowOffset from its middle; zero when arrowHeight is 0.
// - sizeThatFits: the bounds that hold a content size (outer shadow, border and
//   arrow added). sizeToFit sizes the bounds for contentSize.
// setArrowOffset keeps the arrow off the rounded corners: the stored offset is
// at most half of what is left of the body's side after the arrow's half base
// and the corner allowance, never below 0 on either side (a body narrower than
// the arrow's base centres the arrow). An offset of 0 takes the outer shadow's
// offset along the edge (the arrow then lines up with the shadowed body).
//
// Theme values arrive one by one through the setters (the popover controller
// copies its theme; screens may set the appearance proxy,
// UIAppearance<FLPopoverBackgroundView>); setNeedsDisplay redraws the layer and
// passes the values on to the inner view. Changing a value does not redraw by
// itself. Redrawing with the values of a recent drawing (this chrome's or
// another's) lays down the bitmap kept from it (FLPopoverDrawingCaches.h).
//
// Taps: the overlay's tap recogniser calls tapOut, which tells the delegate
// popoverBackgroundViewDidTouchOutside. isTouchedAtPoint: whether a point lies
// on the body or its arrow.
//
// Main thread only.
#include <functional>
#include <memory>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIEdgeInsets.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "ui/popover/FLPopoverBackgroundInnerView.h"
#include "ui/popover/FLPopoverDrawingCaches.h"
#include "ui/popover/FLPopoverTheme.h"
#include "ui/popover/FLPopoverTypes.h"

class FLPopoverBackgroundView;

class FLPopoverBackgroundViewDelegate {
public:
    virtual ~FLPopoverBackgroundViewDelegate() = default;
    virtual void popoverBackgroundViewDidTouchOutside(FLPopoverBackgroundView& /*view*/) {}
};

class FLPopoverBackgroundView : public UIView {
public:
    // Use initWithContentSize.
    explicit FLPopoverBackgroundView(CGSize contentSize);
    ~FLPopoverBackgroundView() override;
    static std::shared_ptr<FLPopoverBackgroundView> initWithContentSize(CGSize contentSize);

    // The name of the layer the chrome draws.
    static constexpr const char* kLayerName = "parent";

    // Answers the height of a navigation controller's visible navigation bar
    // (0 when the controller is no navigation controller or its bar is hidden).
    // By default the bar's bounds height while the bar shows; a source set
    // here replaces it (tests), and null brings the default back.
    using NavigationBarHeightSource = std::function<CGFloat(UIViewController&)>;
    static void setNavigationBarHeightSource(NavigationBarHeightSource source);

    // Geometry.
    CGSize sizeThatFits(CGSize contentSize) const override;
    void sizeToFit();
    CGRect outerRect() const { return outerRect(bounds(), arrowDirection_); }
    CGRect innerRect() const { return innerRect(bounds(), arrowDirection_); }
    CGRect arrowRect() const { return arrowRect(bounds(), arrowDirection_); }
    CGRect outerRect(CGRect rect, FLArrowDirection direction) const;
    CGRect innerRect(CGRect rect, FLArrowDirection direction) const;
    CGRect arrowRect(CGRect rect, FLArrowDirection direction) const;
    // (b - oy, b - ox, b + oy, b + ox) for outer blur b and offset (ox, oy).
    UIEdgeInsets outerShadowInsets() const;
    bool isTouchedAtPoint(CGPoint point) const;

    CGFloat arrowOffset() const { return arrowOffset_; }
    void setArrowOffset(CGFloat offset);

    // Embeds the controller's view (see the header comment); the inner view is
    // made the first time.
    void setViewController(const std::shared_ptr<UIViewController>& controller);
    const std::shared_ptr<UIView>& contentView() const { return contentView_; }
    const std::shared_ptr<FLPopoverBackgroundInnerView>& innerView() const { return innerView_; }

    // The overlay's tap recogniser's action.
    void tapOut();

    // Redraws the chrome and refreshes the inner view's copy of the values.
    void setNeedsDisplay();

    // CALayerDelegate: draws the layer named "parent" only.
    bool drawLayer(CALayer& layer, const CGContextRef& ctx) override;
    bool mayDrawLayer(const CALayer& layer) const override;

    // Fields.
    CGSize contentSize() const { return contentSize_; }
    void setContentSize(CGSize size) { contentSize_ = size; }
    bool wantsDefaultContentAppearance() const { return wantsDefaultContentAppearance_; }
    void setWantsDefaultContentAppearance(bool value) { wantsDefaultContentAppearance_ = value; }
    bool isAppearing() const { return appearing_; }
    void setAppearing(bool value) { appearing_ = value; }
    CGFloat navigationBarHeight() const { return navigationBarHeight_; }
    void setNavigationBarHeight(CGFloat value) { navigationBarHeight_ = value; }
    FLArrowDirection arrowDirection() const { return arrowDirection_; }
    void setArrowDirection(FLArrowDirection direction) { arrowDirection_ = direction; }
    std::shared_ptr<FLPopoverBackgroundViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<FLPopoverBackgroundViewDelegate>& d) { delegate_ = d; }

    // The theme's values (see FLPopoverTheme.h). The tint also becomes the view's tint.
    UIColorPtr tintColor() const { return tintColor_; }
    void setTintColor(UIColorPtr color);
    UIColorPtr fillTopColor() const { return fillTopColor_; }
    void setFillTopColor(UIColorPtr color) { fillTopColor_ = std::move(color); }
    UIColorPtr fillBottomColor() const { return fillBottomColor_; }
    void setFillBottomColor(UIColorPtr color) { fillBottomColor_ = std::move(color); }
    UIColorPtr glossShadowColor() const { return glossShadowColor_; }
    void setGlossShadowColor(UIColorPtr color) { glossShadowColor_ = std::move(color); }
    FLPopoverCount glossShadowBlurRadius() const { return glossShadowBlurRadius_; }
    void setGlossShadowBlurRadius(FLPopoverCount v) { glossShadowBlurRadius_ = v; }
    FLPopoverCount borderWidth() const { return borderWidth_; }
    void setBorderWidth(FLPopoverCount v) { borderWidth_ = v; }
    FLPopoverCount arrowBase() const { return arrowBase_; }
    void setArrowBase(FLPopoverCount v) { arrowBase_ = v; }
    FLPopoverCount arrowHeight() const { return arrowHeight_; }
    void setArrowHeight(FLPopoverCount v) { arrowHeight_ = v; }
    UIColorPtr outerShadowColor() const { return outerShadowColor_; }
    void setOuterShadowColor(UIColorPtr color) { outerShadowColor_ = std::move(color); }
    UIColorPtr outerStrokeColor() const { return outerStrokeColor_; }
    void setOuterStrokeColor(UIColorPtr color) { outerStrokeColor_ = std::move(color); }
    FLPopoverCount outerShadowBlurRadius() const { return outerShadowBlurRadius_; }
    void setOuterShadowBlurRadius(FLPopoverCount v) { outerShadowBlurRadius_ = v; }
    FLPopoverCount outerCornerRadius() const { return outerCornerRadius_; }
    void setOuterCornerRadius(FLPopoverCount v) { outerCornerRadius_ = v; }
    FLPopoverCount minOuterCornerRadius() const { return minOuterCornerRadius_; }
    void setMinOuterCornerRadius(FLPopoverCount v) { minOuterCornerRadius_ = v; }
    UIColorPtr innerShadowColor() const { return innerShadowColor_; }
    void setInnerShadowColor(UIColorPtr color) { innerShadowColor_ = std::move(color); }
    UIColorPtr innerStrokeColor() const { return innerStrokeColor_; }
    void setInnerStrokeColor(UIColorPtr color) { innerStrokeColor_ = std::move(color); }
    FLPopoverCount innerShadowBlurRadius() const { return innerShadowBlurRadius_; }
    void setInnerShadowBlurRadius(FLPopoverCount v) { innerShadowBlurRadius_ = v; }
    FLPopoverCount innerCornerRadius() const { return innerCornerRadius_; }
    void setInnerCornerRadius(FLPopoverCount v) { innerCornerRadius_ = v; }
    bool usesRoundedArrow() const { return usesRoundedArrow_; }
    void setUsesRoundedArrow(bool value) { usesRoundedArrow_ = value; }
    bool adjustsTintColor() const { return adjustsTintColor_; }
    void setAdjustsTintColor(bool value) { adjustsTintColor_ = value; }
    UIColorPtr overlayColor() const { return overlayColor_; }
    void setOverlayColor(UIColorPtr color) { overlayColor_ = std::move(color); }
    CGSize glossShadowOffset() const { return glossShadowOffset_; }
    void setGlossShadowOffset(CGSize offset) { glossShadowOffset_ = offset; }
    CGSize outerShadowOffset() const { return outerShadowOffset_; }
    void setOuterShadowOffset(CGSize offset) { outerShadowOffset_ = offset; }
    CGSize innerShadowOffset() const { return innerShadowOffset_; }
    void setInnerShadowOffset(CGSize offset) { innerShadowOffset_ = offset; }
    UIEdgeInsets viewContentInsets() const { return viewContentInsets_; }
    void setViewContentInsets(UIEdgeInsets insets) { viewContentInsets_ = insets; }

private:
    // Copies the values the inner view draws with (colours, offsets, radii,
    // border, bar height, gradient band, plain-content flag).
    void refreshInnerView();
    void drawChrome(const CGContextRef& ctx) const;
    // Every value drawChrome reads, for the drawing cache.
    DrawingCache::Recipe drawingRecipe() const;

    std::shared_ptr<FLPopoverBackgroundInnerView> innerView_;
    CGSize contentSize_{};
    bool wantsDefaultContentAppearance_ = false;
    bool appearing_ = true;
    CGFloat arrowOffset_ = 0;
    CGFloat navigationBarHeight_ = 0;
    UIColorPtr tintColor_, fillTopColor_, fillBottomColor_, glossShadowColor_;
    FLPopoverCount glossShadowBlurRadius_ = 0, borderWidth_ = 0, arrowBase_ = 0, arrowHeight_ = 0;
    UIColorPtr outerShadowColor_, outerStrokeColor_;
    FLPopoverCount outerShadowBlurRadius_ = 0, outerCornerRadius_ = 0, minOuterCornerRadius_ = 0;
    UIColorPtr innerShadowColor_, innerStrokeColor_;
    FLPopoverCount innerShadowBlurRadius_ = 0, innerCornerRadius_ = 0;
    FLArrowDirection arrowDirection_ = FLArrowDirectionDown;
    std::shared_ptr<UIView> contentView_;
    bool usesRoundedArrow_ = false;
    bool adjustsTintColor_ = false;
    UIColorPtr overlayColor_;
    std::weak_ptr<FLPopoverBackgroundViewDelegate> delegate_;
    CGSize glossShadowOffset_{}, outerShadowOffset_{}, innerShadowOffset_{};
    UIEdgeInsets viewContentInsets_{};
};
