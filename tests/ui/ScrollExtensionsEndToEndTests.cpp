// Protects the whole road of a catalogue list in a window: a finger (the drag
// driver) pulls or scrolls, the header or footer starts loading, the handler
// fetches a page from a loopback HTTP server through the networking layer, and
// the reply ends the loading: the pull-to-refresh header gives the top inset
// of 64 back, the infinite-scrolling footer follows the longer content.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ScrollExtensionTestSupport.h"
#include "networking/NLHTTPRequestOperation.h"
#include "platform/net/NSURLRequest.h"
#include "support/LoopbackHttpServer.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

using namespace scrolltest;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;

namespace {

constexpr CGFloat kRowHeight = 100;

// A list of titles fed page by page from the server, one row of 100 points per
// title, as the catalogue screens keep theirs.
struct CatalogueList {
    LoopbackHttpServer& server;
    std::shared_ptr<UIScrollView> scroll;
    std::vector<std::string> titles;
    std::vector<std::string> errors;
    int refreshes = 0;
    int nextPages = 0;

    // Fetches the page; on the reply replaces (page 1) or extends the titles,
    // sizes the content and runs `done`.
    void fetch(int page, std::function<void()> done) {
        auto op = NLHTTPRequestOperation::initWithRequest(
            NSURLRequest::requestWithURL(server.url("/titles?page=" + std::to_string(page))));
        op->setResponseSerializer(NLJSONResponseSerializer::serializer());
        op->setCompletionBlockWithSuccess(
            [this, page, done](const std::shared_ptr<NLHTTPRequestOperation>&, const Value& object) {
                if (page == 1) titles.clear();
                for (std::size_t i = 0; i < object.count(); ++i) titles.push_back(object[i].stringValue());
                scroll->setContentSize({scroll->bounds().size.width, kRowHeight * titles.size()});
                done();
            },
            [this, done](const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr& error) {
                errors.push_back(error ? error->description() : "failure without error");
                done();
            });
        op->start();
    }
};

std::string pageOf(int first, int count) {
    std::string json = "[";
    for (int i = 0; i < count; ++i) json += (i ? ",\"Title " : "\"Title ") + std::to_string(first + i) + "\"";
    return json + "]";
}

}  // namespace

TEST_CASE("a list in a window refreshes on a pull and loads its next page past the end, each from the server") {
    LoopbackHttpServer server;
    server.route("GET", "/titles", [](const testsupport::RecordedRequest& request) {
        if (request.query() == "page=1") return Reply::text(pageOf(100, 10), "application/json").stallFirst();
        return Reply::text(pageOf(200, 10), "application/json");
    });
    ScrollScene scene({320, 600}, 1000, UIEdgeInsetsMake(64, 0, 0, 0));
    auto& scroll = scene.scroll;
    CatalogueList list{server, scroll, {}, {}, 0, 0};
    for (int i = 0; i < 10; ++i) list.titles.push_back("Title " + std::to_string(i));

    std::weak_ptr<UIScrollView> weak = scroll;
    addPullToRefreshWithActionHandler(scroll, [&list, weak] {
        ++list.refreshes;
        list.fetch(1, [weak] {
            if (auto s = weak.lock()) pullToRefreshView(*s)->stopAnimating();
        });
    });
    addInfiniteScrollingWithActionHandler(scroll, [&list, weak] {
        ++list.nextPages;
        list.fetch(2, [weak] {
            if (auto s = weak.lock()) infiniteScrollingView(*s)->stopAnimating();
        });
    });
    auto header = pullToRefreshView(*scroll);
    auto footer = infiniteScrollingView(*scroll);
    REQUIRE(header);
    REQUIRE(footer);
    auto settled = [&] { return !scroll->isDecelerating(); };

    // The pull: short of -124 nothing, at -130 triggered, released loading.
    scroll->beginDragging();
    scroll->dragToContentOffset({0, -100});
    CHECK(header->state() == STPullToRefreshStateStopped);
    scroll->dragToContentOffset({0, -130});
    CHECK(header->state() == STPullToRefreshStateTriggered);
    scroll->endDragging();
    CHECK(header->state() == STPullToRefreshStateLoading);
    CHECK(list.refreshes == 1);
    CHECK(scroll->contentInset().top == 124);
    // The server holds the reply: the band stays in view meanwhile.
    waitFor(server.stalledConnections(1), "the refresh request to reach the server");
    waitFor(settled, "the list to settle while loading");
    CHECK(scroll->contentOffset().y == -124);
    CHECK(header->state() == STPullToRefreshStateLoading);
    CHECK(header->activityIndicatorView()->isAnimating());
    server.releaseStalls();
    waitFor([&] { return header->state() == STPullToRefreshStateStopped; }, "the refresh reply to stop the header");
    CHECK(list.errors.empty());
    CHECK(scroll->contentInset().top == 64);
    CHECK(scroll->contentOffset().y == -64);
    CHECK(list.titles.front() == "Title 100");
    CHECK(list.titles.size() == 10);
    CHECK(list.refreshes == 1);
    REQUIRE(server.requestCount() == 1);
    CHECK(server.lastRequest()->target == "/titles?page=1");

    // The end of 1000 points of content in a 600-point view: 400 is not past it.
    scene.drag({200, 400});
    waitFor(settled, "the list to settle at 400");
    CHECK(footer->state() == STInfiniteScrollingStateStopped);
    CHECK(list.nextPages == 0);
    CHECK(server.requestCount() == 1);

    // 401 is: released there, the next page loads and the footer follows the content.
    scene.drag({401});
    CHECK(footer->state() == STInfiniteScrollingStateLoading);
    CHECK(list.nextPages == 1);
    waitFor([&] { return footer->state() == STInfiniteScrollingStateStopped; }, "the next page to stop the footer");
    CHECK(list.errors.empty());
    CHECK(list.nextPages == 1);
    REQUIRE(server.requestCount() == 2);
    CHECK(server.lastRequest()->target == "/titles?page=2");
    CHECK(list.titles.size() == 20);
    CHECK(list.titles.back() == "Title 209");
    CHECK(scroll->contentSize().height == 2000);
    CHECK(footer->frame() == CGRectMake(0, 2000, 320, 60));
    CHECK(scroll->contentInset() == UIEdgeInsetsMake(64, 0, 60, 0));
    CHECK(header->state() == STPullToRefreshStateStopped);
}
