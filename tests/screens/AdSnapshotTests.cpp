// Protects what the screens look like with ads, as the real executable paints them: snapshots of its device
// screen's frame written to build/screens-snapshots for a person to look at, each probed for the pixels that
// prove it (the banner's colour band in the banner's frame, the interstitial's colour across the screen, the
// stream dialog over the page after the close, the keyboard, and with ads off no band and the grid under its bar).
#include <doctest/doctest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "AppRoadSupport.h"
#include "ShellTestSupport.h"
#include "support/FrameProbes.h"

using namespace approad;
using testsupport::centreOf;
using testsupport::Colour;
using testsupport::pixelAtPoint;
using testsupport::findViews;

namespace {

constexpr Colour kPhoneBand{0x00, 0x89, 0x7B};     // the 320 x 50 creative
constexpr Colour kTabletBand{0xEF, 0x6C, 0x00};    // 728 x 90
constexpr Colour kMediated{0x1F, 0x6F, 0xD1};      // the HTML adapter's block on the detail page
constexpr Colour kInterstitial{0x28, 0x35, 0x93};  // the application's interstitial
constexpr int kScreen = 35;                        // the screens' background channels

bool near(const CGPixel& p, const Colour& c, int tolerance = 6) { return testsupport::nearColour(p, c, tolerance); }

struct Box {
    double x = 0, y = 0, w = 0, h = 0;
};

Box boxOf(const Json& view) {
    const Json& f = view["frame"];
    return {f[0].get<double>(), f[1].get<double>(), f[2].get<double>(), f[3].get<double>()};
}

bool boxFilledWith(const CGImageRef& image, const Box& box, const Colour& colour) {
    return testsupport::cornersShow(image, CGRectMake(box.x, box.y, box.w, box.h), colour, 6);
}

// The creative's white text crosses the banner's middle line (it is centred, not stuck to the top).
bool textOnMiddleLine(const CGImageRef& image, const Box& box) {
    for (double x = box.x + box.w * 0.2; x < box.x + box.w * 0.8; x += 0.5)
        if (near(pixelAtPoint(image, x, box.y + box.h / 2), {255, 255, 255}, 40)) return true;
    return false;
}

// The application's painted frames in turn: each one fetched is newer than the last one seen.
class Frames {
public:
    explicit Frames(const ApplicationProcess& app) : app_(app) {}
    // Waits (40 s at most) for a painted frame the probe takes, writes it as
    // build/screens-snapshots/<name>.png and answers it; null (the last frame written) when none came.
    CGImageRef snapshotWhen(const std::string& name, const std::function<bool(const CGImageRef&)>& take) {
        CGImageRef shown = nullptr;
        std::string png;
        const bool came = testsupport::runMainUntil([&] {
            const auto frame = testsupport::paintedFrame(app_, last_);
            if (!frame) return false;
            last_ = frame->number;
            png = frame->png;
            if (!take(frame->image)) return false;
            shown = frame->image;
            return true;
        }, 40);
        // The last frame seen is written either way, for a person to see what was shown.
        std::filesystem::create_directories(shelltest::snapshotFolder());
        std::ofstream(shelltest::snapshotFolder() / (name + ".png"), std::ios::binary | std::ios::trunc) << png;
        if (came) return shown;
        FAIL_CHECK("no painted frame showed " << name << " (last frame " << last_ << ")");
        return nullptr;
    }

private:
    const ApplicationProcess& app_;
    std::uint64_t last_ = 0;
};

// The tree once the predicate takes it (the road stops when it never does).
Json treeWhen(const ApplicationProcess& app, const std::function<bool(const Json&)>& take, const std::string& what) {
    Json tree;
    REQUIRE_MESSAGE(app.waitForTree([&](const Json& t) { return take(t) && (tree = t, true); }), what);
    return tree;
}

// The banner area on screen whose web view shows the creative titled so (null view when none).
Json bannerShowing(const Json& tree, const std::string& title) {
    for (const Json& banner : withId(tree, "bannerView")) {
        const Json area{{"views", Json::array({banner})}};
        if (!findViews(area, [&](const Json& v) { return v.value("title", "") == title; }).empty()) return banner;
    }
    return nullptr;
}

// The banner is not under the shell's tab bar, when one shows.
void checkClearOfTabBar(const Json& tree, const Box& banner) {
    const auto bars = findViews(tree, [](const Json& v) { return v.value("class", "") == "UITabBar"; });
    if (!bars.empty()) CHECK(banner.y + banner.h <= boxOf(bars.front()).y);
}

// A screen with its banner showing the creative; the banner's box.
Box bannerOf(const ApplicationProcess& app, const std::string& title, const std::string& what) {
    const auto shown = [&](const Json& t) { return !bannerShowing(t, title).is_null() && !hasClass(t, "LOProgressHUD"); };
    const Json tree = treeWhen(app, shown, what + " with its banner \"" + title + "\"");
    const Box banner = boxOf(bannerShowing(tree, title));
    checkClearOfTabBar(tree, banner);
    return banner;
}

// Chooses the first chapter until the interstitial comes up over the page (until it has arrived, a
// choice opens the stream dialog at once: then the dialog is cancelled and the chapter chosen again).
Json chooseChapterUntilInterstitial(const ApplicationProcess& app) {
    const Json tree = app.tree();
    REQUIRE(app.tap(half(withId(tree, "functionSegment").front(), true)) == 200);  // "Chapters"
    for (int choice = 0; choice < 10; ++choice) {
        Json chapter;
        treeWhen(app, [&](const Json& t) {
            auto rows = rowsOf(t, "chaptersTable");
            return !rows.empty() && !hasClass(t, "LOProgressHUD") && (chapter = rows.front(), true);
        }, "the chapters");
        REQUIRE(app.tap(centreOf(chapter)) == 200);
        const Json after = treeWhen(app, [](const Json& t) {
            return !withId(t, "adClose").empty() || !withId(t, "downloadButton").empty();
        }, "the interstitial or the stream dialog");
        if (!withId(after, "adClose").empty()) return after;
        const auto cancels = withId(after, "cancelButton");
        REQUIRE(app.tap(centreOf(cancels.back())) == 200);  // the dialog's, drawn over the page
        REQUIRE(app.waitFor({{"id", "downloadButton"}}, true));
    }
    FAIL("the interstitial never came up over the detail page");
    return nullptr;
}

// The detail page with its banner (the title made a favourite), the interstitial over it at the first chapter
// chosen and the stream dialog after its close; back on the grid at the end. The title.
std::string snapshotDetailRoad(const ApplicationProcess& app, Frames& frames, bool tablet) {
    const std::string suffix = tablet ? "-tablet" : "-phone";
    // The mediated banner: the HTML adapter's block.
    const std::string title = openFirstTitle(app);
    REQUIRE(app.tap({{"id", "movieFavoritiesButton"}}) == 200);
    const Json detail = treeWhen(app, [](const Json& t) {
        return !withId(t, "bannerView").empty() && !hasClass(t, "LOProgressHUD");
    }, "the detail page's banner area");
    const Box banner = boxOf(withId(detail, "bannerView").back());
    CHECK(banner.w == (tablet ? 468 : 320));
    CHECK(banner.h == (tablet ? 60 : 50));
    checkClearOfTabBar(detail, banner);
    CHECK(frames.snapshotWhen("ads-detail" + suffix, [&](const CGImageRef& image) {
        return boxFilledWith(image, banner, kMediated);
    }));

    // The interstitial, full screen over the page (over the tablet's form sheet too).
    const Json shown = chooseChapterUntilInterstitial(app);
    const Box screen{0, 0, tablet ? 768.0 : 320.0, tablet ? 1024.0 : 568.0};
    const Box close = boxOf(withId(shown, "adClose").front());
    CHECK(frames.snapshotWhen("ads-interstitial" + suffix, [&](const CGImageRef& image) {
        int covered = 0, probes = 0;
        for (double fx : {0.05, 0.35, 0.65, 0.95})
            for (double fy : {0.1, 0.4, 0.75, 0.95}) {
                const double x = screen.w * fx, y = screen.h * fy;
                if (x >= close.x && x <= close.x + close.w && y >= close.y && y <= close.y + close.h) continue;
                ++probes;
                covered += near(pixelAtPoint(image, x, y), kInterstitial);
            }
        return covered == probes;
    }));

    // Its close control brings the chapter's stream dialog over the dimmed page.
    REQUIRE(app.tap({{"id", "adClose"}}) == 200);
    const Json dialog = treeWhen(app, [](const Json& t) {
        return !withId(t, "downloadButton").empty() && withId(t, "adClose").empty();
    }, "the stream dialog after the close");
    const Box streams = boxOf(withId(dialog, "movieTable").front());
    CHECK(frames.snapshotWhen("ads-stream-dialog" + suffix, [&](const CGImageRef& image) {
        return near(pixelAtPoint(image, streams.x + 4, streams.y + 20), {255, 255, 255}, 4) &&
               !near(pixelAtPoint(image, banner.x + 4, banner.y + 4), kMediated);
    }));
    REQUIRE(app.tap(centreOf(withId(dialog, "cancelButton").back())) == 200);
    REQUIRE(app.waitFor({{"id", "downloadButton"}}, true));
    closeDetail(app, tablet);
    return title;
}

// Search with its keyboard, then favourites (holding the favourite) and downloads, each with its banner.
void snapshotListScreens(const ApplicationProcess& app, Frames& frames, bool tablet, const std::string& favourite) {
    const std::string suffix = tablet ? "-tablet" : "-phone";
    const std::string creative = tablet ? "Quorvane banner 728x90" : "Quorvane banner 320x50";
    const Colour band = tablet ? kTabletBand : kPhoneBand;
    REQUIRE(app.tap({{"id", "searchButton"}}) == 200);
    const Box search = bannerOf(app, creative, "search");
    const Json keyboardTree =
        treeWhen(app, [](const Json& t) { return !withId(t, "keyboard").empty(); }, "the keyboard");
    const Box keyboard = boxOf(withId(keyboardTree, "keyboard").front());
    CHECK(search.y + search.h <= keyboard.y);
    CHECK(frames.snapshotWhen("ads-search" + suffix, [&](const CGImageRef& image) {
        const CGPixel keys = pixelAtPoint(image, keyboard.x + 2, keyboard.y + keyboard.h - 2);
        return boxFilledWith(image, search, band) && !near(keys, {kScreen, kScreen, kScreen}, 4);
    }));
    REQUIRE(app.tap({{"id", "backButton"}}) == 200);
    REQUIRE(app.waitFor({{"id", "keyboard"}}, true));

    for (const std::string tab : {"Favorites", "Downloads"}) {
        CAPTURE(tab);
        REQUIRE(app.tap({{"label", tab}}) == 200);
        const Box banner = bannerOf(app, creative, tab);
        CHECK(banner.w == (tablet ? 728 : 320));
        CHECK(banner.h == (tablet ? 90 : 50));
        // The tab's content ends where the banner begins; the favourite's poster is on its tab, the
        // downloads' segments on theirs (what tells the two apart in the frame).
        const bool favourites = tab == "Favorites";
        const Json tree = treeWhen(app, [&](const Json& t) {
            return favourites ? !posterCells(t).empty() : !withId(t, "actionSegment").empty();
        }, "the tab's content");
        const auto content = withId(tree, favourites ? "collectionView" : "contentView");
        REQUIRE(content.size() == 1);
        CHECK(boxOf(content.front()).y + boxOf(content.front()).h <= banner.y);
        if (favourites) CHECK(cellTitle(posterCells(tree).front()) == favourite);
        const Box mark = boxOf(favourites ? posterCells(tree).front() : withId(tree, "actionSegment").front());
        CHECK(frames.snapshotWhen(std::string("ads-") + (favourites ? "favorites" : "downloads") + suffix,
                                  [&](const CGImageRef& image) {
                                      const CGPixel shown = pixelAtPoint(image, mark.x + mark.w / 4, mark.y + mark.h / 2);
                                      return boxFilledWith(image, banner, band) &&
                                             !near(shown, {kScreen, kScreen, kScreen}, 4);
                                  }));
    }
}

}  // namespace

