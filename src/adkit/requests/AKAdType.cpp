#include "adkit/requests/AKAdType.h"

#include <functional>

#include "platform/uikit/UIGeometry.h"

AKAdTypePtr AKAdType::initForInterstitial() {
    auto type = std::make_shared<AKAdType>(kAKAdSizeInvalid);
    type->isInterstitial_ = true;
    return type;
}

bool AKAdType::isEqual(const std::shared_ptr<const NSObject>& other) const {
    if (other.get() == this) return true;
    auto type = std::dynamic_pointer_cast<const AKAdType>(other);
    if (!type) return false;
    if (isInterstitial_ && type->isInterstitial_) return true;
    return AKAdSizeIsEqual(comparedSize(), type->comparedSize());
}

std::size_t AKAdType::hash() const {
    const AKAdSize size = comparedSize();
    if (AKAdSizeIsEqual(size, kAKAdSizeInvalid)) return 1;
    return std::hash<std::string>{}(NSStringFromCGSize(size.size) + " " + std::to_string(size.flags));
}

bool AKAdType::isValid() const { return isInterstitial_ || AKAdSizeIsValid(adSize_); }

std::string AKAdType::description() const {
    if (isInterstitial_) return className() + " interstitial type";
    return className() + " banner with size: " + AKAdSizeDescription(adSize_);
}
