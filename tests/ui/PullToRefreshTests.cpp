// Protects the pull-to-refresh header: the states a drag drives, the action
// handler run once per pull, the top inset while loading and after, the
// per-state texts and views (and the refusal of unknown states), the date
// line, and the lifetimes: the scroll view does not own its header and no
// observation outlives either of them.
#include <doctest/doctest.h>

#include <numbers>

#include "ScrollExtensionTestSupport.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/uikit/UIFont.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

using namespace scrolltest;
using uikittest::VirtualTime;

namespace {

struct PullScene : ScrollScene {
    std::shared_ptr<STPullToRefreshView> header;
    int calls = 0;
    explicit PullScene(CGFloat topInset) : ScrollScene({320, 480}, 1000, UIEdgeInsetsMake(topInset, 0, 0, 0)) {
        addPullToRefreshWithActionHandler(scroll, [this] { ++calls; });
        header = pullToRefreshView(*scroll);
        REQUIRE(header);
    }
    CGFloat top() const { return scroll->contentInset().top; }
    CGFloat offset() const { return scroll->contentOffset().y; }
};

bool arrowTurned(STPullToRefreshView& header) {
    return header.arrow()->layer()->transform() == CATransform3DMakeRotation(std::numbers::pi_v<float>, 0, 0, 1);
}

}  // namespace

TEST_CASE("a pull past the header triggers it, the release loads once, and stopping restores the top inset") {
    struct Case {
        CGFloat topInset;
        CGFloat short_;   // not far enough
        CGFloat far;      // past the threshold (-60 - inset)
        CGFloat loading;  // where the content rests while loading
    };
    for (const Case c : {Case{64, -124, -130, -124}, Case{0, -60, -61, -60}}) {
        CAPTURE(c.topInset);
        VirtualTime time;
        PullScene s(c.topInset);
        CHECK(s.header->frame() == CGRectMake(0, -60, 320, 60));
        CHECK(s.header->originalTopInset() == c.topInset);
        CHECK(s.header->isObserving());
        CHECK(showsPullToRefresh(*s.scroll));

        // Exactly at the threshold stays stopped; past it triggers; back again stops.
        s.drag({-20, c.short_}, false);
        CHECK(s.header->state() == STPullToRefreshStateStopped);
        s.scroll->dragToContentOffset({0, c.far});
        CHECK(s.header->state() == STPullToRefreshStateTriggered);
        CHECK(s.header->titleLabel()->text() == "Release to refresh...");
        CHECK(arrowTurned(*s.header));
        s.scroll->dragToContentOffset({0, c.short_});
        CHECK(s.header->state() == STPullToRefreshStateStopped);
        CHECK(s.header->titleLabel()->text() == "Pull to refresh...");
        CHECK_FALSE(arrowTurned(*s.header));
        s.scroll->dragToContentOffset({0, c.far});
        CHECK(s.header->state() == STPullToRefreshStateTriggered);
        CHECK(s.calls == 0);

        // Letting go loads: the handler runs once and the band stays in view.
        s.scroll->endDragging();
        CHECK(s.header->state() == STPullToRefreshStateLoading);
        CHECK(s.calls == 1);
        CHECK(s.header->wasTriggeredByUser() == false);  // only startAnimating decides it
        CHECK(s.top() == c.topInset + 60);
        auto record = s.scroll->animationRecordForKey("contentInset");
        REQUIRE(record);
        CHECK(record->duration == doctest::Approx(0.3));
        CHECK(record->options == (UIViewAnimationOptionAllowUserInteraction |
                                  UIViewAnimationOptionBeginFromCurrentState));
        CHECK(s.header->activityIndicatorView()->isAnimating());
        CHECK(s.header->titleLabel()->text() == "Loading...");
        CHECK(s.header->arrow()->layer()->opacity() == 0);
        time.advance(1);
        CHECK(s.offset() == c.loading);
        CHECK(s.header->state() == STPullToRefreshStateLoading);
        CHECK(s.calls == 1);

        // While loading the inset follows the content up, and never past the band.
        s.drag({-30}, false);
        CHECK(s.top() == 30);
        s.scroll->dragToContentOffset({0, -200});
        CHECK(s.top() == c.topInset + 60);
        s.scroll->endDragging();
        time.advance(1);
        CHECK(s.offset() == c.loading);

        // Stopping gives the original inset back, and the content follows it.
        s.header->stopAnimating();
        CHECK(s.header->state() == STPullToRefreshStateStopped);
        CHECK(s.top() == c.topInset);
        CHECK(s.offset() == -c.topInset);
        CHECK_FALSE(s.header->activityIndicatorView()->isAnimating());
        CHECK(s.header->arrow()->layer()->opacity() == 1);
        CHECK(s.calls == 1);

        // A second pull runs the handler again.
        s.drag({c.far});
        CHECK(s.calls == 2);
    }
}

