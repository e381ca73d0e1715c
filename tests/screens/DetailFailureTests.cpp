// Protects the detail page when the catalogue lets it down (through the catalogue server's control
// endpoint): failed or empty replies leave the page quiet, a stream link that does not unescape or a
// chapter the download manager refuses is refused with an alert and leaves nothing behind, and replies
// or delayed blocks that arrive after the page left the screen open nothing.
#include <doctest/doctest.h>

#include <nlohmann/json.hpp>

#include "DetailTestApp.h"
#include "core/DownloadManager.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIWindow.h"
#include "ui/progresshud/LOProgressHUD.h"

using namespace screentest;
using nlohmann::json;

namespace {

json streamReply(const json& link) { return json::array({{{"name", "Broken"}, {"link", link}}}); }

}  // namespace

TEST_CASE("failed and empty catalogue replies leave the page quiet: no message, no dialog, no retry") {
    Stage stage(false);
    auto movie = stage.firstMovie();
    struct Case {
        const char* name;
        const char* action;  // the reply ordered
        json order;          // the control order's body, without "action" and "count"
        const char* kind;    // "fault" or "data"
    };
    const Case cases[] = {
        {"a failed detail request", "detail", {{"fault", "http500"}}, "fault"},
        {"a failed stream request", "stream", {{"fault", "http500"}}, "fault"},
        {"an empty stream list", "stream", {{"data", json::array()}}, "data"},
        {"a stream reply that is not a list", "stream", {{"data", {{"name", "720p"}, {"link", "http://x/a.mp4"}}}}, "data"},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        json order = c.order;
        order["action"] = c.action;
        order["count"] = 1;
        REQUIRE(stage.catalogue.order(c.kind, order) == 200);
        const std::size_t detailsBefore = stage.catalogue.requests("detail");
        auto page = stage.open(movie);
        const auto& out = page->outlets();
        CHECK(out.titleMovieLabel.lock()->text() == movie->title());
        CHECK(out.thumnailMovie.lock()->image());  // the placeholder at least
        if (std::string(c.action) == "detail") {
            CHECK_FALSE(page->detailMovie());
            CHECK(out.chaptersTable.lock()->numberOfRowsInSection(0) == 0);
            CHECK(out.ratingMovieLabel.lock()->text().empty());
        } else {
            stage.chooseChapter(page, 0);
            settle();
            CHECK_FALSE(page->popoverController());
            CHECK_FALSE(dialogInWindow(*stage.shell.window));
        }
        CHECK(UIAlertView::visibleAlerts().empty());
        CHECK(stage.catalogue.requests("detail") == detailsBefore + 1);  // never retried
        stage.close();
    }
}

TEST_CASE("a stream link that does not unescape, or a chapter the download manager refuses, is refused with an alert and leaves nothing behind") {
    for (const bool tablet : {false, true}) {
        CAPTURE(tablet);
        Stage stage(tablet);
        auto movie = stage.firstMovie();
        std::shared_ptr<DetailMoviesViewController> page = stage.open(movie);
        struct Case {
            const char* name;
            json link;
            const char* button;
            const char* message;
        };
        const Case cases[] = {
            {"a malformed escape, played", "http%3A%2F%2Fhost%2Fa%ZZ.mp4", "playButton", DetailMoviesViewController::kBadStreamLink},
            {"a malformed escape, downloaded", "http%3A%2F%2Fhost%2Fa%2.mp4", "downloadButton", DetailMoviesViewController::kBadStreamLink},
            {"bytes that are not UTF-8, played", "http%3A%2F%2Fhost%2F%FF%FE.mp4", "playButton", DetailMoviesViewController::kBadStreamLink},
            {"bytes that are not UTF-8, downloaded", "http%3A%2F%2Fhost%2F%C3.mp4", "downloadButton", DetailMoviesViewController::kBadStreamLink},
            {"a link that is no URL, played", "http%3A%2F%2Fbad host%2Fa.mp4", "playButton", DetailMoviesViewController::kBadStreamLink},
            {"a link without a host, downloaded", 42, "downloadButton", DetailMoviesViewController::kBadStreamLink},
            {"a chapter without a title, downloaded", "http%3A%2F%2Fhost%2Fa.mp4", "downloadButton", DetailMoviesViewController::kDownloadRefused},
        };
        for (const auto& c : cases) {
            const std::string name = c.name;
            CAPTURE(name);
            if (c.message == DetailMoviesViewController::kDownloadRefused) {
                // The download manager takes no chapter without a title.
                json detail = json::parse(*stage.fetchDetail(movie->movieID()).toJSON());
                detail["chapters"] = json::array({{{"id", detail["chapters"][0]["id"]}}});
                REQUIRE(stage.catalogue.order("data", {{"action", "detail"}, {"count", 1}, {"data", detail}}) == 200);
                stage.close();
                page = stage.open(movie);
            }
            REQUIRE(stage.catalogue.order("data", {{"action", "stream"}, {"count", 1}, {"data", streamReply(c.link)}}) == 200);
            stage.chooseChapter(page, 0);
            stage.waitForDialog(page);
            stage.finger.tapId(c.button);
            settle();
            auto alerts = UIAlertView::visibleAlerts();
            REQUIRE(alerts.size() == 1);
            CHECK(alerts[0]->title() == "Alert");
            CHECK(alerts[0]->message() == c.message);
            REQUIRE(alerts[0]->numberOfButtons() == 1);
            CHECK(alerts[0]->buttonTitleAtIndex(0) == "OK");
            CHECK_FALSE(page->presentedViewController());                  // no player
            CHECK(DownloadManager::downloadManager()->getListDownloading().empty());
            CHECK(storedRows("MoviesDownloadModel").empty());              // no record
            CHECK_FALSE(LOProgressHUD::HUDForView(page->view()));           // no overlay left up
            CHECK_FALSE(page->popoverController()->isPopoverVisible());
            stage.finger.tapAlertButton("OK");
            CHECK(UIAlertView::visibleAlerts().empty());
        }
    }
}

