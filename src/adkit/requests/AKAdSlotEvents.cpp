// What happens to a shown ad: events to the owner, clicks and their
// statistics, tracking pings, click URLs, purchases, and the swipe hooks
// (Viewability's hooks: AKAdSlotViewability.cpp).
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKSignal.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/rendering/AKInAppPurchase.h"
#include "adkit/rendering/AKNotification.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"

const char* const AKAdSlot::kBuiltInAdDomains = "adkit.quorvane.net,ads.quorvane.net,adserver.quorvane.net";

namespace {
// An ad's statistics as the application's click bookkeeping asks them.
class AdStatistics : public AKAdStatisticsSource {
public:
    explicit AdStatistics(std::shared_ptr<AKStatisticDictionary> statistics) : statistics_(std::move(statistics)) {}
    std::shared_ptr<AKStatisticDictionary> statistics() const override { return statistics_; }

private:
    std::shared_ptr<AKStatisticDictionary> statistics_;
};

void ping(const std::vector<NSURLPtr>& urls) {
    const auto trackers = AKClickTrackerCollection::sharedInstance();
    for (const auto& url : urls) {
        if (url) trackers->trackURL(url, false);
    }
}
}  // namespace

// ---- Events -----------------------------------------------------------------------------

void AKAdSlot::adFinishedLoadingContent() {
    if (const auto delegate = adEventDelegate()) delegate->slotFinishedLoadingAdContent(*this);
}

void AKAdSlot::adFailedToReceiveContentWithError(const NSErrorPtr& error) {
    if (const auto delegate = adEventDelegate()) delegate->slotDidFailToLoadAdContentWithError(*this, error);
}

void AKAdSlot::adWillPresentScreen() {
    if (const auto delegate = adEventDelegate()) delegate->slotWillPresentScreen(*this);
}

void AKAdSlot::adWillDismissScreen() {
    if (const auto delegate = adEventDelegate()) delegate->slotWillDismissScreen(*this);
}

void AKAdSlot::adDidDismissScreen(bool announced) {
    // A stacked controller's screen went unannounced: the owner heard no
    // will-present for it, so it hears no did-dismiss either.
    if (!announced) return;
    if (const auto delegate = adEventDelegate()) delegate->slotDidDismissScreen(*this);
}

void AKAdSlot::adWillLeaveApplication() {
    QV_ASSERT_MAIN_THREAD();
    AKApplication::sharedApplication()->willLeaveApplicationDueToClickOnAd(
        ad_ ? std::make_shared<AdStatistics>(ad_->statistics()) : nullptr);
    if (const auto delegate = adEventDelegate()) delegate->slotWillLeaveApplication(*this);
}

// ---- Clicks and pings ----------------------------------------------------------------------

void AKAdSlot::adWasClicked() {
    QV_ASSERT_MAIN_THREAD();
    AKApplication::sharedApplication()->incrementTotalAdClickCount();
    if (!ad_) return;
    ad_->statistics()->setObject(Value(AKAbsoluteTime::absoluteTimeInMilliseconds()), "tclickcurr");
    ad_->statistics()->incrementNumberForKey("pcc", true);
}

void AKAdSlot::pingClickURLs() {
    if (ad_) ping(ad_->clickURLs());
}

void AKAdSlot::pingImpressionURLs() {
    if (ad_) ping(ad_->impressionURLs());
}

void AKAdSlot::pingManualTrackingURLs() {
    if (ad_) ping(ad_->manualImpressionURLs());
}

std::string AKAdSlot::spamClickURLWithURL(const std::string& URL) {
    QV_ASSERT_MAIN_THREAD();
    if (AKNotification::isNotificationURL(URL) || URL == "about:blank") return URL;
    const NSURLPtr url = NSURL::URLWithString(URL);
    if (!url) return URL;
    if (const auto ticket = ak_impressionTicket(*url); ticket && ad_) ad_->statistics()->setObject(*ticket, "pit");
    if (!url->query() || url->query()->empty() || !isAdKitAdURL(*url)) return URL;
    const auto ai = ak_parameterValueForKey(*url, "ai");
    if (!ai || ai->empty()) return URL;
    std::string signal;
    AKMacros::runSynchronouslyOnMainThreadWithBlock(
        [&] { signal = AKSignal::signalWithContext(Value{{"ai", *ai}}); });
    if (signal.empty()) return URL;
    // The component's output travels as a key without a value, unread.
    const NSURLPtr signed_ = ak_appendQueryValue(*url, std::nullopt, signal);
    return signed_ ? signed_->absoluteString() : URL;
}

bool AKAdSlot::isAdKitAdURL(const NSURL& URL) {
    const std::string host = lowercaseString(URL.host().value_or(""));
    if (host.empty()) return false;
    const Value stored = NSUserDefaults::standardUserDefaults()->objectForKey("as_domains");
    const std::string list =
        stored.isString() && !stored.stringValue().empty() ? stored.stringValue() : std::string(kBuiltInAdDomains);
    for (const auto& piece : componentsSeparatedByString(list, ",")) {
        std::string domain = lowercaseString(stringByTrimmingWhitespace(piece));
        while (!domain.empty() && domain.front() == '.') domain.erase(0, 1);
        if (domain.empty()) continue;  // an empty entry names no host
        if (host == domain || hasSuffix(host, "." + domain)) return true;
    }
    return false;
}

// ---- Purchases ------------------------------------------------------------------------------

std::shared_ptr<AKInAppPurchaseDelegate> AKAdSlot::inAppPurchaseDelegate() const {
    const auto observer = AKPaymentTransactionObserver::sharedInstance();
    if (observer && observer->isDefaultPurchaseFlowEnabled()) return observer;
    const auto delegate = slotDelegate();
    return delegate ? delegate->inAppPurchaseDelegate() : nullptr;
}

void AKAdSlot::didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& purchase) {
    const auto delegate = inAppPurchaseDelegate();
    if (!delegate) AKMacros::pubLog("You must set the in-app purchase delegate. Transaction cannot be completed.");
    AKMacros::runSynchronouslyOnMainThreadWithBlock([&] {
        if (delegate) delegate->didReceiveInAppPurchase(purchase);
    });
}

// ---- Swipe and ad statistics ----------------------------------------------------------------

void AKAdSlot::enableSwipeToViewController() { AKSlotExtensions::shared()->enableSwipeToViewController(*this); }

void AKAdSlot::disableSwipeToViewController() { AKSlotExtensions::shared()->disableSwipeToViewController(*this); }

void AKAdSlot::incrementAdStatistic(const std::string& key) {
    const auto& ad = ad_ ? ad_ : loadingAd_;
    if (ad) ad->statistics()->incrementNumberForKey(key, true);
}

void AKAdSlot::setAdStatistic(const std::string& key, const Value& value, bool onlyWhenAbsent) {
    const auto& ad = ad_ ? ad_ : loadingAd_;
    if (!ad) return;
    if (onlyWhenAbsent && !ad->statistics()->objectForKey(key).isNull()) return;
    ad->statistics()->setObject(value, key, true);
}

Value AKAdSlot::adStatistic(const std::string& key) const {
    const auto& ad = ad_ ? ad_ : loadingAd_;
    return ad ? ad->statistics()->objectForKey(key) : Value();
}

void AKAdSlot::addAdStatisticToArray(const std::string& key, const Value& value) {
    const auto& ad = ad_ ? ad_ : loadingAd_;
    if (ad) ad->statistics()->addObjectToArray(value, key, true);
}
