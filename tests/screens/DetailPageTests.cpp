// Protects the detail page's own rules: chapter rows and their heights, the panes switch, the
// download overlay and its notifications, a new chapter replacing an open dialog, the interstitial
// pacing that counts every stream reply with streams (and none without) without keeping the dialog
// back, a banner slot that stays closed, one detail request per page, and a page that is destroyed
// with its pickers and popover once it is closed.
#include <doctest/doctest.h>

#include <nlohmann/json.hpp>

#include "AdTestSupport.h"
#include "DetailTestApp.h"
#include "core/DownloadManager.h"
#include "platform/display/DeviceScene.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIFirstResponder.h"
#include "platform/uikit/UIFont.h"
#include "ui/progresshud/LOProgressHUD.h"
#include "ui/utilities/NSStringUsedSize.h"

using namespace screentest;
using nlohmann::json;

namespace {

json detailJSON(Stage& stage, std::int32_t movieID) { return json::parse(*stage.fetchDetail(movieID).toJSON()); }

}  // namespace

TEST_CASE("chapter rows: none before the detail or without chapters, 44 high for one line and taller for titles that wrap") {
    Stage stage(false);
    auto movie = stage.firstMovie();
    const json real = detailJSON(stage, movie->movieID());
    const json id = real["chapters"][0]["id"];
    const std::string longTitle =
        "Episode one hundred and one: the long way round the mountains, through the valley and back home again";
    const CGFloat measured = usedSizeForWidth(longTitle, 280, UIFont::systemFontOfSize(15)).height;
    REQUIRE(measured > 22);
    struct Case {
        const char* name;
        json chapters;  // null: the key left out
        std::vector<CGFloat> heights;
    };
    const Case cases[] = {
        {"no chapters key", nullptr, {}},
        {"an empty chapter list", json::array(), {}},
        {"a short and a long title",
         json::array({{{"id", id}, {"title", "Pilot"}}, {{"id", id}, {"title", longTitle}}}),
         {44, measured - 22 + 44}},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        json detail = real;
        if (c.chapters.is_null())
            detail.erase("chapters");
        else
            detail["chapters"] = c.chapters;
        REQUIRE(stage.catalogue.order("data", {{"action", "detail"}, {"count", 1}, {"data", detail}}) == 200);
        REQUIRE(stage.catalogue.order("delay", {{"action", "detail"}, {"count", 1}, {"ms", 600}}) == 200);
        auto page = stage.open(movie, 0, false);
        auto table = page->outlets().chaptersTable.lock();
        CHECK(LOProgressHUD::HUDForView(page->view()));  // the reply is held back...
        CHECK(table->numberOfRowsInSection(0) == 0);     // ...and the table is empty meanwhile
        stage.waitForOverlayGone(page, "the detail reply");
        settle();
        REQUIRE(table->numberOfRowsInSection(0) == static_cast<long>(c.heights.size()));
        for (std::size_t row = 0; row < c.heights.size(); ++row) {
            CHECK(table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(static_cast<long>(row), 0)).size.height ==
                  doctest::Approx(c.heights[row]));
            auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(static_cast<long>(row), 0));
            REQUIRE(cell);
            CHECK(cell->reuseIdentifier() == "ChapterCellIdentifier");
            CHECK(cell->textLabel()->numberOfLines() == 0);
            CHECK(cell->selectionStyle() == UITableViewCellSelectionStyleGray);
        }
        stage.close();
    }
    CHECK(DetailMoviesViewController::chapterRowHeight("") == 44);
}

TEST_CASE("the panes switch shows the description or the chapters, and the description is never edited") {
    Stage stage(true);
    auto page = stage.open(stage.firstMovie());
    const auto& out = page->outlets();
    auto table = out.chaptersTable.lock();
    auto text = out.detailDescription.lock();
    auto segment = out.functionSegment.lock();
    CHECK_FALSE(table->isHidden());
    CHECK(text->isHidden());
    const CGRect frame = DeviceScene::frameInWindow(*segment);
    stage.finger.tap(CGPointMake(frame.origin.x + frame.size.width / 4, CGRectGetMidY(frame)));
    CHECK(segment->selectedSegmentIndex() == 0);
    CHECK(table->isHidden());
    CHECK_FALSE(text->isHidden());
    stage.finger.tapId("detailDescription");
    CHECK_FALSE(text->isFirstResponder());
    stage.finger.tap(CGPointMake(frame.origin.x + frame.size.width * 3 / 4, CGRectGetMidY(frame)));
    CHECK(segment->selectedSegmentIndex() == 1);
    CHECK_FALSE(table->isHidden());
    CHECK(text->isHidden());
    // The banner slot stays closed until the ad placement fills it.
    auto banner = out.bannerView.lock();
    CHECK(banner->frame().size.height == 0);
    CHECK(banner->frame().size.width == 320);
    CHECK(CGRectGetMaxY(table->frame()) == doctest::Approx(CGRectGetMinY(banner->frame()) - 4));
}

