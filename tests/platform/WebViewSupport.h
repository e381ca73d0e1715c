#pragma once
// Shared pieces of the web view tests: a delegate that logs every call, a
// view in a window of its own, waits for loads and painted frames.
#include <doctest/doctest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebView.h"
#include "support/TestEnvironment.h"

namespace webtest {

inline std::string joined(const std::vector<std::string>& entries) {
    std::string text;
    for (const auto& e : entries) text += (text.empty() ? "" : " | ") + e;
    return text;
}

// The pixel at a point (in points) of the frame a web view last painted into
// its layer; none before the first frame.
inline std::optional<CGPixel> layerPixel(const UIWebView& view, double x, double y) {
    const auto& image = view.layer()->contents();
    if (!image) return std::nullopt;
    const double scale = static_cast<double>(image->width()) / view.bounds().size.width;
    return image->pixelAt(static_cast<std::size_t>(x * scale), static_cast<std::size_t>(y * scale));
}

// Logs "ask <type> <url>", "start", "finish", "fail <code>"; `then` runs
// after each entry, inside the delegate's call.
struct LoggingDelegate : UIWebViewDelegate {
    std::vector<std::string> log;
    std::function<bool(const std::string& URL, UIWebViewNavigationType type)> allow;
    std::function<void(const std::string& entry)> then;
    void add(std::string entry) {
        log.push_back(std::move(entry));
        if (then) then(log.back());
    }
    bool shouldStartLoadWithRequest(UIWebView&, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType type) override {
        const bool allowed = !allow || allow(request->URL(), type);
        add("ask " + std::to_string(type) + " " + request->URL());
        return allowed;
    }
    void webViewDidStartLoad(UIWebView&) override { add("start"); }
    void webViewDidFinishLoad(UIWebView&) override { add("finish"); }
    void didFailLoadWithError(UIWebView&, const NSError& error) override {
        add("fail " + std::to_string(error.code()));
    }
    std::size_t count(const std::string& entry) const {
        std::size_t n = 0;
        for (auto& e : log) n += e == entry;
        return n;
    }
    bool ended() const { return !log.empty() && (log.back() == "finish" || log.back().rfind("fail", 0) == 0); }
};

// A web view of the size filling a visible window (the window takes its touches).
struct WindowedWebView {
    testsupport::TempHome home;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIWebView> view;
    std::shared_ptr<LoggingDelegate> delegate = std::make_shared<LoggingDelegate>();

    explicit WindowedWebView(CGSize size = CGSizeMake(120, 80),
                             UIWebViewProcessGroup group = UIWebViewProcessGroup::Creatives) {
        window = std::make_shared<UIWindow>(CGRectMake(0, 0, size.width, size.height));
        window->setHidden(false);
        view = std::make_shared<UIWebView>(CGRectMake(0, 0, size.width, size.height), group);
        view->setDelegate(delegate);
        window->addSubview(view);
    }
    // Runs the main loop until the log has `entries` entries ending a load.
    void waitForEnd(const char* what, double seconds = 15) {
        INFO("waited for the load to end: " << std::string(what));
        REQUIRE(testsupport::runMainUntil([&] { return delegate->ended(); }, seconds));
    }
    // Waits for a frame painted after `frames` more were painted since now
    // (the first after a load or change may be the one before it).
    void waitForFrames(std::size_t frames, const char* what) {
        const std::size_t from = view->paintedFrameCount();
        INFO("waited for " << frames << " painted frames: " << std::string(what));
        REQUIRE(testsupport::runMainUntil([&] { return view->paintedFrameCount() >= from + frames; }, 15));
    }
    CGPixel layerPixel(double x, double y) const {
        auto pixel = webtest::layerPixel(*view, x, y);
        REQUIRE(pixel);
        return *pixel;
    }
};

// Lets pages run long script turns on purpose (a thousand messages in one
// turn) without the watchdog taking a busy machine's slow turn for a hung page.
struct LongTurnsAllowed {
    double previous = UIWebView::unresponsivePageLimit();
    explicit LongTurnsAllowed(double seconds = 10) { UIWebView::setUnresponsivePageLimit(seconds); }
    ~LongTurnsAllowed() { UIWebView::setUnresponsivePageLimit(previous); }
    LongTurnsAllowed(const LongTurnsAllowed&) = delete;
    LongTurnsAllowed& operator=(const LongTurnsAllowed&) = delete;
};

}  // namespace webtest
