// Protects the detail page on the road a person takes: opened from a grid (pushed on a phone,
// a form sheet on a tablet) it shows the catalogue's title and poster; a chapter opens the stream
// dialog; Play presents the player with the real media URL and Done closes it; Download queues the
// chapter with the unescaped link and counts it on the downloads tab.
#include <doctest/doctest.h>

#include <string>

#include "DetailTestApp.h"
#include "core/DownloadManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UITabBarItem.h"
#include "ui/progresshud/LOProgressHUD.h"

using namespace screentest;

namespace {

// Counts a notification while alive.
struct NotificationCount {
    std::shared_ptr<NSObject> registration;
    int count = 0;
    explicit NotificationCount(const std::string& name) {
        registration = NSNotificationCenter::defaultCenter()->addObserverForName(
            name, nullptr, nullptr, [this](const NSNotification&) { ++count; });
    }
    ~NotificationCount() { NSNotificationCenter::defaultCenter()->removeObserver(registration.get()); }
};

std::string text(const std::weak_ptr<UILabel>& label) {
    auto l = label.lock();
    REQUIRE(l);
    return l->text();
}

}  // namespace

TEST_CASE("a title's page shows the catalogue's detail and poster, plays a stream and downloads a chapter") {
    for (const bool tablet : {false, true}) {
        CAPTURE(tablet);
        Stage stage(tablet);
        auto movie = stage.firstMovie();
        const Value detail = stage.fetchDetail(movie->movieID());
        auto page = stage.open(movie);
        const auto& out = page->outlets();

        // The server's values.
        REQUIRE(page->detailMovie());
        CHECK(text(out.titleMovieLabel) == detail["title"].stringValue());
        CHECK(out.detailDescription.lock()->text() == detail["desc"].stringValue());
        CHECK(text(out.genreMovieLabel) == detail["genre"].stringValue());
        CHECK(text(out.stateMovieLabel) == detail["state"].stringValue());
        CHECK(text(out.startYearMovie) == std::to_string(detail["startyear"].intValue()));
        CHECK(text(out.ratingMovieLabel) == format("%0.1f", detail["rating"].floatValue()));
        CHECK(out.backButton.lock()->isHidden() == tablet);
        CHECK(out.cancelButton.lock()->isHidden() == !tablet);
        CHECK_FALSE(out.movieFavoritiesButton.lock()->isSelected());
        auto poster = out.thumnailMovie.lock();
        waitFor([&] { return poster->image() && poster->image()->size().width == 240; }, "the poster from the server");
        auto table = out.chaptersTable.lock();
        REQUIRE(table->numberOfRowsInSection(0) == static_cast<long>(detail["chapters"].count()));

        // A chapter's streams in the dialog, the first one checked.
        const Value chapter = detail["chapters"][0];
        const Value streams = stage.fetchStreams(chapter["id"].intValue());
        REQUIRE(streams.count() > 0);
        stage.chooseChapter(page, 0);
        auto picker = stage.waitForDialog(page);
        CHECK(page->chapterCurrent() == chapter);
        CHECK(picker->movieName()->text() == chapter["title"].stringValue());
        CHECK(checkedRows(*picker->movieTable()) == std::vector<long>{0});
        CHECK(picker->view()->frame().size == CGSizeMake(276, 220));
        CHECK(page->popoverController()->popoverContentSize() == CGSizeMake(276, 220));
        CHECK_FALSE(page->popoverController()->wantsDefaultContentAppearance());

        // Play: the player over the top-most controller, with the stream's real URL.
        const std::string mediaURL = *stringByReplacingPercentEscapes(streams[0]["link"].stringValue());
        CHECK(mediaURL.rfind(stage.catalogue.server().origin() + "/media/", 0) == 0);
        stage.finger.tapId("playButton");
        waitFor([&] { return std::dynamic_pointer_cast<MPMoviePlayerViewController>(page->presentedViewController()) != nullptr; },
                "the player");
        auto player = std::dynamic_pointer_cast<MPMoviePlayerViewController>(page->presentedViewController());
        CHECK(player->moviePlayer()->contentURL() == mediaURL);
        waitFor([&] { return !page->popoverController()->isPopoverVisible(); }, "the dialog to close");
        settle();
        NotificationCount refreshes("kRefreshMovieViewNotification");
        stage.finger.tapId("doneButton");
        waitFor([&] { return !page->presentedViewController(); }, "the player to close");
        CHECK(refreshes.count == 1);
        settle();

        // Download: a record with the unescaped link, counted on the downloads tab when it starts.
        std::optional<std::string> badgeAtStart;
        std::string linkAtStart;
        auto started = NSNotificationCenter::defaultCenter()->addObserverForName(
            kStartDownloadMovieNotification, nullptr, nullptr, [&](const NSNotification& n) {
                badgeAtStart = stage.shell.downloadsItem()->badgeValue();
                auto download = std::dynamic_pointer_cast<FDFileDownloader>(n.object());
                auto record = DownloadManager::downloadManager()->getMoviesModelByLink(*getDownloadURL(download));
                if (record) linkAtStart = record->linkUrl();
            });
        stage.chooseChapter(page, 0);
        stage.waitForDialog(page);
        stage.finger.tapId("downloadButton");
        waitFor([&] { return !linkAtStart.empty(); }, "the download to start");
        NSNotificationCenter::defaultCenter()->removeObserver(started.get());
        stage.waitForOverlayGone(page, "the download's start");
        CHECK(linkAtStart == mediaURL);
        CHECK(badgeAtStart == std::optional<std::string>("1"));
        auto rows = storedRows("MoviesDownloadModel");
        REQUIRE(rows.size() == 1);
        CHECK(rows[0]->valueForKey("linkUrl").stringValue() == mediaURL);
        CHECK(rows[0]->valueForKey("title").stringValue() == chapter["title"].stringValue());
        CHECK(UIAlertView::visibleAlerts().empty());
    }
}
