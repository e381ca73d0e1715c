#include "platform/quartzcore/CALayer.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/quartzcore/CATransaction.h"
#include "platform/runloop/NSRunLoop.h"

std::atomic<std::uint64_t> CALayer::generation_{1};

namespace {
CGFloat finiteOrZero(CGFloat v) { return std::isfinite(v) && v > 0 ? v : 0; }
}  // namespace

CALayer::CALayer() = default;

CALayer::~CALayer() {
    // Pending end timers hold the layer weakly; the delegates of animations cut
    // short hear nothing, as the layer is gone.
    for (auto& s : sublayers_) s->superlayer_.reset();
}

void CALayer::propertyDidChange(const std::string& key, const CAValue& from, const CAValue& to) {
    bumpGeneration();
    if (delegate_) {
        delegate_->layerDidChangeValue(*this, key, from, to);
        return;
    }
    if (CATransaction::disableActions() || superlayer_.expired()) return;
    auto animation = CABasicAnimation::animationWithKeyPath(key);
    animation->fromValue = from;
    animation->toValue = to;
    animation->duration = CATransaction::animationDuration();
    if (animation->duration > 0) addAnimation(animation, key);
}

void CALayer::setBounds(CGRect bounds) {
    if (needsDisplayOnBoundsChange_ && bounds.size != bounds_.size) setNeedsDisplay();
    changeValue("bounds", bounds_, bounds);
}

void CALayer::setPosition(CGPoint position) { changeValue("position", position_, position); }

void CALayer::setAnchorPoint(CGPoint anchorPoint) { changeValue("anchorPoint", anchorPoint_, anchorPoint); }

void CALayer::setTransform(const CATransform3D& transform) { changeValue("transform", transform_, transform); }

CGAffineTransform CALayer::transformToSuperlayer() const {
    // p -> position + T (p - anchor), the anchor in bounds coordinates.
    CGFloat ax = bounds_.origin.x + anchorPoint_.x * bounds_.size.width;
    CGFloat ay = bounds_.origin.y + anchorPoint_.y * bounds_.size.height;
    CGAffineTransform t = affineTransform();
    CGAffineTransform m = t;
    m.tx = position_.x + t.tx - (t.a * ax + t.c * ay);
    m.ty = position_.y + t.ty - (t.b * ax + t.d * ay);
    return m;
}

CGRect CALayer::frame() const { return ca::applyAffineToRect(transformToSuperlayer(), bounds_); }

void CALayer::setFrame(CGRect frame) {
    frame = CGRectStandardize(frame);
    setBounds(CGRectMake(bounds_.origin.x, bounds_.origin.y, frame.size.width, frame.size.height));
    setPosition(CGPointMake(frame.origin.x + anchorPoint_.x * frame.size.width,
                            frame.origin.y + anchorPoint_.y * frame.size.height));
}

void CALayer::setOpacity(float opacity) {
    changeValue("opacity", opacity_, std::isfinite(opacity) ? std::clamp(opacity, 0.0f, 1.0f) : 0.0f);
}

void CALayer::setHidden(bool hidden) { changeValue("hidden", hidden_, hidden); }

void CALayer::setMasksToBounds(bool masks) { changeValue("masksToBounds", masksToBounds_, masks); }

void CALayer::setCornerRadius(CGFloat radius) { changeValue("cornerRadius", cornerRadius_, finiteOrZero(radius)); }

void CALayer::setBackgroundColor(CGColorRef color) { changeValue("backgroundColor", backgroundColor_, std::move(color)); }

void CALayer::setBorderWidth(CGFloat width) { changeValue("borderWidth", borderWidth_, finiteOrZero(width)); }

void CALayer::setBorderColor(CGColorRef color) { changeValue("borderColor", borderColor_, std::move(color)); }

void CALayer::setContents(CGImageRef image) { changeValue("contents", contents_, std::move(image)); }

void CALayer::setContentsGravity(const std::string& gravity) {
    if (gravity == contentsGravity_) return;
    contentsGravity_ = gravity;
    bumpGeneration();
}

void CALayer::setContentsScale(CGFloat scale) {
    if (!(scale > 0) || !std::isfinite(scale) || scale == contentsScale_) return;
    contentsScale_ = scale;
    bumpGeneration();
}

// ---------------------------------------------------------------- tree

void CALayer::insertSublayer(const CALayerPtr& layer, std::size_t index) {
    if (!layer) return;
    if (layer.get() == this || isDescendantOf(layer.get())) {
        NSLog("CALayer: refusing to add %@ inside itself", layer);
        return;
    }
    auto keep = layer;
    if (auto old = layer->superlayer_.lock()) {
        auto& list = old->sublayers_;
        auto it = std::find(list.begin(), list.end(), layer);
        if (old.get() == this && it != list.end() && static_cast<std::size_t>(it - list.begin()) < index) --index;
        if (it != list.end()) list.erase(it);
    }
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + static_cast<long>(index), layer);
    layer->superlayer_ = std::static_pointer_cast<CALayer>(shared_from_this());
    bumpGeneration();
}

