// Protects the interstitial's pacing through the real executable with "AdvCount" 3: of eight chapter
// choices on one detail page the 2nd, 5th and 8th bring a full-screen interstitial (over the tablet's form
// sheet too) whose close brings that chapter's stream dialog, the others the dialog at once; the impression
// is logged at presentation, the configured unit serves until the second release and the built-in unit
// after; and the detail banner's timed refreshes go on after each close.
#include <doctest/doctest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AppRoadSupport.h"
#include "support/AdServerProcess.h"
#include "support/FrameProbes.h"
#include "support/ApplicationProcess.h"
#include "support/TestEnvironment.h"

using Json = nlohmann::json;
using testsupport::ApplicationProcess;
using testsupport::findViews;
using testsupport::runMainUntil;
using namespace approad;

namespace {

constexpr const char* kAppInterstitial = "quorvane-interstitial-0001";
constexpr const char* kBuiltInInterstitial = "ca-app-pub-7305118264490321/5820463917";
constexpr const char* kDetailBanner = "ca-app-pub-7305118264490321/1093847562";

// What each released interstitial shows: its unit, its creative's colour and title, and its impression's tag.
struct Creative {
    const char* unit;
    unsigned colour;  // 0xRRGGBB
    std::string title;
    const char* impression;  // the `unit` of its impression ping
};
const Creative kConfigured{kAppInterstitial, 0x283593, "Quorvane interstitial", "quorvane-interstitial-0001"};
const Creative kBuiltIn{kBuiltInInterstitial, 0x4E342E, "Quorvane built-in interstitial", "built-in-interstitial"};

// The shipped units with the detail banner's waterfall refreshing every second.
Json unitsWithQuickDetailRefresh() {
    std::ifstream in(testtools::shippedAdUnits());
    Json table = Json::parse(in);
    table["units"][kDetailBanner]["json"]["settings"]["refresh"] = 1;
    return table;
}

std::size_t linesWith(const std::string& file, const std::string& text) {
    std::ifstream in(file);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos;
    return count;
}

// The ad requests of a unit among log entries (the whole log, or those from `from` on).
std::size_t adRequestsFor(const Json& log, const std::string& unit, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    std::size_t count = 0;
    for (std::size_t i = from; i < std::min<std::size_t>(to, log.size()); ++i)
        count += log[i].value("path", "") == "/adnet/ad" && log[i]["query"].value("slotname", "") == unit;
    return count;
}

std::size_t impressionsOf(AdApp& app, const std::string& tag) {
    return app.adRequests("/adnet/ping/impression", "unit=" + tag).size();
}

bool inside(const Json& frame, double x, double y, double margin) {
    return x >= frame[0].get<double>() - margin && y >= frame[1].get<double>() - margin &&
           x <= frame[0].get<double>() + frame[2].get<double>() + margin &&
           y <= frame[1].get<double>() + frame[3].get<double>() + margin;
}

// Whether a painted frame shows the colour at points all over the window, corners included, away
// from the creative's heading and button (its middle band) and from the close control.
bool coversWindow(const ApplicationProcess& app, unsigned colour, const Json& screen, const Json& close) {
    const double width = screen["width"].get<double>(), height = screen["height"].get<double>();
    const auto frame = testsupport::paintedFrame(app);
    if (!frame) return false;
    const testsupport::Colour expected{int((colour >> 16) & 0xFF), int((colour >> 8) & 0xFF), int(colour & 0xFF)};
    for (double fx : {0.0, 0.25, 0.5, 0.75, 1.0})
        for (double fy : {0.0, 0.1, 0.4, 0.7, 0.9, 1.0}) {
            const double x = std::clamp(fx * width, 1.0, width - 1), y = std::clamp(fy * height, 1.0, height - 1);
            if (inside(close["frame"], x, y, 4)) continue;
            const CGPixel p = testsupport::pixelAtPoint(frame->image, x, y);
            if (!testsupport::nearColour(p, expected, 3) || p.a != 255) return false;
        }
    return true;
}

// The stream dialog's own cancel control (the tablet's sheet has one too): the one on the Download row.
Json dialogCancel(const Json& tree) {
    const auto download = withId(tree, "downloadButton");
    REQUIRE(download.size() == 1);
    for (const Json& cancel : withId(tree, "cancelButton"))
        if (cancel["frame"][1] == download.front()["frame"][1]) return cancel;
    FAIL("the stream dialog has no cancel control");
    return {};
}

// The heading of the stream dialog on screen ("" without one).
std::string dialogTitle(const Json& tree) {
    const auto headings = withId(tree, "movieName");
    return headings.empty() ? std::string() : headings.front().value("label", "");
}

void expectDialogFor(const ApplicationProcess& app, const std::string& chapter) {
    Json tree;
    REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) {
        return tree = t, !withId(t, "downloadButton").empty() && !hasClass(t, "LOProgressHUD");
    }), "the stream dialog of " << chapter);
    CHECK(dialogTitle(tree) == chapter);
    CHECK(withId(tree, "adClose").empty());
    REQUIRE(app.tap(testsupport::centreOf(dialogCancel(tree))) == 200);
    REQUIRE_MESSAGE(app.waitForTree([](const Json& t) {
        return withId(t, "downloadButton").empty() && !hasClass(t, "LOProgressHUD");
    }), "the stream dialog to go");
}

