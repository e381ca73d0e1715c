#pragma once
// The delegates of the publisher-managed formats (PMABannerView, PMAInterstitial),
// all held weakly and called on the main thread:
//   AKAppEventDelegate   - app events an ad page sends (optional calls);
//   AKAdSizeDelegate     - told before a banner takes another of its valid sizes;
//   PMARawHTMLBannerViewDelegate / PMARawHTMLInterstitialViewDelegate - the
//                          publisher that renders an ad's raw HTML itself;
//   PMARawHTMLAdDelegate - what a raw ad reports back (the format itself).
// Where the library does something else when a publisher's delegate does not
// implement a call, respondsTo...() says whether it does (as the slot asks).
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKAdSize.h"
#include "platform/foundation/NSURL.h"

class AKInterstitial;
class PMABannerView;
class PMARawHTMLAd;
class UIView;

class AKAppEventDelegate {
public:
    virtual ~AKAppEventDelegate() = default;
    virtual void adViewDidReceiveAppEvent(PMABannerView& /*banner*/, const std::string& /*name*/,
                                          const std::optional<std::string>& /*info*/) {}
    virtual void interstitialDidReceiveAppEvent(AKInterstitial& /*interstitial*/, const std::string& /*name*/,
                                                const std::optional<std::string>& /*info*/) {}
};

class AKAdSizeDelegate {
public:
    virtual ~AKAdSizeDelegate() = default;
    virtual void adViewWillChangeAdSizeTo(PMABannerView& banner, AKAdSize size) = 0;
};

class PMARawHTMLAdDelegate {
public:
    virtual ~PMARawHTMLAdDelegate() = default;
    virtual void recordClick() = 0;
    virtual void recordCustomAdImpression() = 0;
    virtual void finishedRenderingAdView(const std::shared_ptr<UIView>& view) = 0;
};

class PMARawHTMLBannerViewDelegate {
public:
    virtual ~PMARawHTMLBannerViewDelegate() = default;
    // Optional: without it the publisher renders every raw ad offered.
    virtual bool respondsToShouldUseCustomRendering() const { return false; }
    virtual bool bannerViewShouldUseCustomRenderingForAdHTML(PMABannerView& /*banner*/, const std::string& /*html*/,
                                                             const NSURL& /*baseURL*/) {
        return true;
    }
    // Without it the banner logs the missing call and still waits for the publisher.
    virtual bool respondsToRenderRawHTMLAd() const { return false; }
    virtual void bannerViewRenderRawHTMLAd(PMABannerView& /*banner*/, const std::shared_ptr<PMARawHTMLAd>& /*ad*/) {}
};

class PMARawHTMLInterstitialViewDelegate {
public:
    virtual ~PMARawHTMLInterstitialViewDelegate() = default;
    virtual bool respondsToShouldUseCustomRendering() const { return false; }
    virtual bool interstitialShouldUseCustomRenderingForAdHTML(AKInterstitial& /*interstitial*/,
                                                               const std::string& /*html*/, const NSURL& /*baseURL*/) {
        return true;
    }
    // Required.
    virtual void interstitialRenderRawHTMLAd(AKInterstitial& interstitial, const std::shared_ptr<PMARawHTMLAd>& ad) = 0;
};
