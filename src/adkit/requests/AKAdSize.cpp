#include "adkit/requests/AKAdSize.h"

#include <cmath>
#include <cstdlib>

#include "adkit/foundation/AKDevice.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIGeometry.h"

namespace {

constexpr AKAdSize kStandardSizes[] = {kAKAdSizeBanner,      kAKAdSizeLargeBanner,  kAKAdSizeMediumRectangle,
                                       kAKAdSizeFullBanner,  kAKAdSizeLeaderboard, kAKAdSizeSkyscraper};

bool sameDimensions(AKAdSize a, CGSize b) { return a.size.width == b.width && a.size.height == b.height; }

bool hasFlag(AKAdSize size, std::uint64_t flag) { return (size.flags & flag) != 0; }

// The smart-banner height on this device's idiom; nothing for an idiom without one.
std::optional<CGFloat> smartHeight(AKAdSize size) {
    switch (UI_USER_INTERFACE_IDIOM()) {
    case UIUserInterfaceIdiomPhone: return hasFlag(size, AKAdSizeFlagLandscape) ? 32 : 50;
    case UIUserInterfaceIdiomPad: return hasFlag(size, AKAdSizeFlagSkinny) ? 66 : 90;
    default: return std::nullopt;
    }
}

}  // namespace

NSValue NSValueFromAKAdSize(AKAdSize size) { return NSValue::valueWithBytes(size, kAKAdSizeTypeEncoding); }

std::optional<AKAdSize> AKAdSizeFromNSValue(const NSValue& value) {
    return value.getValue<AKAdSize>(kAKAdSizeTypeEncoding);
}

AKAdSize AKAdSizeFromCGSize(CGSize size) {
    if (sameDimensions(kAKAdSizeInvalid, size)) return kAKAdSizeInvalid;
    for (const AKAdSize& standard : kStandardSizes)
        if (sameDimensions(standard, size)) return standard;
    return AKAdSize{size, AKAdSizeFlagCustom};
}

bool AKAdSizeIsEqual(AKAdSize a, AKAdSize b) { return sameDimensions(a, b.size) && a.flags == b.flags; }

bool AKAdSizeIsFullWidth(AKAdSize size) { return hasFlag(size, AKAdSizeFlagFullWidth); }

bool AKAdSizeIsSmartHeight(AKAdSize size) { return hasFlag(size, AKAdSizeFlagSmartHeight); }

bool AKAdSizeIsStandard(AKAdSize size) {
    for (const AKAdSize& standard : kStandardSizes)
        if (AKAdSizeIsEqual(standard, size)) return true;
    return false;
}

bool AKAdSizeIsStandardOrSmart(AKAdSize size) {
    if (AKAdSizeIsStandard(size)) return true;
    const bool smartFlags = size.flags == 18 || size.flags == 22 || size.flags == 26 || size.flags == 30;
    return size.size.width == 0 && size.size.height == 0 && smartFlags;
}

bool AKAdSizeFitsScreen(CGFloat width, CGFloat height) {
    const CGRect bounds = AKDevice::currentDevice()->standardizedScreenBounds();
    const CGFloat longSide = std::max(bounds.size.width, bounds.size.height);
    return std::fabs(width) <= longSide && std::fabs(height) <= longSide;  // NaN fits nothing
}

bool AKAdSizeIsValid(AKAdSize size) {
    if (hasFlag(size, AKAdSizeFlagCustom) && AKAdSizeFitsScreen(size.size.width, size.size.height)) return true;
    return AKAdSizeIsStandardOrSmart(size);
}

CGSize AKAdSizeToCGSize(AKAdSize size) {
    if (AKAdSizeIsStandard(size)) return size.size;
    if (!AKAdSizeIsFullWidth(size)) return hasFlag(size, AKAdSizeFlagCustom) ? size.size : CGSizeZero;
    const CGRect bounds = AKDevice::currentDevice()->standardizedScreenBounds();
    CGFloat width = hasFlag(size, AKAdSizeFlagLandscape) ? bounds.size.height : bounds.size.width;
    const std::optional<CGFloat> height = smartHeight(size);
    if (!height) width = 0;
    if (AKAdSizeIsSmartHeight(size)) return CGSizeMake(width, height.value_or(0));
    if (hasFlag(size, AKAdSizeFlagCustom)) return CGSizeMake(width, size.size.height);
    return CGSizeZero;
}

const std::vector<std::pair<AKAdSize, std::string>>& AKAdSizeNameTable() {
    static ProcessLifetime<const std::vector<std::pair<AKAdSize, std::string>>> table(
        std::vector<std::pair<AKAdSize, std::string>>{
            {kAKAdSizeBanner, "kAKAdSizeBanner"},
            {kAKAdSizeLargeBanner, "kAKAdSizeLargeBanner"},
            {kAKAdSizeMediumRectangle, "kAKAdSizeMediumRectangle"},
            {kAKAdSizeFullBanner, "kAKAdSizeFullBanner"},
            {kAKAdSizeLeaderboard, "kAKAdSizeLeaderboard"},
            {kAKAdSizeSkyscraper, "kAKAdSizeSkyscraper"},
            {kAKAdSizeSmartBannerSkinnyPortrait, "kAKAdSizeSmartBannerSkinnyPortrait"},
            {kAKAdSizeSmartBannerSkinnyLandscape, "kAKAdSizeSmartBannerSkinnyLandscape"},
            {kAKAdSizeSmartBannerPortrait, "kAKAdSizeSmartBannerPortrait"},
            {kAKAdSizeSmartBannerLandscape, "kAKAdSizeSmartBannerLandscape"},
            {kAKAdSizeInvalid, "kAKAdSizeInvalid"},
        });
    return *table;
}

std::string AKAdSizeDescription(AKAdSize size) {
    for (const auto& [named, name] : AKAdSizeNameTable())
        if (AKAdSizeIsEqual(named, size)) return name;
    if (AKAdSizeIsFullWidth(size)) return format("Full width AKAdSize with height: %f", size.size.height);
    if (hasFlag(size, AKAdSizeFlagCustom)) return "Custom AKAdSize: " + NSStringFromCGSize(size.size);
    return "AKAdSize: " + NSStringFromCGSize(size.size) + format(", %llx", static_cast<unsigned long long>(size.flags));
}

CGSize AKAdSizeFromResponseString(const std::string& text) {
    std::string commas = text;
    for (char& c : commas)
        if (c == 'x') c = ',';
    return CGSizeFromString("{" + commas + "}");
}