TEST_CASE("triggering from code scrolls the band into view only from an offset of zero") {
    SUBCASE("at rest without an inset: scrolled in, then back") {
        VirtualTime time;
        PullScene s(0);
        triggerPullToRefresh(*s.scroll);
        CHECK(s.calls == 1);
        CHECK(s.header->state() == STPullToRefreshStateLoading);
        CHECK_FALSE(s.header->wasTriggeredByUser());
        time.advance(1);
        CHECK(s.offset() == -60);
        CHECK(s.top() == 60);
        s.header->stopAnimating();
        time.advance(1);
        CHECK(s.offset() == 0);
        CHECK(s.top() == 0);
    }
    SUBCASE("with a top inset the offset is not zero: counted as the user's, nothing scrolls") {
        VirtualTime time;
        PullScene s(64);
        s.header->triggerRefresh();
        CHECK(s.calls == 1);
        CHECK(s.header->wasTriggeredByUser());
        time.advance(1);
        CHECK(s.offset() == -64);
        CHECK(s.top() == 64);
        s.header->stopAnimating();
        time.advance(1);
        CHECK(s.offset() == -64);
        CHECK(s.top() == 64);
    }
    SUBCASE("startAnimating from the stopped state runs no handler") {
        VirtualTime time;
        PullScene s(0);
        s.header->startAnimating();
        CHECK(s.header->state() == STPullToRefreshStateLoading);
        CHECK(s.calls == 0);
        s.header->stopAnimating();
    }
}

TEST_CASE("showing and hiding the header starts and ends its observation and restores the inset") {
    VirtualTime time;
    PullScene s(20);
    CHECK(s.scroll->observerCount("contentOffset") == 1);
    CHECK(s.scroll->observerCount("frame") == 1);
    s.drag({-200});
    CHECK(s.calls == 1);
    CHECK(s.top() == 80);
    time.advance(1);
    CHECK(s.offset() == -80);

    // Hidden while loading: the original inset comes back with the 0.3 s animation.
    s.scroll->clearAnimationRecords();
    setShowsPullToRefresh(*s.scroll, false);
    CHECK_FALSE(showsPullToRefresh(*s.scroll));
    CHECK(s.header->isHidden());
    CHECK_FALSE(s.header->isObserving());
    CHECK(s.scroll->observerCount("contentOffset") == 0);
    CHECK(s.scroll->observerCount("frame") == 0);
    CHECK(s.top() == 20);
    CHECK(s.offset() == -20);
    auto record = s.scroll->animationRecordForKey("contentInset");
    REQUIRE(record);
    CHECK(record->duration == doctest::Approx(0.3));
    s.header->stopAnimating();

    // Hidden, pulls do nothing; shown again, they do.
    s.drag({-200});
    time.advance(1);
    CHECK(s.calls == 1);
    setShowsPullToRefresh(*s.scroll, true);
    setShowsPullToRefresh(*s.scroll, true);
    CHECK(s.scroll->observerCount("contentOffset") == 1);
    s.drag({-200});
    CHECK(s.calls == 2);

    // A second add keeps the first header and handler.
    int other = 0;
    addPullToRefreshWithActionHandler(s.scroll, [&] { ++other; });
    CHECK(pullToRefreshView(*s.scroll) == s.header);
    s.header->stopAnimating();
    time.advance(1);
    s.drag({-200});
    CHECK(s.calls == 3);
    CHECK(other == 0);

    // A change of the scroll view's frame lays the header out for the new width.
    s.scroll->setFrame(CGRectMake(0, 0, 400, 480));
    CHECK(s.header->titleLabel()->frame().origin.x == 144);
    CHECK(s.header->arrow()->frame().origin.x == 100);
}

