#include "adkit/requests/AKNativeAd.h"

#include <algorithm>
#include <mutex>

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKNativeAppInstallAd.h"
#include "adkit/requests/AKNativeContentAd.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIImage.h"

namespace {

constexpr const char* kSupportPagePath = "/adnet/static/mad/sdk/native/native_ads.html";
constexpr double kAssetTimeout = 60;

// A format's registration: made from its ad object by its own initWithDictionary.
template <class Format>
ClassRegistry::ClassInfo formatClass(const std::string& name) {
    return {name, "AKNativeAd", {"AKAdLoading"}, nullptr, [](const Value& adObject) {
                return std::static_pointer_cast<NSObject>(Format::initWithDictionary(adObject));
            }};
}

}  // namespace

void AKAdLoaderDelegateRegisterProtocols() {
    ClassRegistry::registerProtocol(kAKAdLoaderDelegateProtocol);
    ClassRegistry::registerProtocol(kAKNativeAppInstallAdLoaderDelegateProtocol, {kAKAdLoaderDelegateProtocol});
    ClassRegistry::registerProtocol(kAKNativeContentAdLoaderDelegateProtocol, {kAKAdLoaderDelegateProtocol});
}

void AKNativeAd::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        AKAdLoaderDelegateRegisterProtocols();
        ClassRegistry::registerClass({"AKNativeAd", "NSObject", {"AKBannerViewDelegate"}, nullptr});
        ClassRegistry::registerClass(formatClass<AKNativeAppInstallAd>("AKNativeAppInstallAd"));
        ClassRegistry::registerClass(formatClass<AKNativeContentAd>("AKNativeContentAd"));
    });
}

Value AKNativeAd::firstAdObjectInAdConfigurationDictionary(const Value& configuration) {
    const Value ads = ak_objectForKey(configuration, "ads", AKValueKind::Array);
    const auto items = ads.arrayRef();
    if (!items || items->empty() || !items->front().isDictionary()) return Value();
    return items->front().copy();
}

std::optional<std::string> AKNativeAd::classFromAdConfigurationDictionary(const Value& configuration) {
    const Value adObject = firstAdObjectInAdConfigurationDictionary(configuration);
    const Value type = ak_objectForKey(adObject, "type", AKValueKind::String);
    const Value templateID = adObject.isDictionary() ? adObject["template_id"] : Value();
    if (!type.isString() || templateID.isNull()) return std::nullopt;
    // The template's text read as an integer: "2", 2 and 2.0 all name template 2.
    return AKNativeAdClassForFormat(*type.string(), Value(templateID.description()).integerValue());
}

NSURLPtr AKNativeAd::supportHTMLURL() {
    const Value configured = NSUserDefaults::standardUserDefaults()->objectForKey("native_ad_support_url");
    if (configured.isString()) {
        if (NSURLPtr url = NSURL::URLWithString(*configured.string())) return url;
    }
    return NSURL::URLWithString(AKAdHosts::staticContentOrigin().URLString(kSupportPagePath));
}

std::shared_ptr<AKNativeAd> AKNativeAd::initWithDictionary(const std::string& className, const Value& adObject) {
    initialize();
    return std::dynamic_pointer_cast<AKNativeAd>(ClassRegistry::createWithDictionary(className, adObject));
}

Value AKNativeAd::requestParametersForAdLoader(const std::string& className) {
    if (className == "AKNativeAppInstallAd") return AKNativeAppInstallAd::requestParametersForAdLoader();
    if (className == "AKNativeContentAd") return AKNativeContentAd::requestParametersForAdLoader();
    return Value();
}

std::string AKNativeAd::requiredDelegateProtocol(const std::string& className) {
    initialize();  // the protocol's inheritance is known before anyone checks a delegate against it
    if (className == "AKNativeAppInstallAd") return AKNativeAppInstallAd::requiredDelegateProtocol();
    if (className == "AKNativeContentAd") return AKNativeContentAd::requiredDelegateProtocol();
    return "";
}

