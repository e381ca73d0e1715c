#include "adkit/requests/AKAdLoader.h"

#include <algorithm>

#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdPreprocessor.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSLog.h"

namespace {
// Drops `object` from `list`, let go on a later turn (it may be calling us).
template <class T>
void drop(std::vector<std::shared_ptr<T>>& list, const T* object) {
    const auto found = std::find_if(list.begin(), list.end(), [&](const auto& held) { return held.get() == object; });
    if (found == list.end()) return;
    AKReleaseOnLaterTurn(std::move(*found));
    list.erase(found);
}

// The delegate implements the protocol: its class is registered with it (the
// run-time answer) and it is of the protocol's type (so the receive call reaches it).
bool conformsToProtocol(const std::shared_ptr<AKAdLoaderDelegate>& delegate, const std::string& protocol) {
    const auto object = std::dynamic_pointer_cast<NSObject>(delegate);
    if (!object || !NSObjectConformsToProtocol(*object, protocol)) return false;
    if (protocol == kAKNativeContentAdLoaderDelegateProtocol)
        return dynamic_cast<AKNativeContentAdLoaderDelegate*>(delegate.get()) != nullptr;
    if (protocol == kAKNativeAppInstallAdLoaderDelegateProtocol)
        return dynamic_cast<AKNativeAppInstallAdLoaderDelegate*>(delegate.get()) != nullptr;
    return true;
}
}  // namespace

std::shared_ptr<AKAdLoader> AKAdLoader::make(const std::string& adUnitID,
                                             const std::shared_ptr<UIViewController>& rootViewController,
                                             const std::vector<std::string>& adTypes) {
    AKNativeAd::initialize();
    std::set<std::string> classes;
    for (const auto& adType : adTypes) {
        NSErrorPtr error;
        const std::optional<std::string> adClass = AKAdLoaderClassForAdType(adType, &error);
        if (!adClass) {
            AKMacros::pubLog(format("Error: %@", error ? error->localizedDescription() : std::string()));
            return nullptr;
        }
        classes.insert(*adClass);
    }
    auto made = std::make_shared<AKAdLoader>(PassKey());
    made->adTypes_ = std::move(classes);
    made->adUnitID_ = adUnitID;
    made->rootViewController_ = rootViewController;
    made->slot_ = AKAdSlot::make();
    made->slot_->setSlotDelegate(made);
    made->slot_->setAdResponseDelegate(made);
    made->slot_->setAdUnitID(adUnitID);
    return made;
}

AKAdLoader::~AKAdLoader() {
    if (slot_) slot_->cancelPendingAndFutureActions();
}

void AKAdLoader::setDelegate(const std::shared_ptr<AKAdLoaderDelegate>& delegate) {
    if (delegate == delegate_.lock()) return;
    if (!delegate) {
        delegate_.reset();
        return;
    }
    for (const auto& adClass : adTypes_) {
        NSErrorPtr error;
        if (!delegateIsValidForAdClass(delegate, adClass, &error)) {
            AKMacros::pubLog(error->localizedDescription());
            return;
        }
    }
    delegate_ = delegate;
}

bool AKAdLoader::delegateIsValidForAdClass(const std::shared_ptr<AKAdLoaderDelegate>& delegate,
                                           const std::string& adClass, NSErrorPtr* error) {
    const std::string protocol = AKNativeAd::requiredDelegateProtocol(adClass);
    if (conformsToProtocol(delegate, protocol)) return true;
    if (error)
        *error = ak_errorWithDomain(AKPrivateErrorDomain, 3,
                                    format("Delegate does not conform to the required protocol, %@.", protocol));
    return false;
}

void AKAdLoader::loadRequest(const std::shared_ptr<AKRequest>& request) {
    QV_ASSERT_MAIN_THREAD();
    auto loader = AKAppEventAdLoader::make(adUnitID_, rootViewController_.lock(), adTypes_);
    loader->setDelegate(self<AKAdLoader>());
    // Held before it starts: a load may fail at once (no root view controller).
    appEventAdLoaders_.push_back(loader);
    loader->loadRequest(request);
}

void AKAdLoader::fail(const NSErrorPtr& error) {
    if (const auto delegate = delegate_.lock()) delegate->adLoaderDidFailToReceiveAdWithError(*this, error);
}

