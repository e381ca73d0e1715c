#include "platform/uikit/UIGraphics.h"

#include <cmath>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIScreen.h"

namespace {

struct Entry {
    CGContextRef context;
    bool image = false;  // begun by UIGraphicsBeginImageContextWithOptions
    CGFloat scale = 1;
};

struct Stack {
    std::vector<Entry> entries;
    // Depths at which a begin was refused and its end has not come yet.
    std::vector<std::size_t> refused;

    bool refusedOnTop() const { return !refused.empty() && refused.back() == entries.size(); }
    void forgetAbove() {
        while (!refused.empty() && refused.back() > entries.size()) refused.pop_back();
    }
};

Stack& stack() {
    thread_local Stack s;
    return s;
}

}  // namespace

CGContextRef UIGraphicsGetCurrentContext() {
    Stack& s = stack();
    if (s.entries.empty() || s.refusedOnTop()) return nullptr;
    return s.entries.back().context;
}

void UIGraphicsPushContext(const CGContextRef& context) {
    if (!context) {
        NSLog("UIGraphicsPushContext: null context ignored");
        return;
    }
    stack().entries.push_back({context, false, 1});
}

void UIGraphicsPopContext() {
    Stack& s = stack();
    if (s.entries.empty()) {
        NSLog("UIGraphicsPopContext: no context to pop");
        return;
    }
    s.entries.pop_back();
    s.forgetAbove();
}

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale) {
    Stack& s = stack();
    if (scale == 0) scale = UIScreen::mainScreen()->scale();
    double w = std::ceil(size.width * scale), h = std::ceil(size.height * scale);
    bool valid = std::isfinite(size.width) && std::isfinite(size.height) && std::isfinite(scale) && scale > 0 &&
                 size.width > 0 && size.height > 0 && std::isfinite(w) && std::isfinite(h);
    bool fits = valid && w <= kUIGraphicsMaxImageSide && h <= kUIGraphicsMaxImageSide &&
                w * h <= double(kCGImageMaxPixelCount);
    CGContextRef context;
    if (fits) {
        CGBitmapInfo info = kCGBitmapByteOrder32Little |
                            (opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst);
        context = CGBitmapContextCreate(nullptr, static_cast<std::size_t>(w), static_cast<std::size_t>(h), 8, 0,
                                        CGColorSpaceCreateDeviceRGB(), info);
    }
    if (!context) {
        NSLog("UIGraphicsBeginImageContext: no image context for size %g x %g at scale %g", size.width, size.height,
              scale);
        s.refused.push_back(s.entries.size());
        return;
    }
    // The views' space: origin top left, y down, scale pixels a point.
    CGContextSetBaseCTM(context, CGAffineTransformMake(scale, 0, 0, -scale, 0, h));
    s.entries.push_back({context, true, scale});
}

UIImagePtr UIGraphicsGetImageFromCurrentImageContext() {
    Stack& s = stack();
    if (s.entries.empty() || s.refusedOnTop() || !s.entries.back().image) return nullptr;
    const Entry& top = s.entries.back();
    return UIImage::imageWithCGImage(CGBitmapContextCreateImage(top.context), top.scale);
}

void UIGraphicsEndImageContext() {
    Stack& s = stack();
    if (s.refusedOnTop()) {
        s.refused.pop_back();
        return;
    }
    if (s.entries.empty() || !s.entries.back().image) {
        NSLog("UIGraphicsEndImageContext: the current context is not an image context");
        return;
    }
    s.entries.pop_back();
    s.forgetAbove();
}

void UIRectFill(CGRect rect) { CGContextFillRect(UIGraphicsGetCurrentContext(), rect); }

void UIRectFillUsingBlendMode(CGRect rect, CGBlendMode blendMode) {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextSaveGState(c);
    CGContextSetBlendMode(c, blendMode);
    CGContextFillRect(c, rect);
    CGContextRestoreGState(c);
}

void UIRectFrame(CGRect rect) {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c || !CGRectIsFinite(rect)) return;
    rect = CGRectStandardize(rect);
    CGContextSaveGState(c);
    CGContextBeginPath(c);
    CGContextAddRect(c, rect);
    CGContextAddRect(c, CGRectInset(rect, 1, 1));
    CGContextEOFillPath(c);
    CGContextRestoreGState(c);
}

void UIRectClip(CGRect rect) { CGContextClipToRect(UIGraphicsGetCurrentContext(), rect); }

void UIImageDrawInRect(const UIImagePtr& image, CGRect rect, CGBlendMode blendMode, CGFloat alpha) {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c || !image || !image->CGImage() || !CGRectIsFinite(rect)) return;
    rect = CGRectStandardize(rect);
    CGContextSaveGState(c);
    CGContextSetBlendMode(c, blendMode);
    CGContextSetAlpha(c, alpha);
    // CGContextDrawImage draws upright in a y-up space: flip around the rectangle.
    CGContextTranslateCTM(c, 0, rect.origin.y + rect.size.height);
    CGContextScaleCTM(c, 1, -1);
    CGContextDrawImage(c, CGRectMake(rect.origin.x, 0, rect.size.width, rect.size.height), image->CGImage());
    CGContextRestoreGState(c);
}

void UIImageDrawAtPoint(const UIImagePtr& image, CGPoint point) {
    if (!image) return;
    CGSize size = image->size();
    UIImageDrawInRect(image, CGRectMake(point.x, point.y, size.width, size.height));
}