TEST_CASE("the download overlay stays up until any download starts, stops or finishes") {
    Stage stage(false);
    auto page = stage.open(stage.firstMovie());
    struct Case {
        const char* notification;
        bool hides;
    };
    const Case cases[] = {{kStartDownloadMovieNotification, true},
                          {kStopDownloadMovieNotification, true},
                          {kFinishDownloadMovieNotification, true},
                          {kUpdateStatusDownloadMovieNotification, false},
                          {kRemoveDownloadingMovieNotification, false}};
    auto other = std::make_shared<NSObject>();  // some other download
    for (const auto& c : cases) {
        const std::string name = c.notification;
        CAPTURE(name);
        LOProgressHUD::hideAllHUDsForView(page->view(), false);
        LOProgressHUD::showHUDAddedTo(page->view(), false);
        NSNotificationCenter::defaultCenter()->postNotificationName(c.notification, other);
        settle();
        CHECK(static_cast<bool>(LOProgressHUD::HUDForView(page->view())) == !c.hides);
    }
    // Away from the screen the page does not listen.
    LOProgressHUD::hideAllHUDsForView(page->view(), false);
    LOProgressHUD::showHUDAddedTo(page->view(), false);
    stage.shell.tabBar->setSelectedIndex(1);
    settle();
    NSNotificationCenter::defaultCenter()->postNotificationName(kStartDownloadMovieNotification, other);
    settle();
    CHECK(LOProgressHUD::HUDForView(page->view()));
}

TEST_CASE("a chapter chosen while the dialog is open replaces it, and the pacing counts every reply without keeping the dialog back") {
    for (const int advType : {0, 1}) {
        CAPTURE(advType);
        AdHostsScope adHosts;  // an interstitial asked for with ads on fails at once
        Stage stage(false);
        stage.app.delegate->setDefaultInfo(Value{{"AdvType", advType}, {"AdvCount", 3}});
        stage.app.delegate->setLocalCount(2);
        stage.app.delegate->setLocalAds(0);
        auto page = stage.open(stage.firstMovie());
        auto table = page->outlets().chaptersTable.lock();
        stage.chooseChapter(page, 0);
        stage.waitForDialog(page);
        auto first = page->popoverController();
        const std::size_t sent = stage.catalogue.requests("stream");
        // A row chosen while the dialog is up (the table's delegate call, as a tap would make it).
        page->didSelectRowAtIndexPath(*table, NSIndexPath::indexPathForRow(0, 0));
        stage.waitForOverlayGone(page, "the second stream reply");
        stage.waitForDialog(page);
        CHECK(page->popoverController() != first);
        CHECK_FALSE(first->isPopoverVisible());
        CHECK(stage.catalogue.requests("stream") == sent + 1);
        // Replies 1 and 2 so far: the second released an interstitial; 3 and 4 do not.
        CHECK(stage.app.delegate->localAds() == 1);
        CHECK(stage.app.delegate->localCount() == 1);
        for (int reply = 3; reply <= 4; ++reply) {
            stage.finger.tapId("cancelButton");
            settle();
            stage.chooseChapter(page, 0);
            stage.waitForDialog(page);
        }
        CHECK(stage.app.delegate->localAds() == 1);
        CHECK(stage.app.delegate->localCount() == 3);
        // A reply without streams counts nothing (this one would have released an interstitial).
        stage.finger.tapId("cancelButton");
        settle();
        REQUIRE(stage.catalogue.order("data", {{"action", "stream"}, {"count", 1}, {"data", json::array()}}) == 200);
        stage.chooseChapter(page, 0);
        settle();
        CHECK_FALSE(dialogInWindow(*stage.shell.window));
        CHECK(stage.app.delegate->localAds() == 1);
        CHECK(stage.app.delegate->localCount() == 3);
        stage.app.delegate->setDefaultInfo(Value());
    }
}

TEST_CASE("a closed page is destroyed with its stream picker and popover, and its detail is asked for once") {
    for (const bool tablet : {false, true}) {
        CAPTURE(tablet);
        Stage stage(tablet);
        auto movie = stage.firstMovie();
        const std::size_t details = stage.catalogue.requests("detail");
        std::weak_ptr<DetailMoviesViewController> page;
        std::weak_ptr<ListStreamViewController> picker;
        std::weak_ptr<FLPopoverController> popover;
        std::weak_ptr<MPMoviePlayerViewController> player;
        {
            auto shown = stage.open(movie);
            page = shown;
            stage.chooseChapter(shown, 0);
            picker = stage.waitForDialog(shown);
            popover = shown->popoverController();
            stage.finger.tapId("playButton");
            waitFor([&] { return shown->presentedViewController() != nullptr; }, "the player");
            player = std::dynamic_pointer_cast<MPMoviePlayerViewController>(shown->presentedViewController());
            settle();
            stage.finger.tapId("doneButton");
            waitFor([&] { return !shown->presentedViewController(); }, "the player to close");
            settle();
            CHECK(shown->isViewVisible());
            CHECK(stage.catalogue.requests("detail") == details + 1);  // coming back asks nothing again
        }
        stage.finger.tapId(tablet ? "cancelButton" : "backButton");
        settle();
        CHECK(page.expired());
        CHECK(picker.expired());
        CHECK(popover.expired());
        CHECK(player.expired());
        CHECK(UIAlertView::visibleAlerts().empty());

        // Closed while its dialog is up (by code: the dialog's overlay keeps fingers off the page).
        {
            auto shown = stage.open(movie);
            page = shown;
            stage.chooseChapter(shown, 0);
            stage.waitForDialog(shown);
            popover = shown->popoverController();
        }
        stage.close();
        CHECK(page.expired());
        CHECK(popover.expired());
        CHECK_FALSE(dialogInWindow(*stage.shell.window));
    }
}
