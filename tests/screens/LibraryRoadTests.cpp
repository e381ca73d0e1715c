// The main road end to end, through the JSON interface of the real executable's device screen against the
// catalogue server: a chapter downloaded from its detail page and watched on the downloads tab, played from
// its own file once the server is gone; and a favourite made, kept over a restart and removed again.
#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AppRoadSupport.h"
#include "DetailTestApp.h"
#include "networking/DownloadFixtures.h"
#include "support/ApplicationProcess.h"
#include "support/HttpFetch.h"
#include "support/TestEnvironment.h"

using Json = nlohmann::json;
using testsupport::ApplicationProcess;
using testsupport::findView;
using testsupport::findViews;
using testsupport::runMainUntil;
using namespace approad;


TEST_SUITE("library road") {

TEST_CASE("the main road: a chapter downloaded from its detail page, watched as it grows, played offline from its file") {
    for (const char* device : {"phone", "tablet"}) {
        CAPTURE(device);
        const bool tablet = std::string(device) == "tablet";
        testsupport::TempHome home;
        screentest::Catalogue catalogue;
        // Small files at a pace slow enough for the running row to be seen.
        REQUIRE(catalogue.order("media-rate", {{"file", "*"}, {"bytesPerSecond", 40000}}) == 200);
        ApplicationProcess app({QUORVANE_APP_EXECUTABLE, home.path(), catalogue.baseURL(), device});
        REQUIRE_MESSAGE(app.started(), "the application's device screen");
        expectLaunch(app, catalogue);

        openFirstTitle(app);
        Json tree = app.tree();
        REQUIRE(app.tap(half(withId(tree, "functionSegment").front(), true)) == 200);  // "Chapters"
        Json chapter;
        REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) {
            auto rows = rowsOf(t, "chaptersTable");
            return !rows.empty() && (chapter = rows.front(), true);
        }), "the chapters");
        const std::string chapterTitle = chapter.value("label", "");
        REQUIRE(app.tap(testsupport::centreOf(chapter)) == 200);
        REQUIRE_MESSAGE(app.waitFor({{"id", "downloadButton"}}), "the stream dialog");
        REQUIRE(app.tap({{"id", "downloadButton"}}) == 200);
        REQUIRE_MESSAGE(app.waitForTree([](const Json& t) { return badge(t, "Downloads") == "1"; }), "the badge 1");
        REQUIRE_MESSAGE(app.waitForTree([](const Json& t) { return !hasClass(t, "LOProgressHUD"); }),
                        "the overlay to go");
        closeDetail(app, tablet);

        // The running row grows.
        REQUIRE(app.tap({{"label", "Downloads"}}) == 200);
        REQUIRE(app.waitFor({{"id", "actionSegment"}}));
        REQUIRE(app.tap(half(withId(app.tree(), "actionSegment").front(), true)) == 200);
        const std::regex line("([0-9]+)% \u2022 (-?[0-9]+)s left \u2022 State: Downloading");
        int first = -1, later = -1;
        REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) {
            auto rows = rowsOf(t, "downloadingTable");
            std::smatch m;
            const std::string detail = rows.empty() ? "" : rows.front().value("detail", "");
            if (rows.empty() || rows.front().value("label", "") != chapterTitle || !std::regex_match(detail, m, line))
                return false;
            const int percent = std::stoi(m[1]);
            if (first < 0 && percent > 0) first = percent;
            later = percent;
            return first >= 0 && later > first;
        }), "the running row to show its percentage growing");

        // On finish the badge clears and the finished list holds the chapter.
        REQUIRE_MESSAGE(app.waitForTree([](const Json& t) { return badge(t, "Downloads").empty(); }, 60),
                        "the download to finish");
        REQUIRE(app.tap(half(withId(app.tree(), "actionSegment").front(), false)) == 200);
        Json row;
        REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) {
            auto rows = rowsOf(t, "downloadTable");
            return !rows.empty() && (row = rows.front(), rows.front().value("label", "") == chapterTitle);
        }), "the finished row");

        // Offline: the file is the server's bytes, and it plays from disk.
        const Json media = catalogue.mediaLog();
        REQUIRE_FALSE(media.empty());
        // The test's own copy of the file need not come at the application's pace.
        REQUIRE(catalogue.order("media-rate", {{"file", "*"}, {"bytesPerSecond", 0}}) == 200);
        const std::string served = testtools::httpGet(catalogue.server().origin() + "/media/" +
                                                      media.back()["file"].get<std::string>()).body;
        const std::string file = home.path() + "/Documents/" + chapterTitle + ".mp4";
        CHECK(downloadtests::sha256OfFile(file) == downloadtests::sha256(served));
        CHECK(catalogue.server().stop() == 0);
        REQUIRE(app.tap(testsupport::centreOf(row)) == 200);
        REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) { return findView(t, "UILabel", "Playing").has_value(); }),
                        "the player to play the downloaded file");
        CHECK(findView(app.tree(), "UILabel", chapterTitle + ".mp4"));
        REQUIRE(app.tap({{"label", "Done"}, {"index", 0}}) == 200);
        REQUIRE(app.waitFor({{"label", "Playing"}}, true));
        CHECK(app.stop() == 0);
    }
}

