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
    // A web view may outlive the scope that made it (the core page's lives
    // with the process-wide controller): it records its release only while
    // that scope lives.
    struct Tracked : UIWebViewRecorder {
        Tracked(UIWebViewBackingClient& client, RenderingScope& scope)
            : UIWebViewRecorder(client), scope_(scope), scopeLives_(scope.lives_) {}
        ~Tracked() override {
            if (!scopeLives_.expired()) scope_.releasedOnMain.push_back(isProcessMainThread());
        }
        RenderingScope& scope_;
        std::weak_ptr<const bool> scopeLives_;
    };

    RenderingScope() {
        emptyPool();
        UIWebView::useBackingFactory([this](UIWebViewBackingClient& client) {
            ++webViewsMade;
            return std::make_unique<Tracked>(client, *this);
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
    std::vector<bool> releasedOnMain;
    std::vector<std::shared_ptr<renderingtest::RecordingOpener>> openers;

private:
    std::shared_ptr<const bool> lives_ = std::make_shared<const bool>(true);
};

}  // namespace adkittest
