// A stream from the catalogue server downloaded as the detail page hands it over, dropped part way by the
// server's control endpoint: the downloads screen shows it stopped, offers Resume, and the resumed file holds
// the server's bytes.
#include <doctest/doctest.h>

#include <fstream>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "LibraryTestApp.h"
#include "core/NLRestClient.h"
#include "networking/DownloadFixtures.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIActionSheet.h"
#include "screens/DownloadViewController.h"
#include "support/CatalogueServerProcess.h"
#include "support/HttpFetch.h"

using librarytests::LibraryApp;
using testsupport::runMainUntil;
using Json = nlohmann::json;

namespace {

// The first stream of the first popular movie's first chapter, asked through the application's own client.
struct FirstStream {
    std::string title;  // the chapter's
    std::string link;   // as the catalogue sends it (escaped)
};

FirstStream firstStream(const std::string& origin) {
    auto client = NLRestClient::sharedClient();
    client->setBaseURL(origin);
    Value data;
    bool failed = false;
    const auto fetch = [&](const std::function<void(NLRestClient::Success, NLRestClient::Failure)>& call) {
        data = Value();
        bool done = false;
        call([&](const Value& d) { data = d, done = true; }, [&](const NSErrorPtr& e) { FAIL_CHECK(e->description()); failed = done = true; });
        REQUIRE_MESSAGE(runMainUntil([&] { return done; }, 30), "the catalogue's answer");
        REQUIRE_FALSE(failed);
    };
    fetch([&](auto ok, auto fail) { client->getListMoviesWithType("popular", 0, 1, ok, fail); });
    const auto id = static_cast<std::int32_t>(data["films"][0]["id"].intValue());
    fetch([&](auto ok, auto fail) { client->getDetailMovies(id, ok, fail); });
    const Value chapter = data["chapters"][0];
    fetch([&](auto ok, auto fail) {
        client->getListStreamOfChapter(static_cast<std::int32_t>(chapter["id"].intValue()), ok, fail);
    });
    return {chapter["title"].stringValue(), data[0]["link"].stringValue()};
}

}  // namespace

TEST_SUITE("downloads screen") {

TEST_CASE("a stream dropped part way shows Pause, offers Resume, and resumes to the server's bytes") {
    LibraryApp app;
    const std::string controlFile = app.home.path() + "/control-port";
    testtools::CatalogueServerProcess server({"--media-size", "600000", "--control-port-file", controlFile});
    REQUIRE(server.started());
    std::ifstream portIn(controlFile);
    int controlPort = 0;
    portIn >> controlPort;
    REQUIRE(controlPort > 0);
    const std::string control = "http://127.0.0.1:" + std::to_string(controlPort) + "/control";

    const FirstStream stream = firstStream(server.origin() + "/admin/index.php/apiios_final");
    const std::string url = stringByReplacingPercentEscapes(stream.link).value_or("");
    const std::string file = url.substr(url.rfind('/') + 1);
    REQUIRE(testtools::httpPostJson(control + "/media-drop", Json{{"file", file}, {"at", 250000}}.dump()).status == 200);

    app.showTab(librarytests::kDownloadsTab);
    auto screen = app.downloads();
    auto segment = screen->actionSegment.lock();
    segment->setSelectedSegmentIndex(1);
    screen->changeValue(*segment);
    auto download = app.manager()->startDownloadMovies(librarytests::chapter(url, stream.title));
    REQUIRE(download);
    CHECK(app.downloadsBadge() == std::optional<std::string>("1"));
    app.layout();
    auto running = screen->downloadingTable.lock();
    REQUIRE(running->visibleCells().size() == 1);
    auto row = running->visibleCells().front();
    REQUIRE_MESSAGE(runMainUntil([&] { return row->detailTextLabel()->text().find("Pause") != std::string::npos; }, 30),
                    "the row to show the dropped download stopped");
    CHECK(download->state() == FDFileDownloaderStateFailed);
    CHECK(row->textLabel()->text() == stream.title);
    const std::string served = testtools::httpGet(url).body;
    REQUIRE(served.size() > 250000);
    const std::string percent = std::to_string(250000 * 100 / served.size());
    CAPTURE(row->detailTextLabel()->text());
    CHECK(std::regex_match(row->detailTextLabel()->text(),
                           std::regex(percent + "% \u2022 -?[0-9]+s left \u2022 State: Pause")));

    CHECK(app.tap(LibraryApp::centreOf(*row)));
    REQUIRE(screen->dialog());
    CHECK(screen->dialog()->buttonTitleAtIndex(1) == "Resume");
    CHECK(UIActionSheet::pressButton("Resume"));
    REQUIRE_MESSAGE(runMainUntil([&] { return app.manager()->getListDownloading().empty(); }, 30),
                    "the resumed download to finish");
    CHECK_FALSE(app.downloadsBadge());
    REQUIRE(screen->moviesDownload().size() == 1);
    const std::string local = screen->moviesDownload().front()->linkLocal();
    CHECK(local == app.documents() + "/" + FDFileDownloader::safeFileName(stream.title) + ".mp4");
    CHECK(downloadtests::sha256OfFile(local) == downloadtests::sha256(served));

    const Json log = Json::parse(testtools::httpGet(control + "/media-log").body)["requests"];
    REQUIRE(log.size() == 3);  // the dropped one, the test's own, the resumed one
    CHECK(log[0]["range"].is_null());
    CHECK(log[2]["range"] == "bytes=250000-");
}

}  // TEST_SUITE
