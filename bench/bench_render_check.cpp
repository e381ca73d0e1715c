// The render check of the HTML mediation adapter on the real engine: one check
// (the painted frame drawn at scale 1, its pixels counted against the clear
// background) of a 320 x 50 and a 300 x 250 creative, next to copying the same
// frame buffer (what taking a frame from the engine costs at least) in the
// same run; the ratio and the time per check.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "adkit/mediation/AKMWebViewRenderedChecker.h"
#include "platform/graphics/CGImage.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIColor.h"
#include "platform/webkit/UIWebView.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using bench::seconds;
using bench::SteadyClock;

struct Answers : AKMWebViewRenderedCheckerDelegate {
    int rendered = 0;
    int blank = 0;
    void webViewIsRendered(UIWebView&, bool isRendered) override { ++(isRendered ? rendered : blank); }
};

// A creative of the size, half drawn, on a clear view as the adapter makes it;
// null when no frame with it came.
std::shared_ptr<UIWebView> paintedCreative(CGSize size) {
    auto view = std::make_shared<UIWebView>(CGRectMake(0, 0, size.width, size.height));
    view->setOpaque(false);
    view->setBackgroundColor(UIColor::clearColor()->CGColor());
    view->loadHTMLString("<body style='margin:0'><div style='width:50%;height:100vh;background:#08f'></div></body>",
                         "http://creative.bench/");
    const bool painted = NSRunLoop::mainRunLoop()->runUntil(
        [&] {
            const auto& image = view->layer()->contents();
            return image && image->pixelAt(image->width() / 4, image->height() / 2).b > 200;
        },
        30);
    return painted ? view : nullptr;
}

void measure(CGSize size) {
    auto view = paintedCreative(size);
    if (!view) {
        std::fprintf(stderr, "no painted frame of the %.0f x %.0f creative\n", size.width, size.height);
        return;
    }
    auto answers = std::make_shared<Answers>();
    auto checker = AKMWebViewRenderedChecker::initWithWebView(view, answers);
    const CGImageRef frame = view->layer()->contents();
    const int count = size.height > 100 ? 300 : 1500;
    auto timed = [&](const std::function<void()>& run) {
        return bench::medianOf(5, [&] {
            const auto start = SteadyClock::now();
            for (int i = 0; i < count; ++i) run();
            return seconds(start) / count;
        });
    };
    std::size_t copied = 0;
    const double copy = timed([&] { copied += PixelBuffer::copyOf(frame->data().data(), frame->data().size()).size(); });
    const double check = timed([&] { checker->checkIsContentRenderedInWebView(); });
    if (answers->blank != 0 || copied == 0) std::fprintf(stderr, "a check found the creative blank\n");
    char name[64];
    std::snprintf(name, sizeof name, "render check, %.0f x %.0f creative", size.width, size.height);
    std::printf("%-40s %8.1f us   reference (copying its %zu x %zu frame) %6.1f us   ratio %.1f\n", name, check * 1e6,
                frame->width(), frame->height(), copy * 1e6, check / copy);
}

}  // namespace

int main() {
    char home[] = "/tmp/bench-render-check-XXXXXX";
    if (!mkdtemp(home)) return 1;
    setenv("QUORVANE_HOME", home, 1);
    std::printf("bench_render_check (%s build)\n", QUORVANE_BUILD_TYPE);
    measure(CGSizeMake(320, 50));
    measure(CGSizeMake(300, 250));
    std::filesystem::remove_all(home);
    return 0;
}
