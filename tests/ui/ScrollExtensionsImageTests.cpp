// Protects how the pull-to-refresh header and the loading footer look, against
// reference images at scale 2: the header stopped, triggered (arrow turned)
// and loading (spinner), the header with a "Last Updated:" line (locale and
// time zone pinned) in custom colours, and the footer loading.
#include <doctest/doctest.h>

#include "ScrollExtensionTestSupport.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UISystemVersion.h"
#include "support/ReferenceImage.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

using namespace scrolltest;
using uikittest::VirtualTime;

namespace {

// A 320 x 80 window over a list whose content is a pale band; the scroll view
// rests at `offset`.
struct ImageScene : ScrollScene {
    explicit ImageScene(CGFloat contentHeight) : ScrollScene({320, 80}, contentHeight) {
        auto content = std::make_shared<UIView>(CGRectMake(0, 0, 320, contentHeight));
        content->setBackgroundColor(uikittest::rgb(0.88, 0.92, 0.97));
        scroll->addSubview(content);
    }
    void matches(const std::string& name) const {
        auto image = window->snapshotImage(2);
        REQUIRE(image);
        CHECK(image->width() == 640);
        CHECK(image->height() == 160);
        auto result = testsupport::compareWithReference(image, name);
        CHECK_MESSAGE(result.matched, result.message);
    }
};

}  // namespace

TEST_CASE("the pull-to-refresh header in each state matches its reference image") {
    struct Case {
        const char* name;
        STPullToRefreshState state;
    };
    for (const Case c : {Case{"pull-to-refresh-stopped@2x", STPullToRefreshStateStopped},
                         Case{"pull-to-refresh-triggered@2x", STPullToRefreshStateTriggered},
                         Case{"pull-to-refresh-loading@2x", STPullToRefreshStateLoading}}) {
        CAPTURE(c.name);
        VirtualTime time;
        ImageScene scene(600);
        addPullToRefreshWithActionHandler(scene.scroll, [] {});
        auto header = pullToRefreshView(*scene.scroll);
        scene.scroll->setContentOffset({0, -60});
        if (c.state != STPullToRefreshStateStopped) header->setState(STPullToRefreshStateTriggered);
        if (c.state == STPullToRefreshStateLoading) header->setState(STPullToRefreshStateLoading);
        time.advance(1);  // the arrow's turn and fade are over
        CHECK(header->state() == c.state);
        CHECK(scene.scroll->contentOffset().y == -60);
        scene.matches(c.name);
    }
}

TEST_CASE("the header's date line in custom colours matches its reference image") {
    VirtualTime time;
    ImageScene scene(600);
    addPullToRefreshWithActionHandler(scene.scroll, [] {});
    auto header = pullToRefreshView(*scene.scroll);
    scene.scroll->setContentOffset({0, -60});
    auto formatter = std::make_shared<NSDateFormatter>();
    formatter->setDateStyle(NSDateFormatterShortStyle);
    formatter->setTimeStyle(NSDateFormatterShortStyle);
    formatter->setLocaleIdentifier("en_GB");
    formatter->setTimeZone(NSTimeZone::timeZoneWithName("UTC"));
    header->setDateFormatter(formatter);
    header->setLastUpdatedDate(Date{1796649780});  // 2026-12-07 13:23 UTC
    CHECK(header->dateLabel()->text() == "Last Updated: 07/12/2026, 13:23");
    header->setArrowColor(UIColor::colorWithRed(0.8, 0.2, 0.1, 1));
    header->setTextColor(UIColor::colorWithRed(0.1, 0.2, 0.5, 1));
    time.advance(1);
    scene.matches("pull-to-refresh-last-updated@2x");
}

TEST_CASE("the loading footer matches its reference image") {
    VirtualTime time;
    ImageScene scene(200);
    addInfiniteScrollingWithActionHandler(scene.scroll, [] {});
    auto footer = infiniteScrollingView(*scene.scroll);
    scene.scroll->setContentOffset({0, 180});  // the end of the content and the footer below it
    footer->startAnimating();
    time.advance(1);
    CHECK(footer->state() == STInfiniteScrollingStateLoading);
    scene.matches("infinite-scrolling-loading@2x");
}

TEST_CASE("the arrow fills its shape with its colour fading in, the same before and after system 5.0") {
    struct Case {
        const char* name;
        UIColorPtr color;
        int r, g, b;  // the opaque colour at the head
    };
    const Case cases[] = {
        {"grey colour", UIColor::colorWithWhite(0.5, 1), 128, 128, 128},
        {"RGB colour, its own alpha ignored", UIColor::colorWithRed(0.8, 0.2, 0.1, 0.5), 204, 51, 26},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        CGImageRef images[2];
        struct VersionReset {
            ~VersionReset() { UIDevice::currentDevice()->setSystemVersion("7.0"); }
        } reset;
        for (int old = 0; old < 2; ++old) {
            UIDevice::currentDevice()->setSystemVersion(old ? "4.3" : "7.0");
            CHECK(isOperatingSystemAtLeastVersion({5, 0, 0}) == !old);
            auto window = uikittest::visibleWindow({22, 48});
            auto arrow = std::make_shared<STPullToRefreshArrow>(CGRectMake(0, 0, 22, 48));
            arrow->setOpaque(false);
            arrow->setArrowColor(c.color);
            window->addSubview(arrow);
            images[old] = window->snapshotImage(2);
            REQUIRE(images[old]);
        }
        auto difference = testsupport::comparePixels(images[0], images[1], 1);
        CHECK(difference.sameSize);
        CHECK(difference.offPixels == 0);
        const auto& image = images[0];
        CHECK(uikittest::near(uikittest::probe(image, 11, 40, 2), c.r, c.g, c.b));    // the head, opaque
        CHECK(uikittest::near(uikittest::probe(image, 11, 0.5, 2), 255, 255, 255, 255, 8));  // the top, clear
        CHECK(uikittest::near(uikittest::probe(image, 11, 5, 2), 255, 255, 255));      // a gap in the shaft
        CHECK(uikittest::near(uikittest::probe(image, 2, 20, 2), 255, 255, 255));      // beside the shaft
        auto mid = uikittest::probe(image, 11, 20, 2);  // half way: part colour, part white
        CHECK(mid.r < 250);
        CHECK(mid.r > c.r);
    }
}
