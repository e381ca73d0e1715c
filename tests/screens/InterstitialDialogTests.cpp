// Protects the stream dialog an interstitial holds on the detail page: the
// released interstitial covers the page and the dialog waits for its close,
// then shows that reply's own chapter half a second after the will-dismiss;
// a chapter chosen within that half second opens only its own dialog, and a
// page left within it opens none. The interstitial is the page's own object,
// made ready by an ad carried in its request and played by the recording web view.
#include <doctest/doctest.h>

#include "AdTestSupport.h"
#include "DetailTestApp.h"
#include "adkit/SlotTestOwner.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/requests/AKInterstitial.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"

using namespace screentest;

namespace {

// Ads on, one interstitial released at every stream reply, no banner unit; the
// ad library pointed nowhere and its web views recorded.
struct HeldStage {
    AdHostsScope hosts;
    adkittest::RenderingScope rendering;
    std::shared_ptr<renderingtest::RecordingClickTrackers> trackers = renderingtest::RecordingClickTrackers::install();
    renderingtest::RecordingClickTrackers::Uninstall uninstallTrackers;
    Stage stage;
    std::shared_ptr<DetailMoviesViewController> page;
    std::vector<double> refreshes;  // when each "kRefreshMovieViewNotification" came
    std::shared_ptr<NSObject> observer;

    HeldStage() : stage(fresh(), {"--adv-type", "1", "--adv-count", "1", "--adv-id-banner", "short"}) {
        waitFor([&] { return stage.app.delegate->defaultInfo().isDictionary(); }, "the server configuration");
        page = stage.open(firstShow());
        observer = NSNotificationCenter::defaultCenter()->addObserverForName(
            "kRefreshMovieViewNotification", nullptr, nullptr, [this](const NSNotification&) {
                refreshes.push_back(Clock::now());
            });
    }
    ~HeldStage() {
        NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
        stage.app.delegate->setDefaultInfo(Value());
    }
    // A TV show: its episodes are chapters of their own.
    static std::shared_ptr<MoviesModel> firstShow() {
        const Value list = fetchThroughClient(
            [](auto success, auto failure) {
                NLRestClient::sharedClient()->getListTVShowWithType("popular", 0, 1, success, failure);
            },
            "the first page of popular TV shows");
        REQUIRE(list["films"].count() > 0);
        return MoviesModel::fromFilmInfo(list["films"][0]);
    }
    static bool fresh() {
        TestApplication::shared().delegate->setDefaultInfo(Value());
        return false;  // a phone
    }

