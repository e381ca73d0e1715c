#pragma once
// A rectangle in a tree of views, drawn through its layer.
//
// Geometry: `bounds` is the view's own coordinate space, `center` its middle in
// the superview and `transform` turns it about the centre; `frame` is derived
// from them (the box of the transformed bounds). They are the layer's bounds,
// position and transform. Changing the size lays out again (setNeedsLayout) and
// resizes the subviews by their autoresizing masks.
//
// Passes: layout (layoutSubviews on views marked by setNeedsLayout) and display
// (drawRect: of views marked by setNeedsDisplay, cached in the layer's backing
// bitmap) run at the end of every pass of the main run loop for visible windows
// (see UIWindow), or at once through layoutIfNeeded / UIWindow::displayIfNeeded.
//
// Key-value observation: "frame", "bounds" and "center" are announced on every
// set of that property (a scroll changes the bounds, not the frame).
//
// Animations: inside an animation block (animateWithDuration..., or between
// beginAnimations and commitAnimations) every change of frame, bounds, centre,
// transform, alpha or background colour takes its new model value at once, is
// recorded on the view under the layer key ("position", "bounds", "transform",
// "opacity", "backgroundColor") and adds a basic animation under that key to the
// layer. Completions run on the main run loop once delay + duration of Clock
// time have passed.
//
// Main thread only.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIResponder.h"

class UIViewController;
class UIWindow;
class UIEvent;
class NSLayoutConstraint;
class UIGestureRecognizer;

// How a view shows its tint: Automatic follows the superview (Normal at the
// top), Dimmed shows it greyed out (while a popover or alert is in front).
enum UIViewTintAdjustmentMode : long {
    UIViewTintAdjustmentModeAutomatic = 0,
    UIViewTintAdjustmentModeNormal = 1,
    UIViewTintAdjustmentModeDimmed = 2,
};
using UILayoutPriority = float;

enum UIViewContentMode : long {
    UIViewContentModeScaleToFill = 0,
    UIViewContentModeScaleAspectFit = 1,
    UIViewContentModeScaleAspectFill = 2,
    UIViewContentModeRedraw = 3,
    UIViewContentModeCenter = 4,
    UIViewContentModeTop = 5,
    UIViewContentModeBottom = 6,
    UIViewContentModeLeft = 7,
    UIViewContentModeRight = 8,
    UIViewContentModeTopLeft = 9,
    UIViewContentModeTopRight = 10,
    UIViewContentModeBottomLeft = 11,
    UIViewContentModeBottomRight = 12,
};

using UIViewAutoresizing = unsigned long;
inline constexpr UIViewAutoresizing UIViewAutoresizingNone = 0;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleLeftMargin = 1 << 0;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleWidth = 1 << 1;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleRightMargin = 1 << 2;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleTopMargin = 1 << 3;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleHeight = 1 << 4;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleBottomMargin = 1 << 5;

enum UIViewAnimationCurve : long {
    UIViewAnimationCurveEaseInOut = 0,
    UIViewAnimationCurveEaseIn = 1,
    UIViewAnimationCurveEaseOut = 2,
    UIViewAnimationCurveLinear = 3,
};

using UIViewAnimationOptions = unsigned long;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionLayoutSubviews = 1 << 0;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionAllowUserInteraction = 1 << 1;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionBeginFromCurrentState = 1 << 2;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionRepeat = 1 << 3;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionAutoreverse = 1 << 4;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveEaseInOut = 0 << 16;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveEaseIn = 1 << 16;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveEaseOut = 2 << 16;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveLinear = 3 << 16;

enum UILayoutConstraintAxis : long {
    UILayoutConstraintAxisHorizontal = 0,
    UILayoutConstraintAxisVertical = 1,
};
// An intrinsic size without a length on an axis.
inline constexpr CGFloat UIViewNoIntrinsicMetric = -1;

// One animated change of a view's property, as recorded for tests.
struct UIViewAnimationRecord {
    std::string key;  // the layer key: "position", "bounds", "transform", "opacity", "backgroundColor"
    CAValue fromValue;
    CAValue toValue;
    double duration = 0;
    double delay = 0;
    UIViewAnimationOptions options = 0;
    double startTime = 0;     // Clock time the animation begins (delay included)
    std::string animationID;  // the beginAnimations identifier, empty for blocks
};

