#pragma once
// What ad rendering needs of an ad slot. The slot itself (its state machine,
// loading, events and pings) lives with the ad requests, which implement this
// interface; rendering reaches it only through here. Main thread only.
//
// The rich-media and device-orientation operations at the end are the slot's
// own, built here because they only send page events and watch the device:
// they use the accessors above them.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKRequestError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class AKWebView;

// Posted by a slot (the object) when its creative's frame in the window changed.
inline constexpr const char* kAKSlotCreativeOrientationChangedNotification = "ak_slot_creative_orientation_changed";

// The slot's state number.
enum AKSlotState : std::int64_t {
    AKSlotStateIdle = 0,
    AKSlotStateCorePageFailed = 1,
    AKSlotStateRequestingAdURL = 2,
    AKSlotStateReceivedAdURL = 3,
    AKSlotStateFetchingAdContent = 4,
    AKSlotStateRendering = 5,
    AKSlotStateValidAd = 6,
    AKSlotStateFailed = 7,
    AKSlotStateInvalidated = 8,
};

// Swipe directions of the swipe-to-full-screen gesture.
enum AKSwipeDirection : std::int64_t {
    AKSwipeDirectionNone = 0,
    AKSwipeDirectionTopToBottom = 1,
    AKSwipeDirectionBottomToTop = 2,
};

// The swipe state of an ad (shared with the slot's current ad); the ad's full
// settings, AKSwipeToViewControllerConfigurations, derive from it.
class AKSwipeToViewControllerConfiguration : public NSObject {
public:
    AKSwipeDirection direction = AKSwipeDirectionNone;
    bool adDraggable = false;
};

class AKSlot;
class AKInAppPurchase;
class AKInAppPurchaseDelegate;
class UIView;
class UIViewController;

// What a slot's delegate answers (the public banner or interstitial behind it).
// Every call is optional. Where the slot does something else when the owner
// does not answer, a respondsTo...() says whether it does; elsewhere the
// defaults (nothing, NO, null) are what a silent owner means. Sizes travel
// boxed (NSValue of an ad size) and ads as objects, since ad sizes and ads
// belong to the ad requests above this layer. Main thread.
class AKSlotDelegate {
public:
    virtual ~AKSlotDelegate() = default;
    // slot:didReceiveAppEvent:withInfo:, only when respondsToAppEvent says so.
    virtual bool respondsToAppEvent() const { return false; }
    virtual void didReceiveAppEvent(const std::string& /*name*/, const std::optional<std::string>& /*info*/) {}

    // slotShouldReloadCurrentRequest: (a timed refresh runs only on YES).
    virtual bool slotShouldReloadCurrentRequest(AKSlot& /*slot*/) { return false; }
    // frame and bounds of the owner's view; without them the slot's web view's.
    virtual bool respondsToFrame() const { return false; }
    virtual CGRect frame() const { return CGRectZero; }
    virtual bool respondsToBounds() const { return false; }
    virtual CGRect bounds() const { return CGRectZero; }
    // coordinatesOfContentInScreen: for the main screen (null: none).
    virtual Value coordinatesOfContentInScreen() const { return Value(); }
    virtual std::shared_ptr<AKInAppPurchaseDelegate> inAppPurchaseDelegate() const { return nullptr; }
    virtual std::shared_ptr<UIView> swipeToViewControllerView() const { return nullptr; }
    virtual std::shared_ptr<UIViewController> rootViewController() const { return nullptr; }
    // A banner made by a mediation adapter: its slot never refreshes itself.
    virtual bool createdOnMediationRequest() const { return false; }
    // slot:didReceiveAdView: (null: the ad's view went away).
    virtual void slotDidReceiveAdView(AKSlot& /*slot*/, const std::shared_ptr<UIView>& /*view*/) {}
    // setAdSize:andReload: and slot:willResizeToAdSize: (boxed ad sizes).
    virtual void setAdSizeAndReload(const NSValue& /*adSize*/, bool /*reload*/) {}
    // The owner's valid ad sizes: an array of boxed ad sizes (null: none).
    virtual Value validAdSizes() const { return Value(); }
    virtual void slotWillResizeToAdSize(AKSlot& /*slot*/, const NSValue& /*adSize*/) {}
    // slot:shouldUseCustomRenderingForAd: (YES: the owner renders the ad).
    virtual bool slotShouldUseCustomRenderingForAd(AKSlot& /*slot*/, const std::shared_ptr<NSObject>& /*ad*/) {
        return false;
    }
};

class AKSlot : public NSObject {
public:
    ~AKSlot() override = default;