    // The page's current interstitial, once its own load (to nowhere) has ended,
    // loaded again with an ad in its request and played to ready.
    std::shared_ptr<AKInterstitial> readyInterstitial() {
        std::shared_ptr<AKInterstitial> interstitial;
        UIWebViewRecorder* recorder = nullptr;
        // A web view an earlier test left to the library's pool is the engine's,
        // not a recording one: the page then leaves and comes back for another.
        for (int attempt = 0; attempt < 4 && !recorder; ++attempt) {
            if (attempt > 0) reappear();
            interstitial = page->interstitial();
            REQUIRE(interstitial);
            waitFor([&] { return !interstitial->slot()->isMakingRequest(); }, "the page's own interstitial load to end");
            recorder = dynamic_cast<UIWebViewRecorder*>(&interstitial->slot()->webView()->webView()->backing());
        }
        REQUIRE_MESSAGE(recorder, "the page's interstitials had no recording web view");
        interstitial->loadRequest(slottest::SlotFixture::adRequest());
        waitFor([&] { return interstitial->slot()->state() == AKSlotStateRendering; }, "the interstitial to render");
        recorder->finishLoad();
        waitFor([&] { return interstitial->isReady() && page->isShowInterstitial(); }, "the interstitial to be received");
        return interstitial;
    }
    // The page leaves for another tab and comes back (a new interstitial loads while none was received).
    void reappear() {
        stage.shell.tabBar->setSelectedIndex(1);
        settle();
        stage.shell.tabBar->setSelectedIndex(0);
        settle();
    }
    // The interstitial's controller over the page.
    std::shared_ptr<AKWebAppViewController> shownAd() {
        std::shared_ptr<AKWebAppViewController> shown;
        waitFor([&] {
            shown = std::dynamic_pointer_cast<AKWebAppViewController>(page->presentedViewController());
            return shown && shown->isViewVisible();
        }, "the interstitial over the page");
        return shown;
    }
    void closeAd(const std::shared_ptr<AKWebAppViewController>& ad) {
        const auto button = ad->closeButton();
        REQUIRE(button);
        const CGRect frame = button->convertRectToView(button->bounds(), nullptr);
        stage.finger.tap(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
    }
    std::string chapterTitle(long row) const {
        return page->detailMovie()->chapters()[static_cast<std::size_t>(row)]["title"].stringValue();
    }
    std::string dialogTitle() const {
        auto picker = std::dynamic_pointer_cast<ListStreamViewController>(page->popoverController()->contentViewController());
        return picker && picker->movieName() ? picker->movieName()->text() : "(no dialog)";
    }
    // Runs the main loop past the time a held dialog would come.
    void passHalfSecond() {
        const double until = Clock::now() + 0.8;
        waitFor([&] { return Clock::now() >= until; }, "the time of a held dialog to pass");
        settle();
    }
};

}  // namespace

TEST_CASE("an interstitial holds its reply's dialog until it closes, the dialog then comes half a second later, for that chapter only") {
    HeldStage held;
    auto& stage = held.stage;
    auto& page = held.page;
    REQUIRE(page->detailMovie()->chapters().count() >= 2);

    // The dialog of the reply that released the interstitial, 0.5 s after its will-dismiss.
    auto interstitial = held.readyInterstitial();
    stage.chooseChapter(page, 0);
    auto ad = held.shownAd();
    CHECK(interstitial->hasBeenUsed());
    CHECK_FALSE(dialogInWindow(*stage.shell.window));
    held.closeAd(ad);
    waitFor([&] { return held.refreshes.size() == 1; }, "the will-dismiss");
    CHECK(page->interstitial() != interstitial);  // a fresh one loads
    stage.waitForDialog(page);
    CHECK(Clock::now() - held.refreshes[0] >= 0.5);
    CHECK(held.dialogTitle() == held.chapterTitle(0));
    stage.finger.tapId("cancelButton");
    settle();

    // A chapter chosen within the half second opens only its own dialog.
    held.readyInterstitial();
    stage.chooseChapter(page, 0);
    held.closeAd(held.shownAd());
    waitFor([&] { return held.refreshes.size() == 2; }, "the second will-dismiss");
    waitFor([&] { return !page->presentedViewController(); }, "the interstitial to give the page back");
    REQUIRE(Clock::now() - held.refreshes[1] < 0.5);  // still within the half second
    page->didSelectRowAtIndexPath(*page->outlets().chaptersTable.lock(), NSIndexPath::indexPathForRow(1, 0));
    stage.waitForOverlayGone(page, "the stream reply of the chapter chosen meanwhile");
    stage.waitForDialog(page);  // at once: the fresh interstitial is not ready
    const auto own = page->popoverController();
    CHECK(held.dialogTitle() == held.chapterTitle(1));
    held.passHalfSecond();
    CHECK(page->popoverController() == own);
    CHECK(own->isPopoverVisible());
    CHECK(held.dialogTitle() == held.chapterTitle(1));
    stage.finger.tapId("cancelButton");
    settle();

    // A page left within the half second opens nothing.
    held.readyInterstitial();
    stage.chooseChapter(page, 0);
    held.closeAd(held.shownAd());
    waitFor([&] { return held.refreshes.size() == 3; }, "the third will-dismiss");
    std::weak_ptr<DetailMoviesViewController> weak = page;
    stage.close();
    page.reset();
    held.passHalfSecond();
    CHECK(weak.expired());
    CHECK_FALSE(dialogInWindow(*stage.shell.window));
}
