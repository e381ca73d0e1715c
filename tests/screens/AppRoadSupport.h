#pragma once
// The real executable's roads through its device screen: what the tests read off its
// tree (views by class or id, table rows, poster cells, tab badges), the steps every road
// takes (launch, open the first title, close the detail page), and the application
// started with ads on against the local ad server beside the catalogue backend, as
// `make run` starts it.
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DetailTestApp.h"
#include "support/AdServerProcess.h"
#include "support/ApplicationProcess.h"
#include "support/TestEnvironment.h"

namespace approad {

using Json = nlohmann::json;
using testsupport::ApplicationProcess;

bool hasClass(const Json& tree, const std::string& className);
std::vector<Json> withId(const Json& tree, const std::string& id);
// The badge of a tab ("" without one).
std::string badge(const Json& tree, const std::string& tab);
// A point in the left or right half of a view's frame (the segments of a two-segment control).
Json half(const Json& view, bool right);
// The rows of a table, by its id: their labels and details in order.
std::vector<Json> rowsOf(const Json& tree, const std::string& tableId);
// Launches and waits for the shell; the catalogue saw the configuration first, then page 1 of the movies.
void expectLaunch(const ApplicationProcess& app, const screentest::Catalogue& catalogue);
// The poster cells of the grids on screen, top row first, each row from the left.
std::vector<Json> posterCells(const Json& tree);
// The title a poster cell shows.
std::string cellTitle(const Json& cell);
// Taps the first title of the movie grid once its page is in and waits for the detail page; the title.
std::string openFirstTitle(const ApplicationProcess& app);
// Closes the detail page: Back on a phone, Cancel on the tablet's sheet.
void closeDetail(const ApplicationProcess& app, bool tablet);

// The application with ads: the ad server (the shipped units, its control endpoint on),
// the catalogue backend with the ad configuration given, and the executable pointed at both.
struct AdAppOptions {
    std::string device = "phone";
    int advType = 1;
    int advCount = 3;
    std::string bannerUnit = "quorvane-banner-0001";
    std::string interstitialUnit = "quorvane-interstitial-0001";
    std::vector<std::string> adServerArguments = {};  // beyond --units
    std::vector<std::string> catalogueArguments = {};  // beyond the --adv-* ones
    std::string logFile = {};  // when set, the application's log lines (its standard error) go there
    Json adServerMode = nullptr;  // when set, the ad server's whole mode before the application starts
};

class AdApp {
public:
    explicit AdApp(AdAppOptions options = {});
    testtools::AdServerProcess& ads() { return *ads_; }
    screentest::Catalogue& catalogue() { return *catalogue_; }
    ApplicationProcess& app() { return *app_; }
    const std::string& home() const { return home_.path(); }
    bool tablet() const { return options_.device == "tablet"; }
    // The ad server's logged requests whose path is `path` (and whose raw query holds `queryPart`, when given).
    std::vector<Json> adRequests(const std::string& path, const std::string& queryPart = "") const;

private:
    AdAppOptions options_;
    testsupport::TempHome home_;
    std::unique_ptr<testtools::AdServerProcess> ads_;
    std::unique_ptr<screentest::Catalogue> catalogue_;
    std::unique_ptr<ApplicationProcess> app_;
};

}  // namespace approad