void CALayer::addSublayer(const CALayerPtr& layer) { insertSublayer(layer, sublayers_.size()); }

void CALayer::insertSublayerBelow(const CALayerPtr& layer, const CALayer* sibling) {
    auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const CALayerPtr& l) { return l.get() == sibling; });
    if (it == sublayers_.end()) return addSublayer(layer);
    insertSublayer(layer, static_cast<std::size_t>(it - sublayers_.begin()));
}

void CALayer::insertSublayerAbove(const CALayerPtr& layer, const CALayer* sibling) {
    auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const CALayerPtr& l) { return l.get() == sibling; });
    if (it == sublayers_.end()) return addSublayer(layer);
    insertSublayer(layer, static_cast<std::size_t>(it - sublayers_.begin()) + 1);
}

void CALayer::removeFromSuperlayer() {
    auto parent = superlayer_.lock();
    if (!parent) return;
    auto keep = std::static_pointer_cast<CALayer>(shared_from_this());
    std::erase(parent->sublayers_, keep);
    superlayer_.reset();
    bumpGeneration();
}

bool CALayer::isDescendantOf(const CALayer* layer) const {
    if (!layer) return false;
    for (auto l = std::static_pointer_cast<const CALayer>(shared_from_this()); l; l = l->superlayer())
        if (l.get() == layer) return true;
    return false;
}

// ---------------------------------------------------------------- conversion

namespace {
// The transform from a layer's space to its root's space.
CGAffineTransform toRoot(const CALayer* layer) {
    CGAffineTransform m{};
    const CALayer* l = layer;
    while (auto parent = l->superlayer()) {
        CGAffineTransform t = l->transformToSuperlayer();
        // m then t.
        m = {m.a * t.a + m.b * t.c, m.a * t.b + m.b * t.d, m.c * t.a + m.d * t.c, m.c * t.b + m.d * t.d,
             m.tx * t.a + m.ty * t.c + t.tx, m.tx * t.b + m.ty * t.d + t.ty};
        l = parent.get();  // kept alive by its own parent (or the caller, for the root)
    }
    return m;
}
}  // namespace

CGPoint CALayer::convertPointToLayer(CGPoint p, const CALayer* layer) const {
    CGPoint r = ca::applyAffine(toRoot(this), p);
    if (!layer) return r;
    CGAffineTransform inv;
    if (!ca::invertAffine(toRoot(layer), inv)) return r;
    return ca::applyAffine(inv, r);
}

CGPoint CALayer::convertPointFromLayer(CGPoint p, const CALayer* layer) const {
    CGPoint r = layer ? ca::applyAffine(toRoot(layer), p) : p;
    CGAffineTransform inv;
    if (!ca::invertAffine(toRoot(this), inv)) return r;
    return ca::applyAffine(inv, r);
}

CGRect CALayer::convertRectToLayer(CGRect rect, const CALayer* layer) const {
    CGAffineTransform m = toRoot(this), inv{};
    if (layer && !ca::invertAffine(toRoot(layer), inv)) inv = {};
    CGRect inRoot = ca::applyAffineToRect(m, rect);
    return layer ? ca::applyAffineToRect(inv, inRoot) : inRoot;
}

CGRect CALayer::convertRectFromLayer(CGRect rect, const CALayer* layer) const {
    CGRect inRoot = layer ? ca::applyAffineToRect(toRoot(layer), rect) : rect;
    CGAffineTransform inv;
    if (!ca::invertAffine(toRoot(this), inv)) return inRoot;
    return ca::applyAffineToRect(inv, inRoot);
}

// ---------------------------------------------------------------- animations

void CALayer::addAnimation(const CAAnimationPtr& animation, const std::string& givenKey) {
    if (!animation) return;
    QV_ASSERT_MAIN_THREAD();
    auto a = animation->copy();
    if (a->duration <= 0) a->duration = CATransaction::animationDuration();
    std::string key = givenKey.empty() ? "animation-" + std::to_string(nextAnimationKey_++) : givenKey;
    if (animationForKey(key)) removeAnimationForKey(key);
    double now = CACurrentMediaTime();
    a->startTime_ = a->beginTime > 0 ? a->beginTime : now;
    a->transactionGroup_ = CATransaction::currentGroup();
    CATransaction::animationJoined(a->transactionGroup_);
    animations_.emplace_back(key, a);
    bumpGeneration();

    std::weak_ptr<CALayer> weak = std::static_pointer_cast<CALayer>(shared_from_this());
    auto loop = NSRunLoop::mainRunLoop();
    auto start = [weak, a] {
        if (a->stopped_ || a->started_ || weak.expired()) return;
        a->started_ = true;
        if (a->delegate) a->delegate->animationDidStart(*a);
        if (a->didStart) a->didStart(*a);
    };
    if (Clock::reached(a->startTime_, now)) loop->performBlock(std::move(start));
    else loop->addTimer(NSTimer::timerWithTimeInterval(a->startTime_ - now, [start](NSTimer&) { start(); }, false),
                        NSRunLoopCommonModes);
    double end = a->endTime();
    if (std::isinf(end)) return;  // repeats until removed
    auto stop = NSTimer::timerWithTimeInterval(
        std::max(end - now, 0.0),
        [weak, key, a](NSTimer&) {
            if (auto layer = weak.lock()) layer->finishAnimation(key, a, true);
        },
        false);
    loop->addTimer(stop, NSRunLoopCommonModes);
}

