#pragma once
// Layers: the tree every view draws through.
//
// Geometry: `bounds` is the layer's own coordinate space (y down, as views
// draw), `position` is where the `anchorPoint` (a fraction of the bounds,
// 0.5/0.5 by default) sits in the superlayer, and `transform` turns the layer
// about its anchor point. `frame` is derived: the box of the transformed bounds
// in the superlayer.
//
// Drawing: a layer paints, in order, its background (rounded by
// `cornerRadius`), its `contents` image (placed by `contentsGravity`), its own
// drawing (the delegate's drawLayer, or a subclass's drawInContext, cached in a
// backing bitmap until setNeedsDisplay marks it dirty), its sublayers (clipped
// to the rounded bounds with `masksToBounds`) and its border on top. `opacity`
// applies to the whole subtree as one group.
//
// Changes: every change of a property announces itself to the delegate (a view
// decides whether it animates) or, for a standalone layer in a tree, adds an
// implicit animation under the property's key unless the current transaction
// disables actions. Animations never change model values.
//
// Main thread only.
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGImage.h"
#include "platform/quartzcore/CAAnimation.h"
#include "platform/quartzcore/CATransform3D.h"
#include "platform/quartzcore/CAValue.h"
#include "platform/quartzcore/Forward.h"

inline constexpr const char* kCAGravityResize = "resize";
inline constexpr const char* kCAGravityResizeAspect = "resizeAspect";
inline constexpr const char* kCAGravityResizeAspectFill = "resizeAspectFill";
inline constexpr const char* kCAGravityCenter = "center";
inline constexpr const char* kCAGravityTop = "top";
inline constexpr const char* kCAGravityBottom = "bottom";
inline constexpr const char* kCAGravityLeft = "left";
inline constexpr const char* kCAGravityRight = "right";
inline constexpr const char* kCAGravityTopLeft = "topLeft";
inline constexpr const char* kCAGravityTopRight = "topRight";
inline constexpr const char* kCAGravityBottomLeft = "bottomLeft";
inline constexpr const char* kCAGravityBottomRight = "bottomRight";

// What a layer asks of the object that owns it (a view).
class CALayerDelegate {
public:
    virtual ~CALayerDelegate() = default;
    // Draws the layer's content into ctx, whose user space is the layer's bounds
    // (y down, in points). Returns false when the delegate has no drawing of its
    // own, so that the layer keeps no backing bitmap.
    virtual bool drawLayer(CALayer& /*layer*/, const CGContextRef& /*ctx*/) { return false; }
    // False when the delegate knows it has no drawing of its own, so that no
    // bitmap is made to ask drawLayer.
    virtual bool mayDrawLayer(const CALayer& /*layer*/) const { return true; }
    // A property of the layer changed (key as in valueForKey).
    virtual void layerDidChangeValue(CALayer& /*layer*/, const std::string& /*key*/, const CAValue& /*from*/,
                                     const CAValue& /*to*/) {}
};

class CALayer : public NSObject {
public:
    CALayer();
    ~CALayer() override;
    static CALayerPtr layer() { return std::make_shared<CALayer>(); }

    // Geometry.
    CGRect bounds() const { return bounds_; }
    void setBounds(CGRect bounds);
    CGPoint position() const { return position_; }
    void setPosition(CGPoint position);
    CGPoint anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(CGPoint anchorPoint);
    const CATransform3D& transform() const { return transform_; }
    void setTransform(const CATransform3D& transform);
    CGAffineTransform affineTransform() const { return CATransform3DGetAffineTransform(transform_); }
    void setAffineTransform(const CGAffineTransform& t) { setTransform(CATransform3DMakeAffineTransform(t)); }
    CGRect frame() const;
    // Sets the bounds' size and the position so that the untransformed layer
    // covers the rectangle.
    void setFrame(CGRect frame);
    CGFloat zPosition() const { return zPosition_; }
    void setZPosition(CGFloat z) { zPosition_ = z; }

