#pragma once
// Recording stand-ins for ad rendering tests: an opener, a slot, a slot
// delegate and a click-tracker collection that record every call as a line
// ("openApp u=..."), plus ad web views over the recording web-view backing.
// Main thread only, like what they stand in for.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/MainThread.h"
#include "platform/foundation/NSLog.h"
#include "platform/webkit/UIWebViewRecorder.h"

namespace renderingtest {

// Lines recorded in call order.
struct CallLog {
    std::vector<std::string> calls;
    void record(std::string line) { calls.push_back(std::move(line)); }
    std::string joined() const {
        std::string all;
        for (const auto& line : calls) all += (all.empty() ? "" : "; ") + line;
        return all;
    }
};

class RecordingOpener : public AKOpener, public CallLog {
public:
    bool inAppStoreSupported = true;

    void openApp(const std::string& URL) override { record("openApp " + URL); }
    void openBrowserToURL(const std::string& URL, AKSupportedOrientations o) override {
        record(format("openBrowser %@ o=%d", URL, static_cast<int>(o)));
    }
    void openEmailComposer(const std::string& URL) override { record("openEmailComposer " + URL); }
    void openSmsComposer(const std::string& URL) override { record("openSmsComposer " + URL); }
    void openPublisherToolbar(const std::optional<std::string>& adUnitID, const std::string& adContent) override {
        record(format("openPublisherToolbar %@ %@", adUnitID.value_or("nil"), adContent));
    }
    bool isInAppStoreSupported() const override { return inAppStoreSupported; }
    std::shared_ptr<SKStoreProductViewController> fetchInAppStoreForProductID(const std::string& productID) override {
        record("fetchInAppStore " + productID);
        return nullptr;
    }
    void openInAppStoreWithProductID(const std::optional<std::string>& productID,
                                     const std::optional<std::string>& fallback, bool wait) override {
        record(format("openInAppStore %@ fallback=%@ wait=%d", productID.value_or("nil"), fallback.value_or("nil"),
                      wait ? 1 : 0));
    }
    void openInAppPurchase(const std::string& productID, std::int64_t quantity,
                           const std::vector<std::string>& formats) override {
        std::string list;
        for (const auto& f : formats) list += "[" + f + "]";
        record(format("openInAppPurchase %@ q=%lld %@", productID, static_cast<long long>(quantity), list));
    }
    void openWebApp(const std::string& URL, AKSupportedOrientations o, bool customClose) override {
        record(format("openWebApp %@ o=%d cc=%d", URL, static_cast<int>(o), customClose ? 1 : 0));
    }
    void openWebAppWithHTML(const std::string& html, AKSupportedOrientations o, bool customClose) override {
        record(format("openWebAppWithHTML %@ o=%d cc=%d", html, static_cast<int>(o), customClose ? 1 : 0));
    }
    void expandToWebAppWithSupportedOrientations(AKSupportedOrientations o, bool customClose) override {
        record(format("expand o=%d cc=%d", static_cast<int>(o), customClose ? 1 : 0));
    }
    void openWebAppWithSize(CGSize size, CGPoint offset) override {
        record(format("resize %g,%g %g,%g", size.width, size.height, offset.x, offset.y));
    }
    void openCalendarWithDictionary(const Value& parameters) override {
        record("openCalendar " + parameters.toJSON().value_or("?"));
    }
};

class RecordingSlotDelegate : public AKSlotDelegate, public CallLog {
public:
    bool takesAppEvents = true;
    bool respondsToAppEvent() const override { return takesAppEvents; }
    void didReceiveAppEvent(const std::string& name, const std::optional<std::string>& info) override {
        record("appEvent " + name + " info=" + info.value_or("nil"));
    }
};

class RecordingSlot : public AKSlot, public CallLog {
public:
    AKSlotState slotState = AKSlotStateValidAd;
    std::shared_ptr<AKWebView> adWebView;
    bool interstitial = false;
    bool richMedia = false;
    std::shared_ptr<AKSlotDelegate> delegate;
    std::shared_ptr<AKSwipeToViewControllerConfiguration> swipe = std::make_shared<AKSwipeToViewControllerConfiguration>();

    AKSlotState state() const override { return slotState; }
    std::int64_t loadedAt = 0;  // AKAbsoluteTime milliseconds
    std::int64_t timeLastLoaded() const override { return loadedAt; }
    std::shared_ptr<AKWebView> webView() const override { return adWebView; }
    bool isInterstitial() const override { return interstitial; }
    bool isMRAIDAd() const override { return richMedia; }
    void setMRAIDEnabledOnAds(bool enabled) override {
        richMedia = enabled;
        record(format("setMRAIDEnabledOnAds %d main=%d", enabled ? 1 : 0, isProcessMainThread() ? 1 : 0));
    }
    std::shared_ptr<AKSlotDelegate> slotDelegate() const override { return delegate; }
    std::shared_ptr<AKSwipeToViewControllerConfiguration> swipeToViewControllerConfigurations() const override {
        return swipe;
    }
    const AKRequestParametersSource* currentRequest() const override { return nullptr; }