// A released interstitial: full screen over the page in the tree and in the painted frame, its impression
// logged while it is up; its close control brings the chapter's dialog, and the detail banner refreshes on.
void expectInterstitial(AdApp& ads, const Creative& creative, std::size_t impressionsBefore, const std::string& chapter) {
    ApplicationProcess& app = ads.app();
    Json tree;
    const auto titled = [&](const Json& v) { return v.value("title", "") == creative.title; };
    // The page's title is the engine's word on its document, which may come after the close control shows.
    REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) {
        return tree = t, !withId(t, "adClose").empty() && !hasClass(t, "LOProgressHUD") && !findViews(t, titled).empty();
    }), "the interstitial " << creative.title);
    CHECK(withId(tree, "downloadButton").empty());
    const Json screen = tree["screen"];
    const auto pages = findViews(tree, titled);
    REQUIRE_MESSAGE(pages.size() == 1, "the web view titled " << creative.title);
    CHECK(pages.front()["frame"] == Json::array({0, 0, screen["width"], screen["height"]}));
    const Json close = withId(tree, "adClose").front();
    CHECK_MESSAGE(runMainUntil([&] { return coversWindow(app, creative.colour, screen, close); }, 30),
                  "the painted frame all " << creative.title << "'s colour");
    CHECK_MESSAGE(runMainUntil([&] { return impressionsOf(ads, creative.impression) == impressionsBefore + 1; }, 30),
                  "the impression of " << creative.title << " while it is up");

    const std::size_t refreshesBefore = adRequestsFor(ads.ads().log(), kDetailBanner);
    REQUIRE(app.tap(testsupport::centreOf(close)) == 200);
    expectDialogFor(app, chapter);
    CHECK_MESSAGE(runMainUntil([&] { return adRequestsFor(ads.ads().log(), kDetailBanner) >= refreshesBefore + 2; }, 30),
                  "the detail banner's refreshes after the close");
}

}  // namespace

TEST_SUITE("ad pacing road") {

TEST_CASE("\"AdvCount\" 3: of eight chapter choices the 2nd, 5th and 8th pass through an interstitial to their own dialog") {
    for (const char* device : {"phone", "tablet"}) {
        const std::string deviceName = device;
        CAPTURE(deviceName);
        testsupport::TempHome scratch;
        const std::string logFile = scratch.path() + "/application.log";
        AdApp ads({.device = device, .advCount = 3, .logFile = logFile});
        REQUIRE(ads.ads().order("units", unitsWithQuickDetailRefresh()) == 200);
        ApplicationProcess& app = ads.app();
        expectLaunch(app, ads.catalogue());

        // A TV show: two episodes to choose in turn.
        REQUIRE(app.tap({{"label", "TV Shows"}}) == 200);
        openFirstTitle(app);
        REQUIRE(app.tap(half(withId(app.tree(), "functionSegment").front(), true)) == 200);  // "Chapters"
        std::vector<Json> rows;
        REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) { return (rows = rowsOf(t, "chaptersTable")).size() >= 2; }),
                        "the episodes");
        const std::vector<Json> episodes(rows.begin(), rows.begin() + 2);
        REQUIRE(episodes[0].value("label", "") != episodes[1].value("label", ""));

        std::size_t released = 0, secondRelease = 0;
        for (int choice = 1; choice <= 8; ++choice) {
            CAPTURE(choice);
            const Json& row = episodes[(choice - 1) % 2];
            const bool release = choice == 2 || choice == 5 || choice == 8;
            const Creative& creative = released < 2 ? kConfigured : kBuiltIn;
            const std::size_t impressions = impressionsOf(ads, creative.impression);
            if (release)  // the interstitial to release has come in
                REQUIRE_MESSAGE(runMainUntil([&] { return linesWith(logFile, "receive interstitial") > released; }, 30),
                                "interstitial " << released + 1 << " received");
            REQUIRE(app.tap(testsupport::centreOf(row)) == 200);
            if (!release) {
                expectDialogFor(app, row.value("label", ""));
                continue;
            }
            if (++released == 2) secondRelease = ads.ads().log().size();
            expectInterstitial(ads, creative, impressions, row.value("label", ""));
        }
        CHECK(released == 3);
        CHECK(linesWith(logFile, "failed to receive interstitial") == 0);
        // Three presentations in all: none at the other five choices.
        CHECK(impressionsOf(ads, kConfigured.impression) == 2);
        CHECK(impressionsOf(ads, kBuiltIn.impression) == 1);
        // The configured unit until the second release, the built-in one from then on (a fresh one after each close).
        const Json log = ads.ads().log();
        CHECK(adRequestsFor(log, kAppInterstitial, 0, secondRelease) == 2);
        CHECK(adRequestsFor(log, kAppInterstitial, secondRelease) == 0);
        CHECK(adRequestsFor(log, kBuiltInInterstitial, 0, secondRelease) == 0);
        CHECK(adRequestsFor(log, kBuiltInInterstitial, secondRelease) == 2);
        CHECK(app.stop() == 0);
    }
}

}  // TEST_SUITE