    // Appearance.
    float opacity() const { return opacity_; }
    void setOpacity(float opacity);  // clamped to 0...1
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks);
    CGFloat cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(CGFloat radius);  // negative or not finite: 0
    const CGColorRef& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(CGColorRef color);
    CGFloat borderWidth() const { return borderWidth_; }
    void setBorderWidth(CGFloat width);  // negative or not finite: 0
    const CGColorRef& borderColor() const { return borderColor_; }
    void setBorderColor(CGColorRef color);  // black when never set
    const CGImageRef& contents() const { return contents_; }
    void setContents(CGImageRef image);
    const std::string& contentsGravity() const { return contentsGravity_; }
    void setContentsGravity(const std::string& gravity);
    CGFloat contentsScale() const { return contentsScale_; }
    void setContentsScale(CGFloat scale);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

    // The tree. A layer added elsewhere leaves its former superlayer first;
    // adding a layer to itself or to one of its sublayers is refused.
    CALayerPtr superlayer() const { return superlayer_.lock(); }
    const std::vector<CALayerPtr>& sublayers() const { return sublayers_; }
    void addSublayer(const CALayerPtr& layer);
    void insertSublayer(const CALayerPtr& layer, std::size_t index);
    void insertSublayerBelow(const CALayerPtr& layer, const CALayer* sibling);
    void insertSublayerAbove(const CALayerPtr& layer, const CALayer* sibling);
    void removeFromSuperlayer();
    bool isDescendantOf(const CALayer* layer) const;

    CALayerDelegate* delegate() const { return delegate_; }
    // Not owned: the owner clears it before it goes away (a view does in its destructor).
    void setDelegate(CALayerDelegate* delegate) { delegate_ = delegate; }

    // Conversion between layers of one tree (affine transforms applied).
    CGPoint convertPointToLayer(CGPoint p, const CALayer* layer) const;
    CGPoint convertPointFromLayer(CGPoint p, const CALayer* layer) const;
    CGRect convertRectToLayer(CGRect r, const CALayer* layer) const;
    CGRect convertRectFromLayer(CGRect r, const CALayer* layer) const;
    // This layer's bounds space to its superlayer's, and its inverse (false when singular).
    CGAffineTransform transformToSuperlayer() const;
    bool containsPoint(CGPoint p) const { return CGRectContainsPoint(bounds_, p); }

    // Display: the cached drawing is redrawn on the next display pass after
    // setNeedsDisplay (and when drawn at a new scale).
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
    void setNeedsDisplayOnBoundsChange(bool value) { needsDisplayOnBoundsChange_ = value; }
    // Redraws the backing at the scale when it is marked dirty.
    void displayIfNeeded(CGFloat scale);
    // The same for the whole visible subtree.
    void displayTreeIfNeeded(CGFloat scale);
    // Draws the layer's own content; the default draws nothing (returns false).
    virtual bool drawInContext(const CGContextRef& ctx);
    // How many times the backing was redrawn; the last backing bitmap.
    std::size_t displayCount() const { return displayCount_; }
    const CGImageRef& backingImage() const { return backing_; }

    // Composites the layer and its sublayers into ctx, in the layer's own
    // coordinates with y down (a context from UIGraphics or from
    // CALayerCreateRenderContext). Model values are drawn, not animations.
    void renderInContext(const CGContextRef& ctx);

    // Animations.
    void addAnimation(const CAAnimationPtr& animation, const std::string& key);
    CAAnimationPtr animationForKey(const std::string& key) const;
    std::vector<std::string> animationKeys() const;
    void removeAnimationForKey(const std::string& key);
    void removeAllAnimations();
    // The value an on-screen layer would show now: the model value blended by
    // the running basic animations of that key path.
    CAValue presentationValueForKey(const std::string& key) const;

    // Model values by key ("bounds", "position", "anchorPoint", "transform",
    // "opacity", "hidden", "masksToBounds", "cornerRadius", "backgroundColor",
    // "borderWidth", "borderColor", "contents", "zPosition"; shape layers add theirs).
    virtual CAValue valueForKey(const std::string& key) const;
    // Sets a property by key; false for an unknown key or a value of the wrong kind.
    [[nodiscard]] virtual bool setValueForKey(const std::string& key, const CAValue& value);

    // Bumped on every change of any layer: a renderer compares it to skip unchanged frames.
    static std::uint64_t changeGeneration() { return generation_.load(); }

