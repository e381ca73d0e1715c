#pragma once
// What the public ad loader (AKAdLoader, built with the loader) tells its
// delegate, and the names under which these protocols are known at run time.
//
// AKAdLoaderDelegate: the required failure report. Each native format has its
// own sub-protocol with its receive call; a native class names the one its
// loader delegate must conform to (AKNativeAd::requiredDelegateProtocol), and a
// delegate object's conformance is answered by the class registry for its class
// (NSObjectConformsToProtocol): a publisher's delegate class registers the
// protocols it implements. All calls come on the main thread with the loader
// first.
#include <memory>
#include <string>

#include "platform/foundation/NSError.h"

class AKAdLoader;  // the public loader; its delegate() is the current AKAdLoaderDelegate
class AKNativeAppInstallAd;
class AKNativeContentAd;

inline constexpr const char* kAKAdLoaderDelegateProtocol = "AKAdLoaderDelegate";
inline constexpr const char* kAKNativeAppInstallAdLoaderDelegateProtocol = "AKNativeAppInstallAdLoaderDelegate";
inline constexpr const char* kAKNativeContentAdLoaderDelegateProtocol = "AKNativeContentAdLoaderDelegate";

class AKAdLoaderDelegate {
public:
    virtual ~AKAdLoaderDelegate() = default;
    virtual void adLoaderDidFailToReceiveAdWithError(AKAdLoader& adLoader, const NSErrorPtr& error) = 0;
};

class AKNativeAppInstallAdLoaderDelegate : public virtual AKAdLoaderDelegate {
public:
    virtual void adLoaderDidReceiveNativeAppInstallAd(AKAdLoader& adLoader,
                                                      const std::shared_ptr<AKNativeAppInstallAd>& ad) = 0;
};

class AKNativeContentAdLoaderDelegate : public virtual AKAdLoaderDelegate {
public:
    virtual void adLoaderDidReceiveNativeContentAd(AKAdLoader& adLoader,
                                                   const std::shared_ptr<AKNativeContentAd>& ad) = 0;
};

// Registers the three protocol names with the class registry (the two format
// protocols inherit AKAdLoaderDelegate). Idempotent; AKNativeAd::initialize()
// calls it.
void AKAdLoaderDelegateRegisterProtocols();
