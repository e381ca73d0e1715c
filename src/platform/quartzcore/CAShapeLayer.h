#pragma once
// A layer that draws an outline: its path filled (non-zero or even-odd) and
// stroked with a line width, cap and join, the stroke trimmed to the part
// between strokeStart and strokeEnd (fractions of the path's length). The path
// is in the layer's coordinates and is not clipped to the bounds. Every change
// redraws the layer's backing on the next display.
#include <string>

#include "platform/quartzcore/CALayer.h"
#include "platform/quartzcore/CALayerPath.h"

inline constexpr const char* kCAFillRuleNonZero = "non-zero";
inline constexpr const char* kCAFillRuleEvenOdd = "even-odd";
inline constexpr const char* kCALineCapButt = "butt";
inline constexpr const char* kCALineCapRound = "round";
inline constexpr const char* kCALineCapSquare = "square";
inline constexpr const char* kCALineJoinMiter = "miter";
inline constexpr const char* kCALineJoinRound = "round";
inline constexpr const char* kCALineJoinBevel = "bevel";

class CAShapeLayer : public CALayer {
public:
    static CAShapeLayerPtr layer() { return std::make_shared<CAShapeLayer>(); }

    const CALayerPathRef& path() const { return path_; }
    void setPath(CALayerPathRef path);
    // The drawing layer's path (a UIBezierPath's CGPath), taken as it is now.
    void setPath(const CGPathRef& path) { setPath(CALayerPath::fromCGPath(path)); }
    const CGColorRef& fillColor() const { return fillColor_; }  // opaque black unless set
    void setFillColor(CGColorRef color);
    const CGColorRef& strokeColor() const { return strokeColor_; }  // none unless set
    void setStrokeColor(CGColorRef color);
    CGFloat lineWidth() const { return lineWidth_; }
    void setLineWidth(CGFloat width);  // negative or not finite: ignored
    // Fractions 0...1 (clamped; not a number: ignored).
    CGFloat strokeStart() const { return strokeStart_; }
    void setStrokeStart(CGFloat value);
    CGFloat strokeEnd() const { return strokeEnd_; }
    void setStrokeEnd(CGFloat value);
    const std::string& lineCap() const { return lineCap_; }
    void setLineCap(const std::string& cap);
    const std::string& lineJoin() const { return lineJoin_; }
    void setLineJoin(const std::string& join);
    CGFloat miterLimit() const { return miterLimit_; }
    void setMiterLimit(CGFloat limit);
    const std::string& fillRule() const { return fillRule_; }
    void setFillRule(const std::string& rule);

    CAValue valueForKey(const std::string& key) const override;
    [[nodiscard]] bool setValueForKey(const std::string& key, const CAValue& value) override;

protected:
    CGImageRef makeBacking(CGFloat scale, CGRect& rect) override;
    bool backingFollowsBounds() const override { return false; }

private:
    template <class T>
    void changed(const std::string& key, T& field, T value);
    CALayerPathRef path_;
    CGColorRef fillColor_ = CGColorCreateSRGB(0, 0, 0, 1);
    CGColorRef strokeColor_;
    CGFloat lineWidth_ = 1;
    CGFloat strokeStart_ = 0;
    CGFloat strokeEnd_ = 1;
    std::string lineCap_ = kCALineCapButt;
    std::string lineJoin_ = kCALineJoinMiter;
    CGFloat miterLimit_ = 10;
    std::string fillRule_ = kCAFillRuleNonZero;
};

// The rasteriser behind shape layers (CALayerCairo.cpp): the outline drawn at
// the scale into a bitmap over the rectangle it covers (returned in rect).
struct CAShapeStyle {
    CGColorRef fill, stroke;
    CGFloat lineWidth, strokeStart, strokeEnd, miterLimit;
    std::string lineCap, lineJoin, fillRule;
};
CGImageRef CAShapeLayerRasterize(const CALayerPath& path, const CAShapeStyle& style, CGFloat scale, CGRect& rect);