protected:
    // Announces a change (see the header comment). Subclasses call it from their setters.
    void propertyDidChange(const std::string& key, const CAValue& from, const CAValue& to);
    // Draws the backing bitmap at the scale: the image and the rectangle it
    // covers in the layer's coordinates (the bounds for the delegate's or
    // drawInContext's drawing; a shape layer's outline box). Null when nothing
    // is drawn.
    virtual CGImageRef makeBacking(CGFloat scale, CGRect& rect);
    // Whether the backing covers the bounds wherever their origin moves (drawn
    // content, like contents, stays put when the bounds scroll), rather than
    // a fixed rectangle of the layer's space (a shape layer's outline).
    virtual bool backingFollowsBounds() const { return true; }
    static void bumpGeneration() { ++generation_; }
    // Sets a property's field and announces the change (nothing when equal).
    template <class T>
    void changeValue(const std::string& key, T& field, T value) {
        if (sameValue(field, value)) return;
        CAValue old = asValue(field);
        field = std::move(value);
        propertyDidChange(key, old, asValue(field));
    }

private:
    friend struct CALayerRenderer;
    static bool sameValue(const CGColorRef& a, const CGColorRef& b) { return CGColorEqualToColor(a, b); }
    template <class T>
    static bool sameValue(const T& a, const T& b) {
        return a == b;
    }
    static CAValue asValue(float v) { return double(v); }
    static CAValue asValue(bool v) { return double(v); }
    template <class T>
    static CAValue asValue(const T& v) {
        return v;
    }
    void finishAnimation(const std::string& key, const CAAnimationPtr& animation, bool finished);

    CGRect bounds_{};
    CGPoint position_{};
    CGPoint anchorPoint_{0.5, 0.5};
    CATransform3D transform_{};
    CGFloat zPosition_ = 0;
    float opacity_ = 1;
    bool hidden_ = false;
    bool masksToBounds_ = false;
    bool opaque_ = false;
    CGFloat cornerRadius_ = 0;
    CGColorRef backgroundColor_;
    CGFloat borderWidth_ = 0;
    CGColorRef borderColor_;
    CGImageRef contents_;
    std::string contentsGravity_ = kCAGravityResize;
    CGFloat contentsScale_ = 1;
    std::string name_;

    std::weak_ptr<CALayer> superlayer_;
    std::vector<CALayerPtr> sublayers_;
    CALayerDelegate* delegate_ = nullptr;

    bool needsDisplay_ = true;
    bool needsDisplayOnBoundsChange_ = false;
    bool drawsNothing_ = false;  // the last display found no drawing of the delegate's
    CGImageRef backing_;
    CGRect backingRect_{};
    CGFloat backingScale_ = 0;
    std::size_t displayCount_ = 0;

    std::vector<std::pair<std::string, CAAnimationPtr>> animations_;
    std::uint64_t nextAnimationKey_ = 1;
    static std::atomic<std::uint64_t> generation_;
};

// Adds a rectangle with rounded corners (radius limited to half the shorter
// side; 0 or less: a plain rectangle) to the context's path.
void CAContextAddRoundedRect(const CGContextRef& ctx, CGRect rect, CGFloat radius);

// A bitmap context for rendering layers: width x height points at the scale,
// premultiplied ARGB in the native order, user space in points with y down.
// Null for an empty, non-finite or oversized size.
CGContextRef CALayerCreateRenderContext(CGSize size, CGFloat scale);
// The layer tree rendered into a new image of its bounds' size at the scale;
// null when the size gives no context.
CGImageRef CALayerRenderImage(CALayer& layer, CGFloat scale);
