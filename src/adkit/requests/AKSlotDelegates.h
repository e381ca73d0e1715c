#pragma once
// What an ad slot reports to its owner beyond AKSlotDelegate (rendering/AKSlot.h):
// the ad event delegate hears what happens to the shown ad, the ad response
// delegate gets each fetched ad. Both are held weakly by the slot and called on
// the main thread with the slot as first argument.
#include <memory>

#include "platform/foundation/NSError.h"

class AKAd;
class AKAdSlot;

class AKSlotAdEventDelegate {
public:
    virtual ~AKSlotAdEventDelegate() = default;
    // Required.
    virtual void slotFinishedLoadingAdContent(AKAdSlot& slot) = 0;
    virtual void slotDidFailToLoadAdContentWithError(AKAdSlot& slot, const NSErrorPtr& error) = 0;
    // Optional: an owner that does not implement them hears nothing.
    virtual void slotWillPresentScreen(AKAdSlot& /*slot*/) {}
    virtual void slotWillDismissScreen(AKAdSlot& /*slot*/) {}
    virtual void slotDidDismissScreen(AKAdSlot& /*slot*/) {}
    virtual void slotWillLeaveApplication(AKAdSlot& /*slot*/) {}
};

class AKSlotAdResponseDelegate {
public:
    virtual ~AKSlotAdResponseDelegate() = default;
    // slot:didReceiveAd: NO makes the load fail (code 11).
    virtual bool slotDidReceiveAd(AKAdSlot& slot, const std::shared_ptr<AKAd>& ad) = 0;
    virtual void slotDidFailToReceiveAdWithError(AKAdSlot& slot, const NSErrorPtr& error) = 0;
};
