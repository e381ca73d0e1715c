#pragma once
// The public full-screen ad. The application makes one (make), gives it an ad
// unit and a delegate, loads it with an AKRequest, asks isReady and, once
// ready, presents it over one of its controllers. One object serves one
// presentation: afterwards every load and presentation fails with
// AKRequestError code 6 (through the delegate and a log line) and the
// application makes a new one.
//
// All loading and rendering is the one slot's (AKAdSlot) that the object owns;
// a web ad is shown by the AKWebAppViewController made at creation over the
// slot's web view, a mediated ad by its network. The impression of a web ad is
// recorded (and pinged) at presentation, not when its page loads.
//
// Presentation, in order:
//   - no presenting controller, or one whose view is in no window: the
//     full-screen controller's line "No UIViewController supplied to the ad.
//     Cannot continue." and nothing else (no impression, not used, still ready);
//   - already used: code 6; not ready: "Cannot present interstitial. It is not
//     ready." and nothing else;
//   - the mediated network's presentation, or the web controller's; the object
//     is used from then on.
//
// Delegate calls (AKInterstitialDelegate, held weakly) follow the slot's
// events one for one, synchronously on the main thread. A "didReceiveWebAction"
// of the slot's web view whose message ("a") is missing or "open" cancels the
// slot's pending actions, except while the slot renders the ad: the page's own
// load is reported as such an action too. A ready ad not yet presented that is
// cancelled so (its page opened something, or navigated, by itself) is not
// ready any more, and the delegate hears it as a failure with AKRequestError
// code 1 ("No ad to show."). An interstitial released while loading or while
// shown is destroyed at once: its slot stops and its delegate hears nothing
// more (a shown ad stays on screen until closed; its controller keeps itself).
//
// Threads: public operations on the main thread; slot events from any thread
// become delegate calls on the main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKSlot.h"
#include "adkit/requests/AKInterstitialDelegate.h"
#include "adkit/requests/AKSlotDelegates.h"
#include "platform/foundation/NSObject.h"

class AKAdSlot;
class AKInAppPurchaseDelegate;
class AKRequest;
class AKWebAppViewController;
class UIViewController;

class AKInterstitial : public NSObject, public AKSlotDelegate, public AKSlotAdEventDelegate {
public:
    static constexpr const char* kNotReadyLog = "Cannot present interstitial. It is not ready.";

    // init: the slot over the device's screen, the web controller over its web view.
    static std::shared_ptr<AKInterstitial> make();
    ~AKInterstitial() override;

    std::string className() const override { return "AKInterstitial"; }

    std::optional<std::string> adUnitID() const;
    void setAdUnitID(const std::optional<std::string>& adUnitID);
    std::shared_ptr<AKInterstitialDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKInterstitialDelegate>& delegate) { delegate_ = delegate; }
    void setInAppPurchaseDelegate(const std::shared_ptr<AKInAppPurchaseDelegate>& delegate) {
        inAppPurchaseDelegate_ = delegate;
    }
    bool hasBeenUsed() const { return hasBeenUsed_; }
    const std::shared_ptr<AKRequest>& request() const { return request_; }
    // The web controller until a web presentation hands it over.
    const std::shared_ptr<AKWebAppViewController>& viewController() const { return viewController_; }
    const std::shared_ptr<AKAdSlot>& slot() const { return slot_; }
    std::optional<std::string> adNetworkClassName() const;

    void loadRequest(const std::shared_ptr<AKRequest>& request);
    // YES exactly while the slot holds a valid ad (state 6).
    bool isReady() const;
    virtual void presentFromRootViewController(const std::shared_ptr<UIViewController>& root);
    void cancel();

    // Usage errors: code 6 with the stored request; any error: logged, then the
    // slot fails without restarting its timer and cancels pending actions.
    void sendInterstitialUsageError();
    void sendInterstitialError(const NSErrorPtr& error);

    // AKSlotDelegate
    bool slotShouldReloadCurrentRequest(AKSlot& slot) override;
    Value coordinatesOfContentInScreen() const override;
    std::shared_ptr<AKInAppPurchaseDelegate> inAppPurchaseDelegate() const override {
        return inAppPurchaseDelegate_.lock();
    }

    // AKSlotAdEventDelegate
    void slotFinishedLoadingAdContent(AKAdSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(AKAdSlot& slot, const NSErrorPtr& error) override;
    void slotWillPresentScreen(AKAdSlot& slot) override;
    void slotWillDismissScreen(AKAdSlot& slot) override;
    void slotDidDismissScreen(AKAdSlot& slot) override;
    void slotWillLeaveApplication(AKAdSlot& slot) override;

    // The page's action notification ("didReceiveWebAction").
    void webAction(const Value& userInfo);

protected:
    AKInterstitial() = default;
    // The creation steps; make() of a subclass runs them on its new object.
    void setUp();
    // Calls the delegate on the main thread, keeping this object alive meanwhile.
    void tellDelegate(const std::function<void(AKInterstitialDelegate&, AKInterstitial&)>& call);
    // The presenter check of every presentation (YES: it may go on).
    static bool canPresentFrom(const std::shared_ptr<UIViewController>& root);

private:
    bool canPresentFullScreen();
    void hasPresentedFullScreen() { hasBeenUsed_ = true; }
    void presentWebAd(const std::shared_ptr<UIViewController>& root);

    bool hasBeenUsed_ = false;
    std::weak_ptr<AKInterstitialDelegate> delegate_;
    std::weak_ptr<AKInAppPurchaseDelegate> inAppPurchaseDelegate_;
    std::shared_ptr<AKRequest> request_;
    std::shared_ptr<AKWebAppViewController> viewController_;
    std::shared_ptr<AKAdSlot> slot_;
};
