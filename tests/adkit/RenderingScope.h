#pragma once
// The recording engine for the web views a test makes, with a count of the web
// views made and where each was released; recording openers for the web-view
// delegates made meanwhile; and the process pool settled (its wipes ended,
// emptied) at both ends, so tests that return web views do not leak wipes
// (emptyPool alone settles it for tests over the engine).
#include <doctest/doctest.h>

#include <memory>
#include <vector>

#include "AdkitTestSupport.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKWebViewCacheSet.h"
#include "platform/base/MainThread.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/webkit/UIWebViewRecorder.h"

namespace adkittest {

// Runs the main queue until the blocks queued so far have run.
inline void drainMainQueue() {
    bool reached = false;
    dispatch_async(dispatch_get_main_queue(), [&] { reached = true; });
    waitFor([&] { return reached; }, "the main queue to run what was queued before");
}

class RenderingScope {
public:
    // A web view made in the scope may outlive it (the core controller's page):
    // its backing then records nowhere.
    struct Tracked : UIWebViewRecorder {
        Tracked(UIWebViewBackingClient& client, std::weak_ptr<std::vector<bool>> released)
            : UIWebViewRecorder(client), released_(std::move(released)) {}
        ~Tracked() override {
            if (const auto released = released_.lock()) released->push_back(isProcessMainThread());
        }
        std::weak_ptr<std::vector<bool>> released_;
    };

    RenderingScope() {
        emptyPool();
        UIWebView::useBackingFactory([this](UIWebViewBackingClient& client) {
            ++webViewsMade;
            return std::make_unique<Tracked>(client, released_);
        });
        AKOpener::setFactory([this] {
            auto opener = std::make_shared<renderingtest::RecordingOpener>();
            openers.push_back(opener);
            return opener;
        });
    }
    ~RenderingScope() {
        emptyPool();
        UIWebView::useBackingFactory(UIWebViewRecorder::factory());
        AKOpener::setFactory(nullptr);
    }
    // Ends every wipe: recorded web views as the engine would (an empty page),
    // engine web views (a test that made them) when their wipe ends for real.
    static void finishWipes(AKWebViewCacheSet& pool) {
        drainMainQueue();
        auto clearing = pool.clearingWebViews();
        for (auto& webView : clearing) {
            if (auto* recorder = dynamic_cast<UIWebViewRecorder*>(&webView->backing())) recorder->finishLoad();
        }
        waitFor([&] { return pool.clearingWebViews().empty(); }, "the pool's wipes to end");
    }
    static void emptyPool() {
        finishWipes(*AKWebView::webViewCache());
        AKWebView::webViewCache()->removeAllObjects();
    }

    int webViewsMade = 0;

private:
    std::shared_ptr<std::vector<bool>> released_ = std::make_shared<std::vector<bool>>();

public:
    // Whether each web view made in the scope was released on the main thread, in order.
    std::vector<bool>& releasedOnMain = *released_;
    std::vector<std::shared_ptr<renderingtest::RecordingOpener>> openers;
};

}  // namespace adkittest
