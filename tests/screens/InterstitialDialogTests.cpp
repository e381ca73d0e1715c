// Protects the stream dialog an interstitial holds on the detail page, on the
// virtual clock: the released interstitial covers the page and the dialog waits
// for its close, then shows that reply's own chapter exactly half a second after
// the will-dismiss (not a tenth of a millisecond sooner); a chapter chosen within
// that half second opens only its own dialog, and a page left within it opens
// none; a reply that lands under the interstitial counts for the pacing and its
// dialog comes after the close; an interstitial the platform will not present
// (the tablet page already presents a sheet) keeps no dialog back. The
// interstitial is the page's own object, made ready by an ad carried in its
// request and played by the recording web view.
#include <doctest/doctest.h>

#include <cstdint>
#include <limits>

#include "AdTestSupport.h"
#include "DetailTestApp.h"
#include "adkit/SlotTestOwner.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKInterstitial.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/net/NSURLError.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIButton.h"

using namespace screentest;

namespace {

// Virtual time that keeps pace with real time while the main loop runs (the
// views' animations end as they would) until the test holds it; held, it moves
// only when the test moves it. Real time again afterwards.
class PacedTime {
public:
    PacedTime() {
        Clock::useVirtualTime(0);
        last_ = Clock::monotonic();
        observer_ = NSRunLoop::mainRunLoop()->addWaitObserver([this] { return follow(); }, [] {});
    }
    ~PacedTime() {
        NSRunLoop::mainRunLoop()->removeWaitObserver(observer_);
        Clock::useRealTime();
    }
    PacedTime(const PacedTime&) = delete;
    PacedTime& operator=(const PacedTime&) = delete;

    void hold() { held_ = true; }
    void release() {
        held_ = false;
        last_ = Clock::monotonic();
    }
    // Moves the held clock by `nanoseconds` and runs the main loop until every
    // block due by then has run (a block due then goes after the earlier ones).
    void advance(std::int64_t nanoseconds) {
        REQUIRE(held_);
        const auto reached = std::make_shared<bool>(false);
        dispatch_after(dispatch_time(DISPATCH_TIME_NOW, nanoseconds), dispatch_get_main_queue(),
                       [reached] { *reached = true; });
        Clock::advance(Clock::secondsFor(nanoseconds));
        waitFor([&] { return *reached; }, "the blocks due by the moved clock");
    }

private:
    static constexpr double kStep = 0.005;  // real seconds between moves
    double follow() {
        const double now = Clock::monotonic();
        if (held_) {
            last_ = now;
            return std::numeric_limits<double>::infinity();
        }
        if (now - last_ >= kStep) {
            Clock::advance(now - last_);
            last_ = now;
        }
        return kStep;
    }
    NSRunLoop::ObserverId observer_ = 0;
    double last_ = 0;
    bool held_ = false;
};

constexpr std::int64_t kHalfSecond = 500'000'000;  // nanoseconds

// Ads on, one interstitial released at every stream reply, no banner unit; the
// ad library pointed nowhere and its web views recorded; the test's paced time.
struct HeldStage {
    PacedTime& time;
    AdHostsScope hosts;
    adkittest::RenderingScope rendering;
    std::shared_ptr<renderingtest::RecordingClickTrackers> trackers = renderingtest::RecordingClickTrackers::install();
    renderingtest::RecordingClickTrackers::Uninstall uninstallTrackers;
    Stage stage;
    std::shared_ptr<DetailMoviesViewController> page;
    std::size_t refreshes = 0;  // "kRefreshMovieViewNotification" posts
    std::shared_ptr<NSObject> observer;

