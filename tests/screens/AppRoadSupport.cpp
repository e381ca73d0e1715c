// The real executable's roads: what they read off the device screen's tree and the steps they share.
#include "AppRoadSupport.h"

#include <doctest/doctest.h>

#include <algorithm>

namespace approad {

using testsupport::findView;
using testsupport::findViews;
using testsupport::runMainUntil;

bool hasClass(const Json& tree, const std::string& className) {
    return !findViews(tree, [&](const Json& v) { return v.value("class", "") == className; }).empty();
}

std::vector<Json> withId(const Json& tree, const std::string& id) {
    return findViews(tree, [&](const Json& v) { return v.value("id", "") == id; });
}

// The badge of a tab ("" without one).
std::string badge(const Json& tree, const std::string& tab) {
    auto button = findView(tree, "UITabBarButton", tab);
    return button ? button->value("detail", "") : std::string("(no such tab)");
}

// A point in the left or right half of a view's frame (the segments of a two-segment control).
Json half(const Json& view, bool right) {
    const auto& f = view["frame"];
    return {{"x", f[0].get<double>() + f[2].get<double>() * (right ? 0.75 : 0.25)},
            {"y", f[1].get<double>() + f[3].get<double>() / 2}};
}

// The rows of a table, by its id: their labels and details in order.
std::vector<Json> rowsOf(const Json& tree, const std::string& tableId) {
    auto tables = withId(tree, tableId);
    if (tables.empty()) return {};
    Json table{{"views", Json::array({tables.front()})}};
    return findViews(table, [](const Json& v) { return v.value("class", "") == "UITableViewCell"; });
}

// Launches and waits for the shell; the catalogue saw the configuration first, then page 1 of the movies.
void expectLaunch(const ApplicationProcess& app, const screentest::Catalogue& catalogue) {
    REQUIRE_MESSAGE(app.waitForTree([](const Json& t) { return hasClass(t, "UITabBar"); }), "the tab shell");
    REQUIRE_MESSAGE(runMainUntil([&] { return catalogue.requests("movies") > 0; }, 30), "the first page request");
    const Json log = catalogue.log();
    REQUIRE(log.size() >= 2);
    CHECK(log[0]["action"] == "getversion");
    CHECK(log[1]["action"] == "movies");
    CHECK(log[1]["parameters"]["page"] == "1");
}

// The poster cells of the grids on screen, top row first, each row from the left, and the title each shows.
std::vector<Json> posterCells(const Json& tree) {
    auto cells = findViews(tree, [](const Json& v) { return v.value("class", "") == "MovieCollectionCell"; });
    std::sort(cells.begin(), cells.end(), [](const Json& a, const Json& b) {
        const double ay = a["frame"][1].get<double>(), by = b["frame"][1].get<double>();
        return ay != by ? ay < by : a["frame"][0].get<double>() < b["frame"][0].get<double>();
    });
    return cells;
}

std::string cellTitle(const Json& cell) {
    auto labels = withId({{"views", Json::array({cell})}}, "movieTitle");
    return labels.empty() ? std::string() : labels.front().value("label", "");
}

// Taps the first title of the movie grid once its page is in and waits for the detail page; the title.
std::string openFirstTitle(const ApplicationProcess& app) {
    Json tree;
    REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) {
        return tree = t, !posterCells(t).empty() && !hasClass(t, "LOProgressHUD");
    }), "the movie grid's first page");
    const Json cell = posterCells(tree).front();
    REQUIRE(app.tap(testsupport::centreOf(cell)) == 200);
    REQUIRE_MESSAGE(app.waitForTree([](const Json& t) {
        return !withId(t, "functionSegment").empty() && !hasClass(t, "LOProgressHUD");
    }), "the detail page with its detail");
    return cellTitle(cell);
}

// Closes the detail page: Back on a phone, Cancel on the tablet's sheet.
void closeDetail(const ApplicationProcess& app, bool tablet) {
    const std::string button = tablet ? "cancelButton" : "backButton";
    REQUIRE(app.tap({{"id", button}}) == 200);
    REQUIRE(app.waitFor({{"id", "functionSegment"}}, true));
}


AdApp::AdApp(AdAppOptions options) : options_(std::move(options)) {
    std::vector<std::string> serverArguments{"--units", testtools::shippedAdUnits()};
    serverArguments.insert(serverArguments.end(), options_.adServerArguments.begin(), options_.adServerArguments.end());
    ads_ = std::make_unique<testtools::AdServerProcess>(serverArguments);
    REQUIRE_MESSAGE(ads_->started(), "the ad server");
    if (!options_.adServerMode.is_null()) REQUIRE(ads_->order("mode", options_.adServerMode) == 200);
    std::vector<std::string> catalogueArguments{"--adv-type", std::to_string(options_.advType), "--adv-count",
                                                std::to_string(options_.advCount), "--adv-id-banner",
                                                options_.bannerUnit, "--adv-id-inter", options_.interstitialUnit};
    catalogueArguments.insert(catalogueArguments.end(), options_.catalogueArguments.begin(),
                              options_.catalogueArguments.end());
    catalogue_ = std::make_unique<screentest::Catalogue>(catalogueArguments);
    ApplicationProcess::Options launch{QUORVANE_APP_EXECUTABLE, home_.path(), catalogue_->baseURL(), options_.device};
    launch.environment = ads_->applicationEnvironment();
    launch.errorFile = options_.logFile;
    app_ = std::make_unique<ApplicationProcess>(launch);
    REQUIRE_MESSAGE(app_->started(), "the application's device screen");
}

std::vector<Json> AdApp::adRequests(const std::string& path, const std::string& queryPart) const {
    std::vector<Json> found;
    for (const Json& entry : ads_->log())
        if (entry.value("path", "") == path &&
            (queryPart.empty() || entry.value("rawQuery", "").find(queryPart) != std::string::npos))
            found.push_back(entry);
    return found;
}

}  // namespace approad