// The platform's default tint (a clear blue).
CGColorRef UIViewDefaultTintColor();
// The grey a dimmed view shows for the tint: the tint's brightness, its alpha.
CGColorRef UIViewDimmedTintColor(const CGColorRef& tint);

struct UIViewAnimationCapture;

class UIView : public UIResponder, public CALayerDelegate {
public:
    explicit UIView(CGRect frame = CGRectZero);
    ~UIView() override;

    // The backing layer (made with the view; a subclass may give its own kind
    // of layer through the protected constructor).
    const CALayerPtr& layer() const { return layer_; }

    // Geometry.
    CGRect frame() const;
    virtual void setFrame(CGRect frame);
    CGRect bounds() const { return layer_->bounds(); }
    virtual void setBounds(CGRect bounds);  // keeps the centre
    CGPoint center() const { return layer_->position(); }
    void setCenter(CGPoint center);
    CGAffineTransform transform() const { return layer_->affineTransform(); }
    void setTransform(const CGAffineTransform& transform);

    // Appearance.
    bool isHidden() const { return layer_->isHidden(); }
    virtual void setHidden(bool hidden);
    CGFloat alpha() const { return layer_->opacity(); }
    virtual void setAlpha(CGFloat alpha);  // clamped to 0...1
    bool isOpaque() const { return opaque_; }
    virtual void setOpaque(bool opaque);
    const CGColorRef& backgroundColor() const { return backgroundColor_; }
    virtual void setBackgroundColor(CGColorRef color);
    bool clipsToBounds() const { return layer_->masksToBounds(); }
    void setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }
    UIViewContentMode contentMode() const { return contentMode_; }
    void setContentMode(UIViewContentMode mode);
    UIViewAutoresizing autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(UIViewAutoresizing mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool value) { autoresizesSubviews_ = value; }
    // The view's own tint, else its superview's, else the default tint.
    CGColorRef tintColor() const;
    void setTintColor(CGColorRef color);
    // Told when the tint this view shows changed (its own or an inherited one).
    virtual void tintColorDidChange() {}
    // The mode in force: the own one, else the nearest superview's, else Normal.
    // While it is Dimmed, tintColor answers a grey of the tint's brightness.
    // The setter exists from system 7.0 (respondsToSetTintAdjustmentMode);
    // setting it tells this view and the subviews that follow it.
    UIViewTintAdjustmentMode tintAdjustmentMode() const;
    void setTintAdjustmentMode(UIViewTintAdjustmentMode mode);
    bool respondsToSetTintAdjustmentMode() const;

    // Gesture recognisers see the touches of this view and its subviews first
    // (see UIWindow's touch driver); adding one already on another view moves it.
    void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    void removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    const std::vector<std::shared_ptr<UIGestureRecognizer>>& gestureRecognizers() const { return gestureRecognizers_; }
    // The one added last, null when there is none (removing null does nothing).
    std::shared_ptr<UIGestureRecognizer> lastGestureRecognizer() const {
        return gestureRecognizers_.empty() ? nullptr : gestureRecognizers_.back();
    }
    CGFloat contentScaleFactor() const { return layer_->contentsScale(); }
    void setContentScaleFactor(CGFloat scale) { layer_->setContentsScale(scale); }
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
    void setMultipleTouchEnabled(bool enabled) { multipleTouchEnabled_ = enabled; }

    // Accessibility facts the screen reader would read.
    bool isAccessibilityElement() const { return accessibilityElement_; }
    void setIsAccessibilityElement(bool value) { accessibilityElement_ = value; }
    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
    // The name tests and the device screen find the view by (interface
    // factories set it to the outlet's name).
    const std::string& accessibilityIdentifier() const { return accessibilityIdentifier_; }
    void setAccessibilityIdentifier(std::string identifier) { accessibilityIdentifier_ = std::move(identifier); }

    // The tree. A view added elsewhere leaves its former superview first; adding
    // a view to itself or to one of its own descendants is refused.
    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    void addSubview(const std::shared_ptr<UIView>& view);
    void insertSubview(const std::shared_ptr<UIView>& view, std::size_t atIndex);
    void insertSubviewBelow(const std::shared_ptr<UIView>& view, const UIView* sibling);
    void insertSubviewAbove(const std::shared_ptr<UIView>& view, const UIView* sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const std::shared_ptr<UIView>& view);
    void sendSubviewToBack(const std::shared_ptr<UIView>& view);
    bool isDescendantOfView(const UIView* view) const;
    // This view or the first descendant (depth first) with the tag.
    std::shared_ptr<UIView> viewWithTag(long tag);
    // The window the view is in, if any.
    virtual std::shared_ptr<UIWindow> window() const;

    // Coordinate conversion between views of one tree, transforms applied: a
    // point in this view's bounds to the other view's, and back. A null view
    // stands for the root of this view's tree (its window, when it is in one).
    CGPoint convertPointToView(CGPoint point, const UIView* view) const;
    CGPoint convertPointFromView(CGPoint point, const UIView* view) const;
    // The box of the converted corners.
    CGRect convertRectToView(CGRect rect, const UIView* view) const;
    CGRect convertRectFromView(CGRect rect, const UIView* view) const;

    // Hit testing: the deepest view under the point (in this view's bounds)
    // that takes touches. Hidden views, views with alpha below 0.01 and views
    // with user interaction off are skipped with their subtrees; subviews are
    // asked from the last (front-most) to the first.
    virtual std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event);
    // Whether the point (in the bounds' coordinates) is inside the bounds.
    virtual bool pointInside(CGPoint point, UIEvent* event) const;

    // Layout: setNeedsLayout marks the view; layoutIfNeeded lays out marked views
    // of the subtree, calling layoutSubviews on each.
    void setNeedsLayout() { needsLayout_ = true; }
    bool needsLayout() const { return needsLayout_; }
    void layoutIfNeeded();
    virtual void layoutSubviews() {}
    // The size that fits in the given one; by default the current size.
    virtual CGSize sizeThatFits(CGSize size) const;
    void sizeToFit();

    // Display: the view's drawRect: runs on the next display pass after
    // setNeedsDisplay. drawRect: draws into the current drawing context (the
    // view's bounds, y down, in points). A view that does not override drawRect:
    // keeps no bitmap (the base drawRect: tells the layer so; an override that
    // calls it therefore counts as not drawing).
    void setNeedsDisplay();
    void setNeedsDisplayInRect(CGRect rect);
    virtual void drawRect(CGRect rect);
    // The context drawRect: draws into: the current UIKit context
    // (UIGraphicsGetCurrentContext), pushed for the length of drawRect:.
    static CGContextRef currentDrawingContext();

    // Hooks for subclasses around moves in the tree.
    virtual void willMoveToSuperview(const std::shared_ptr<UIView>&) {}
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(const std::shared_ptr<UIWindow>&) {}
    virtual void didMoveToWindow() {}
    virtual void didAddSubview(const std::shared_ptr<UIView>&) {}
    virtual void willRemoveSubview(const std::shared_ptr<UIView>&) {}

    // Constraints kept on the view (solving them is the layout engine's).
    const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints() const { return constraints_; }
    void addConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint);
    void addConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
    void removeConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint);
    void removeConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
    bool translatesAutoresizingMaskIntoConstraints() const { return translatesMask_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool value) { translatesMask_ = value; }
    // The size the content asks for (UIViewNoIntrinsicMetric on an axis
    // without one), used by the layout engine for views it places; a subclass
    // whose content changed calls invalidateIntrinsicContentSize.
    virtual CGSize intrinsicContentSize() const { return CGSizeMake(UIViewNoIntrinsicMetric, UIViewNoIntrinsicMetric); }
    void invalidateIntrinsicContentSize();
    // How strongly the view keeps from growing beyond (hugging, 250 by
    // default) or shrinking below (compression resistance, 750) that size.
    UILayoutPriority contentHuggingPriorityForAxis(UILayoutConstraintAxis axis) const { return hugging_[axis & 1]; }
    void setContentHuggingPriority(UILayoutPriority priority, UILayoutConstraintAxis axis);
    UILayoutPriority contentCompressionResistancePriorityForAxis(UILayoutConstraintAxis axis) const {
        return compression_[axis & 1];
    }
    void setContentCompressionResistancePriority(UILayoutPriority priority, UILayoutConstraintAxis axis);

    // Block animations (see the header comment).
    using Animations = std::function<void()>;
    using Completion = std::function<void(bool finished)>;
    static void animateWithDuration(double duration, Animations animations, Completion completion = {});
    static void animateWithDuration(double duration, double delay, UIViewAnimationOptions options,
                                    Animations animations, Completion completion);
    static void beginAnimations(const std::string& animationID, void* context = nullptr);
    static void commitAnimations();
    static void setAnimationDuration(double duration);
    static void setAnimationDelay(double delay);
    static void setAnimationCurve(UIViewAnimationCurve curve);
    static void setAnimationBeginsFromCurrentState(bool value);
    // The delegate and did-stop selector of begin/commit animations: the handler
    // runs (with the animation identifier, whether it finished and the context)
    // after the animations end, only while the delegate is alive.
    static void setAnimationDelegate(const std::shared_ptr<NSObject>& delegate);
    using DidStopHandler = std::function<void(const std::string& animationID, bool finished, void* context)>;
    static void setAnimationDidStopSelector(DidStopHandler handler);
    static void setAnimationsEnabled(bool enabled);
    static bool areAnimationsEnabled();
    static void performWithoutAnimation(const Animations& changes);
    static bool isInAnimationBlock();
    // Runs `body` holding its block animations for an interactive transition
    // (UIViewControllerTransitioning.h): each animated change of a view's
    // layer and each completion goes into `capture`; nothing is animated or
    // scheduled, the model values are those the body set.
    static void captureAnimations(UIViewAnimationCapture& capture, const Animations& body);
    // The last animated change of each key on this view.
    std::optional<UIViewAnimationRecord> animationRecordForKey(const std::string& key) const;
    const std::map<std::string, UIViewAnimationRecord>& animationRecords() const { return animationRecords_; }
    void clearAnimationRecords() { animationRecords_.clear(); }
    // Records a change of a property of the view's own (not its layer's) when
    // made inside an animation block; subclasses call it from their setters
    // (a scroll view's "contentInset", for one).
    void recordAnimatedChange(const std::string& key, const CAValue& from, const CAValue& to);

    // The root view of a view controller answers the controller as next responder;
    // any other view its superview.
    std::shared_ptr<UIResponder> nextResponder() const override;

    // "<Class: 0x...; frame = (x y; w h)>", with "hidden" and the alpha when they matter.
    std::string description() const override;

    // CALayerDelegate.
    bool drawLayer(CALayer& layer, const CGContextRef& ctx) override;
    bool mayDrawLayer(const CALayer& layer) const override;
    void layerDidChangeValue(CALayer& layer, const std::string& key, const CAValue& from, const CAValue& to) override;