    HeldStage(PacedTime& pacedTime, bool tablet)
        : time(pacedTime), stage(fresh(tablet), {"--adv-type", "1", "--adv-count", "1", "--adv-id-banner", "short"}) {
        waitFor([&] { return stage.app.delegate->defaultInfo().isDictionary(); }, "the server configuration");
        page = stage.open(firstShow());
        observer = NSNotificationCenter::defaultCenter()->addObserverForName(
            "kRefreshMovieViewNotification", nullptr, nullptr, [this](const NSNotification&) { ++refreshes; });
    }
    ~HeldStage() {
        time.release();
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
    static bool fresh(bool tablet) {
        TestApplication::shared().delegate->setDefaultInfo(Value());
        return tablet;
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
            waitForOwnLoad(*interstitial);
            recorder = dynamic_cast<UIWebViewRecorder*>(&interstitial->slot()->webView()->webView()->backing());
        }
        REQUIRE_MESSAGE(recorder, "the page's interstitials had no recording web view");
        interstitial->loadRequest(slottest::SlotFixture::adRequest());
        waitFor([&] { return interstitial->slot()->state() == AKSlotStateRendering; }, "the interstitial to render");
        recorder->finishLoad();
        waitFor([&] { return interstitial->isReady() && page->isShowInterstitial(); }, "the interstitial to be received");
        return interstitial;
    }
    // The load to nowhere ends once the core page has failed: a recording core
    // page is failed as the engine fails a refused connection.
    void waitForOwnLoad(AKInterstitial& interstitial) {
        waitFor([&] {
            const auto core = AKSDKCoreController::sharedInstance()->activeSDKCoreWebView();
            const auto web = core && core->state() == AKSDKCoreWebViewState::loading ? core->webView() : nullptr;
            auto* recorder = web ? dynamic_cast<UIWebViewRecorder*>(&web->webView()->backing()) : nullptr;
            if (recorder && recorder->isLoading())
                recorder->failLoad(*NSURLErrorMake(NSURLErrorCannotConnectToHost, AKSDKCoreWebView::SDKCoreURL()));
            return !interstitial.slot()->isMakingRequest();
        }, "the page's own interstitial load to end");
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
    // Closes it by its control, which needs no time: its will-dismiss tells the grids to refresh.
    void closeAd(const std::shared_ptr<AKWebAppViewController>& ad) {
        const auto button = ad->closeButton();
        REQUIRE(button);
        const CGRect frame = button->convertRectToView(button->bounds(), nullptr);
        const auto before = refreshes;
        stage.finger.tap(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
        waitFor([&] { return refreshes == before + 1; }, "the will-dismiss");
    }
    void chooseByCode(long row) {
        page->didSelectRowAtIndexPath(*page->outlets().chaptersTable.lock(), NSIndexPath::indexPathForRow(row, 0));
    }
    Value chapter(long row) const { return page->detailMovie()->chapters()[static_cast<std::size_t>(row)]; }
    std::shared_ptr<ListStreamViewController> picker() const {
        const auto& popover = page->popoverController();
        return popover ? std::dynamic_pointer_cast<ListStreamViewController>(popover->contentViewController()) : nullptr;
    }
    std::string dialogTitle() const {
        auto shown = picker();
        return shown && shown->movieName() ? shown->movieName()->text() : "(no dialog)";
    }
    // The dialog on view offers that chapter's own streams under its title.
    void checkDialogOf(long row) {
        CHECK(dialogTitle() == chapter(row)["title"].stringValue());
        auto shown = picker();
        REQUIRE(shown);
        CHECK(shown->streamArray() == stage.fetchStreams(chapter(row)["id"].intValue()));
    }
    void cancelDialog() {
        // The tablet page has a cancel button of its own; the dialog's comes after it.
        stage.finger.tapId("cancelButton", stage.tablet() ? std::optional<std::size_t>(1) : std::nullopt);
        settle();
    }
};

}  // namespace

TEST_CASE("an interstitial holds its reply's dialog until it closes, the dialog then comes exactly half a second later, for the chapter chosen last only") {
    PacedTime time;
    for (const bool tablet : {false, true}) {
        CAPTURE(tablet);
        HeldStage held(time, tablet);
        auto& stage = held.stage;
        auto& page = held.page;
        auto delegate = stage.app.delegate;
        REQUIRE(page->detailMovie()->chapters().count() >= 2);

        if (tablet) {
            // The page already presents a sheet: the interstitial is used but the
            // platform does not present it, and the dialog shows without any time passing.
            auto interstitial = held.readyInterstitial();
            auto sheet = std::make_shared<UIViewController>();
            sheet->setModalPresentationStyle(UIModalPresentationFormSheet);
            page->presentViewController(sheet, false);
            REQUIRE(page->isViewVisible());
            time.hold();  // the dialog must come without the clock moving
            held.chooseByCode(0);
            waitFor([&] { return page->popoverController() != nullptr; }, "the dialog of the unpresented interstitial");
            CHECK(interstitial->hasBeenUsed());
            CHECK(page->presentedViewController() == sheet);
            CHECK(page->interstitial() != interstitial);  // a fresh one loads
            held.checkDialogOf(0);
            time.release();
            page->dismissViewControllerAnimated(false);
            stage.waitForDialog(page);
            held.cancelDialog();
        }

        // The dialog of the reply that released the interstitial, exactly 0.5 s after its will-dismiss.
        auto interstitial = held.readyInterstitial();
        stage.chooseChapter(page, 0);
        auto ad = held.shownAd();
        CHECK(interstitial->hasBeenUsed());
        CHECK_FALSE(dialogInWindow(*stage.shell.window));
        auto previous = page->popoverController();
        time.hold();
        held.closeAd(ad);
        CHECK(page->interstitial() != interstitial);  // a fresh one loads
        time.advance(kHalfSecond - 100'000);
        CHECK(page->popoverController() == previous);
        time.advance(100'000);
        waitFor([&] { return page->popoverController() != previous; }, "the held dialog");
        held.checkDialogOf(0);
        time.release();
        stage.waitForDialog(page);
        held.cancelDialog();

        // A chapter chosen within the half second opens only its own dialog, at
        // once (the fresh interstitial is not ready), and keeps it past the half second.
        held.readyInterstitial();
        stage.chooseChapter(page, 0);
        ad = held.shownAd();
        previous = page->popoverController();
        time.hold();
        held.closeAd(ad);
        waitFor([&] { return !page->presentedViewController() && page->isViewVisible(); },
                "the interstitial to give the page back");
        held.chooseByCode(1);
        waitFor([&] { return page->popoverController() != previous; }, "the dialog of the chapter chosen meanwhile");
        const auto own = page->popoverController();
        held.checkDialogOf(1);
        time.advance(kHalfSecond);
        CHECK(page->popoverController() == own);
        CHECK(own->isPopoverVisible());
        held.checkDialogOf(1);
        time.release();
        stage.waitForDialog(page);
        held.cancelDialog();

        // A reply that lands under the interstitial (its chapter chosen by code:
        // nothing on screen can) counts for the pacing, and its own dialog, not
        // the one of the reply that released the interstitial, comes after the close.
        held.readyInterstitial();
        stage.chooseChapter(page, 0);
        ad = held.shownAd();
        const auto released = delegate->localAds();
        held.chooseByCode(1);
        stage.waitForOverlayGone(page, "the stream reply under the interstitial");
        CHECK(delegate->localAds() == released + 1);
        CHECK_FALSE(dialogInWindow(*stage.shell.window));
        previous = page->popoverController();
        time.hold();
        held.closeAd(ad);
        time.advance(kHalfSecond);
        waitFor([&] { return page->popoverController() != previous; }, "the dialog of the reply under the interstitial");
        held.checkDialogOf(1);
        time.release();
        stage.waitForDialog(page);
        held.cancelDialog();

        // A page left within the half second opens nothing.
        held.readyInterstitial();
        stage.chooseChapter(page, 0);
        ad = held.shownAd();
        time.hold();
        held.closeAd(ad);
        waitFor([&] { return !page->presentedViewController(); }, "the interstitial to give the page back");
        std::weak_ptr<DetailMoviesViewController> weak = page;
        if (tablet) stage.shell.navigations[0]->dismissViewControllerAnimated(false);
        else stage.shell.navigations[0]->popViewControllerAnimated(false);
        page.reset();
        ad.reset();
        time.advance(kHalfSecond);
        CHECK_FALSE(dialogInWindow(*stage.shell.window));
        time.release();
        settle();
        CHECK(weak.expired());
    }
}