    void adWasClicked() override { record("adWasClicked"); }
    // The click URL of a URL: the ad server's click address carrying it (the
    // URL itself when the prefix is empty).
    std::string clickURLPrefix = "http://clicks.test/c?to=";
    std::string spamClickURLWithURL(const std::string& URL) override { return clickURLPrefix + URL; }
    void pingClickURLs() override { record("pingClickURLs"); }
    void adWillLeaveApplication() override { record("adWillLeaveApplication"); }
    void willLeaveAppDueToClick() override { record("willLeaveAppDueToClick"); }
    void willLoadAdHTMLInWebView() override { record("willLoadAdHTMLInWebView"); }
    void didReceiveValidAd() override { record("didReceiveValidAd"); }
    void didLoadAdHTMLInWebView() override { record("didLoadAdHTMLInWebView"); }
    void didMakeAdImpression() override { record("didMakeAdImpression"); }
    void adFinishedLoadingContent() override { record("adFinishedLoadingContent"); }
    void startViewabilityForLoadedAd() override { record("startViewabilityForLoadedAd"); }
    void failWithError(const AKRequestErrorPtr& error, bool reload, bool cancel) override {
        record(format("failWithError %lld reload=%d cancel=%d %@", static_cast<long long>(error ? error->code() : -1),
                      reload ? 1 : 0, cancel ? 1 : 0, error ? error->localizedDescription() : std::string("nil")));
    }
    void enableSwipeToViewController() override {
        record(format("enableSwipe dir=%d drag=%d", static_cast<int>(swipe->direction), swipe->adDraggable ? 1 : 0));
    }
    void disableSwipeToViewController() override { record("disableSwipe"); }
    void incrementAdStatistic(const std::string& key) override { record("increment " + key); }
    void setAdStatistic(const std::string& key, const Value& value, bool onlyWhenAbsent) override {
        record(format("setAdStatistic %@=%@ onlyWhenAbsent=%d", key, value, onlyWhenAbsent ? 1 : 0));
    }
    // Statistics read back: what a test put in `statistics`.
    Value statistics = Value::dictionary();
    Value adStatistic(const std::string& key) const override { return statistics[key]; }
    void addAdStatisticToArray(const std::string& key, const Value& value) override {
        record(format("addAdStatisticToArray %@=%@", key, value));
    }
    void adWillPresentScreen() override { record("adWillPresentScreen"); }
    void adWillDismissScreen() override { record("adWillDismissScreen"); }
    void adDidDismissScreen(bool announced) override {
        record(announced ? "adDidDismissScreen" : "adDidDismissScreen unannounced");
    }
    void interstitialViewWillAppear() override { record("interstitialViewWillAppear"); }
    void interstitialViewWillDisappear() override { record("interstitialViewWillDisappear"); }
};

// Installed as the shared collection while it lives.
class RecordingClickTrackers : public AKClickTrackerCollection {
public:
    std::vector<std::string> tracked;
    void trackURL(const NSURLPtr& url, bool) override { tracked.push_back(url ? url->absoluteString() : "nil"); }

    static std::shared_ptr<RecordingClickTrackers> install() {
        auto trackers = std::make_shared<RecordingClickTrackers>();
        AKClickTrackerCollection::setSharedInstance(trackers);
        return trackers;
    }
    struct Uninstall {
        ~Uninstall() { AKClickTrackerCollection::setSharedInstance(nullptr); }
    };
};

// An ad web view over the recording backing. Pooled web views keep their
// recorder, so events counts only the page events sent since this view was made.
struct RecordedAdWebView {
    std::shared_ptr<AKWebView> view;
    std::size_t baseline = 0;

    explicit RecordedAdWebView(CGRect frame = CGRectMake(0, 0, 320, 50)) {
        UIWebView::useBackingFactory(UIWebViewRecorder::factory());
        view = AKWebView::make(frame);
        baseline = scripts().size();
    }
    const std::vector<std::string>& scripts() const {
        return UIWebViewRecorder::of(*view->webView()).evaluatedScripts();
    }
    // The "ADNET_ReceiveMessage(...)" calls sent since, in order.
    std::vector<std::string> events() const {
        std::vector<std::string> found;
        const auto& all = scripts();
        for (std::size_t i = baseline; i < all.size(); ++i) {
            if (all[i].rfind("ADNET_ReceiveMessage(", 0) == 0) found.push_back(all[i]);
        }
        return found;
    }
};

}  // namespace renderingtest
