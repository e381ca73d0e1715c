#pragma once
// The publisher-managed banner: an AKBannerView with app events, several
// acceptable ad sizes and a size-change callback, manual impressions, and
// custom rendering of the raw ad HTML by the publisher.
//   appEventDelegate           - app events of the ad page (adViewDidReceiveAppEvent);
//   adSizeDelegate             - told before the banner takes another of its valid sizes
//                                (the slot checks a response's size against validAdSizes,
//                                which travel with the request as "sz");
//   rawHTMLBannerViewDelegate  - renders a custom-rendering response itself: it gets a
//                                PMARawHTMLAd whose reports come back here (recordClick
//                                pings the click URLs, recordCustomAdImpression the
//                                impression and the manual impression URLs,
//                                finishedRenderingAdView makes the ad valid, state 6,
//                                with no adViewDidReceiveAd).
// All delegates are weak stores. enableManualImpressions lives on the slot;
// recordImpression pings the manual impression URLs; resize takes a size
// without a reload. PMASwipeableBannerView's swipeDelegate takes anything and
// reads null. Main thread only.
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/PMADelegates.h"
#include "platform/foundation/Value.h"

class PMABannerView : public AKBannerView, public PMARawHTMLAdDelegate {
public:
    AK_BANNER_MAKERS(PMABannerView)

    std::string className() const override { return "PMABannerView"; }

    std::shared_ptr<AKAppEventDelegate> appEventDelegate() const { return appEventDelegate_.lock(); }
    void setAppEventDelegate(const std::shared_ptr<AKAppEventDelegate>& d) { appEventDelegate_ = d; }
    std::shared_ptr<AKAdSizeDelegate> adSizeDelegate() const { return adSizeDelegate_.lock(); }
    void setAdSizeDelegate(const std::shared_ptr<AKAdSizeDelegate>& d) { adSizeDelegate_ = d; }
    std::shared_ptr<PMARawHTMLBannerViewDelegate> rawHTMLBannerViewDelegate() const {
        return rawHTMLBannerViewDelegate_.lock();
    }
    void setRawHTMLBannerViewDelegate(const std::shared_ptr<PMARawHTMLBannerViewDelegate>& d) {
        rawHTMLBannerViewDelegate_ = d;
    }

    // An array of boxed ad sizes (kAKAdSizeTypeEncoding); null until set.
    Value validAdSizes() const override { return validAdSizes_; }
    void setValidAdSizes(const Value& sizes) { validAdSizes_ = sizes; }
    // The sizes in order up to the first null pointer, boxed (none: an empty array).
    void setValidAdSizesWithSizes(std::initializer_list<const AKAdSize*> sizes);

    bool enableManualImpressions() const;
    void setEnableManualImpressions(bool enabled);
    // Pings the current ad's manual impression URLs.
    void recordImpression();
    // The size without a reload.
    void resize(AKAdSize size);

    // ---- AKSlotDelegate ----
    bool respondsToAppEvent() const override { return true; }
    void didReceiveAppEvent(const std::string& name, const std::optional<std::string>& info) override;
    void slotWillResizeToAdSize(AKSlot& slot, const NSValue& adSize) override;
    bool slotShouldUseCustomRenderingForAd(AKSlot& slot, const std::shared_ptr<NSObject>& ad) override;

    // ---- PMARawHTMLAdDelegate (the raw-HTML reports) ----
    void recordClick() override;
    void recordCustomAdImpression() override;
    void finishedRenderingAdView(const std::shared_ptr<UIView>& view) override;

protected:
    friend class AKBannerView;
    explicit PMABannerView(CGRect frame) : AKBannerView(frame) {}

private:
    std::weak_ptr<AKAppEventDelegate> appEventDelegate_;
    std::weak_ptr<AKAdSizeDelegate> adSizeDelegate_;
    Value validAdSizes_;
    std::weak_ptr<PMARawHTMLBannerViewDelegate> rawHTMLBannerViewDelegate_;
};

class PMASwipeableBannerView : public PMABannerView {
public:
    AK_BANNER_MAKERS(PMASwipeableBannerView)

    std::string className() const override { return "PMASwipeableBannerView"; }
    // Takes any object and keeps nothing.
    void setSwipeDelegate(const std::shared_ptr<NSObject>& /*delegate*/) {}
    std::shared_ptr<NSObject> swipeDelegate() const { return nullptr; }

protected:
    friend class AKBannerView;
    explicit PMASwipeableBannerView(CGRect frame) : PMABannerView(frame) {}
};
