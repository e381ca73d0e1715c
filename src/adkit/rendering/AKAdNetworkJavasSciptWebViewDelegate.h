#pragma once
// The delegate of ads of other networks rendered from script. Such an ad shows
// its content some time after the page load, so the first load finish (when
// no passback arrived) only starts a render check: every 0.2 s of Clock time
// the rendered checker draws the web view; the first check that finds content
// runs the banner's load-finished step, and the 101st failed check ends the
// check on the load-failed path ("Ad check timed out.", code 1; the slot gets
// code 2). A passback request (scheme "passback", or the passback URL's host
// and path) stops the check and fails the slot with "Passback URL received."
// (code 1). Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKRenderCheckTimer.h"
#include "adkit/rendering/AKWebViewRenderedChecker.h"

class AKAdNetworkJavasSciptWebViewDelegate : public AKBannerWebViewDelegate, public AKWebViewRenderedCheckerDelegate {
public:
    static constexpr double kRenderCheckInterval = 0.2;
    static constexpr std::uint64_t kMaximumFailedChecks = 100;

    // initWithSlot:passbackURL:
    AKAdNetworkJavasSciptWebViewDelegate(const std::shared_ptr<AKSlot>& slot, std::optional<std::string> passbackURL);

    // Loads a script-rendered ad into the slot's web view under a new delegate
    // of this kind (returned for the slot to keep). Empty HTML fails the slot
    // with "Empty ad HTML." (code 2) and gives null.
    static std::shared_ptr<AKAdNetworkJavasSciptWebViewDelegate> loadAdHTML(const std::shared_ptr<AKSlot>& slot,
                                                                           const std::string& html,
                                                                           const std::string& baseURL,
                                                                           std::optional<std::string> passbackURL);

    bool isPassbackRequest(const std::shared_ptr<NSURLRequest>& request) const;
    void startRenderingTimerForWebView(const std::shared_ptr<AKWebView>& webView);
    void stopRenderingTimer();

    bool shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidFinishLoad(AKWebView& webView) override;
    void webViewDidRenderContent(AKWebView& webView) override;
    void webViewDidFailToRenderContent(AKWebView& webView) override;

    const std::optional<std::string>& passbackURL() const { return passbackURL_; }
    std::uint64_t checkRenderingCount() const { return checkRenderingCount_; }
    bool renderingCheckHasStarted() const { return renderingCheckHasStarted_; }
    bool wasPassbackReceived() const { return wasPassbackReceived_; }
    const std::shared_ptr<AKWebViewRenderedChecker>& webViewRenderedChecker() const { return renderCheck_.checker(); }

private:
    std::optional<std::string> passbackURL_;
    std::uint64_t checkRenderingCount_ = 0;
    AKRenderCheckTimer<AKWebViewRenderedChecker> renderCheck_;
    bool renderingCheckHasStarted_ = false;
    bool wasPassbackReceived_ = false;
};