TEST_CASE("a favourite made on the detail page heads the favourites tab, survives a restart and goes with its removal") {
    testsupport::TempHome home;
    screentest::Catalogue catalogue;
    std::string title;
    {
        ApplicationProcess app({QUORVANE_APP_EXECUTABLE, home.path(), catalogue.baseURL(), "phone"});
        REQUIRE(app.started());
        expectLaunch(app, catalogue);
        title = openFirstTitle(app);
        REQUIRE(app.tap({{"id", "movieFavoritiesButton"}}) == 200);
        REQUIRE(app.waitForTree([](const Json& t) {
            auto button = withId(t, "movieFavoritiesButton");
            return !button.empty() && button.front().value("selected", false);
        }));
        closeDetail(app, false);
        REQUIRE(app.tap({{"label", "Favorites"}}) == 200);
        REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) {
            auto cells = posterCells(t);
            return !cells.empty() && cellTitle(cells.front()) == title;
        }), "the favourite first on its tab");
        CHECK(app.stop() == 0);
    }
    ApplicationProcess again({QUORVANE_APP_EXECUTABLE, home.path(), catalogue.baseURL(), "phone"});
    REQUIRE(again.started());
    REQUIRE(again.waitForTree([](const Json& t) { return hasClass(t, "UITabBar"); }));
    REQUIRE(again.tap({{"label", "Favorites"}}) == 200);
    Json cell;
    REQUIRE_MESSAGE(again.waitForTree([&](const Json& t) {
        auto cells = posterCells(t);
        return !cells.empty() && (cell = cells.front(), cellTitle(cells.front()) == title);
    }), "the favourite after the restart");
    REQUIRE(again.tap(testsupport::centreOf(cell)) == 200);
    REQUIRE_MESSAGE(again.waitForTree([](const Json& t) {
        auto button = withId(t, "movieFavoritiesButton");
        return !button.empty() && button.front().value("selected", false) && !hasClass(t, "LOProgressHUD");
    }), "the detail page with the favourite button on");
    REQUIRE(again.tap({{"id", "movieFavoritiesButton"}}) == 200);
    REQUIRE(again.waitForTree([](const Json& t) {
        auto button = withId(t, "movieFavoritiesButton");
        return !button.empty() && !button.front().value("selected", true);
    }));
    closeDetail(again, false);
    REQUIRE_MESSAGE(again.waitForTree([](const Json& t) {
        return posterCells(t).empty() && !withId(t, "collectionView").empty();
    }), "the favourites tab empty");
    CHECK(again.stop() == 0);
}

}  // TEST_SUITE
