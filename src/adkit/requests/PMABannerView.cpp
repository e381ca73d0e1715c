// The publisher-managed banner: valid sizes, manual impressions, app events
// and custom rendering by the publisher (see PMABannerView.h).
#include "adkit/requests/PMABannerView.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/PMARawHTMLAd.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSURL.h"

void PMABannerView::setValidAdSizesWithSizes(std::initializer_list<const AKAdSize*> sizes) {
    Value boxed = Value::array();
    for (const AKAdSize* size : sizes) {
        if (!size) break;
        boxed.append(Value(NSValueFromAKAdSize(*size)));
    }
    validAdSizes_ = boxed;
}

bool PMABannerView::enableManualImpressions() const { return slot()->manualImpressionsEnabled(); }

void PMABannerView::setEnableManualImpressions(bool enabled) { slot()->setManualImpressionsEnabled(enabled); }

void PMABannerView::recordImpression() { slot()->pingManualTrackingURLs(); }

void PMABannerView::resize(AKAdSize size) { setAdSizeAndReload(size, false); }

// ---- AKSlotDelegate ---------------------------------------------------------------------

void PMABannerView::didReceiveAppEvent(const std::string& name, const std::optional<std::string>& info) {
    callOnMainThread([name, info](AKBannerView& banner) {
        auto& me = static_cast<PMABannerView&>(banner);
        if (const auto d = me.appEventDelegate()) d->adViewDidReceiveAppEvent(me, name, info);
    });
}

void PMABannerView::slotWillResizeToAdSize(AKSlot& /*slot*/, const NSValue& adSize) {
    const auto size = AKAdSizeFromNSValue(adSize);
    if (!size) return;
    if (const auto d = adSizeDelegate()) d->adViewWillChangeAdSizeTo(*this, *size);
}

bool PMABannerView::slotShouldUseCustomRenderingForAd(AKSlot& /*slot*/, const std::shared_ptr<NSObject>& object) {
    QV_ASSERT_MAIN_THREAD();
    const auto delegate = rawHTMLBannerViewDelegate();
    const auto ad = std::dynamic_pointer_cast<AKAd>(object);
    if (!delegate || !ad) return false;
    const NSURLPtr resolved = NSURL::URLWithString("/", ad->adBaseURL);
    const NSURLPtr baseURL = resolved ? resolved->absoluteURL() : nullptr;
    const std::string html = ad->adHTML.value_or("");
    if (delegate->respondsToShouldUseCustomRendering() && baseURL &&
        !delegate->bannerViewShouldUseCustomRenderingForAdHTML(*this, html, *baseURL)) {
        return false;
    }
    const auto rawAd = PMARawHTMLAd::make(html, baseURL);
    rawAd->setDelegate(std::static_pointer_cast<PMARawHTMLAdDelegate>(self<PMABannerView>()));
    slot()->willStartAdRendering();
    if (delegate->respondsToRenderRawHTMLAd()) {
        delegate->bannerViewRenderRawHTMLAd(*this, rawAd);
    } else {
        const auto& implementer = *delegate;
        AKMacros::pubLog("Ignoring delegate callback. Delegate does not conform to PMARawHTMLBannerViewDelegate.\n"
                         "Banner view: " + description() + "\nDelegate: " + demangledClassName(typeid(implementer)));
    }
    return true;
}

// ---- Raw-HTML reports -------------------------------------------------------------------

void PMABannerView::recordClick() { slot()->pingClickURLs(); }

void PMABannerView::recordCustomAdImpression() {
    slot()->didMakeAdImpression();
    slot()->pingManualTrackingURLs();
}

void PMABannerView::finishedRenderingAdView(const std::shared_ptr<UIView>& /*view*/) { slot()->didReceiveValidAd(); }
