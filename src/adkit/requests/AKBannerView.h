#pragma once
// The public banner: a view the host places in its screens, gives an ad unit,
// a root view controller and a delegate, and loads with an AKRequest. All
// loading, refreshing, rendering and click work is done by the one slot
// (AKAdSlot) the banner creates at initialisation and owns; the banner turns
// the slot's events into AKBannerViewDelegate calls, keeps its frame in step
// with its ad size, hosts the view that shows the ad (the slot's web view or a
// mediated network's view) and answers the slot's questions about its place
// on screen.
//
// Creation: one static maker per initialiser; a maker whose initialiser may
// give nil answers nullptr (an invalid size: makeWithFrameAdSize silently,
// makeWithAdSize with the "Unable to set adSize property ..." log line). The
// subclasses (PMABannerView, PMASwipeableBannerView, AKSearchBannerView) have
// the same makers (AK_BANNER_MAKERS).
//
// Ownership: the banner owns its slot and its ad view; delegate,
// inAppPurchaseDelegate and rootViewController are weak stores. Every
// delegate call is made synchronously on the main thread while the banner is
// kept alive for it; a banner that is being destroyed (or released mid-load or
// while shown) calls nobody. Destruction: the slot ends Viewability reporting,
// then cancels pending and future actions, the banner leaves the default
// notification centre, then the view goes.
//
// Sizes: setAdSize (reloads) and setAdSizeAndReload refuse an invalid size
// with the log line and keep the previous size, frame and ad type; an equal
// size changes nothing. setFrame reloads only when the size differs;
// setBounds always goes through setAdSize. Alpha is 0 or 1.
//
// Threads: main thread only (slot events off it are carried there).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebViewDelegate.h"
#include "adkit/requests/AKAdSize.h"
#include "adkit/requests/AKBannerViewDelegate.h"
#include "adkit/requests/AKSlotDelegates.h"
#include "platform/uikit/UIView.h"

class AKAdSlot;
class AKRequest;
class AKWebView;
class UIViewController;

// The six makers of a banner class (each class names itself; see AKBannerView).
#define AK_BANNER_MAKERS(Class)                                                                      \
    static std::shared_ptr<Class> make() { return AKBannerView::makeAs<Class>(); }                   \
    static std::shared_ptr<Class> makeWithFrame(CGRect frame) {                                      \
        return AKBannerView::makeWithFrameAs<Class>(frame);                                          \
    }                                                                                                \
    static std::shared_ptr<Class> makeWithFrameAdSize(CGRect frame, AKAdSize size) {                 \
        return AKBannerView::makeWithFrameAdSizeAs<Class>(frame, size);                              \
    }                                                                                                \
    static std::shared_ptr<Class> makeWithAdSize(AKAdSize size) {                                    \
        return AKBannerView::makeWithAdSizeAs<Class>(size);                                          \
    }                                                                                                \
    static std::shared_ptr<Class> makeWithAdSizeOrigin(AKAdSize size, CGPoint origin) {              \
        return AKBannerView::makeWithAdSizeOriginAs<Class>(size, origin);                            \
    }                                                                                                \
    static std::shared_ptr<Class> makeWithCoder(CGRect decodedFrame) {                               \
        return AKBannerView::makeWithCoderAs<Class>(decodedFrame);                                   \
    }

class AKBannerView : public UIView, public AKSlotDelegate, public AKSlotAdEventDelegate, public AKAdUnitView {
public:
    // init (the zero rectangle), initWithFrame:, initWithFrame:adSize:,
    // initWithAdSize:, initWithAdSize:origin:, initWithCoder: (the decoded frame;
    // an invalid size there is logged and leaves the zero size).
    AK_BANNER_MAKERS(AKBannerView)
    ~AKBannerView() override;

    std::string className() const override { return "AKBannerView"; }

