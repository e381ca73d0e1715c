#pragma once
// The interstitial of publishers who serve their own campaigns: app events of
// the ad page go to the app-event delegate, and a publisher may render a
// custom-rendering ad's raw HTML itself (through its raw-HTML delegate). An
// interstitial the publisher renders is presented by the publisher:
// presentFromRootViewController then only logs "Error: Custom ad rendering is
// enabled. Please present interstitial view from rootViewController manually."
//
// Custom rendering, when the slot offers a custom-rendering ad: without a
// raw-HTML delegate the slot renders the HTML; else the base URL is "/"
// resolved against the ad's base URL; a delegate that implements the
// should-use call and answers NO leaves it to the slot; otherwise a raw ad
// (PMARawHTMLAd, this object its delegate) goes to the delegate's
// interstitialRenderRawHTMLAd. The answer is kept as customAdRenderingEnabled.
// The raw ad's reports: recordClick pings the click URLs, recordImpression
// records the impression and pings the manual ones, finishedRenderingAdView
// makes the ad valid (the interstitial is then ready; no did-receive call).
//
// Delegates are held weakly. Main thread.
#include <memory>

#include "adkit/requests/AKInterstitial.h"
#include "adkit/requests/PMADelegates.h"

class PMAInterstitial : public AKInterstitial, public PMARawHTMLAdDelegate {
public:
    static constexpr const char* kCustomRenderingLog =
        "Error: Custom ad rendering is enabled. Please present interstitial view from rootViewController manually.";

    static std::shared_ptr<PMAInterstitial> make();
    std::string className() const override { return "PMAInterstitial"; }

    bool customAdRenderingEnabled() const { return customAdRenderingEnabled_; }
    void setCustomAdRenderingEnabled(bool enabled) { customAdRenderingEnabled_ = enabled; }
    std::shared_ptr<AKAppEventDelegate> appEventDelegate() const { return appEventDelegate_.lock(); }
    void setAppEventDelegate(const std::shared_ptr<AKAppEventDelegate>& d) { appEventDelegate_ = d; }
    std::shared_ptr<PMARawHTMLInterstitialViewDelegate> rawHTMLInterstitialDelegate() const {
        return rawHTMLInterstitialDelegate_.lock();
    }
    void setRawHTMLInterstitialDelegate(const std::shared_ptr<PMARawHTMLInterstitialViewDelegate>& d) {
        rawHTMLInterstitialDelegate_ = d;
    }

    void presentFromRootViewController(const std::shared_ptr<UIViewController>& root) override;

    // AKSlotDelegate
    bool respondsToAppEvent() const override { return true; }
    void didReceiveAppEvent(const std::string& name, const std::optional<std::string>& info) override;
    bool slotShouldUseCustomRenderingForAd(AKSlot& slot, const std::shared_ptr<NSObject>& ad) override;

    // PMARawHTMLAdDelegate (the raw ad's reports)
    void recordClick() override;
    void recordCustomAdImpression() override;
    void finishedRenderingAdView(const std::shared_ptr<UIView>& view) override;

protected:
    PMAInterstitial() = default;

private:
    bool rendersRawHTML(const std::shared_ptr<NSObject>& ad);

    bool customAdRenderingEnabled_ = false;
    std::weak_ptr<AKAppEventDelegate> appEventDelegate_;
    std::weak_ptr<PMARawHTMLInterstitialViewDelegate> rawHTMLInterstitialDelegate_;
};
