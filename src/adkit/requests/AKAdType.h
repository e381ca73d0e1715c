#pragma once
// The type of a slot: a banner of a given size, or the interstitial type (which
// carries kAKAdSizeInvalid). Equal types hash alike: an interstitial compares
// by the invalid size whatever size was set on it, so a banner of the invalid
// size equals the interstitial type and both hash to 1. Main thread, as the
// slots that hold types.
#include <cstddef>
#include <memory>
#include <string>

#include "adkit/requests/AKAdSize.h"
#include "platform/foundation/NSObject.h"

class AKAdType;
using AKAdTypePtr = std::shared_ptr<AKAdType>;

class AKAdType : public NSObject {
public:
    // initWithAdSize: a banner type of that size.
    explicit AKAdType(AKAdSize size) : adSize_(size) {}
    // initForInterstitial
    static AKAdTypePtr initForInterstitial();
    static AKAdTypePtr bannerAdTypeForSize(AKAdSize size) { return std::make_shared<AKAdType>(size); }
    static AKAdTypePtr interstitialAdType() { return initForInterstitial(); }

    bool isEqual(const std::shared_ptr<const NSObject>& other) const;
    std::size_t hash() const;
    bool isValid() const;
    std::string description() const override;

    bool isInterstitial() const { return isInterstitial_; }
    AKAdSize adSize() const { return adSize_; }
    void setAdSize(AKAdSize size) { adSize_ = size; }

private:
    // The size the type compares and hashes by.
    AKAdSize comparedSize() const { return isInterstitial_ ? kAKAdSizeInvalid : adSize_; }

    bool isInterstitial_ = false;
    AKAdSize adSize_;
};
