// Protects the ad placement in the screens: every banner area's size from the
// configuration and the device (ads off, phone, tablet), banners loaded only
// with an "AdvIDBaner" of 11 UTF-16 units or more (the configured unit on the
// list screens, the built-in one on the detail page), and the detail page's
// interstitial: none requested while ads are off though the pacing counts
// every reply, its unit by the number released, a stream dialog at once
// for every reply whose released interstitial is not ready, and a failed
// interstitial logged with its error's description.
#include <doctest/doctest.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AdTestSupport.h"
#include "DetailTestApp.h"
#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKInterstitial.h"
#include "platform/foundation/NSLog.h"
#include "screens/BrowseGridController.h"
#include "screens/DownloadViewController.h"
#include "screens/FavoritesViewController.h"
#include "screens/PosterGridController.h"
#include "screens/ScreenAds.h"

using namespace screentest;

namespace {

// The banner of the root controller of a tab, its view loaded by showing the tab.
std::shared_ptr<AKBannerView> tabBanner(Stage& stage, std::size_t tab) {
    stage.shell.tabBar->setSelectedIndex(tab);
    settle();
    auto root = stage.shell.navigations.at(tab)->viewControllers().front();
    if (auto grid = std::dynamic_pointer_cast<PosterGridController>(root)) return grid->bannerView();
    if (auto favourites = std::dynamic_pointer_cast<FavoritesViewController>(root)) return favourites->bannerView.lock();
    if (auto downloads = std::dynamic_pointer_cast<DownloadViewController>(root)) return downloads->bannerView.lock();
    return nullptr;
}

std::string unitOf(const std::shared_ptr<AKBannerView>& banner) {
    return banner ? banner->adUnitID().value_or("(none)") : "(no banner)";
}

// The process's application as at launch: no configuration, the pacing counters fresh.
struct FreshConfiguration {
    FreshConfiguration() {
        auto delegate = TestApplication::shared().delegate;
        delegate->setDefaultInfo(Value());
        delegate->setLocalCount(2);
        delegate->setLocalAds(0);
    }
    ~FreshConfiguration() { TestApplication::shared().delegate->setDefaultInfo(Value()); }
};

// The ad library pointed nowhere; a stage whose catalogue serves the
// configuration of the arguments, taken in as the movie grid receives it.
struct AdStage {
    AdHostsScope hosts;
    FreshConfiguration fresh;
    Stage stage;
    AdStage(bool tablet, const std::vector<std::string>& arguments) : stage(tablet, arguments) {
        waitFor([&] { return stage.app.delegate->defaultInfo().isDictionary(); }, "the server configuration");
        settle();
    }
};

// The console lines written meanwhile (from any thread).
struct LogLines {
    std::mutex mutex;
    std::vector<std::string> lines;
    LogLines() {
        setLogHook([this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        });
    }
    ~LogLines() { setLogHook(nullptr); }
    std::optional<std::string> first(const std::string& prefix) {
        std::lock_guard lock(mutex);
        for (const auto& line : lines)
            if (line.starts_with(prefix)) return line;
        return std::nullopt;
    }
};

}  // namespace

