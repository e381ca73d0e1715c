// Protects the infinite-scrolling footer: a drag past the end of the content
// triggers it and the release loads once, loading ignores scrolling until it
// stops, the 60-point bottom inset comes and goes with the footer, the footer
// follows the content's end, `enabled` silences it, custom views show from the
// next change of state, unknown states change nothing, and the scroll view
// does not own its footer.
#include <doctest/doctest.h>

#include "ScrollExtensionTestSupport.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"

using namespace scrolltest;
using uikittest::VirtualTime;

namespace {

struct FooterScene : ScrollScene {
    std::shared_ptr<STInfiniteScrollingView> footer;
    int calls = 0;
    explicit FooterScene(CGFloat bottomInset = 0)
        : ScrollScene({320, 600}, 1000, UIEdgeInsetsMake(0, 0, bottomInset, 0)) {
        addInfiniteScrollingWithActionHandler(scroll, [this] { ++calls; });
        footer = infiniteScrollingView(*scroll);
        REQUIRE(footer);
    }
    CGFloat bottom() const { return scroll->contentInset().bottom; }
};

}  // namespace

TEST_CASE("a drag past the end of the content triggers the footer and the release loads the next page once") {
    VirtualTime time;
    FooterScene s;
    CHECK(s.footer->frame() == CGRectMake(0, 1000, 320, 60));
    CHECK(s.bottom() == 60);
    CHECK(s.footer->isObserving());
    CHECK(s.footer->enabled());
    CHECK(showsInfiniteScrolling(*s.scroll));
    CHECK(s.footer->activityIndicatorViewStyle() == UIActivityIndicatorViewStyleGray);

    // 400 is the threshold itself: nothing.
    s.drag({200, 400});
    CHECK(s.footer->state() == STInfiniteScrollingStateStopped);
    CHECK(s.calls == 0);

    // 401 triggers; dragging back above the end stops; past it again and let go loads.
    s.drag({401}, false);
    CHECK(s.footer->state() == STInfiniteScrollingStateTriggered);
    s.scroll->dragToContentOffset({0, 399});
    CHECK(s.footer->state() == STInfiniteScrollingStateStopped);
    s.scroll->dragToContentOffset({0, 401});
    CHECK(s.calls == 0);
    s.scroll->endDragging();
    CHECK(s.footer->state() == STInfiniteScrollingStateLoading);
    CHECK(s.calls == 1);
    auto spinner = s.footer->activityIndicatorView();
    CHECK(spinner->isAnimating());
    CHECK(spinner->frame().origin == CGPoint{150, 20});

    // While loading, scrolling changes nothing.
    s.drag({100});
    s.drag({450});
    time.advance(1);
    CHECK(s.footer->state() == STInfiniteScrollingStateLoading);
    CHECK(s.calls == 1);

    // The next page arrives: the content grows, the footer follows, and the
    // next drag past the new end loads again.
    s.scroll->setContentSize({320, 2000});
    CHECK(s.footer->frame() == CGRectMake(0, 2000, 320, 60));
    s.footer->stopAnimating();
    CHECK(s.footer->state() == STInfiniteScrollingStateStopped);
    CHECK_FALSE(spinner->isAnimating());
    CHECK(spinner->isHidden());
    s.drag({1300, 1401});
    CHECK(s.calls == 2);
}

TEST_CASE("triggering from code runs the handler, starting alone, or with the footer disabled, does not") {
    VirtualTime time;
    FooterScene s;
    s.footer->startAnimating();
    CHECK(s.footer->state() == STInfiniteScrollingStateLoading);
    CHECK(s.calls == 0);
    s.footer->stopAnimating();
    triggerInfiniteScrolling(*s.scroll);
    CHECK(s.calls == 1);
    s.footer->stopAnimating();
    s.footer->triggerRefresh();
    CHECK(s.calls == 2);
    s.footer->stopAnimating();

    s.footer->setEnabled(false);
    s.drag({450});
    CHECK(s.footer->state() == STInfiniteScrollingStateStopped);
    s.footer->setState(STInfiniteScrollingStateTriggered);
    s.footer->setState(STInfiniteScrollingStateLoading);
    CHECK(s.calls == 2);
    triggerInfiniteScrolling(*s.scroll);
    CHECK(s.calls == 2);
}

TEST_CASE("hiding the footer removes its inset and observations, showing it again restores both below the content") {
    VirtualTime time;
    FooterScene s(10);
    CHECK(s.footer->originalBottomInset() == 10);
    CHECK(s.bottom() == 70);
    CHECK(s.scroll->observerCount("contentOffset") == 1);
    CHECK(s.scroll->observerCount("contentSize") == 1);

    s.scroll->setContentOffset({0, 470});  // the far end, footer in view
    s.scroll->clearAnimationRecords();
    setShowsInfiniteScrolling(*s.scroll, false);
    CHECK_FALSE(showsInfiniteScrolling(*s.scroll));
    CHECK(s.footer->isHidden());
    CHECK(s.bottom() == 10);
    CHECK(s.scroll->contentOffset().y == 410);  // back within the content
    auto record = s.scroll->animationRecordForKey("contentInset");
    REQUIRE(record);
    CHECK(record->duration == doctest::Approx(0.3));
    CHECK(record->options ==
          (UIViewAnimationOptionAllowUserInteraction | UIViewAnimationOptionBeginFromCurrentState));
    CHECK(s.scroll->observerCount("contentOffset") == 0);
    CHECK(s.scroll->observerCount("contentSize") == 0);
    s.drag({500});
    CHECK(s.calls == 0);

    s.scroll->setContentSize({320, 1500});
    CHECK(s.footer->frame().origin.y == 1000);  // not followed while hidden
    setShowsInfiniteScrolling(*s.scroll, true);
    setShowsInfiniteScrolling(*s.scroll, true);
    CHECK(s.bottom() == 70);
    CHECK(s.footer->frame() == CGRectMake(0, 1500, 320, 60));
    CHECK(s.scroll->observerCount("contentOffset") == 1);
    s.drag({901});
    CHECK(s.calls == 1);

    // A second add keeps the first footer and handler.
    int other = 0;
    addInfiniteScrollingWithActionHandler(s.scroll, [&] { ++other; });
    CHECK(infiniteScrollingView(*s.scroll) == s.footer);
    s.footer->stopAnimating();
    s.drag({901});
    CHECK(s.calls == 2);
    CHECK(other == 0);
}

