#pragma once
// What a banner tells its delegate (AKBannerView's `delegate`, held weakly).
// Every call is optional: a delegate that implements none hears nothing. All
// come on the main thread with the banner first:
//   adViewDidReceiveAd                  - an ad became ready (the first and every refresh);
//   adViewDidFailToReceiveAdWithError   - a load failed (an AKRequestError);
//   adViewWillPresentScreen             - a full-screen ad view is about to cover the screen;
//   adViewWillDismissScreen / adViewDidDismissScreen - it gives the screen back, then is gone;
//   adViewWillLeaveApplication          - a click is about to open another application.
#include "platform/foundation/NSError.h"

class AKBannerView;

class AKBannerViewDelegate {
public:
    virtual ~AKBannerViewDelegate() = default;
    virtual void adViewDidReceiveAd(AKBannerView& /*banner*/) {}
    virtual void adViewDidFailToReceiveAdWithError(AKBannerView& /*banner*/, const NSErrorPtr& /*error*/) {}
    virtual void adViewWillPresentScreen(AKBannerView& /*banner*/) {}
    virtual void adViewWillDismissScreen(AKBannerView& /*banner*/) {}
    virtual void adViewDidDismissScreen(AKBannerView& /*banner*/) {}
    virtual void adViewWillLeaveApplication(AKBannerView& /*banner*/) {}
};