TEST_SUITE("ad snapshots") {

TEST_CASE("snapshots with ads: the banners of the grid, the detail page, search, favourites and downloads, the "
          "interstitial over the detail page and the stream dialog after its close") {
    for (const char* device : {"phone", "tablet"}) {
        CAPTURE(device);
        const bool tablet = std::string(device) == "tablet";
        AdApp ads(AdAppOptions{device, 1, 1});  // an interstitial released at every stream reply
        ApplicationProcess& app = ads.app();
        Frames frames(app);

        // The movie grid: its posters and the banner, the band in the banner's frame, the text across its middle.
        const Box grid = bannerOf(app, tablet ? "Quorvane banner 728x90" : "Quorvane banner 320x50", "the movie grid");
        CHECK(grid.w == (tablet ? 728 : 320));
        CHECK(grid.h == (tablet ? 90 : 50));
        REQUIRE(app.waitFor({{"id", "moviePoster"}}));
        CHECK(frames.snapshotWhen(std::string("ads-grid-") + device, [&](const CGImageRef& image) {
            return boxFilledWith(image, grid, tablet ? kTabletBand : kPhoneBand) && textOnMiddleLine(image, grid);
        }));

        const std::string favourite = snapshotDetailRoad(app, frames, tablet);
        snapshotListScreens(app, frames, tablet, favourite);
    }
}

TEST_CASE("snapshot of the movie grid with ads off: no band, the grid right under its bar, no ad request") {
    AdApp ads(AdAppOptions{"phone", 0, 3});
    ApplicationProcess& app = ads.app();
    const Json tree = treeWhen(app, [](const Json& t) {
        return !posterCells(t).empty() && !hasClass(t, "LOProgressHUD");
    }, "the movie grid's first page");
    REQUIRE(app.waitFor({{"id", "moviePoster"}}));
    const auto areas = withId(tree, "bannerView");
    REQUIRE(areas.size() == 1);
    const Box area = boxOf(areas.front());
    CHECK(area.w == 320);
    CHECK(area.h == 0);
    const Box firstCell = boxOf(posterCells(tree).front());
    Frames frames(app);
    CHECK(frames.snapshotWhen("ads-off-grid-phone", [&](const CGImageRef& image) {
        for (double x : {4.0, 160.0, 316.0})
            if (near(pixelAtPoint(image, x, area.y + 4), kPhoneBand, 30)) return false;
        return near(pixelAtPoint(image, 30, area.y - 10), {kScreen, kScreen, kScreen}, 4);  // the bar's foot
    }));
    CHECK(firstCell.y <= area.y + 12);  // the grid starts under the bar, no room kept for a banner
    CHECK(ads.adRequests("/adnet/ad").empty());
    CHECK(ads.ads().log().empty());
}

}  // TEST_SUITE
