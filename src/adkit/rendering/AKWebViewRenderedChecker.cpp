#include "adkit/rendering/AKWebViewRenderedChecker.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

#include "adkit/foundation/AKViewUtilities.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIImage.h"

namespace {
using Pixel = std::array<int, 4>;  // R, G, B, A as stored: premultiplied 8-bit

// The colour as the bitmap would store it; nullopt for another colour model.
std::optional<Pixel> storedPixelOf(const CGColorRef& color) {
    const auto model = CGColorSpaceGetModel(CGColorGetColorSpace(color));
    const auto components = CGColorGetComponents(color);
    double r = 0, g = 0, b = 0, a = 0;
    if (model == kCGColorSpaceModelMonochrome && components.size() == 2) {
        r = g = b = components[0];
        a = components[1];
    } else if (model == kCGColorSpaceModelRGB && components.size() == 4) {
        r = components[0], g = components[1], b = components[2], a = components[3];
    } else {
        return std::nullopt;
    }
    auto byte = [](double v) { return static_cast<int>(std::lround(v * 255.0)); };
    return Pixel{byte(r * a), byte(g * a), byte(b * a), byte(a)};
}
}  // namespace

double AKWebViewRenderedChecker::percentOfImage(const std::shared_ptr<UIImage>& image, const CGColorRef& color) {
    const auto wanted = storedPixelOf(color);
    if (!wanted) return 0.0;
    const CGImageRef cgImage = image ? image->CGImage() : nullptr;
    const std::size_t width = cgImage ? CGImageGetWidth(cgImage) : 0;
    const std::size_t height = cgImage ? CGImageGetHeight(cgImage) : 0;
    if (width == 0 || height == 0) return std::numeric_limits<double>::quiet_NaN();
    std::vector<std::uint8_t> bytes(width * height * 4, 0);
    CGContextRef context = CGBitmapContextCreate(bytes.data(), width, height, 8, width * 4,
                                                 CGColorSpaceCreateDeviceRGB(),
                                                 kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big);
    if (!context) return std::numeric_limits<double>::quiet_NaN();
    CGContextDrawImage(context, CGRectMake(0, 0, double(width), double(height)), cgImage);
    std::size_t equal = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        bool same = true;
        for (std::size_t c = 0; c < 4 && same; ++c) same = std::abs(int(bytes[i + c]) - (*wanted)[c]) <= 1;
        if (same) ++equal;
    }
    return double(equal) / double(width * height);
}

bool AKWebViewRenderedChecker::isContentRendered(UIView* view, const CGColorRef& background) {
    return percentOfImage(view ? ak_render(*view) : nullptr, background) < kThreshold;  // NaN compares false
}

void AKWebViewRenderedChecker::checkIsContentRenderedInWebView() {
    QV_ASSERT_MAIN_THREAD();
    auto webView = webView_.lock();
    auto delegate = delegate_.lock();
    if (!webView || !delegate) return;
    if (isContentRendered(webView->webView().get(), webView->webViewBackgroundColor()))
        delegate->webViewDidRenderContent(*webView);
    else
        delegate->webViewDidFailToRenderContent(*webView);
}
