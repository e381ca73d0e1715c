#pragma once
// What an interstitial tells its delegate (AKInterstitial's `delegate`, held
// weakly). Every call is optional: a delegate that implements none hears
// nothing. All come on the main thread with the interstitial first:
//   interstitialDidReceiveAd                 - the ad is ready to present;
//   interstitialDidFailToReceiveAdWithError  - a load failed, or the object was already used (code 6);
//   interstitialWillPresentScreen            - it is about to cover the screen;
//   interstitialWillDismissScreen / interstitialDidDismissScreen - it gives the screen back, then is gone;
//   interstitialWillLeaveApplication         - a click is about to open another application.
#include "platform/foundation/NSError.h"

class AKInterstitial;

class AKInterstitialDelegate {
public:
    virtual ~AKInterstitialDelegate() = default;
    virtual void interstitialDidReceiveAd(AKInterstitial& /*interstitial*/) {}
    virtual void interstitialDidFailToReceiveAdWithError(AKInterstitial& /*interstitial*/, const NSErrorPtr& /*error*/) {}
    virtual void interstitialWillPresentScreen(AKInterstitial& /*interstitial*/) {}
    virtual void interstitialWillDismissScreen(AKInterstitial& /*interstitial*/) {}
    virtual void interstitialDidDismissScreen(AKInterstitial& /*interstitial*/) {}
    virtual void interstitialWillLeaveApplication(AKInterstitial& /*interstitial*/) {}
};