    // Facts.
    virtual AKSlotState state() const = 0;
    // When the slot last loaded an ad, in AKAbsoluteTime milliseconds.
    virtual std::int64_t timeLastLoaded() const = 0;
    virtual std::shared_ptr<AKWebView> webView() const = 0;
    // The ad type of the slot's ad size is an interstitial.
    virtual bool isInterstitial() const = 0;
    // The slot's current ad is rich media.
    virtual bool isMRAIDAd() const = 0;
    // The ad unit the slot loads (none by default).
    virtual const std::optional<std::string>& adUnitID() const {
        static const std::optional<std::string> none;
        return none;
    }
    // Marks the loading ad and the current ad as rich media.
    virtual void setMRAIDEnabledOnAds(bool enabled) = 0;
    virtual std::shared_ptr<AKSlotDelegate> slotDelegate() const = 0;
    // The swipe configuration of the current ad (nil without an ad).
    virtual std::shared_ptr<AKSwipeToViewControllerConfiguration> swipeToViewControllerConfigurations() const = 0;
    // The request the slot loads for (its parameters go into errors).
    virtual const AKRequestParametersSource* currentRequest() const = 0;

    // Events from the ad's web view.
    virtual void adWasClicked() = 0;
    // The click URL for a URL the ad navigates to (spamClickURLWithURL:).
    virtual std::string spamClickURLWithURL(const std::string& URL) = 0;
    // Reports of the ad's opener: each opening pings the ad's click URLs; before
    // another application opens, the owner hears that the application is being
    // left and the ad's statistics mark a leave caused by a click.
    virtual void pingClickURLs() = 0;
    virtual void adWillLeaveApplication() = 0;
    virtual void willLeaveAppDueToClick() = 0;
    virtual void willLoadAdHTMLInWebView() = 0;
    virtual void didReceiveValidAd() = 0;
    virtual void didLoadAdHTMLInWebView() = 0;
    virtual void didMakeAdImpression() = 0;
    virtual void adFinishedLoadingContent() = 0;
    // Viewability of a loaded banner (resetViewabilityReporting, then the
    // monitor's sample and, when its view is on the device screen, startMonitoring).
    virtual void startViewabilityForLoadedAd() = 0;
    // Fails the current load with an error (the slot goes to state 7).
    virtual void failWithError(const AKRequestErrorPtr& error, bool reloadRefreshTimer, bool cancelPendingActions) = 0;
    virtual void enableSwipeToViewController() = 0;
    virtual void disableSwipeToViewController() = 0;
    // An ad-initiated purchase, for the slot's in-app purchase delegate (the opener's).
    virtual void didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& /*purchase*/) {}
    // Ad statistics: adds 1 to a counter; stores a value only when the key is absent
    // (or always); the statistics delegate is told either way.
    virtual void incrementAdStatistic(const std::string& key) = 0;
    virtual void setAdStatistic(const std::string& key, const Value& value, bool onlyWhenAbsent) = 0;
    // The value under a key of the ad statistics (null when absent or without an ad).
    virtual Value adStatistic(const std::string& key) const = 0;
    // Appends a value to the array under a key (made when absent), telling the statistics delegate.
    virtual void addAdStatisticToArray(const std::string& key, const Value& value) = 0;

    // Events from the full-screen ad controllers (AKViewController): the first
    // controller of a stack tells will-present and will-dismiss, and did-dismiss
    // once it is gone; a web-app controller's view tells will-appear and
    // will-disappear each time. A controller stacked on another (a browser over
    // an interstitial) that is gone without a parent tells did-dismiss too,
    // though it told no will-present: `announced` says whether the screen that
    // went was announced by a will-present (mediated networks' did-dismiss
    // always counts as announced).
    virtual void adWillPresentScreen() = 0;
    virtual void adWillDismissScreen() = 0;
    virtual void adDidDismissScreen(bool announced) = 0;
    virtual void interstitialViewWillAppear() = 0;
    virtual void interstitialViewWillDisappear() = 0;

    // Rich media (built in rendering; see AKSlotMRAID.cpp). Page events go to
    // the slot's web view. willLoadMRAIDAd may be called from any thread (the
    // rich-media script is served off the main thread): it marks the ads on
    // the main thread, at once when called there. The rest is main thread only.
    void willLoadMRAIDAd();
    void didLoadMRAIDAd();
    void didUnloadMRAIDAd();
    void notifyMRAIDCreativeWithVisibility(bool visible);
    void notifyOrientationToMRAIDCreative();
    void notifyDeviceFeatures();
    void SDKDidBecomeReady();
    // Device orientation. While listening, each turn of the device (on any
    // thread) has the creative's frame compared on the main queue once the
    // interface has followed the turn.
    void beginListeningToDeviceOrientationChangeEvent();
    void endListeningToDeviceOrientationChangeEvent();
    void addCreativeOrientationChangeObserver(const std::shared_ptr<NSObject>& observer,
                                              std::function<void()> selector);
    void didChangeDeviceOrientation();
    bool isListeningToDeviceOrientationChangeEvent() const { return listeningToOrientation_; }
    CGRect creativeViewBounds() const { return creativeViewBounds_; }

private:
    bool listeningToOrientation_ = false;
    CGRect creativeViewBounds_ = CGRectZero;
};
