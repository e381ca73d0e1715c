#pragma once
// The HTML mediation adapter: serves an ad network entry whose credentials
// carry a ready creative ("adxtym_html") and, optionally, the URL the creative
// navigates to when it has no ad ("adxtym_passback_url"). Banners only.
//
// A banner attempt renders the HTML in a plain creative web view of the
// banner's size (clear background, not opaque, no page scaling, clipped,
// inline media allowed, media waiting for the user, no data detectors),
// loaded under the exchange's creative origin (AKAdHosts exchangeCreative).
// Every 0.2 s of Clock time (the main run loop) the render check
// (AKMWebViewRenderedChecker.h) draws the view; the first check that finds
// content reports the web view as the banner. After 101 checks without
// content the check stops and nothing is reported: the waterfall's time-out
// ends the attempt.
//
// Failures reported to the connector, domain "com.adkit.ads":
//   2 "Empty passback URL in TYM response." / "Invalid passback URL in TYM
//     response." (checked first) / "Missing HTML in TYM response.";
//   1 "Ad network returned no ad." on a passback navigation (scheme
//     "passback", or the passback URL's host without regard to case and its
//     path, each without one trailing "/"), which is refused;
//   0 "Interstitials not supported." for an interstitial attempt or show.
// The two credentials count only when they are text (AKMTextValue).
//
// Only frames of the creative's page count: the engine may paint a frame of
// its own (opaque white) while a fresh view's first load commits, so a check
// finds content only in a frame painted after the current main-frame load
// ended (finished or failed); before that it answers not rendered (and still
// counts).
//
// The creative is not trusted: the host's own load of the HTML is always
// allowed, a navigation of another web view or without a URL is refused, and
// whatever else the page navigates to is allowed but stays in the adapter's
// own web view (the platform view loads new windows in place and hands
// nothing to the application).
//
// Lifecycle (one transition function checks each move):
//   idle -> rendering (timer running) -> reported (banner or failure) or
//   gaveUp (101 checks); stopBeingDelegate or release: stopped. The render
//   timer stops on content, on a passback, on stopBeingDelegate, on release
//   and after the 101st check. The adapter keeps itself alive across every
//   call that may report, so a connector dropping it inside the report does
//   not free it under its own feet. Holds the connector weakly; main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/mediation/AKMAdNetworkAdapter.h"
#include "adkit/mediation/AKMWebViewRenderedChecker.h"
#include "adkit/rendering/AKRenderCheckTimer.h"
#include "platform/foundation/NSURL.h"
#include "platform/webkit/UIWebView.h"

enum class AKMAdapterHTMLState { idle, rendering, reported, gaveUp, stopped };

class AKMAdapterHTML : public AKMAdNetworkAdapting,
                       public AKMWebViewRenderedCheckerDelegate,
                       public UIWebViewDelegate {
public:
    static constexpr const char* kClassName = "AKMAdapterHTML";
    static constexpr double kRenderCheckInterval = 0.2;
    static constexpr std::uint64_t kMaximumRenderChecks = 101;
    static constexpr const char* kHTMLKey = "adxtym_html";
    static constexpr const char* kPassbackURLKey = "adxtym_passback_url";

    ~AKMAdapterHTML() override;

    // Class operations.
    static std::string adapterVersion() { return "1.1"; }
    static std::string networkExtrasClass() { return {}; }  // nil

    // AKMAdNetworkAdapting
    void initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) override;
    void getBannerWithSize(AKAdSize size) override;
    void getInterstitial() override;
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int64_t /*animationType*/) override { return true; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) override;

    // AKMWebViewRenderedCheckerDelegate (answers for the adapter's own web view only).
    void webViewIsRendered(UIWebView& webView, bool rendered) override;
    // UIWebViewDelegate
    bool shouldStartLoadWithRequest(UIWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(UIWebView& webView) override;
    void webViewDidFinishLoad(UIWebView& webView) override;
    void didFailLoadWithError(UIWebView& webView, const NSError& error) override;

    bool isPassbackRequest(const NSURLRequest& request) const;

    AKMAdapterHTMLState state() const { return state_; }
    std::uint64_t checkRenderingCount() const { return checkRenderingCount_; }
    bool isRenderTimerRunning() const { return renderCheck_.isRunning(); }
    const std::shared_ptr<UIWebView>& webView() const { return webView_; }
    const NSURLPtr& passbackUrl() const { return passbackUrl_; }
    const std::shared_ptr<AKMWebViewRenderedChecker>& webViewRenderedChecker() const { return renderCheck_.checker(); }

private:
    void moveTo(AKMAdapterHTMLState next);
    void dropWebView();
    void loadCreative(AKAdSize size, const std::string& html);
    void failAd(long code, const std::string& message);
    void failInterstitial();

    std::uint64_t checkRenderingCount_ = 0;
    AKRenderCheckTimer<AKMWebViewRenderedChecker> renderCheck_;
    std::shared_ptr<UIWebView> webView_;
    NSURLPtr passbackUrl_;
    std::weak_ptr<AKMAdNetworkConnector> connector_;
    std::string initialLoadURL_;  // the host's own load not yet decided ("" when none)
    // The painted-frame count when the current page's load ended; nullopt while it loads.
    std::optional<std::size_t> pageFramesAfter_;
    AKMAdapterHTMLState state_ = AKMAdapterHTMLState::idle;
};

// Registers AKMAdapterHTML as a mediation adapter class (ClassRegistry).
void AKMAdapterHTMLRegister();