TEST_CASE("a stream reply that arrives after the page left the screen only takes the page's overlay down") {
    Stage stage(false);
    auto movie = stage.firstMovie();
    auto page = stage.open(movie);
    REQUIRE(stage.catalogue.order("delay", {{"action", "stream"}, {"count", 1}, {"ms", 1500}}) == 200);
    auto table = page->outlets().chaptersTable.lock();
    stage.finger.tapRow(*table, 0);
    CHECK(LOProgressHUD::HUDForView(page->view()));
    stage.shell.tabBar->setSelectedIndex(1);  // the user goes to another tab meanwhile
    settle();
    CHECK_FALSE(page->view()->window());
    stage.waitForOverlayGone(page, "the delayed stream reply");
    settle();
    CHECK_FALSE(dialogInWindow(*stage.shell.window));
    CHECK_FALSE(page->popoverController());
    stage.shell.tabBar->setSelectedIndex(0);
    settle();
    CHECK(page->isViewVisible());
    CHECK_FALSE(dialogInWindow(*stage.shell.window));
    CHECK(UIAlertView::visibleAlerts().empty());
}

TEST_CASE("catalogue callbacks hold the page weakly, and a closing interstitial that held no reply opens nothing") {
    for (const bool tablet : {false, true}) {
        CAPTURE(tablet);
        Stage stage(tablet);
        auto movie = stage.firstMovie();
        // A request held back by the server: the page goes away before its reply.
        std::weak_ptr<DetailMoviesViewController> weak;
        {
            auto page = stage.open(movie);
            weak = page;
            REQUIRE(stage.catalogue.order("delay", {{"action", "stream"}, {"count", 1}, {"ms", 20000}}) == 200);
            stage.finger.tapRow(*page->outlets().chaptersTable.lock(), 0);
            waitFor([&] { return stage.catalogue.requests("stream") == 1; }, "the stream request to reach the server");
            stage.close();
        }
        settle();
        CHECK(weak.expired());

        // A closing interstitial whose stream reply was answered already (its
        // dialog shown) tells the grids to refresh and opens nothing more.
        auto page = stage.open(movie);
        stage.chooseChapter(page, 0);
        stage.waitForDialog(page);
        stage.finger.tapId("cancelButton", tablet ? std::optional<std::size_t>(1) : std::nullopt);
        settle();
        REQUIRE_FALSE(page->popoverController()->isPopoverVisible());
        int refreshes = 0;
        auto observer = NSNotificationCenter::defaultCenter()->addObserverForName(
            "kRefreshMovieViewNotification", nullptr, nullptr, [&](const NSNotification&) { ++refreshes; });
        auto unrelated = AKInterstitial::make();
        page->interstitialWillDismissScreen(*unrelated);
        CHECK(refreshes == 1);
        bool later = false;
        dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(0.8 * NSEC_PER_SEC)),
                       dispatch_get_main_queue(), [&] { later = true; });
        waitFor([&] { return later; }, "the time of a delayed dialog to pass");
        settle();
        CHECK_FALSE(page->popoverController()->isPopoverVisible());
        CHECK_FALSE(dialogInWindow(*stage.shell.window));
        NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
    }
}
