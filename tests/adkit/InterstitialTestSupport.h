#pragma once
// What the interstitial tests share: a listener for an interstitial's
// delegates and a key window with a root controller on view that counts the
// two full-screen notifications and puts the status bar and idle timer back.
// Main thread only.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/requests/AKInterstitial.h"
#include "adkit/requests/PMADelegates.h"
#include "adkit/requests/PMARawHTMLAd.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"

namespace interstitialtest {

// What an interstitial's delegates heard, in order.
struct Heard : AKInterstitialDelegate, AKAppEventDelegate, PMARawHTMLInterstitialViewDelegate, renderingtest::CallLog {
    std::shared_ptr<PMARawHTMLAd> rawAd;
    void interstitialDidReceiveAd(AKInterstitial&) override { record("didReceive"); }
    void interstitialDidFailToReceiveAdWithError(AKInterstitial&, const NSErrorPtr& error) override {
        record("failed " + std::to_string(error ? error->code() : -1));
    }
    void interstitialWillPresentScreen(AKInterstitial&) override { record("willPresent"); }
    void interstitialWillDismissScreen(AKInterstitial&) override { record("willDismiss"); }
    void interstitialDidDismissScreen(AKInterstitial&) override { record("didDismiss"); }
    void interstitialWillLeaveApplication(AKInterstitial&) override { record("willLeave"); }
    void interstitialDidReceiveAppEvent(AKInterstitial&, const std::string& name,
                                        const std::optional<std::string>& info) override {
        record("appEvent " + name + "=" + info.value_or("(none)"));
    }
    void interstitialRenderRawHTMLAd(AKInterstitial&, const std::shared_ptr<PMARawHTMLAd>& ad) override {
        record("render " + ad->adBaseURL()->absoluteString());
        rawAd = ad;
    }
    std::size_t count(const std::string& call) const { return std::ranges::count(calls, call); }
    std::string last() const { return calls.empty() ? std::string() : calls.back(); }
};

// A key window with a root controller on view; the two full-screen notifications
// counted; the status bar and idle timer put back at the end.
struct Screen {
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::vector<std::string> posted;
    std::vector<std::shared_ptr<NSObject>> tokens;
    Screen() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        for (const char* name : {kAdModalViewControllerWillPresentFullScreen, kAdModalViewControllerDidDismissFullScreen})
            tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, nullptr, nullptr, [this](const NSNotification& note) { posted.push_back(note.name()); }));
    }
    ~Screen() {
        for (auto& token : tokens) NSNotificationCenter::defaultCenter()->removeObserver(token.get());
        const auto app = UIApplication::sharedApplication();
        app->setStatusBarHidden(false);
        app->setIdleTimerDisabled(false);
        app->setKeyWindow(nullptr);
    }
    std::size_t count(const char* name) const { return std::ranges::count(posted, name); }
};

// The controller an interstitial's presentation put on screen.
inline std::shared_ptr<AKWebAppViewController> shown(const Screen& screen) {
    return std::dynamic_pointer_cast<AKWebAppViewController>(screen.root->presentedViewController());
}

inline CGPoint centre(const UIView& view) {
    const CGRect frame = view.convertRectToView(view.bounds(), nullptr);
    return CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame));
}

}  // namespace interstitialtest