TEST_CASE("banner areas are sized from ads and device, and banners load only with a banner unit of 11 UTF-16 units") {
    const std::string eleven = "ca-app-pub-";            // 11 units
    const std::string tenAccented = "ca-app-p\xC3\xBC-";  // 10 units in 11 bytes
    struct Case {
        bool tablet;
        int advType;
        std::string unit;
        CGSize list, detail;
        bool loads;
    };
    const Case cases[] = {
        {false, 0, eleven, {320, 0}, {320, 0}, false},      {true, 0, eleven, {320, 0}, {320, 0}, false},
        {false, 1, eleven, {320, 50}, {320, 50}, true},     {true, 1, eleven, {728, 90}, {468, 60}, true},
        {false, 1, tenAccented, {320, 50}, {320, 50}, false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.tablet);
        CAPTURE(c.advType);
        CAPTURE(c.unit);
        AdStage ads(c.tablet, {"--adv-type", std::to_string(c.advType), "--adv-id-banner", c.unit});
        auto& stage = ads.stage;
        // Movie grid, TV-show grid, search, favourites, downloads.
        std::size_t screens = 0;
        for (std::size_t tab = 0; tab < stage.shell.navigations.size(); ++tab) {
            CAPTURE(tab);
            auto banner = tabBanner(stage, tab);
            if (!banner) continue;  // a tab without a banner
            ++screens;
            CHECK(banner->frame().size.width == c.list.width);
            CHECK(banner->frame().size.height == c.list.height);
            CHECK(unitOf(banner) == (c.loads ? c.unit : "(none)"));
        }
        stage.shell.tabBar->setSelectedIndex(0);
        settle();
        {
            auto movies = std::dynamic_pointer_cast<BrowseGridController>(stage.shell.navigations[0]->viewControllers().front());
            REQUIRE(movies);
            UIView sender;
            movies->searchMovies(sender);  // as its search button does
            settle();
            auto search = std::dynamic_pointer_cast<PosterGridController>(stage.shell.navigations[0]->topViewController());
            REQUIRE(search);
            REQUIRE(search != movies);
            auto banner = search->bannerView();
            REQUIRE(banner);
            ++screens;
            CHECK(banner->frame().size.width == c.list.width);
            CHECK(banner->frame().size.height == c.list.height);
            CHECK(unitOf(banner) == (c.loads ? c.unit : "(none)"));
            stage.shell.navigations[0]->popViewControllerAnimated(false);
            settle();
        }
        CHECK(screens == 5);
        auto page = stage.open(stage.firstMovie());
        auto banner = page->outlets().bannerView.lock();
        REQUIRE(banner);
        CHECK(banner->frame().size.width == c.detail.width);
        CHECK(banner->frame().size.height == c.detail.height);
        CHECK(unitOf(banner) == (c.loads ? kDetailBannerUnit : "(none)"));
        stage.close();
        settle();
    }
}

TEST_CASE("the pacing counts every stream reply, interstitials are asked for only with ads on, and an unready one keeps no dialog back") {
    struct Case {
        int advType;
        Value interUnit;        // "AdvIDInter" as served
        std::string firstUnit;  // the unit of the interstitials before the second release
    };
    const Case cases[] = {
        {0, Value("ca-app-pub-inter/1"), "(no interstitial)"},
        {1, Value("ca-app-pub-inter/1"), "ca-app-pub-inter/1"},
        {1, Value(42), "(none)"},  // a unit that is not text counts as missing
    };
    for (const auto& c : cases) {
        CAPTURE(c.advType);
        CAPTURE(c.firstUnit);
        LogLines log;
        AdStage ads(false, {"--adv-type", std::to_string(c.advType), "--adv-count", "3"});
        auto& stage = ads.stage;
        auto delegate = stage.app.delegate;
        Value info = delegate->defaultInfo().copy();
        info.setObject("AdvIDInter", c.interUnit);
        delegate->setDefaultInfo(info);
        auto page = stage.open(stage.firstMovie());
        const auto unit = [&] {
            return page->interstitial() ? page->interstitial()->adUnitID().value_or("(none)") : "(no interstitial)";
        };
        CHECK(unit() == c.firstUnit);
        std::vector<int> releases;
        for (int reply = 1; reply <= 8; ++reply) {
            CAPTURE(reply);
            const auto before = delegate->localAds();
            stage.chooseChapter(page, 0);
            stage.waitForDialog(page);  // at once: no interstitial is ever ready here
            if (delegate->localAds() != before) releases.push_back(reply);
            if (c.advType == 1 && reply == 5) CHECK(unit() == c.firstUnit);  // loaded before the second release
            stage.finger.tapId("cancelButton");
            settle();
            // Leaving and coming back asks for a new one while none has been received.
            stage.shell.tabBar->setSelectedIndex(1);
            settle();
            stage.shell.tabBar->setSelectedIndex(0);
            settle();
        }
        CHECK(releases == std::vector<int>{2, 5, 8});
        CHECK_FALSE(page->isShowInterstitial());
        if (c.advType == 1) CHECK(unit() == kDetailInterstitialUnit);  // after the second release
        else CHECK(unit() == "(no interstitial)");
        if (c.advType == 1 && c.interUnit.isString()) {
            // The ad server is out of reach: the failure is logged with the error's description.
            const std::string prefix = "failed to receive interstitial with error:";
            waitFor([&] { return log.first(prefix).has_value(); }, "a failed interstitial logged");
            const std::string line = *log.first(prefix);
            CHECK(line.starts_with(prefix + "Error Domain="));
            CHECK(line.find(" UserInfo=") != std::string::npos);
        }
        stage.close();
        settle();
    }
}
