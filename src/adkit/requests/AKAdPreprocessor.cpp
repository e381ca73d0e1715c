#include "adkit/requests/AKAdPreprocessor.h"

#include <atomic>

#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAdNetExtras.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKNativeAd.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"

namespace {
// The callback wrapped so that it runs at most once, always later on the main
// queue; the first call wins.
AKAdPreprocessor::CompletionHandler onceOnMainQueue(AKAdPreprocessor::CompletionHandler handler) {
    auto ran = std::make_shared<std::atomic<bool>>(false);
    auto shared = std::make_shared<AKAdPreprocessor::CompletionHandler>(std::move(handler));
    return [ran, shared](const std::optional<Value>& configuration, const std::shared_ptr<AKAdSlot>& slot,
                         const NSErrorPtr& error) {
        if (ran->exchange(true)) return;
        dispatch_async(dispatch_get_main_queue(), [shared, configuration, slot, error] {
            if (*shared) (*shared)(configuration, slot, error);
        });
    };
}
}  // namespace

std::shared_ptr<AKAdPreprocessor> AKAdPreprocessor::make(const std::string& adUnitID) {
    auto made = std::make_shared<AKAdPreprocessor>(PassKey());
    made->slot_ = AKAdSlot::make();
    made->slot_->setAdEventDelegate(made);
    made->slot_->setAdUnitID(adUnitID);
    return made;
}

AKAdPreprocessor::~AKAdPreprocessor() {
    // The default centre and the page messages' centre are one centre here.
    AKNotificationCenter::defaultCenter()->removeObserver(this);
}

void AKAdPreprocessor::preprocessNativeAdJSON(const std::string& nativeAdJSON, CompletionHandler completionHandler) {
    QV_ASSERT_MAIN_THREAD();
    NSErrorPtr decodingError;
    const std::optional<Value> decoded = ak_decodedJSONObject(nativeAdJSON, &decodingError);
    if (!decoded) {
        onceOnMainQueue(std::move(completionHandler))(std::nullopt, nullptr, decodingError);
        return;
    }
    completionHandler_ = onceOnMainQueue(std::move(completionHandler));
    nativeAdJSON_ = nativeAdJSON;
    // The page gets the decoded value written again: always one plain script expression.
    pageArgument_ = decoded->toJSON().value_or("null");

    const NSURLPtr supportURL = AKNativeAd::supportHTMLURL();
    auto extras = std::make_shared<AKAdNetExtras>();
    extras->setAdditionalParameters(Value(ValueDictionary{{"_requestUrl", Value(supportURL ? supportURL->absoluteString() : std::string())}}));
    auto request = AKRequest::request();
    request->registerAdNetworkExtras(extras);
    slot_->loadRequest(request);
}

void AKAdPreprocessor::slotFinishedLoadingAdContent(AKAdSlot& slot) {
    QV_ASSERT_MAIN_THREAD();
    if (pageAsked_ || !completionHandler_) return;  // the page is asked once
    pageAsked_ = true;
    const std::shared_ptr<AKWebView> webView = slot.webView();
    const std::weak_ptr<AKAdPreprocessor> weak = weakSelf<AKAdPreprocessor>();
    AKNotificationCenter::defaultCenter()->addObserver(
        self(),
        [weak](const NSNotification& note) {
            if (auto strong = weak.lock()) strong->handlePreprocessorNotification(note);
        },
        kNotificationName, webView);
    (void)webView->stringByEvaluatingJavaScriptFromString(
        format("adkit.adnet.nativeAds.preProcessJsonAmsg(%@)", pageArgument_));  // the page answers by message
    const auto delay = static_cast<std::int64_t>(kTimeoutSeconds * static_cast<double>(NSEC_PER_SEC));
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, delay), dispatch_get_main_queue(), [weak] {
        if (auto strong = weak.lock())
            strong->complete(std::nullopt, nullptr, ak_errorWithDomain(AKPrivateErrorDomain, 2, "Timed out."));
    });
}

void AKAdPreprocessor::slotDidFailToLoadAdContentWithError(AKAdSlot& /*slot*/, const NSErrorPtr& error) {
    complete(std::nullopt, nullptr, error);
}

void AKAdPreprocessor::handlePreprocessorNotification(const NSNotification& notification) {
    QV_ASSERT_MAIN_THREAD();
    const Value answer = notification.userInfo().isDictionary() ? notification.userInfo()["success"] : Value();
    std::optional<Value> decoded;
    if (answer.isString()) decoded = ak_decodedJSONObject(answer.stringValue());
    if (decoded) {
        complete(decoded, slot_, nullptr);
    } else {
        complete(std::nullopt, nullptr, AKRequestError::errorWithCode(13));
    }
}

void AKAdPreprocessor::complete(const std::optional<Value>& configuration, const std::shared_ptr<AKAdSlot>& slot,
                                const NSErrorPtr& error) {
    if (completionHandler_) completionHandler_(configuration, slot, error);
}
