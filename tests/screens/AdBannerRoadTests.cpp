// Protects the banners of the six screens through the real executable's device screen against the local ad
// server, on phone and tablet: each banner area's size, the moment each screen loads its banner and the unit it
// asks for (the server's request log), the creative on screen (its tree node and its colour band in /frame.png),
// the detail page's mediated banner, a tap on the grid's banner that is one click and opens what closes again,
// and no banner nor ad request with ads off or with an "AdvIDBaner" shorter than 11 UTF-16 units.
#include <doctest/doctest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AppRoadSupport.h"
#include "support/AdServerProcess.h"
#include "support/FrameProbes.h"
#include "support/TestEnvironment.h"

using Json = nlohmann::json;
using testsupport::ApplicationProcess;
using testsupport::Colour;
using testsupport::findViews;
using testsupport::runMainUntil;
using namespace approad;

namespace {

constexpr const char* kBannerUnit = "quorvane-banner-0001";
constexpr const char* kDetailBannerUnit = "ca-app-pub-7305118264490321/1093847562";
// A rich-media banner: its links open the in-app browser rather than leaving the application.
constexpr const char* kRichUnit = "quorvane-rich-banner-0001";
// 10 and 11 UTF-16 units, each longer in UTF-8 bytes.
constexpr const char* kTenUnits = "b\u00e4nn\u00e9r-001";
constexpr const char* kElevenUnits = "b\u00e4nn\u00e9r-0001";

// The shipped units without timed refreshes (so every request in the log is a screen's own load), the
// application's banner also under the 11-unit name, a rich-media banner, and the detail unit's network given time.
Json adUnits() {
    std::ifstream in(testtools::shippedAdUnits());
    Json table = Json::parse(in);
    Json& banner = table["units"][kBannerUnit];
    banner["headers"].erase("X-Adnet-Refresh-Rate");
    for (auto& [size, answer] : banner["sizes"].items()) answer["headers"].erase("X-Adnet-Refresh-Rate");
    table["units"][kElevenUnits] = banner;
    // A busy machine (a thread-checked build under a full suite) can take longer than the shipped 10 s to render
    // the detail page's mediated creative; that network's time-out is not what these roads check.
    table["units"][kDetailBannerUnit]["json"]["settings"]["ad_network_timeout_millis"] = 60000;
    table["units"][kRichUnit] = {
        {"headers", {{"X-Adnet-Tracking-Urls", "{origin}/adnet/ping/impression?unit=rich"},
                     {"X-Adnet-Click-Tracking-Urls", "{origin}/adnet/ping/click?unit=rich"}}},
        {"body", "<!DOCTYPE html><html><head><title>Quorvane rich banner</title><script src=\"mraid.js\"></script>"
                 "<style>body{margin:0;background:#00897B}a{display:block;height:100vh}</style></head>"
                 "<body><a href=\"{origin}/adnet/click?ai=rich\"></a></body></html>"}};
    return table;
}

// The unit table above as a file for the ad server, kept for the test's life.
struct UnitsFile {
    testsupport::TempHome folder;
    std::string path = folder.path() + "/units.json";
    UnitsFile() { std::ofstream(path) << adUnits().dump(); }
};

AdAppOptions options(const UnitsFile& units, const std::string& device, int advType = 1,
                     const std::string& bannerUnit = kBannerUnit) {
    AdAppOptions o;
    o.device = device;
    o.advType = advType;
    o.bannerUnit = bannerUnit;
    o.adServerArguments = {"--units", units.path};  // the later --units is the one in force
    return o;
}

// The ad requests (first hops) for the unit.
std::size_t asks(const AdApp& ad, const std::string& unit) {
    std::size_t n = 0;
    for (const Json& entry : ad.adRequests("/adnet/ad"))
        if (entry["query"].value("slotname", "") == unit && entry["query"].value("hop", "0") == "0") ++n;
    return n;
}

// The front banner area on screen (the detail page's over the grid's on a tablet), or null.
Json bannerArea(const Json& tree) {
    auto areas = withId(tree, "bannerView");
    return areas.empty() ? Json() : areas.back();
}

// The web view of a banner area (null without one) and its document title.
Json bannerPage(const Json& area) {
    if (area.is_null()) return Json();
    auto pages = findViews({{"views", Json::array({area})}},
                           [](const Json& v) { return v.value("class", "") == "UIWebView"; });
    return pages.empty() ? Json() : pages.front();
}

// The document title of the banner area's web view ("" without one).
std::string bannerTitle(const Json& area) {
    const Json page = bannerPage(area);
    return page.is_object() ? page.value("title", "") : std::string();
}

bool sized(const Json& area, double width, double height) {
    return !area.is_null() && area["frame"][2] == width && area["frame"][3] == height;
}

// The frame's pixels near the four corners of the view (inside, away from a centred text) are the colour.
bool showsColour(const ApplicationProcess& app, const Json& view, Colour colour) {
    const auto frame = testsupport::paintedFrame(app);
    return frame && testsupport::cornersShow(frame->image, testsupport::viewRect(view), colour, 6);
}

// Runs the main loop until the real clock is past the moment plus the milliseconds.
bool pastMoment(long long momentMs, long long extraMs) {
    using namespace std::chrono;
    return runMainUntil([&] {
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() > momentMs + extraMs;
    }, 5);
}

// Whether the tab is the selected one.
bool onTab(const Json& tree, const std::string& tab) {
    auto button = testsupport::findView(tree, "UITabBarButton", tab);
    return button && button->value("selected", false);
}

void tapAndSettle(AdApp& ad, const Json& target) {
    REQUIRE_MESSAGE(ad.app().waitForTree([](const Json& t) { return !hasClass(t, "LOProgressHUD"); }),
                    "no progress overlay before the tap");
    REQUIRE(ad.app().tap(target) == 200);
}

// One step of the road over the six screens: how to get there and what shows it is there.
struct Step {
    const char* screen;
    std::function<void(AdApp&)> go;
    std::function<bool(const Json&)> here;
    bool detail = false;
};

// The movie grid, TV-show grid, search, favourites and downloads (each twice, the banner loads on every
// appearance of the downloads alone) and the detail page.
std::vector<Step> sixScreens() {
    auto tab = [](const char* label) { return [label](AdApp& ad) { tapAndSettle(ad, {{"label", label}}); }; };
    auto on = [](const char* label) { return [label](const Json& t) { return onTab(t, label); }; };
    return {
        {"movie grid", [](AdApp&) {}, [](const Json& t) { return onTab(t, "Movies") && !posterCells(t).empty(); }},
        {"TV-show grid", tab("TV Shows"), on("TV Shows")},
        {"search", [](AdApp& ad) { tapAndSettle(ad, {{"id", "searchButton"}}); },
         [](const Json& t) { return !withId(t, "searchBar").empty(); }},
        {"favourites",
         [](AdApp& ad) {
             tapAndSettle(ad, {{"id", "backButton"}});
             REQUIRE(ad.app().waitFor({{"id", "searchBar"}}, true));
             tapAndSettle(ad, {{"label", "Favorites"}});
         },
         on("Favorites")},
        {"downloads", tab("Downloads"), on("Downloads")},
        {"favourites again", tab("Favorites"), on("Favorites")},
        {"downloads again", tab("Downloads"), on("Downloads")},
        {"TV-show grid again", tab("TV Shows"), on("TV Shows")},
        {"detail page",
         [](AdApp& ad) {
             tapAndSettle(ad, {{"label", "Movies"}});
             openFirstTitle(ad.app());
         },
         [](const Json& t) { return !withId(t, "functionSegment").empty(); }, true},
    };
}

// The list screens' banner requests after each step of sixScreens (ads on, a banner unit).
const std::vector<std::size_t> kListAsks{1, 2, 3, 4, 5, 5, 6, 6, 6};

// Takes the steps of sixScreens in turn, checking each screen once it was reached (with the step's index).
void walkSixScreens(AdApp& ad, const std::function<void(const Step&, std::size_t)>& check) {
    const auto steps = sixScreens();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::string screen = steps[i].screen;
        CAPTURE(screen);
        steps[i].go(ad);
        check(steps[i], i);
    }
}

}  // namespace

