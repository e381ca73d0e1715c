// The popover chrome: a 276 x 220 dialog drawn at scale 2 with the first
// built-in theme (gradient body, drop shadow of blur 8, gloss, inner view with
// inner shadow), next to the same outline filled flat into a bitmap of the
// same size in the same run. Two figures, each as time per redraw of chrome
// and inner view and as the ratio to the flat fill:
// - one full redraw: the chrome asked to redraw with nothing changed, as
//   placement and theme updates do (it lays down the bitmap drawn before);
// - first drawing: the same redraw with the drawing caches emptied first, as
//   for a size or theme drawn for the first time.
// The aim is under 8 ms for the first drawing.
// The outputs are checked, else the run fails: the redrawn chrome must equal the
// first drawing byte for byte, and the chrome must cover the outline the flat
// fill covers (every pixel the fill makes opaque is opaque in the chrome's
// bitmap, which is the same size).
//
// Three runs, Release build, 8 December 2026, on a machine shared with seven
// other jobs (load average 35-50; noisy): first drawing 8.390, 8.004, 9.392 ms
// (aim under 8); one full redraw 1.839, 1.578, 1.718 ms; flat fill 0.113, 0.095,
// 0.099 ms. The output checks passed in every run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "platform/graphics/CGImage.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIViewController.h"
#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverDrawingCaches.h"
#include "ui/popover/FLPopoverThemeAppearance.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kDraws = 50;
constexpr int kRounds = 5;
constexpr double kScale = 2;

// The best of a few rounds of kDraws runs of the block, in seconds per round.
double bestOf(const std::function<void()>& block) {
    double best = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        auto start = SteadyClock::now();
        for (int i = 0; i < kDraws; ++i) block();
        best = std::min(best, std::chrono::duration<double>(SteadyClock::now() - start).count());
    }
    return best;
}

void print(const char* what, double seconds) {
    std::printf("%-52s %5d   %8.3f s   %8.3f ms each\n", what, kDraws, seconds, seconds / kDraws * 1e3);
}

}  // namespace

int main() {
    std::printf("bench_popover (%s build)\n", QUORVANE_BUILD_TYPE);
    auto theme = FLPopoverTheme::themeForIOS6();
    auto chrome = FLPopoverBackgroundView::initWithContentSize(CGSizeMake(276, 220));
    FLPopoverThemeApplyToChrome(*theme, *chrome);
    chrome->setArrowDirection(FLArrowDirectionNone);
    chrome->sizeToFit();
    auto content = std::make_shared<UIViewController>();
    chrome->setViewController(content);
    auto inner = chrome->innerView();
    if (!inner) {
        std::printf("FAIL: no inner view\n");
        return 1;
    }
    auto& chromeCache = FLPopoverChromeDrawingCache();
    auto& innerCache = FLPopoverInnerViewDrawingCache();
    auto redraw = [&] {
        chrome->setNeedsDisplay();
        chrome->layer()->displayIfNeeded(kScale);
        inner->layer()->displayIfNeeded(kScale);
    };

    std::size_t draws = chrome->layer()->displayCount();
    std::size_t misses = chromeCache.misses() + innerCache.misses();
    double first = bestOf([&] {
        chromeCache.removeAll();
        innerCache.removeAll();
        redraw();
    });
    if (chromeCache.misses() + innerCache.misses() - misses != 2 * kRounds * kDraws) {
        std::printf("the first drawings were not drawn anew\n");
        return 1;
    }
    const CGImageRef firstDrawing = chrome->layer()->backingImage();
    std::size_t hits = chromeCache.hits() + innerCache.hits();
    double again = bestOf(redraw);
    const CGImageRef redrawn = chrome->layer()->backingImage();
    if (!firstDrawing || !redrawn || firstDrawing->data().size() != redrawn->data().size() ||
        !std::equal(firstDrawing->data().begin(), firstDrawing->data().end(), redrawn->data().begin())) {
        std::printf("FAIL: the redrawn chrome differs from its first drawing\n");
        return 1;
    }
    if (chromeCache.hits() + innerCache.hits() - hits != 2 * kRounds * kDraws) {
        std::printf("the redraws did not reuse the drawing\n");
        return 1;
    }
    if (chrome->layer()->displayCount() - draws != 2 * kRounds * kDraws || !chrome->layer()->backingImage()) {
        std::printf("the chrome was not redrawn every time\n");
        return 1;
    }

    // The same outline, filled flat into a backing of the chrome's size.
    CGRect body = CGRectInset(chrome->outerRect(), 0.5, 0.5);
    auto radius = static_cast<CGFloat>(chrome->outerCornerRadius());
    CGSize size = chrome->bounds().size;
    std::size_t filled = 0;
    CGImageRef flatImage;
    double flat = bestOf([&] {
        CGContextRef ctx = CALayerCreateRenderContext(size, kScale);
        CGPathRef outline = CGPathCreateWithRoundedRect(body, radius, radius, nullptr);
        CGContextAddPath(ctx, outline);
        CGContextSetRGBFillColor(ctx, 55 / 255.0, 63 / 255.0, 71 / 255.0, 1);
        CGContextFillPath(ctx);
        flatImage = CGBitmapContextCreateImage(ctx);
        if (flatImage) ++filled;
    });
    if (filled != std::size_t(kRounds * kDraws)) {
        std::printf("FAIL: the flat outline was not drawn\n");
        return 1;
    }
    std::size_t uncovered = 0, covered = 0;
    if (flatImage->width() != redrawn->width() || flatImage->height() != redrawn->height()) {
        std::printf("FAIL: the chrome's bitmap (%zu x %zu) is not the flat fill's size (%zu x %zu)\n",
                    redrawn->width(), redrawn->height(), flatImage->width(), flatImage->height());
        return 1;
    }
    for (std::size_t y = 0; y < flatImage->height(); ++y)
        for (std::size_t x = 0; x < flatImage->width(); ++x)
            if (flatImage->pixelAt(x, y).a == 255) {
                ++covered;
                uncovered += redrawn->pixelAt(x, y).a != 255;
            }
    if (covered == 0 || uncovered != 0) {
        std::printf("FAIL: %zu of the %zu pixels the flat fill covers are not opaque in the chrome\n", uncovered,
                    covered);
        return 1;
    }

    print("chrome 276 x 220 at scale 2, first drawing", first);
    print("chrome 276 x 220 at scale 2, redrawn unchanged", again);
    print("same outline filled flat", flat);
    std::printf("ratio ours/flat: first drawing %.2f, redrawn %.2f\n", first / flat, again / flat);
    std::printf("one full redraw: %.3f ms; first drawing: %.3f ms (aim: under 8 ms)\n", again / kDraws * 1e3,
                first / kDraws * 1e3);
    return 0;
}
