#include "platform/quartzcore/CAShapeLayer.h"

#include <algorithm>
#include <cmath>

template <class T>
void CAShapeLayer::changed(const std::string& key, T& field, T value) {
    if (field == value) return;
    setNeedsDisplay();
    changeValue(key, field, std::move(value));
}

void CAShapeLayer::setPath(CALayerPathRef path) { changed("path", path_, std::move(path)); }

void CAShapeLayer::setFillColor(CGColorRef color) {
    if (!CGColorEqualToColor(color, fillColor_)) changed("fillColor", fillColor_, std::move(color));
}

void CAShapeLayer::setStrokeColor(CGColorRef color) {
    if (!CGColorEqualToColor(color, strokeColor_)) changed("strokeColor", strokeColor_, std::move(color));
}

void CAShapeLayer::setLineWidth(CGFloat width) {
    if (width >= 0 && std::isfinite(width)) changed("lineWidth", lineWidth_, width);
}

void CAShapeLayer::setStrokeStart(CGFloat value) {
    if (!std::isnan(value)) changed("strokeStart", strokeStart_, std::clamp(value, 0.0, 1.0));
}

void CAShapeLayer::setStrokeEnd(CGFloat value) {
    if (!std::isnan(value)) changed("strokeEnd", strokeEnd_, std::clamp(value, 0.0, 1.0));
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