TEST_SUITE("ad banner road") {

TEST_CASE("with ads on, each of the six screens shows its banner at its size, loaded at its moment with its unit") {
    UnitsFile units;
    for (const std::string device : {"phone", "tablet"}) {
        CAPTURE(device);
        AdApp ad(options(units, device));
        const bool tablet = ad.tablet();
        const double listW = tablet ? 728 : 320, listH = tablet ? 90 : 50;
        const std::string listSize = tablet ? "728x90" : "320x50";
        const Colour band = tablet ? Colour{0xEF, 0x6C, 0x00} : Colour{0x00, 0x89, 0x7B};
        expectLaunch(ad.app(), ad.catalogue());
        walkSixScreens(ad, [&](const Step& step, std::size_t i) {
            Json area;
            if (!step.detail) {
                // The list screen's banner: the application's unit at the list size, its creative in place.
                REQUIRE_MESSAGE(ad.app().waitForTree([&](const Json& t) {
                    area = bannerArea(t);
                    return step.here(t) && bannerTitle(area) == "Quorvane banner " + listSize &&
                           asks(ad, kBannerUnit) >= kListAsks[i];
                }), "the screen's banner showing its creative");
                CHECK(sized(area, listW, listH));
                CHECK_MESSAGE(runMainUntil([&] { return showsColour(ad.app(), area, band); }, 20),
                              "the creative's colour band in the screen's banner area, clear of the tab bar");
                CHECK(asks(ad, kBannerUnit) == kListAsks[i]);
                return;
            }
            // The detail page's banner: the built-in unit through the waterfall, the HTML adapter's creative.
            REQUIRE_MESSAGE(runMainUntil([&] { return !ad.adRequests("/imp").empty(); }, 60),
                            "the mediated banner's impression");
            area = bannerArea(ad.app().tree());
            CHECK(sized(area, tablet ? 468 : 320, tablet ? 60 : 50));
            CHECK(asks(ad, kDetailBannerUnit) == 1);
            const Json imp = ad.adRequests("/imp").front()["query"];
            CHECK(imp.value("ad_loc", "") == kDetailBannerUnit);
            CHECK(imp.value("ad_network_id", "") == "tym");
            CHECK(imp.value("aec", "") == "4,0");
            CHECK_MESSAGE(runMainUntil([&] { return showsColour(ad.app(), area, {0x1f, 0x6f, 0xd1}); }, 20),
                          "the HTML adapter's blue block in the detail page's banner area, clear of the tab bar");
        });
        CHECK(asks(ad, kBannerUnit) == kListAsks.back());
        CHECK(ad.adRequests("/adnet/ping/impression", "unit=quorvane-banner-0001-" + listSize).size() == kListAsks.back());
        // A tap on the grid's (plain) creative is one click, opened outside the application: the banner keeps
        // its creative rather than loading the click, and the grid answers.
        closeDetail(ad.app(), tablet);
        Json grid;
        REQUIRE(ad.app().waitForTree([&](const Json& t) { return bannerTitle(grid = bannerArea(t)) == "Quorvane banner " + listSize; }));
        REQUIRE(ad.app().tap(testsupport::centreOf(grid)) == 200);
        CHECK_MESSAGE(runMainUntil([&] { return !ad.adRequests("/adnet/ping/click").empty(); }, 20), "the click ping");
        openFirstTitle(ad.app());
        CHECK(ad.adRequests("/adnet/ping/click", "unit=quorvane-banner-0001-" + listSize).size() == 1);
        CHECK(ad.adRequests("/adnet/ping/click").size() == 1);
        CHECK(ad.adRequests("/adnet/click").empty());
        CHECK(ad.app().stop() == 0);
    }
}


TEST_CASE("a tap on the grid's banner is one click, what it opens is on screen and closes, and the grid answers again") {
    UnitsFile units;
    for (const std::string device : {"phone", "tablet"}) {
        CAPTURE(device);
        AdApp ad(options(units, device, 1, kRichUnit));
        expectLaunch(ad.app(), ad.catalogue());
        Json area;
        REQUIRE_MESSAGE(ad.app().waitForTree([&](const Json& t) {
            return bannerTitle(area = bannerArea(t)) == "Quorvane rich banner";
        }), "the grid's rich-media banner");
        REQUIRE(ad.app().waitForTree([&](const Json& t) { return showsColour(ad.app(), bannerArea(t), {0x00, 0x89, 0x7B}); }));
        // A person taps once the ad has been seen a moment: the library takes no tap within 150 ms of the
        // ad's load for a click, and its impression ping follows that load.
        REQUIRE_MESSAGE(runMainUntil([&] { return !ad.adRequests("/adnet/ping/impression", "unit=rich").empty(); }, 20),
                        "the banner's impression");
        REQUIRE(pastMoment(ad.adRequests("/adnet/ping/impression", "unit=rich").front()["time"].get<long long>(), 300));
        REQUIRE(ad.app().tap(testsupport::centreOf(area)) == 200);
        REQUIRE_MESSAGE(ad.app().waitFor({{"label", "Done"}}), "the in-app browser");
        REQUIRE_MESSAGE(ad.app().waitForTree([](const Json& t) {
            return !findViews(t, [](const Json& v) { return v.value("title", "") == "Landing"; }).empty();
        }), "the landing page in the in-app browser");
        CHECK(ad.adRequests("/adnet/ping/click", "unit=rich").size() == 1);
        CHECK(ad.adRequests("/adnet/click", "ai=rich").size() == 1);
        REQUIRE(ad.app().tap({{"label", "Done"}}) == 200);
        REQUIRE_MESSAGE(ad.app().waitFor({{"label", "Done"}}, true), "the in-app browser to close");
        CHECK(bannerTitle(bannerArea(ad.app().tree())) == "Quorvane rich banner");
        openFirstTitle(ad.app());
        CHECK(ad.adRequests("/adnet/ping/click").size() == 1);
        CHECK(ad.app().stop() == 0);
    }
}

TEST_CASE("no banner and no banner request with ads off or with a banner unit under 11 UTF-16 units, banners with 11") {
    UnitsFile units;
    struct Case {
        const char* what;
        std::string device;
        int advType;
        std::string unit;
        bool banners;
    };
    const Case cases[] = {
        {"ads off", "phone", 0, kBannerUnit, false},
        {"ads off", "tablet", 0, kBannerUnit, false},
        {"a banner unit of 10 UTF-16 units (12 bytes)", "phone", 1, kTenUnits, false},
        {"a banner unit of 11 UTF-16 units", "phone", 1, kElevenUnits, true},
    };
    for (const Case& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        CAPTURE(c.device);
        AdApp ad(options(units, c.device, c.advType, c.unit));
        const bool on = c.advType > 0, tablet = ad.tablet();
        expectLaunch(ad.app(), ad.catalogue());
        walkSixScreens(ad, [&](const Step& step, std::size_t i) {
            // Ads off: 0 high and 320 wide; on: the screen's banner size, whether or not a banner loads into it.
            const double w = !on ? 320 : step.detail ? (tablet ? 468 : 320) : (tablet ? 728 : 320);
            const double h = !on ? 0 : step.detail ? (tablet ? 60 : 50) : (tablet ? 90 : 50);
            Json area;
            REQUIRE_MESSAGE(ad.app().waitForTree([&](const Json& t) {
                area = bannerArea(t);
                return step.here(t) && sized(area, w, h) &&
                       (!c.banners || step.detail || asks(ad, c.unit) >= kListAsks[i]);
            }), "the screen with its banner area");
            if (c.banners && !step.detail) {
                REQUIRE_MESSAGE(ad.app().waitForTree([&](const Json& t) {
                    return bannerTitle(area = bannerArea(t)) == "Quorvane banner 320x50";
                }), "the banner of the 11-unit name");
                CHECK(asks(ad, c.unit) == kListAsks[i]);
            } else if (!c.banners) {
                CHECK(bannerPage(area).is_null());
            }
        });
        if (c.banners) {
            REQUIRE_MESSAGE(runMainUntil([&] { return asks(ad, kDetailBannerUnit) == 1; }, 20),
                            "the detail page's built-in banner unit");
            CHECK(asks(ad, c.unit) == kListAsks.back());
            CHECK(ad.adRequests("/adnet/ad").size() >= kListAsks.back() + 1);
        } else {
            // The detail page has asked for whatever it asks for once its detail is in.
            std::size_t bannerAsks = 0;
            for (const Json& entry : ad.adRequests("/adnet/ad"))
                if (entry["query"].value("slotname", "") != "quorvane-interstitial-0001") ++bannerAsks;
            CHECK(bannerAsks == 0);
            if (!on) CHECK(ad.ads().log().empty());
        }
        CHECK(ad.app().stop() == 0);
    }
}

}  // TEST_SUITE