TEST_CASE("the scroll view does not own its header, and no observation outlives the header or the scroll view") {
    VirtualTime time;
    SUBCASE("a header taken off and let go reads as none") {
        PullScene s(0);
        std::weak_ptr<STPullToRefreshView> weak = s.header;
        s.header->removeFromSuperview();
        CHECK(s.scroll->observerCount("contentOffset") == 0);
        s.header.reset();
        CHECK(weak.expired());
        CHECK(pullToRefreshView(*s.scroll) == nullptr);
        CHECK_FALSE(showsPullToRefresh(*s.scroll));
        triggerPullToRefresh(*s.scroll);  // nothing to trigger
        CHECK(s.calls == 0);
        // A new header can be added.
        addPullToRefreshWithActionHandler(s.scroll, [] {});
        CHECK(pullToRefreshView(*s.scroll));
    }
    SUBCASE("a hidden header taken off the scroll view stops observing too") {
        PullScene s(0);
        s.header->setHidden(true);  // hidden directly, still observing
        s.header->removeFromSuperview();
        CHECK_FALSE(s.header->isObserving());
        CHECK(s.scroll->observerCount("contentOffset") == 0);
        CHECK(s.scroll->observerCount("frame") == 0);
    }
    SUBCASE("a scroll view that goes away leaves a header that still works") {
        PullScene s(0);
        auto header = s.header;
        s.header.reset();
        s.scroll->removeFromSuperview();
        s.scroll.reset();
        CHECK(header->scrollView() == nullptr);
        header->startAnimating();
        header->stopAnimating();
        header->scrollViewDidScroll({0, -100});
        CHECK(header->state() == STPullToRefreshStateStopped);
        CHECK(s.calls == 0);
    }
    SUBCASE("attaching is announced under the property's name") {
        ScrollScene s({320, 480}, 1000);
        int announced = 0;
        auto token = s.scroll->observeValueForKey(kSTPullToRefreshViewKey, [&](const std::string&) { ++announced; });
        addPullToRefreshWithActionHandler(s.scroll, [] {});
        CHECK(announced == 1);
    }
}

TEST_CASE("titles, subtitles and custom views are set per state, 10 for all, and other states change nothing") {
    VirtualTime time;
    PullScene s(0);
    auto& h = *s.header;
    CHECK(h.titles() == std::vector<std::string>{"Pull to refresh...", "Release to refresh...", "Loading..."});
    CHECK(h.subtitles() == std::vector<std::string>(4));
    CHECK(h.viewForState().size() == 4);
    CHECK(h.titleLabel()->font()->isEqual(UIFont::boldSystemFontOfSize(14)));
    CHECK(h.subtitleLabel()->font()->isEqual(UIFont::systemFontOfSize(12)));
    CHECK(h.titleLabel()->bounds().size == CGSize{210, 20});
    CHECK(h.textColor()->isEqual(UIColor::darkGrayColor()));
    CHECK(h.arrowColor()->isEqual(UIColor::grayColor()));
    CHECK(h.activityIndicatorViewStyle() == UIActivityIndicatorViewStyleGray);
    CHECK(h.dateLabel() == nullptr);

    h.setTitle("Every state", STPullToRefreshStateAll);
    CHECK(h.titles() == std::vector<std::string>(3, "Every state"));
    h.setTitle("", STPullToRefreshStateTriggered);
    CHECK(h.titles() == std::vector<std::string>{"Every state", "", "Every state"});
    CHECK(h.titleLabel()->text() == "Every state");

    // The title moves up for a subtitle.
    CHECK(h.titleLabel()->frame().origin == CGPoint{104, 20});
    h.setSubtitle("Movies", STPullToRefreshStateStopped);
    CHECK(h.subtitleLabel()->text() == "Movies");
    CHECK(h.titleLabel()->frame().origin == CGPoint{104, 12});
    CHECK(h.subtitleLabel()->frame().origin == CGPoint{104, 28});
    CHECK(h.arrow()->frame() == CGRectMake(60, 6, 22, 48));
    CHECK(h.activityIndicatorView()->center() == h.arrow()->center());

    // A custom view replaces the content of its state, centred.
    auto custom = std::make_shared<UIView>(CGRectMake(0, 0, 101, 31));
    h.setCustomView(custom, STPullToRefreshStateStopped);
    CHECK(custom->superview() == s.header);
    CHECK(custom->frame().origin == CGPoint{110, 15});  // 109.5 and 14.5 rounded
    CHECK(h.titleLabel()->isHidden());
    CHECK(h.subtitleLabel()->isHidden());
    CHECK(h.arrow()->isHidden());
    s.drag({-100}, false);  // triggered: the standard content again
    CHECK(custom->superview() == nullptr);
    CHECK_FALSE(h.titleLabel()->isHidden());
    s.scroll->dragToContentOffset({0, -10});
    CHECK(custom->superview() == s.header);
    // Replaced while it shows, it leaves at once for the new one.
    auto replacement = std::make_shared<UIView>(CGRectMake(0, 0, 20, 20));
    h.setCustomView(replacement, STPullToRefreshStateStopped);
    CHECK(custom->superview() == nullptr);
    CHECK(replacement->superview() == s.header);
    h.setCustomView(nullptr, STPullToRefreshStateAll);
    CHECK(replacement->superview() == nullptr);
    CHECK_FALSE(h.arrow()->isHidden());
    s.scroll->endDragging();

    // Unknown states: nothing changes, and the console says so.
    ConsoleCapture console;
    auto titles = h.titles();
    auto subtitles = h.subtitles();
    for (STPullToRefreshState bad : {3ull, 4ull, 9ull, 11ull, 1000ull}) {
        CAPTURE(bad);
        h.setTitle("x", bad);
        h.setSubtitle("y", bad);
        h.setCustomView(custom, bad);
        h.setState(bad);
    }
    CHECK(h.titles() == titles);
    CHECK(h.subtitles() == subtitles);
    CHECK(h.viewForState() == std::vector<std::shared_ptr<UIView>>(4));
    CHECK(h.state() == STPullToRefreshStateStopped);
    REQUIRE(console.lines.size() == 20);
    CHECK(console.lines[0] ==
          "STPullToRefreshView: no title for state 3 (the states are 0, 1 and 2, or 10 for all three); nothing changed");
    CHECK(console.lines[3] ==
          "STPullToRefreshView: there is no state 3 (0 stopped, 1 triggered, 2 loading); the state stays 0");

    // Colours and spinner style reach the parts.
    h.setTextColor(UIColor::redColor());
    CHECK(h.textColor()->isEqual(UIColor::redColor()));
    CHECK(CGColorEqualToColor(h.subtitleLabel()->textColor(), UIColor::redColor()->CGColor()));
    h.setArrowColor(UIColor::blueColor());
    CHECK(h.arrow()->arrowColor()->isEqual(UIColor::blueColor()));
    h.setActivityIndicatorViewStyle(UIActivityIndicatorViewStyleWhite);
    CHECK(h.activityIndicatorView()->activityIndicatorViewStyle() == UIActivityIndicatorViewStyleWhite);
}