TEST_CASE("custom views of the footer show from the next change of state, unknown states change nothing") {
    VirtualTime time;
    FooterScene s;
    auto loading = std::make_shared<UIView>(CGRectMake(0, 0, 41, 21));
    s.footer->setCustomView(loading, STInfiniteScrollingStateLoading);
    CHECK(s.footer->viewForState()[2] == loading);
    CHECK(loading->superview() == nullptr);
    s.drag({450});
    CHECK(loading->superview() == s.footer);
    CHECK(loading->frame().origin == CGPoint{140, 20});  // 139.5 and 19.5 rounded
    CHECK_FALSE(s.footer->activityIndicatorView()->isAnimating());
    // Replaced while it shows, it stays until the state changes, then goes.
    auto replacement = std::make_shared<UIView>(CGRectMake(0, 0, 20, 20));
    s.footer->setCustomView(replacement, STInfiniteScrollingStateLoading);
    CHECK(loading->superview() == s.footer);
    s.footer->stopAnimating();
    CHECK(loading->superview() == nullptr);
    s.drag({450});
    CHECK(replacement->superview() == s.footer);
    CHECK(loading->superview() == nullptr);
    s.footer->stopAnimating();
    CHECK(replacement->superview() == nullptr);

    // Set for all states while stopped: nothing shows until the state changes.
    auto every = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    s.footer->setCustomView(every, STInfiniteScrollingStateAll);
    CHECK(every->superview() == nullptr);
    s.drag({450}, false);
    CHECK(every->superview() == s.footer);
    s.scroll->endDragging();
    CHECK(every->superview() == s.footer);
    s.footer->stopAnimating();

    // A custom view taking over from a running spinner stops it.
    s.footer->setCustomView(nullptr, STInfiniteScrollingStateAll);
    s.footer->setCustomView(every, STInfiniteScrollingStateStopped);
    s.drag({450});
    CHECK(s.footer->activityIndicatorView()->isAnimating());
    s.footer->stopAnimating();
    CHECK(every->superview() == s.footer);
    CHECK_FALSE(s.footer->activityIndicatorView()->isAnimating());

    ConsoleCapture console;
    auto views = s.footer->viewForState();
    for (STInfiniteScrollingState bad : {3ull, 7ull, 11ull}) {
        s.footer->setCustomView(loading, bad);
        s.footer->setState(bad);
    }
    CHECK(s.footer->viewForState() == views);
    CHECK(s.footer->state() == STInfiniteScrollingStateStopped);
    REQUIRE(console.lines.size() == 6);
    CHECK(console.lines[0] == "STInfiniteScrollingView: no custom view for state 3 (the states are 0, 1 and 2, "
                              "or 10 for all three); nothing changed");
    CHECK(console.lines[1] ==
          "STInfiniteScrollingView: there is no state 3 (0 stopped, 1 triggered, 2 loading); the state stays 0");
}

TEST_CASE("the scroll view does not own its footer, and no observation outlives the footer or the scroll view") {
    VirtualTime time;
    SUBCASE("a footer taken off and let go reads as none") {
        FooterScene s;
        std::weak_ptr<STInfiniteScrollingView> weak = s.footer;
        s.footer->removeFromSuperview();
        CHECK(s.scroll->observerCount("contentOffset") == 0);
        CHECK(s.scroll->observerCount("contentSize") == 0);
        s.footer.reset();
        CHECK(weak.expired());
        CHECK(infiniteScrollingView(*s.scroll) == nullptr);
        CHECK_FALSE(showsInfiniteScrolling(*s.scroll));
        triggerInfiniteScrolling(*s.scroll);
        setShowsInfiniteScrolling(*s.scroll, false);
        CHECK(s.calls == 0);
    }
    SUBCASE("a scroll view that goes away leaves a footer that still works") {
        FooterScene s;
        auto footer = s.footer;
        s.footer.reset();
        s.scroll->removeFromSuperview();
        s.scroll.reset();
        CHECK(footer->scrollView() == nullptr);
        footer->scrollViewDidScroll({0, 500});
        footer->triggerRefresh();
        CHECK(s.calls == 1);  // the handler is the footer's own
        footer->stopAnimating();
        footer->moveBelowContent();
        CHECK(footer->frame().origin.y == 1000);
    }
    SUBCASE("attaching is announced under the property's name") {
        ScrollScene s({320, 600}, 1000);
        int announced = 0;
        auto token = s.scroll->observeValueForKey(kUIScrollViewInfiniteScrollingViewKey,
                                                  [&](const std::string&) { ++announced; });
        addInfiniteScrollingWithActionHandler(s.scroll, [] {});
        CHECK(announced == 1);
    }
}
