// The popover chrome: a 276 x 220 dialog drawn at scale 2 with the first
// built-in theme (gradient body, drop shadow of blur 8 through a transparency
// layer, gloss, inner view with inner shadow) next to the same outline filled
// flat into a bitmap of the same size in the same run. The figures are the
// ratio ours / flat and one full redraw (chrome and inner view) in ms; the aim
// is under 8 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIViewController.h"
#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverThemeAppearance.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kDraws = 50;
constexpr double kScale = 2;

template <class F>
double bestOf(int rounds, F f) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto start = SteadyClock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(SteadyClock::now() - start).count());
    }
    return best;
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
        std::printf("no inner view\n");
        return 1;
    }

    std::size_t before = chrome->layer()->displayCount();
    double ours = bestOf(5, [&] {
        for (int i = 0; i < kDraws; ++i) {
            chrome->setNeedsDisplay();
            chrome->layer()->displayIfNeeded(kScale);
            inner->layer()->displayIfNeeded(kScale);
        }
    });
    if (chrome->layer()->displayCount() - before != 5 * kDraws || !chrome->layer()->backingImage()) {
        std::printf("the chrome was not redrawn every time\n");
        return 1;
    }

    // The same outline, filled flat into a backing of the chrome's size.
    CGRect body = CGRectInset(chrome->outerRect(), 0.5, 0.5);
    auto radius = static_cast<CGFloat>(chrome->outerCornerRadius());
    CGSize size = chrome->bounds().size;
    std::size_t filled = 0;
    double flat = bestOf(5, [&] {
        for (int i = 0; i < kDraws; ++i) {
            CGContextRef ctx = CALayerCreateRenderContext(size, kScale);
            CGPathRef outline = CGPathCreateWithRoundedRect(body, radius, radius, nullptr);
            CGContextAddPath(ctx, outline);
            CGContextSetRGBFillColor(ctx, 55 / 255.0, 63 / 255.0, 71 / 255.0, 1);
            CGContextFillPath(ctx);
            if (CGBitmapContextCreateImage(ctx)) ++filled;
        }
    });
    if (filled != 5 * kDraws) {
        std::printf("the flat outline was not drawn\n");
        return 1;
    }

    double each = ours / kDraws * 1e3;
    std::printf("%-44s %5d   %8.3f s   %8.3f ms each\n", "chrome 276 x 220 at scale 2 (first theme)", kDraws, ours,
                each);
    std::printf("%-44s %5d   %8.3f s   %8.3f ms each\n", "same outline filled flat", kDraws, flat,
                flat / kDraws * 1e3);
    std::printf("ratio ours/flat: %.2f\n", ours / flat);
    std::printf("one full redraw: %.3f ms (aim: under 8 ms)\n", each);
    return 0;
}
