#pragma once
// A recording owner for ad slots (slot delegate and ad event delegate) and a
// fixture with a banner slot over recorded web views: recorded pings, the
// rich-media interceptor's counter at 0, and helpers to drive the slot's
// load road through its request's "_ad" extra. Main thread only.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKSlotDelegates.h"
#include "support/TestEnvironment.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/webkit/UIWebViewRecorder.h"

namespace slottest {

class SlotTestOwner : public AKSlotDelegate, public AKSlotAdEventDelegate, public renderingtest::CallLog {
public:
    bool reloads = true;
    std::optional<CGRect> ownerFrame, ownerBounds;
    Value sizes;
    Value position;
    std::shared_ptr<AKInAppPurchaseDelegate> purchases;
    bool rendersItself = false;

    std::string last() const { return calls.empty() ? std::string() : calls.back(); }

    bool slotShouldReloadCurrentRequest(AKSlot&) override {
        record(reloads ? "shouldReload yes" : "shouldReload no");
        return reloads;
    }
    bool respondsToFrame() const override { return ownerFrame.has_value(); }
    CGRect frame() const override { return ownerFrame.value_or(CGRectZero); }
    bool respondsToBounds() const override { return ownerBounds.has_value(); }
    CGRect bounds() const override { return ownerBounds.value_or(CGRectZero); }
    Value coordinatesOfContentInScreen() const override { return position; }
    std::shared_ptr<AKInAppPurchaseDelegate> inAppPurchaseDelegate() const override { return purchases; }
    Value validAdSizes() const override { return sizes; }
    void slotDidReceiveAdView(AKSlot&, const std::shared_ptr<UIView>& view) override {
        record(view ? "adView" : "adView nil");
    }
    void setAdSizeAndReload(const NSValue& size, bool reload) override {
        const auto s = AKAdSizeFromNSValue(size);
        record(format("setAdSize %gx%g reload=%d", s ? s->size.width : -1, s ? s->size.height : -1, reload ? 1 : 0));
    }
    void slotWillResizeToAdSize(AKSlot&, const NSValue&) override { record("willResize"); }
    bool slotShouldUseCustomRenderingForAd(AKSlot&, const std::shared_ptr<NSObject>&) override {
        record("customRendering?");
        return rendersItself;
    }

    void slotFinishedLoadingAdContent(AKAdSlot&) override { record("finished"); }
    void slotDidFailToLoadAdContentWithError(AKAdSlot&, const NSErrorPtr& error) override {
        record(format("failed %lld", static_cast<long long>(error ? error->code() : -1)));
    }
    void slotWillPresentScreen(AKAdSlot&) override { record("willPresent"); }
    void slotWillDismissScreen(AKAdSlot&) override { record("willDismiss"); }
    void slotDidDismissScreen(AKAdSlot&) override { record("didDismiss"); }
    void slotWillLeaveApplication(AKAdSlot&) override { record("willLeave"); }
};

struct SlotFixture {
    // A fresh home: the user defaults the slot and the fetcher read and write start empty.
    struct FreshDefaults {
        testsupport::TempHome home;
        FreshDefaults() { NSUserDefaults::resetStandardUserDefaults(); }
        ~FreshDefaults() { NSUserDefaults::resetStandardUserDefaults(); }
    } defaults;
    adkittest::RenderingScope rendering;
    std::shared_ptr<renderingtest::RecordingClickTrackers> trackers = renderingtest::RecordingClickTrackers::install();
    renderingtest::RecordingClickTrackers::Uninstall uninstallTrackers;
    std::shared_ptr<SlotTestOwner> owner = std::make_shared<SlotTestOwner>();
    std::shared_ptr<AKAdSlot> slot;

    explicit SlotFixture(bool banner = true) {
        AKMRAIDInterceptor::resetCanInitWithRequestCounter();
        slot = makeSlot(banner);
    }
    ~SlotFixture() { AKMRAIDInterceptor::resetCanInitWithRequestCounter(); }

    std::shared_ptr<AKAdSlot> makeSlot(bool banner = true) const {
        auto made = AKAdSlot::make(CGRectMake(0, 0, 320, 50));
        if (banner) made->setAdTypeAndReloadRequest(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner), false);
        made->setSlotDelegate(owner);
        made->setAdEventDelegate(owner);
        made->setAdUnitID("unit-1");
        return made;
    }
    UIWebViewRecorder& page() const { return UIWebViewRecorder::of(*slot->webView()->webView()); }

    // A request whose "_ad" extra carries the ad (HTML "<p>ad</p>" unless given).
    static std::shared_ptr<AKRequest> adRequest(Value ad = Value::dictionary(), const Value& headers = Value()) {
        if (!ad.isDictionary()) ad = Value::dictionary();
        if (ad["ad_html"].isNull()) ad.setObject("ad_html", "<p>ad</p>");
        if (ad["ad_base_url"].isNull()) ad.setObject("ad_base_url", "http://creatives.example/ad");
        Value extras{{"_ad", ad}};
        if (headers) extras.setObject("_adHeaders", headers);
        auto request = AKRequest::request();
        request->setAdditionalParameters(extras);
        return request;
    }
    // Loads the request and waits until the slot renders its HTML (state 5).
    void loadUntilRendering(const std::shared_ptr<AKRequest>& request, bool autoRefresh = false) const {
        slot->loadRequest(request, autoRefresh);
        adkittest::waitFor([&] { return slot->state() == AKSlotStateRendering; }, "the slot to render its ad");
    }
    // ... and plays the page's load, which makes the ad valid (state 6).
    void loadAd(const std::shared_ptr<AKRequest>& request) const {
        loadUntilRendering(request);
        page().finishLoad();
        REQUIRE(slot->state() == AKSlotStateValidAd);
    }
};

}  // namespace slottest
