#pragma once
// The slot's swipe-to-store operations and the state they keep, one object per
// slot (an associated object of the slot): the eligibility report that tells
// the creative where it is ("onAdVisible", only when one of its four values
// changed), turning the pan gesture on and off on the swipe view (the slot
// delegate's swipeToViewControllerView), the pan handling that presents the
// store sheet interactively from the delegate's rootViewController, and the
// page events of the swipe's outcome ("onSwipeableViewControllerPresentationFinished",
// "...Canceled", "onSwipeToViewControllerDismissed", each with the settings'
// creative metadata).
//
// Lifetimes: this object reaches its slot weakly; while a swipe presentation
// is under way it holds the slot (strongSlotForSwipeToViewController), which it
// lets go when the swipe is cancelled or the sheet closed. The transition holds
// the sheet it moves, so letting the slot go mid-swipe frees nothing in use.
// The animator, transition controller and recogniser are made once and kept.
// A sheet still on screen when the slot resets its request state stays with
// this object until it is closed, then goes back to the application's cache
// under the product it was loaded for.
//
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKPercentDrivenUserInteractionAnimationController.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKSwipeToViewControllerConfigurations.h"
#include "platform/foundation/Value.h"
#include "platform/storekit/SKStoreProductViewController.h"

class UIPanGestureRecognizer;

class AKSlotSwipeToViewController : public NSObject,
                                    public AKPercentDrivenUserInteractionAnimationControllerDelegate,
                                    public SKStoreProductViewControllerDelegate {
public:
    // The slot's swipe state, made on first use.
    static std::shared_ptr<AKSlotSwipeToViewController> forSlot(AKSlot& slot);

    void canEnableSwipeToViewController();
    void enableSwipeToViewController();
    void disableSwipeToViewController();
    void setUpAnimationController();
    void handlePanGesture(UIPanGestureRecognizer& recognizer);
    void loadStoreProductViewController();
    // The point (window coordinates) lies in one of the settings' rectangles of
    // `view` (the swipe view).
    bool shouldProcessTouch(CGPoint point, const UIView* view) const;
    // The slot resets its request state: the sheet goes back to the
    // application's cache unless it is on screen.
    void slotWillResetRequestState();

    void productViewControllerDidFinish(const std::shared_ptr<SKStoreProductViewController>& controller) override;
    void animationControllerDidFinishAnimationTransition(AKPercentDrivenUserInteractionAnimationController& c) override;
    void animationControllerDidCancelAnimationTransition(AKPercentDrivenUserInteractionAnimationController& c) override;

    // The fields (the swipe state the slot keeps here).
    const Value& savedParamsForCheckingSwipeToViewController() const { return savedParams_; }
    bool swipeToViewControllerEnabled() const { return enabled_; }
    bool swipeToViewControllerAnimationControllerInitialized() const { return initialized_; }
    const std::shared_ptr<AKPercentDrivenUserInteractionAnimationController>& animationController() const {
        return animationController_;
    }
    const std::shared_ptr<AKViewControllerFullScreenSwipeAnimation>& animation() const { return animation_; }
    const std::shared_ptr<SKStoreProductViewController>& swipeableStoreProductViewController() const { return sheet_; }
    const std::shared_ptr<UIPanGestureRecognizer>& swipeGestureRecognizer() const { return recognizer_; }
    const std::shared_ptr<AKSlot>& strongSlotForSwipeToViewController() const { return strongSlot_; }

private:
    std::shared_ptr<AKSwipeToViewControllerConfigurations> settings(const AKSlot& slot) const;
    void post(const char* name);
    void giveSheetBack();

    std::weak_ptr<AKSlot> slot_;
    Value savedParams_;
    bool enabled_ = false;
    bool initialized_ = false;
    std::shared_ptr<AKPercentDrivenUserInteractionAnimationController> animationController_;
    std::shared_ptr<AKViewControllerFullScreenSwipeAnimation> animation_;
    std::shared_ptr<SKStoreProductViewController> sheet_;
    std::string sheetProductID_;  // what the sheet was loaded for
    std::shared_ptr<UIPanGestureRecognizer> recognizer_;
    std::shared_ptr<AKSlot> strongSlot_;
};
