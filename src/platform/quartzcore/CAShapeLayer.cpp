#include "platform/quartzcore/CAShapeLayer.h"

#include <algorithm>
#include <cmath>

void CAShapeLayer::changed(const std::string& key, const CAValue& from, const CAValue& to) {
    setNeedsDisplay();
    propertyDidChange(key, from, to);
}

void CAShapeLayer::setPath(CALayerPathRef path) {
    if (path == path_) return;
    auto old = path_;
    path_ = std::move(path);
    changed("path", old, path_);
}

void CAShapeLayer::setFillColor(CGColorRef color) {
    if (CGColorEqualToColor(color, fillColor_)) return;
    auto old = fillColor_;
    fillColor_ = std::move(color);
    changed("fillColor", old, fillColor_);
}

void CAShapeLayer::setStrokeColor(CGColorRef color) {
    if (CGColorEqualToColor(color, strokeColor_)) return;
    auto old = strokeColor_;
    strokeColor_ = std::move(color);
    changed("strokeColor", old, strokeColor_);
}

void CAShapeLayer::setLineWidth(CGFloat width) {
    if (!(width >= 0) || !std::isfinite(width) || width == lineWidth_) return;
    auto old = lineWidth_;
    lineWidth_ = width;
    changed("lineWidth", old, width);
}

void CAShapeLayer::setStrokeStart(CGFloat value) {
    if (std::isnan(value)) return;
    value = std::clamp(value, 0.0, 1.0);
    if (value == strokeStart_) return;
    auto old = strokeStart_;
    strokeStart_ = value;
    changed("strokeStart", old, value);
}

void CAShapeLayer::setStrokeEnd(CGFloat value) {
    if (std::isnan(value)) return;
    value = std::clamp(value, 0.0, 1.0);
    if (value == strokeEnd_) return;
    auto old = strokeEnd_;
    strokeEnd_ = value;
    changed("strokeEnd", old, value);
}

void CAShapeLayer::setLineCap(const std::string& cap) {
    if (cap == lineCap_) return;
    lineCap_ = cap;
    setNeedsDisplay();
}

void CAShapeLayer::setLineJoin(const std::string& join) {
    if (join == lineJoin_) return;
    lineJoin_ = join;
    setNeedsDisplay();
}

void CAShapeLayer::setMiterLimit(CGFloat limit) {
    if (!(limit > 0) || !std::isfinite(limit) || limit == miterLimit_) return;
    miterLimit_ = limit;
    setNeedsDisplay();
}

void CAShapeLayer::setFillRule(const std::string& rule) {
    if (rule == fillRule_) return;
    fillRule_ = rule;
    setNeedsDisplay();
}

CAValue CAShapeLayer::valueForKey(const std::string& key) const {
    if (key == "path") return path_;
    if (key == "fillColor") return fillColor_;
    if (key == "strokeColor") return strokeColor_;
    if (key == "lineWidth") return lineWidth_;
    if (key == "strokeStart") return strokeStart_;
    if (key == "strokeEnd") return strokeEnd_;
    return CALayer::valueForKey(key);
}

bool CAShapeLayer::setValueForKey(const std::string& key, const CAValue& v) {
    if (key == "path" && std::holds_alternative<CALayerPathRef>(v)) return setPath(std::get<CALayerPathRef>(v)), true;
    if (key == "fillColor" && std::holds_alternative<CGColorRef>(v)) return setFillColor(std::get<CGColorRef>(v)), true;
    if (key == "strokeColor" && std::holds_alternative<CGColorRef>(v))
        return setStrokeColor(std::get<CGColorRef>(v)), true;
    if (auto d = std::get_if<double>(&v)) {
        if (key == "lineWidth") return setLineWidth(*d), true;
        if (key == "strokeStart") return setStrokeStart(*d), true;
        if (key == "strokeEnd") return setStrokeEnd(*d), true;
    }
    return CALayer::setValueForKey(key, v);
}

CGImageRef CAShapeLayer::makeBacking(CGFloat scale, CGRect& rect) {
    rect = CGRectZero;
    if (!path_ || path_->isEmpty()) return nullptr;
    CAShapeStyle style{fillColor_, strokeColor_, lineWidth_, strokeStart_, strokeEnd_, miterLimit_,
                       lineCap_,   lineJoin_,    fillRule_};
    return CAShapeLayerRasterize(*path_, style, scale, rect);
}