protected:
    UIView(CGRect frame, CALayerPtr layer);

private:
    friend class UIViewController;
    void sizeChanged(CGSize oldSize);
    void resizeWithOldSuperviewSize(CGSize oldSize);
    void moveToWindow(const std::shared_ptr<UIWindow>& window);
    void notifyTintChange();
    void notifyTintAdjustmentChange();
    void applyAppearanceOnce();

    CALayerPtr layer_;
    bool opaque_ = true;
    CGColorRef backgroundColor_;
    CGColorRef tintColor_;
    UIViewTintAdjustmentMode tintAdjustmentMode_ = UIViewTintAdjustmentModeAutomatic;
    std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers_;
    UIViewContentMode contentMode_ = UIViewContentModeScaleToFill;
    UIViewAutoresizing autoresizingMask_ = UIViewAutoresizingNone;
    bool autoresizesSubviews_ = true;
    long tag_ = 0;
    bool userInteractionEnabled_ = true;
    bool multipleTouchEnabled_ = false;
    bool accessibilityElement_ = false;
    std::string accessibilityLabel_;
    std::string accessibilityIdentifier_;
    bool needsLayout_ = true;
    bool appearanceApplied_ = false;
    bool translatesMask_ = true;
    UILayoutPriority hugging_[2] = {250, 250};
    UILayoutPriority compression_[2] = {750, 750};
    std::weak_ptr<UIView> superview_;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::weak_ptr<UIViewController> viewController_;  // set when this is a controller's root view
    std::vector<std::shared_ptr<NSLayoutConstraint>> constraints_;
    std::map<std::string, UIViewAnimationRecord> animationRecords_;
};