void CALayer::finishAnimation(const std::string& key, const CAAnimationPtr& a, bool finished) {
    if (a->stopped_) return;
    a->stopped_ = true;
    if (!finished || a->removedOnCompletion) {
        std::erase_if(animations_, [&](const auto& e) { return e.first == key && e.second == a; });
        bumpGeneration();
    }
    if (!a->started_ && finished) {
        a->started_ = true;
        if (a->delegate) a->delegate->animationDidStart(*a);
        if (a->didStart) a->didStart(*a);
    }
    if (a->started_ || !finished) {
        if (a->delegate) a->delegate->animationDidStop(*a, finished);
        if (a->didStop) a->didStop(*a, finished);
    }
    CATransaction::animationEnded(a->transactionGroup_);
    a->transactionGroup_.reset();
}

CAAnimationPtr CALayer::animationForKey(const std::string& key) const {
    for (auto& [k, a] : animations_)
        if (k == key) return a;
    return nullptr;
}

std::vector<std::string> CALayer::animationKeys() const {
    std::vector<std::string> keys;
    for (auto& [k, a] : animations_) keys.push_back(k);
    return keys;
}

void CALayer::removeAnimationForKey(const std::string& key) {
    auto a = animationForKey(key);
    if (a) finishAnimation(key, a, false);
}

void CALayer::removeAllAnimations() {
    auto all = animations_;
    for (auto& [k, a] : all) finishAnimation(k, a, false);
    animations_.clear();
}

CAValue CALayer::presentationValueForKey(const std::string& key) const {
    CAValue value = valueForKey(key);
    double now = CACurrentMediaTime();
    for (auto& [k, a] : animations_) {
        auto basic = std::dynamic_pointer_cast<CABasicAnimation>(a);
        if (!basic || basic->keyPath != key || !Clock::reached(a->startTime_, now)) continue;
        if (Clock::reached(a->endTime(), now) && a->fillMode != kCAFillModeForwards) continue;
        CAValue from = std::holds_alternative<std::monostate>(basic->fromValue) ? value : basic->fromValue;
        CAValue to = std::holds_alternative<std::monostate>(basic->toValue) ? value : basic->toValue;
        value = CAValueInterpolate(from, to, a->fractionAt(now));
    }
    return value;
}

// ---------------------------------------------------------------- key-value access

CAValue CALayer::valueForKey(const std::string& key) const {
    if (key == "bounds") return bounds_;
    if (key == "position") return position_;
    if (key == "anchorPoint") return anchorPoint_;
    if (key == "transform") return transform_;
    if (key == "opacity") return double(opacity_);
    if (key == "hidden") return double(hidden_);
    if (key == "masksToBounds") return double(masksToBounds_);
    if (key == "cornerRadius") return cornerRadius_;
    if (key == "backgroundColor") return backgroundColor_;
    if (key == "borderWidth") return borderWidth_;
    if (key == "borderColor") return borderColor_;
    if (key == "contents") return contents_;
    if (key == "zPosition") return zPosition_;
    return {};
}

bool CALayer::setValueForKey(const std::string& key, const CAValue& v) {
    auto d = std::get_if<double>(&v);
    if (key == "bounds" && std::holds_alternative<CGRect>(v)) return setBounds(std::get<CGRect>(v)), true;
    if (key == "position" && std::holds_alternative<CGPoint>(v)) return setPosition(std::get<CGPoint>(v)), true;
    if (key == "anchorPoint" && std::holds_alternative<CGPoint>(v)) return setAnchorPoint(std::get<CGPoint>(v)), true;
    if (key == "transform" && std::holds_alternative<CATransform3D>(v))
        return setTransform(std::get<CATransform3D>(v)), true;
    if (key == "backgroundColor" && std::holds_alternative<CGColorRef>(v))
        return setBackgroundColor(std::get<CGColorRef>(v)), true;
    if (key == "borderColor" && std::holds_alternative<CGColorRef>(v))
        return setBorderColor(std::get<CGColorRef>(v)), true;
    if (key == "contents" && std::holds_alternative<CGImageRef>(v)) return setContents(std::get<CGImageRef>(v)), true;
    if (!d) return false;
    if (key == "opacity") return setOpacity(static_cast<float>(*d)), true;
    if (key == "hidden") return setHidden(*d != 0), true;
    if (key == "masksToBounds") return setMasksToBounds(*d != 0), true;
    if (key == "cornerRadius") return setCornerRadius(*d), true;
    if (key == "borderWidth") return setBorderWidth(*d), true;
    if (key == "zPosition") return setZPosition(*d), true;
    return false;
}