AKNativeAd::~AKNativeAd() = default;

void AKNativeAd::didReceiveAdForAdLoader(AKAdLoader&, const std::shared_ptr<AKAdLoaderDelegate>&) {}

bool AKNativeAd::readAdObject(const Value& adObject) {
    if (!adObject.isDictionary()) return false;
    adConfiguration_ = adObject.copy();  // the ad object as received, whatever its giver does later
    const Value tracking = ak_objectForKey(adObject, "tracking_urls_and_actions", AKValueKind::Dictionary);
    const Value clickURL = ak_objectForKey(tracking, "adkit_click_tracking_url", AKValueKind::String);
    if (!clickURL.isString() || clickURL.string()->empty()) return false;
    adkitClickTrackingURLString_ = *clickURL.string();
    thirdPartyClickTrackingURLs_ =
        AKURLsFromStrings(ak_objectForKey(tracking, "third_party_click_tracking_urls", AKValueKind::Array));
    impressionTrackingURLs_ =
        AKURLsFromStrings(ak_objectForKey(tracking, "impression_tracking_urls", AKValueKind::Array));
    const Value actions = ak_objectForKey(tracking, "click_actions", AKValueKind::Array);
    if (actions.isArray()) clickActions_ = actions.copy();
    return true;
}

// Asset loading -----------------------------------------------------------

void AKNativeAd::loadAssets() {
    QV_ASSERT_MAIN_THREAD();
    startingAssets_ = true;
    loadFormatAssets();
    startingAssets_ = false;
    // What ended while starting (a failure at once), or an ad that asked for
    // nothing, is judged on the next turn: the loader never hears back before
    // loadAssets returns.
    scheduleCompletionTest();
}

bool AKNativeAd::loadContentAtURL(const NSURLPtr& url, const std::string& key, ContentHandler completionHandler) {
    if (!url || url->absoluteString().empty()) return false;
    auto request = NSURLRequest::requestWithURL(url->absoluteString(), NSURLRequestUseProtocolCachePolicy, kAssetTimeout);
    if (!request || !NSURLConnection::canHandleRequest(request)) return false;
    requestedAssets_.insert(key);
    NSURLConnection::sendAsynchronousRequest(request, NSOperationQueue::mainQueue(), std::move(completionHandler),
                                             kAKNativeAdMaxAssetBytes);
    return true;
}

void AKNativeAd::loadImageWithURL(const NSURLPtr& url, const std::string& key) {
    QV_ASSERT_MAIN_THREAD();
    if (!url || key.empty()) return failedToLoadAssetWithName(key);
    // Held weakly: an ad released while its images load is gone when they end.
    std::weak_ptr<AKNativeAd> weakAd = self<AKNativeAd>();
    const bool started = loadContentAtURL(
        url, key, [weakAd, key](const std::shared_ptr<NSURLResponse>&, const Data& data, const NSErrorPtr& error) {
            auto ad = weakAd.lock();
            if (!ad) return;
            // UIImage decodes with the image layer's limits on declared sizes.
            UIImagePtr image = error || data.empty() ? nullptr : UIImage::imageWithData(data);
            if (image && ad->setImageForKey(key, image)) {
                ad->finishedLoadingAssetWithName(key);
            } else {
                ad->failedToLoadAssetWithName(key);
            }
        });
    if (!started) failedToLoadAssetWithName(key);
}

bool AKNativeAd::setImageForKey(const std::string&, const std::shared_ptr<UIImage>&) { return false; }

void AKNativeAd::finishedLoadingAssetWithName(const std::string& name) {
    completedAssets_.insert(name);
    runCompletionTest();
}

void AKNativeAd::failedToLoadAssetWithName(const std::string& name) {
    completedAssets_.insert(name);
    const auto required = requiredAssets();
    if (!failedToLoadRequiredAssets_ && required && required->count(name)) {
        failedToLoadRequiredAssets_ = true;
        tellLoader(&AKNativeAdLoadDelegate::nativeAdDidFailToLoadRequiredAssets);
        return;
    }
    // A failed optional asset ends its load as well as a loaded one.
    runCompletionTest();
}