void AKAdLoader::deliver(const std::shared_ptr<AKNativeAd>& ad) {
    const auto delegate = delegate_.lock();
    if (!delegate) return;
    NSErrorPtr invalid;
    if (!delegateIsValidForAdClass(delegate, ad->className(), &invalid)) {
        delegate->adLoaderDidFailToReceiveAdWithError(*this, AKRequestError::errorWithCode(0, invalid));
        return;
    }
    ad->didReceiveAdForAdLoader(*this, delegate);
}

// ---- App-event loads ---------------------------------------------------------------------

void AKAdLoader::appEventAdLoaderDidReceiveAd(AKAppEventAdLoader& loader, const std::shared_ptr<AKNativeAd>& ad) {
    drop(appEventAdLoaders_, &loader);
    deliver(ad);
}

void AKAdLoader::appEventAdLoaderDidFailToReceiveAdWithError(AKAppEventAdLoader& loader, const NSErrorPtr& error) {
    drop(appEventAdLoaders_, &loader);
    fail(error);
}

std::shared_ptr<AKAdLoader> AKAdLoader::adLoaderForAppEventAdLoader(AKAppEventAdLoader& /*loader*/) {
    return self<AKAdLoader>();
}

// ---- The own slot's native responses -------------------------------------------------------

bool AKAdLoader::slotDidReceiveAd(AKAdSlot& slot, const std::shared_ptr<AKAd>& ad) {
    if (!ad || ad->responseType != AKAdResponseTypeNative) return false;
    auto preprocessor = AKAdPreprocessor::make(adUnitID_);
    const std::weak_ptr<AKAdLoader> weak = weakSelf<AKAdLoader>();
    const std::weak_ptr<AKAdPreprocessor> weakPreprocessor = preprocessor;
    adPreprocessors_.push_back(preprocessor);
    preprocessor->preprocessNativeAdJSON(
        ad->adHTML.value_or(""),
        [weak, weakPreprocessor](const std::optional<Value>& configuration, const std::shared_ptr<AKAdSlot>& nativeSlot,
                                 const NSErrorPtr& /*error: every failure is reported as code 13*/) {
            if (const auto strong = weak.lock()) strong->preprocessed(weakPreprocessor, configuration, nativeSlot);
        });
    slot.didReceiveValidAd();
    return true;
}

void AKAdLoader::preprocessed(const std::weak_ptr<AKAdPreprocessor>& preprocessor,
                              const std::optional<Value>& configuration, const std::shared_ptr<AKAdSlot>& slot) {
    drop(adPreprocessors_, preprocessor.lock().get());
    const Value dictionary = configuration && configuration->isDictionary() ? *configuration : Value();
    const std::optional<std::string> adClass =
        dictionary.isDictionary() ? AKNativeAd::classFromAdConfigurationDictionary(dictionary) : std::nullopt;
    std::shared_ptr<AKNativeAd> ad;
    if (adClass && adTypes_.contains(*adClass))
        ad = AKNativeAd::initWithDictionary(*adClass, AKNativeAd::firstAdObjectInAdConfigurationDictionary(dictionary));
    if (!ad) {
        fail(AKRequestError::errorWithCode(13));
        return;
    }
    nativeAds_.push_back(ad);
    ad->setAdUnitID(adUnitID_);
    ad->setRootViewController(rootViewController_.lock());
    ad->setLoadingDelegate(self<AKAdLoader>());
    ad->setSlot(slot);
    ad->loadAssets();
}

void AKAdLoader::slotDidFailToReceiveAdWithError(AKAdSlot& /*slot*/, const NSErrorPtr& error) {
    fail(error ? error : AKRequestError::errorWithCode(11));
}

// ---- Native ads' images ------------------------------------------------------------------

void AKAdLoader::nativeAdDidFinishLoadingAssets(AKNativeAd& nativeAd) {
    const std::shared_ptr<AKNativeAd> ad = nativeAd.self<AKNativeAd>();
    drop(nativeAds_, &nativeAd);
    deliver(ad);
}

void AKAdLoader::nativeAdDidFailToLoadRequiredAssets(AKNativeAd& nativeAd) {
    drop(nativeAds_, &nativeAd);
    fail(AKRequestError::errorWithCode(2));
}
