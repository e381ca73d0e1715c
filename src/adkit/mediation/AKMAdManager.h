#pragma once
// The mediation waterfall of one slot: the ad network entries of a mediation
// response are tried one after another, each through a fresh connector and its
// adapter, each against the response's network time-out. Every attempt ends
// with an exit code and a duration kept by the delegate (the glue):
//   0 delivered, 1 no fill ("com.adkit.ads" code 1), 2 other error,
//   3 time-out, 4 no adapter (the entry is passed over without a connector).
// The first ad goes to the delegate; when every entry failed, the no-fill
// pings go out and the delegate gets AKRequestError code 9.
//
// The connector that delivered (the received connector) outlives its waterfall:
// it serves network refreshes, clicks, impressions and the interstitial's
// presentation until a later waterfall delivers another ad. While a newer
// waterfall runs, its answers are not taken (they neither end nor time the
// running attempt, and ping nothing).
//
// The next network always starts from the main queue, never inside the call of
// the adapter that failed, so an adapter answering inside the call that asked
// it stays alive until that call returns, and a long run of failing networks
// does not nest. The library's own network adapter is passed over (exit code 4)
// when the slot's ads are already nested two deep.
//
// cancel() leaves the manager idle: no attempt running, no connector attached.
// Main thread only; the per-attempt timer runs on the main run loop (Clock)
// and holds the manager weakly, as connectors hold it.
#include <deque>
#include <memory>

#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "adkit/mediation/AKMConfig.h"
#include "adkit/mediation/AKMDelegate.h"
#include "platform/runloop/NSRunLoop.h"

class AKMAdManager : public NSObject, public AKMAdManaging {
public:
    // How deep the library's own network may nest ads inside mediated ads.
    static constexpr int kMaximumNestingDepth = 2;

    static std::shared_ptr<AKMAdManager> make();
    ~AKMAdManager() override;

    // Starts a waterfall; while an attempt runs, only the type and configuration are replaced.
    void mediateForAdType(const AKAdTypePtr& adType, const AKMMediationConfigPtr& config);
    // One step: the next entry with an adapter, or the end of the waterfall.
    void makeAdRequest();
    void requestNextAdNetwork() { makeAdRequest(); }
    AKMAdNetworkConfigPtr dequeueAdNetworkConfig();
    void adNetworkTimeoutHandler(const std::shared_ptr<AKMAdNetworkConnector>& connector);

    // ---- Connectors ----
    std::shared_ptr<AKMDelegate> delegate() const override { return delegate_.lock(); }
    bool acceptsAnswersFrom(const AKMAdNetworkConnector& connector) const override;
    void adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector& connector,
                                               const std::shared_ptr<UIView>& view) override;
    void adRequestReturnsFromConnectorWithInterstitial(AKMAdNetworkConnector& connector,
                                                       const std::shared_ptr<NSObject>& interstitial) override;
    void adRequestFailedFromConnectorWithError(AKMAdNetworkConnector& connector, const NSErrorPtr& error) override;
    bool shouldProcessResponseFromConnector(const AKMAdNetworkConnector& connector);

    // ---- The glue ----
    bool changeAdTypeTo(const AKAdTypePtr& type);
    // Whether the received connector's adapter was asked to present.
    bool presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root);
    void setDelegate(const std::shared_ptr<AKMDelegate>& delegate);
    void cancelPendingActions();
    void cancel();

    void reportNoFill();
    void notifyDelegateOfFailureToReceiveWithError(const NSErrorPtr& error);
    void updateAdapterTimingsForError(const NSErrorPtr& error);
    void resetRequestingState();

    bool requestInProgress() const { return requestInProgress_; }
    const AKMMediationConfigPtr& config() const { return config_; }
    const AKAdTypePtr& adType() const { return adType_; }
    const std::shared_ptr<AKMAdNetworkConnector>& requestingConnector() const { return requestingConnector_; }
    const std::shared_ptr<AKMAdNetworkConnector>& receivedConnector() const { return receivedConnector_; }
    bool hasTimeoutTimer() const { return adNetworkTimeoutTimer_ != nullptr; }

private:
    void endTiming(long exitCode);
    static void detach(const std::shared_ptr<AKMAdNetworkConnector>& connector);
    void scheduleNextStep();
    void startTimeoutTimer();
    void invalidateTimeoutTimer();

    std::deque<AKMAdNetworkConfigPtr> adNetworkConfigQueue_;
    bool requestInProgress_ = false;
    std::weak_ptr<AKMDelegate> delegate_;
    AKMMediationConfigPtr config_;
    AKAdTypePtr adType_;
    std::shared_ptr<AKMAdNetworkConnector> requestingConnector_;
    std::shared_ptr<AKMAdNetworkConnector> receivedConnector_;
    std::shared_ptr<NSTimer> adNetworkTimeoutTimer_;
    // The next step queued on the main queue runs only while this is its number.
    std::uint64_t pendingStep_ = 0;
};