TEST_CASE("the date line shows the last update through the header's formatter, or Never") {
    VirtualTime time;
    PullScene s(0);
    auto& h = *s.header;
    auto formatter = h.dateFormatter();
    CHECK(formatter->dateStyle() == NSDateFormatterShortStyle);
    CHECK(formatter->timeStyle() == NSDateFormatterShortStyle);
    CHECK(formatter->localeIdentifier() == NSDateFormatter::defaultLocaleIdentifier());

    h.setLastUpdatedDate(std::nullopt);
    CHECK(h.showsDateLabel());
    REQUIRE(h.dateLabel() == h.subtitleLabel());
    CHECK(h.dateLabel()->text() == "Last Updated: Never");

    auto pinned = std::make_shared<NSDateFormatter>();
    pinned->setLocaleIdentifier("en_US_POSIX");
    pinned->setTimeZone(NSTimeZone::timeZoneWithName("UTC"));
    pinned->setDateFormat("yyyy-MM-dd HH:mm");
    h.setDateFormatter(pinned);
    CHECK(h.dateLabel()->text() == "Last Updated: Never");
    const Date when{1796649780};  // 2026-12-07 13:23 UTC
    h.setLastUpdatedDate(when);
    CHECK(h.lastUpdatedDate() == when);
    CHECK(h.dateLabel()->text() == "Last Updated: 2026-12-07 13:23");
    pinned = std::make_shared<NSDateFormatter>();
    pinned->setLocaleIdentifier("de_DE");
    pinned->setTimeZone(NSTimeZone::timeZoneWithName("Europe/Berlin"));
    pinned->setDateFormat("dd.MM.yyyy HH:mm");
    h.setDateFormatter(pinned);
    CHECK(h.dateLabel()->text() == "Last Updated: 07.12.2026 14:23");
    // The date line sits under the title.
    h.layoutIfNeeded();
    CHECK(h.titleLabel()->frame().origin.y == 12);
}
