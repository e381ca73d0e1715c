#pragma once
// The full-screen web-app controller (an interstitial or an expanded rich-media
// ad) and its transparent variant. This header holds what ad rendering reads
// and sets; the controller itself comes with the ad formats.
#include <memory>

#include "adkit/rendering/AKViewController.h"

class AKSlot;
class AKWebView;

class AKWebAppViewController : public AKViewController {
public:
    using AKViewController::AKViewController;

    bool useCustomClose() const { return useCustomClose_; }
    virtual void setUseCustomClose(bool use) { useCustomClose_ = use; }
    bool transparentInterstitial() const { return transparentInterstitial_; }
    virtual void setTransparentInterstitial(bool transparent) { transparentInterstitial_ = transparent; }
    // A transparent interstitial presents from its host controller.
    virtual bool isTransparentInterstitial() const { return false; }
    virtual std::shared_ptr<UIViewController> hostViewController() const { return nullptr; }
    // The slot whose ad this controller shows, and the slot of its interstitial (when it has one).
    virtual std::shared_ptr<AKSlot> slot() const { return nullptr; }
    virtual std::shared_ptr<AKSlot> interstitialSlot() const { return nullptr; }
    virtual std::shared_ptr<AKWebView> webView() const { return nullptr; }

private:
    bool useCustomClose_ = false;
    bool transparentInterstitial_ = false;
};
