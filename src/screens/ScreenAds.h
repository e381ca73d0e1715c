#pragma once
// The ad placement the six banner screens share: the banner area's size from
// whether ads are on and from the device, the banner unit the server
// configuration names, the request every slot loads, and loading a banner.
//
// Ads are on when AppDelegate checkShowAdvertising answers YES at the moment
// asked. A configured unit counts only when it is text; "AdvIDBaner" also needs
// at least 11 UTF-16 units, else no banner loads on any screen. The banner
// area gets a height and then a width constraint, each equal to a constant, and
// never changes size afterwards.
//
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/CGGeometry.h"

class AKBannerView;
class AKBannerViewDelegate;
class AKRequest;
class UIViewController;

// The list screens (movie grid, TV-show grid, search, favourites, downloads)
// and the detail page size their banner areas differently on a tablet.
enum class BannerArea { List, Detail };

// The configuration's keys and the detail page's built-in units.
inline constexpr const char* kBannerUnitKey = "AdvIDBaner";
inline constexpr const char* kInterstitialUnitKey = "AdvIDInter";
inline constexpr const char* kDetailBannerUnit = "ca-app-pub-7305118264490321/1093847562";
inline constexpr const char* kDetailInterstitialUnit = "ca-app-pub-7305118264490321/5820463917";

// YES when AppDelegate says ads are on now.
bool adsAreOn();
// The area's size: 320 x 0 with ads off; 320 x 50 on a phone; 728 x 90 (list)
// or 468 x 60 (detail) on a tablet.
CGSize bannerAreaSize(BannerArea area, bool adsOn, bool tablet);
// Adds the two constant constraints (height, then width) for the answer of now.
void sizeBannerArea(const std::shared_ptr<AKBannerView>& banner, BannerArea area);
// The configuration's text value under the key; nullopt when missing or not text.
std::optional<std::string> configuredAdUnit(const char* key);
// The configured banner unit when it is text of at least 11 UTF-16 units.
std::optional<std::string> configuredBannerUnit();
// A plain request: no test devices, no targeting.
std::shared_ptr<AKRequest> createAdRequest();
// The banner under the unit, with the screen as root view controller and delegate,
// loads a plain request. Nothing without a banner.
void loadBanner(const std::shared_ptr<AKBannerView>& banner, const std::string& unit,
                const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<AKBannerViewDelegate>& delegate);
// The list screens' showBannerView: the configured unit, when there is one.
void loadConfiguredBanner(const std::shared_ptr<AKBannerView>& banner, const std::shared_ptr<UIViewController>& screen,
                          const std::shared_ptr<AKBannerViewDelegate>& delegate);
// The scenes' banner area: an ad banner of the frame, named "bannerView", laid out by constraints.
std::shared_ptr<AKBannerView> makeBannerArea(CGRect frame);
