#pragma once
// Recording doubles of what ad rendering talks to (the slot, the opener), and
// the web views' recording engine with a count of the web views made and where
// each was released, for the web-view, pool, routing and render-check tests.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/rendering/AKWebViewCacheSet.h"
#include "platform/base/MainThread.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/webkit/UIWebViewRecorder.h"

namespace adkittest {

class RecordingSlot : public AKSlot {
public:
    AKSlotState slotState = AKSlotStateRendering;
    std::int64_t loadedAt = 0;
    bool interstitial = false;
    bool mraid = false;
    std::shared_ptr<AKWebView> view;
    std::vector<std::string> calls;
    std::vector<std::pair<std::int64_t, std::string>> failures;  // code, message
    ValueDictionary statistics;

    AKSlotState state() const override { return slotState; }
    std::int64_t timeLastLoaded() const override { return loadedAt; }
    std::shared_ptr<AKWebView> webView() const override { return view; }
    bool isInterstitial() const override { return interstitial; }
    bool isMRAIDAd() const override { return mraid; }
    void setMRAIDEnabledOnAds(bool enabled) override { mraid = enabled; }
    std::shared_ptr<AKSlotDelegate> slotDelegate() const override { return nullptr; }
    std::shared_ptr<AKSwipeToViewControllerConfiguration> swipeToViewControllerConfigurations() const override {
        return nullptr;
    }
    const AKRequestParametersSource* requestParameters() const override { return nullptr; }
    void adWasClicked() override { calls.push_back("adWasClicked"); }
    std::string spamClickURLWithURL(const std::string& URL) override { return "https://click.example/c?u=" + URL; }
    void willLoadAdHTMLInWebView() override {
        calls.push_back("willLoadAdHTMLInWebView");
        slotState = AKSlotStateRendering;
    }
    void didReceiveValidAd() override { calls.push_back("didReceiveValidAd"); }
    void didLoadAdHTMLInWebView() override { calls.push_back("didLoadAdHTMLInWebView"); }
    void didMakeAdImpression() override { calls.push_back("didMakeAdImpression"); }
    void adFinishedLoadingContent() override { calls.push_back("adFinishedLoadingContent"); }
    void startViewabilityForLoadedAd() override { calls.push_back("startViewabilityForLoadedAd"); }
    void failWithError(const AKRequestErrorPtr& error, bool, bool) override {
        failures.emplace_back(error->code(), error->localizedDescription());
        slotState = AKSlotStateFailed;
    }
    void enableSwipeToViewController() override {}
    void disableSwipeToViewController() override {}
    void incrementAdStatistic(const std::string& key) override {
        statistics[key] = Value(statistics[key].integerValue() + 1);
    }
    void setAdStatistic(const std::string& key, const Value& value, bool onlyWhenAbsent) override {
        if (!onlyWhenAbsent || !statistics.count(key)) statistics[key] = value;
    }
    // The slot's ad was loaded just now.
    void markLoaded() { loadedAt = static_cast<std::int64_t>(AKAbsoluteTime::absoluteTimeInMilliseconds()); }
};

class RecordingOpener : public AKOpener {
public:
    std::vector<std::string> calls;
    void openApp(const std::string& URL) override { calls.push_back("openApp " + URL); }
    void openBrowserToURL(const std::string& URL, AKSupportedOrientations) override {
        calls.push_back("openBrowserToURL " + URL);
    }
    void openEmailComposer(const std::string& URL) override { calls.push_back("openEmailComposer " + URL); }
    void openSmsComposer(const std::string& URL) override { calls.push_back("openSmsComposer " + URL); }
    void openPublisherToolbar(const std::optional<std::string>&, const std::string& adContent) override {
        calls.push_back("openPublisherToolbar " + adContent);
    }
};

// Runs the main queue until the blocks queued so far have run.
inline void drainMainQueue() {
    bool reached = false;
    dispatch_async(dispatch_get_main_queue(), [&] { reached = true; });
    waitFor([&] { return reached; }, "the main queue to run what was queued before");
}

// Web views made during the scope get the recording engine; the delegates'
// openers record. At the end the process pool finishes its wipes and is emptied.
class RenderingScope {
public:
    struct Tracked : UIWebViewRecorder {
        Tracked(UIWebViewBackingClient& client, RenderingScope& scope) : UIWebViewRecorder(client), scope_(scope) {}
        ~Tracked() override { scope_.releasedOnMain.push_back(isProcessMainThread()); }
        RenderingScope& scope_;
    };

    RenderingScope() {
        UIWebView::useBackingFactory([this](UIWebViewBackingClient& client) {
            ++webViewsMade;
            return std::make_unique<Tracked>(client, *this);
        });
        AKOpener::setFactory([this] {
            auto opener = std::make_shared<RecordingOpener>();
            openers.push_back(opener);
            return opener;
        });
        emptyPool();
    }
    ~RenderingScope() {
        emptyPool();
        UIWebView::useBackingFactory(nullptr);
        AKOpener::setFactory(nullptr);
    }
    // Ends every wipe as the engine would (an empty page) and empties the pool.
    static void finishWipes(AKWebViewCacheSet& pool) {
        drainMainQueue();
        auto clearing = pool.clearingWebViews();
        for (auto& webView : clearing) UIWebViewRecorder::of(*webView).finishLoad();
    }
    static void emptyPool() {
        finishWipes(*AKWebView::webViewCache());
        AKWebView::webViewCache()->removeAllObjects();
    }

    int webViewsMade = 0;
    std::vector<bool> releasedOnMain;
    std::vector<std::shared_ptr<RecordingOpener>> openers;
};

}  // namespace adkittest
