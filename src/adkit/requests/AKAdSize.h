#pragma once
// Ad sizes: a width and height in points with flags for custom, full-width
// ("smart"), skinny, landscape and smart-height variants, the named sizes of
// the public interface, and the functions that convert, compare, validate and
// name them. Sizes box into platform values under kAKAdSizeTypeEncoding; a box
// of another encoding is not an ad size.
//
// Threads: pure functions, any thread. Those that ask about the screen
// (AKAdSizeFitsScreen, AKAdSizeIsValid, AKAdSizeToCGSize) read it through
// AKDevice, which reads it on the main thread.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/NSValue.h"
#include "platform/graphics/CGGeometry.h"

struct AKAdSize {
    CGSize size;
    std::uint64_t flags = 0;
};

// Flag bits.
enum : std::uint64_t {
    AKAdSizeFlagCustom = 1,
    AKAdSizeFlagFullWidth = 2,
    AKAdSizeFlagSkinny = 4,
    AKAdSizeFlagLandscape = 8,
    AKAdSizeFlagSmartHeight = 16,
};

inline constexpr const char* kAKAdSizeTypeEncoding = "{AKAdSize={CGSize=dd}Q}";

inline constexpr AKAdSize kAKAdSizeBanner{{320, 50}, 0};
inline constexpr AKAdSize kAKAdSizeLargeBanner{{320, 100}, 0};
inline constexpr AKAdSize kAKAdSizeMediumRectangle{{300, 250}, 0};
inline constexpr AKAdSize kAKAdSizeFullBanner{{468, 60}, 0};
inline constexpr AKAdSize kAKAdSizeLeaderboard{{728, 90}, 0};
inline constexpr AKAdSize kAKAdSizeSkyscraper{{120, 600}, 0};
inline constexpr AKAdSize kAKAdSizeSmartBannerPortrait{{0, 0}, 18};
inline constexpr AKAdSize kAKAdSizeSmartBannerLandscape{{0, 0}, 26};
inline constexpr AKAdSize kAKAdSizeSmartBannerSkinnyPortrait{{0, 0}, 22};
inline constexpr AKAdSize kAKAdSizeSmartBannerSkinnyLandscape{{0, 0}, 30};
inline constexpr AKAdSize kAKAdSizeInvalid{{-1, -1}, 0};

// Boxing: the size's bytes under kAKAdSizeTypeEncoding; nothing for a box of another encoding.
NSValue NSValueFromAKAdSize(AKAdSize size);
std::optional<AKAdSize> AKAdSizeFromNSValue(const NSValue& value);

// The first of invalid and the six standard sizes with that width and height,
// else the size flagged custom.
AKAdSize AKAdSizeFromCGSize(CGSize size);
bool AKAdSizeIsEqual(AKAdSize a, AKAdSize b);  // widths, heights and flags
bool AKAdSizeIsFullWidth(AKAdSize size);
bool AKAdSizeIsSmartHeight(AKAdSize size);
bool AKAdSizeIsStandard(AKAdSize size);         // one of the six, flags 0
bool AKAdSizeIsStandardOrSmart(AKAdSize size);  // or 0 x 0 with flags 18, 22, 26 or 30
// Both absolute values at most the long side of the standardized screen bounds.
bool AKAdSizeFitsScreen(CGFloat width, CGFloat height);
// A custom size that fits the screen, or a standard or smart size.
bool AKAdSizeIsValid(AKAdSize size);
// The size in points on this device (the zero size when it has none).
CGSize AKAdSizeToCGSize(AKAdSize size);
// The size's constant name, or a text made of its fields.
std::string AKAdSizeDescription(AKAdSize size);
// The named sizes in their naming order, built once.
const std::vector<std::pair<AKAdSize, std::string>>& AKAdSizeNameTable();
// A response's "<width>x<height>" as a size; the zero size when it does not read.
CGSize AKAdSizeFromResponseString(const std::string& text);
