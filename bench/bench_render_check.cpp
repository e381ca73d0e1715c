// The render check of the HTML mediation adapter on the real engine: one check
// (the painted frame drawn at scale 1, its pixels counted against the clear
// background) of a 320 x 50 and a 300 x 250 creative, next to copying the same
// frame buffer (what taking a frame from the engine costs at least) in the
// same run; the ratio and the time per check.
//
// The frame is the one at the screen's scale (640 x 100 and 600 x 500 pixels at
// scale 2): the run waits for it, since an earlier frame of another size may be
// in the layer first. The check and the copy both read that very frame (the
// layer still holds it after the timing, or the run fails). The check's answer
// must agree with the copied pixels: the share of clear pixels counted in the
// copy and the check's share (of its scale-1 drawing) within 2 points, and the
// same verdict, or the run fails.
//
// Three runs, Release build, 8 December 2026, on a machine shared with seven
// other jobs (load average 35-50; the timings are noisy), check / copy:
//   320 x 50 (640 x 100 frame):   659.1 / 54.4 us = 12.1,   816.5 / 41.9 us = 19.5,   304.5 / 13.5 us = 22.5
//   300 x 250 (600 x 500 frame): 5290.3 / 106.2 us = 49.8, 2300.1 / 221.6 us = 10.4, 2321.7 / 39.3 us = 59.1
// The check draws the layer tree at scale 1 and counts every pixel; the copy
// is one memcpy of the frame: the ratio shows the drawing's weight.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "adkit/foundation/AKViewUtilities.h"
#include "adkit/mediation/AKMWebViewRenderedChecker.h"
#include "adkit/rendering/AKWebViewRenderedChecker.h"
#include "platform/graphics/CGImage.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIScreen.h"
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
// null when no frame of it at the screen's scale came.
std::shared_ptr<UIWebView> paintedCreative(CGSize size) {
    const double scale = UIScreen::mainScreen()->scale();
    auto view = std::make_shared<UIWebView>(CGRectMake(0, 0, size.width, size.height));
    view->setOpaque(false);
    view->setBackgroundColor(UIColor::clearColor()->CGColor());
    view->loadHTMLString("<body style='margin:0'><div style='width:50%;height:100vh;background:#08f'></div></body>",
                         "http://creative.bench/");
    const bool painted = NSRunLoop::mainRunLoop()->runUntil(
        [&] {
            const auto& image = view->layer()->contents();
            return image && double(image->width()) == size.width * scale &&
                   double(image->height()) == size.height * scale &&
                   image->pixelAt(image->width() / 4, image->height() / 2).b > 200;
        },
        30);
    return painted ? view : nullptr;
}

// The share of the frame's pixels that are clear (the view's background).
double clearShare(const CGImage& frame) {
    std::size_t clear = 0;
    for (std::size_t y = 0; y < frame.height(); ++y)
        for (std::size_t x = 0; x < frame.width(); ++x) clear += frame.pixelAt(x, y).a <= 1;
    return double(clear) / double(frame.width() * frame.height());
}

// False when the check disagrees with the copied frame or read another one.
bool measure(CGSize size) {
    auto view = paintedCreative(size);
    if (!view) {
        std::printf("FAIL: no painted frame of the %.0f x %.0f creative at the screen's scale\n", size.width,
                    size.height);
        return false;
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
    PixelBuffer copied;
    const double copy = timed([&] { copied = PixelBuffer::copyOf(frame->data().data(), frame->data().size()); });
    const double check = timed([&] { checker->checkIsContentRenderedInWebView(); });
    bool ok = true;
    // The run loop did not turn: the check read the frame the copy copied.
    if (view->layer()->contents() != frame || copied.size() != frame->data().size() ||
        !std::equal(copied.begin(), copied.end(), frame->data().begin())) {
        std::printf("FAIL: the check and the copy did not read the same frame\n");
        ok = false;
    }
    const double referenceShare = clearShare(*frame);
    const bool referenceRendered = referenceShare < AKWebViewRenderedChecker::kThreshold;
    const double checkShare = AKMWebViewRenderedChecker::percentOfImage(ak_render(*view), view->backgroundColor());
    const int answered = answers->rendered + answers->blank;
    if (answered == 0 || (referenceRendered ? answers->blank : answers->rendered) != 0 ||
        !(std::abs(checkShare - referenceShare) <= 0.02)) {
        std::printf("FAIL: the check (%d rendered, %d blank; %.3f clear) disagrees with the copied frame (%s, %.3f "
                    "clear)\n",
                    answers->rendered, answers->blank, checkShare, referenceRendered ? "rendered" : "blank",
                    referenceShare);
        ok = false;
    }
    char name[64];
    std::snprintf(name, sizeof name, "render check, %.0f x %.0f creative", size.width, size.height);
    std::printf("%-40s %8.1f us   reference (copying its %zu x %zu frame) %6.1f us   ratio %.1f   [%s, %.0f %% "
                "clear]\n",
                name, check * 1e6, frame->width(), frame->height(), copy * 1e6, check / copy,
                referenceRendered ? "rendered" : "blank", referenceShare * 100);
    return ok;
}

}  // namespace

int main() {
    char home[] = "/tmp/bench-render-check-XXXXXX";
    if (!mkdtemp(home)) return 1;
    setenv("QUORVANE_HOME", home, 1);
    std::printf("bench_render_check (%s build)\n", QUORVANE_BUILD_TYPE);
    const bool banner = measure(CGSizeMake(320, 50));
    const bool rectangle = measure(CGSizeMake(300, 250));
    std::filesystem::remove_all(home);
    return banner && rectangle ? 0 : 1;
}
