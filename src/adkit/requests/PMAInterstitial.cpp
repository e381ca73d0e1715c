#include "adkit/requests/PMAInterstitial.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/PMARawHTMLAd.h"
#include "platform/base/ThreadAssertions.h"

std::shared_ptr<PMAInterstitial> PMAInterstitial::make() {
    std::shared_ptr<PMAInterstitial> made(new PMAInterstitial());
    made->setUp();
    return made;
}

void PMAInterstitial::presentFromRootViewController(const std::shared_ptr<UIViewController>& root) {
    QV_ASSERT_MAIN_THREAD();
    if (customAdRenderingEnabled_) {
        AKMacros::pubLog(kCustomRenderingLog);
        return;
    }
    AKInterstitial::presentFromRootViewController(root);
}

void PMAInterstitial::didReceiveAppEvent(const std::string& name, const std::optional<std::string>& info) {
    const auto me = self<PMAInterstitial>();
    if (const auto delegate = appEventDelegate()) delegate->interstitialDidReceiveAppEvent(*me, name, info);
}

bool PMAInterstitial::slotShouldUseCustomRenderingForAd(AKSlot& /*slot*/, const std::shared_ptr<NSObject>& ad) {
    customAdRenderingEnabled_ = rendersRawHTML(ad);
    return customAdRenderingEnabled_;
}

bool PMAInterstitial::rendersRawHTML(const std::shared_ptr<NSObject>& object) {
    const auto delegate = rawHTMLInterstitialDelegate();
    const auto ad = std::dynamic_pointer_cast<AKAd>(object);
    if (!delegate || !ad) return false;
    const auto resolved = NSURL::URLWithString("/", ad->adBaseURL);
    const auto baseURL = resolved ? resolved->absoluteURL() : nullptr;
    if (!baseURL) return false;  // no URL to give the publisher: the slot renders it
    const std::string html = ad->adHTML.value_or("");
    const auto me = self<PMAInterstitial>();
    if (delegate->respondsToShouldUseCustomRendering() &&
        !delegate->interstitialShouldUseCustomRenderingForAdHTML(*me, html, *baseURL)) {
        return false;
    }
    const auto raw = PMARawHTMLAd::make(html, baseURL);
    raw->setDelegate(std::static_pointer_cast<PMARawHTMLAdDelegate>(me));
    slot()->willStartAdRendering();
    delegate->interstitialRenderRawHTMLAd(*me, raw);
    return true;
}

void PMAInterstitial::recordClick() { slot()->pingClickURLs(); }

void PMAInterstitial::recordCustomAdImpression() {
    slot()->didMakeAdImpression();
    slot()->pingManualTrackingURLs();
}

void PMAInterstitial::finishedRenderingAdView(const std::shared_ptr<UIView>& /*view*/) { slot()->didReceiveValidAd(); }
