// The ad placement the banner screens share.
#include "screens/ScreenAds.h"

#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKRequest.h"
#include "core/AppDelegate.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSString.h"
#include "screens/ScreenStyle.h"
#include "ui/layout/LYLayout.h"

namespace {
constexpr std::size_t kShortestBannerUnit = 11;
}

bool adsAreOn() {
    auto delegate = AppDelegate::shared();
    return delegate && delegate->checkShowAdvertising();
}

CGSize bannerAreaSize(BannerArea area, bool adsOn, bool tablet) {
    if (!adsOn) return CGSizeMake(320, 0);
    if (!tablet) return CGSizeMake(320, 50);
    return area == BannerArea::List ? CGSizeMake(728, 90) : CGSizeMake(468, 60);
}

void sizeBannerArea(const std::shared_ptr<AKBannerView>& banner, BannerArea area) {
    QV_ASSERT_MAIN_THREAD();
    if (!banner) return;
    const CGSize size = bannerAreaSize(area, adsAreOn(), isTablet());
    banner->addConstraint(layoutHeightOf(banner)->equalTo()->constant(size.height)->asConstraint());
    banner->addConstraint(layoutWidthOf(banner)->equalTo()->constant(size.width)->asConstraint());
}

std::optional<std::string> configuredAdUnit(const char* key) {
    auto delegate = AppDelegate::shared();
    if (!delegate || !delegate->defaultInfo().isDictionary()) return std::nullopt;
    const Value unit = delegate->defaultInfo()[key];
    if (!unit.isString()) return std::nullopt;
    return *unit.string();
}

std::optional<std::string> configuredBannerUnit() {
    auto unit = configuredAdUnit(kBannerUnitKey);
    if (!unit || utf16Length(*unit) < kShortestBannerUnit) return std::nullopt;
    return unit;
}

std::shared_ptr<AKRequest> createAdRequest() { return AKRequest::request(); }

void loadBanner(const std::shared_ptr<AKBannerView>& banner, const std::string& unit,
                const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<AKBannerViewDelegate>& delegate) {
    QV_ASSERT_MAIN_THREAD();
    if (!banner) return;
    banner->setAdUnitID(unit);
    banner->setRootViewController(screen);
    banner->setDelegate(delegate);
    banner->loadRequest(createAdRequest());
}

void loadConfiguredBanner(const std::shared_ptr<AKBannerView>& banner, const std::shared_ptr<UIViewController>& screen,
                          const std::shared_ptr<AKBannerViewDelegate>& delegate) {
    if (auto unit = configuredBannerUnit()) loadBanner(banner, *unit, screen, delegate);
}

std::shared_ptr<AKBannerView> makeBannerArea(CGRect frame) {
    auto banner = AKBannerView::makeWithCoder(frame);
    banner->setAccessibilityIdentifier("bannerView");
    banner->setTranslatesAutoresizingMaskIntoConstraints(false);
    return banner;
}