void AKNativeAd::runCompletionTest() {
    if (startingAssets_ || failedToLoadRequiredAssets_ || reportedFinish_) return;
    const bool allEnded = std::includes(completedAssets_.begin(), completedAssets_.end(), requestedAssets_.begin(),
                                        requestedAssets_.end());
    if (!allEnded) return;
    reportedFinish_ = true;
    tellLoader(&AKNativeAdLoadDelegate::nativeAdDidFinishLoadingAssets);
}

void AKNativeAd::scheduleCompletionTest() {
    std::weak_ptr<AKNativeAd> weakAd = self<AKNativeAd>();
    NSOperationQueue::mainQueue()->addOperationWithBlock([weakAd] {
        if (auto ad = weakAd.lock()) ad->runCompletionTest();
    });
}

void AKNativeAd::tellLoader(void (AKNativeAdLoadDelegate::*report)(AKNativeAd&)) {
    if (!startingAssets_) {
        if (auto delegate = loadingDelegate()) (delegate.get()->*report)(*this);
        return;
    }
    // An asset that failed at once, inside loadAssets: the loader hears on the next turn.
    std::weak_ptr<AKNativeAd> weakAd = self<AKNativeAd>();
    NSOperationQueue::mainQueue()->addOperationWithBlock([weakAd, report] {
        auto ad = weakAd.lock();
        auto delegate = ad ? ad->loadingDelegate() : nullptr;
        if (delegate) (delegate.get()->*report)(*ad);
    });
}

// Clicks and impressions ----------------------------------------------------

bool AKNativeAd::requiredAssetsRead(const std::string& message) const {
    const auto required = requiredAssets();
    if (!required) return true;
    if (std::includes(readAssets_.begin(), readAssets_.end(), required->begin(), required->end())) return true;
    AKMacros::pubLog(message);
    return false;
}

void AKNativeAd::performClickOnAsset(const std::string& assetName) {
    QV_ASSERT_MAIN_THREAD();
    if (!requiredAssetsRead("All required assets must be displayed before performing clicks.")) return;
    const Value click(ValueDictionary{{"template", Value(clickActionTemplateID())}, {"asset", Value(assetName)}});
    const auto json = ak_JSONStringPretty(Value(ValueDictionary{{"ad", adConfiguration_}, {"click", click}}), false);
    if (!json) return;
    const auto webView = slot_ ? slot_->webView() : nullptr;
    if (webView) webView->stringByEvaluatingJavaScriptFromString("adkit.adnet.nativeAds.handleClick(" + *json + ")");
}

void AKNativeAd::recordImpression() {
    QV_ASSERT_MAIN_THREAD();
    if (!requiredAssetsRead("All required assets must be displayed before recording an impression.")) return;
    if (hasRecordedImpression_) return;
    Value urls = Value::array();
    for (const NSURLPtr& url : impressionTrackingURLs_) urls.append(Value(url->absoluteString()));
    AKClickTrackerCollection::sharedInstance()->trackURLs(urls, false);
    hasRecordedImpression_ = true;
}

// Screen events -------------------------------------------------------------

void AKNativeAd::adViewWillPresentScreen(AKBannerView&) {
    if (auto d = delegate()) d->nativeAdWillPresentScreen(*this);
}
void AKNativeAd::adViewWillDismissScreen(AKBannerView&) {
    if (auto d = delegate()) d->nativeAdWillDismissScreen(*this);
}
void AKNativeAd::adViewDidDismissScreen(AKBannerView&) {
    if (auto d = delegate()) d->nativeAdDidDismissScreen(*this);
}
void AKNativeAd::adViewWillLeaveApplication(AKBannerView&) {
    if (auto d = delegate()) d->nativeAdWillLeaveApplication(*this);
}