    // ---- Public interface ----
    // The slot's ad unit; also what an ad web view inside names to the publisher toolbar.
    std::optional<std::string> adUnitID() const override;
    void setAdUnitID(const std::optional<std::string>& adUnitID);
    std::shared_ptr<UIViewController> rootViewController() const override { return rootViewController_.lock(); }
    void setRootViewController(const std::shared_ptr<UIViewController>& controller);
    std::shared_ptr<AKBannerViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKBannerViewDelegate>& delegate) { delegate_ = delegate; }
    std::shared_ptr<AKInAppPurchaseDelegate> inAppPurchaseDelegate() const override {
        return inAppPurchaseDelegate_.lock();
    }
    void setInAppPurchaseDelegate(const std::shared_ptr<AKInAppPurchaseDelegate>& d) { inAppPurchaseDelegate_ = d; }
    // Without a root view controller: the log line and code 0 to the delegate, nothing loads.
    void loadRequest(const std::shared_ptr<AKRequest>& request);
    // The slot's ad type's size; 0 x 0 with flags 0 without an ad type.
    AKAdSize adSize() const;
    // setAdSizeAndReload with reload, then a new intrinsic size for constraint layout.
    void setAdSize(AKAdSize size);
    bool hasAutoRefreshed() const;
    std::optional<std::string> adNetworkClassName() const;
    // The ad view while the slot mediates, else null.
    std::shared_ptr<UIView> mediatedAdView() const;
    std::shared_ptr<AKWebView> webView() const;
    const std::shared_ptr<UIView>& adView() const { return adView_; }
    // setAdView: the old view leaves, the new one is added as a subview (null clears).
    void setAdView(const std::shared_ptr<UIView>& view);
    const std::shared_ptr<AKAdSlot>& slot() const { return slot_; }
    bool createdOnMediationRequest() const override { return createdOnMediationRequest_; }
    void setCreatedOnMediationRequest(bool value) { createdOnMediationRequest_ = value; }

    // ---- Platform view overrides ----
    void setFrame(CGRect frame) override;
    // Always through setAdSize.
    void setBounds(CGRect bounds) override;
    // Any alpha other than 0 becomes 1.
    void setAlpha(CGFloat alpha) override;
    CGSize intrinsicContentSize() const override;
    void didMoveToWindow() override;

    // ---- AKSlotDelegate ----
    // The size and type change of setAdSize (see the header comment).
    void setAdSizeAndReload(AKAdSize size, bool reload);
    void setAdSizeAndReload(const NSValue& adSize, bool reload) override;
    void slotDidReceiveAdView(AKSlot& slot, const std::shared_ptr<UIView>& view) override;
    // NO while the ad view or a view above it is hidden; else whether it has a superview.
    bool slotShouldReloadCurrentRequest(AKSlot& slot) override;
    // positionOfView:inScreen: of the ad view on the main screen (null without one).
    Value coordinatesOfContentInScreen() const override;
    std::shared_ptr<UIView> swipeToViewControllerView() const override;
    bool respondsToFrame() const override { return true; }
    CGRect frame() const override { return UIView::frame(); }
    bool respondsToBounds() const override { return true; }
    CGRect bounds() const override { return UIView::bounds(); }

    // ---- AKSlotAdEventDelegate: each becomes the delegate call of the same event ----
    void slotFinishedLoadingAdContent(AKAdSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(AKAdSlot& slot, const NSErrorPtr& error) override;
    void slotWillPresentScreen(AKAdSlot& slot) override;
    void slotWillDismissScreen(AKAdSlot& slot) override;
    void slotDidDismissScreen(AKAdSlot& slot) override;
    void slotWillLeaveApplication(AKAdSlot& slot) override;

    // The makers behind AK_BANNER_MAKERS (T's constructor takes the frame and
    // befriends AKBannerView).
    template <class T>
    static std::shared_ptr<T> makeAs() {
        return makeWithFrameAs<T>(CGRectZero);
    }
    template <class T>
    static std::shared_ptr<T> makeWithFrameAs(CGRect frame) {
        return makeWithFrameAdSizeAs<T>(frame, AKAdSizeFromCGSize(frame.size));
    }
    template <class T>
    static std::shared_ptr<T> makeWithFrameAdSizeAs(CGRect frame, AKAdSize size) {
        if (!AKAdSizeIsValid(size)) return nullptr;
        std::shared_ptr<T> banner(new T(frame));
        banner->commonInitWithAdSize(size);
        return banner;
    }
    template <class T>
    static std::shared_ptr<T> makeWithAdSizeAs(AKAdSize size) {
        if (!AKAdSizeIsValid(size)) {
            logInvalidAdSize(size);
            return nullptr;
        }
        return makeWithFrameAdSizeAs<T>(CGRectZero, size);
    }
    template <class T>
    static std::shared_ptr<T> makeWithAdSizeOriginAs(AKAdSize size, CGPoint origin) {
        auto banner = makeWithAdSizeAs<T>(size);
        if (banner) banner->setFrame(CGRect{origin, banner->UIView::frame().size});
        return banner;
    }
    template <class T>
    static std::shared_ptr<T> makeWithCoderAs(CGRect decodedFrame) {
        std::shared_ptr<T> banner(new T(decodedFrame));
        banner->commonInitWithAdSize(AKAdSizeFromCGSize(decodedFrame.size));
        return banner;
    }
    // "Unable to set adSize property with %@. ..." for the size.
    static void logInvalidAdSize(AKAdSize size);

protected:
    explicit AKBannerView(CGRect frame);
    void commonInitWithAdSize(AKAdSize size);
    // Runs the call with the banner kept alive, on the main thread; nothing
    // when the banner is already being destroyed.
    void callOnMainThread(const std::function<void(AKBannerView& banner)>& call);

private:
    void tellDelegate(void (AKBannerViewDelegate::*call)(AKBannerView&));

    bool createdOnMediationRequest_ = false;
    std::weak_ptr<UIViewController> rootViewController_;
    std::weak_ptr<AKBannerViewDelegate> delegate_;
    std::weak_ptr<AKInAppPurchaseDelegate> inAppPurchaseDelegate_;
    std::shared_ptr<UIView> adView_;
    std::shared_ptr<AKAdSlot> slot_;
};
