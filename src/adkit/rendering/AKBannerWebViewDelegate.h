#pragma once
// The delegate of every banner and interstitial ad web view of a slot. A
// navigation is a click when the slot is in state 0, 2, 3, 4, 6 or 7, at least
// 150 ms (AKAbsoluteTime) passed since the slot loaded its ad, the navigation
// is neither back/forward nor a reload, and the slot's web view was touched.
// A click the base routing allows never loads in the ad's web view: the slot
// hears adWasClicked and, for an http(s) URL, the opener opens the slot's
// click URL for it. A page that finishes loading while the slot renders makes
// the ad valid and shown; a failed load fails the slot (error code 2) unless
// it already shows a valid ad. Main thread only; the slot is held weakly.
#include <memory>

#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKWebViewDelegate.h"

// The slot it stands for tells the rich-media interceptor which script to serve.
class AKBannerWebViewDelegate : public AKWebViewDelegate, public AKMRAIDSlotSource {
public:
    static constexpr std::uint64_t kMinimumClickDelayMilliseconds = 150;

    // initWithSlot: (the opener's slot becomes the slot).
    explicit AKBannerWebViewDelegate(const std::shared_ptr<AKSlot>& slot);

    std::shared_ptr<AKSlot> slot() const { return slot_.lock(); }
    std::shared_ptr<AKSlot> slotForMRAID() const override { return slot(); }
    bool isClick(UIWebViewNavigationType navigationType) const;

    bool shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidFinishLoad(AKWebView& webView) override;
    void didFailLoadWithError(AKWebView& webView, const NSError& error) override;

private:
    std::weak_ptr<AKSlot> slot_;
};
