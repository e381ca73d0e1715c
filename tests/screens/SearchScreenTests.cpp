// Protects the search screen: the keyboard at load, the 8-character rule (counted as the platform counts
// characters) with its alert, keywords sent as typed ("&" and non-ASCII text included), a new search
// superseding one in flight, further pages asking for the keyword of the results shown, and the tap that hides
// the keyboard without selecting what lies under it.
#include <doctest/doctest.h>

#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIKeyboard.h"
#include "screens/GridScreenFixture.h"
#include "screens/SearchMovieViewController.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/progresshud/LOProgressHUD.h"

using gridtest::GridScreenFixture;
using nlohmann::json;

namespace {

struct SearchScreen {
    GridScreenFixture f{{{"--movies", "120", "--shows", "60"}}};
    std::shared_ptr<SearchMovieViewController> screen = f.show<SearchMovieViewController>("SearchMovieViewController");
    std::shared_ptr<UISearchBar> bar = screen ? screen->searchBar() : nullptr;

    SearchScreen() {
        REQUIRE(screen);
        REQUIRE(bar);
    }
    // Types the keyword into the emptied bar and presses the search key.
    void search(const std::string& keyword) {
        bar->setText("");
        // An overlay takes the touches while it is up or fading.
        f.waitFor([&] { return LOProgressHUD::allHUDsForView(screen->view()).empty(); }, "the overlays to go");
        if (!bar->isFirstResponder()) f.tap(f.centreOf(*bar));
        REQUIRE(bar->isFirstResponder());
        f.type(keyword);
        f.pressReturn();
    }
    std::vector<json> searches() const { return f.control.requests("search"); }
    void waitForResults(const char* what) { f.waitForPage(*screen, std::nullopt, what); }
};

std::vector<std::shared_ptr<UIAlertView>> shortKeywordAlerts() {
    std::vector<std::shared_ptr<UIAlertView>> found;
    for (auto& alert : UIAlertView::visibleAlerts())
        if (alert->title() == "Alert" && alert->message() == "Key search must be at least 8 characters in length.")
            found.push_back(alert);
    return found;
}

}  // namespace

TEST_CASE("the keyboard is up at load, keywords under 8 characters give the alert, 8 and more search page 1") {
    SearchScreen s;
    s.f.waitFor([&] { return UIKeyboard::isVisible(); }, "the keyboard at load");
    CHECK(s.bar->isFirstResponder());
    CHECK(s.screen->moviesArray().empty());
    CHECK(s.searches().empty());

    struct Row {
        const char* keyword;
        bool searches;
    };
    const Row rows[] = {
        {"", false},
        {"seven!!", false},
        {"Amélie!", false},        // 7 characters in 8 bytes
        {"eight ch", true},
        {"Rock & Roll", true},     // "&" reaches the server as part of the keyword
        {"Café Noir", true},
        {"東京物語の夜と朝", true},  // 8 characters
    };
    std::size_t sent = 0;
    for (const Row& row : rows) {
        const std::string keyword = row.keyword;
        CAPTURE(keyword);
        s.search(keyword);
        CHECK(!s.bar->isFirstResponder());
        if (!row.searches) {
            const auto alerts = shortKeywordAlerts();
            REQUIRE(alerts.size() == 1);
            CHECK(alerts.front()->numberOfButtons() == 1);
            CHECK(alerts.front()->buttonTitleAtIndex(0) == "OK");
            REQUIRE(UIAlertView::pressButton("OK"));
            s.f.settle(0.2);
            CHECK(s.searches().size() == sent);
            continue;
        }
        CHECK(shortKeywordAlerts().empty());
        ++sent;
        s.f.waitFor([&] { return s.searches().size() == sent && !s.screen->isLoadItem(); }, "the search reply");
        const json request = s.searches().back();
        CHECK(request["keyword"] == keyword);
        CHECK(request["page"] == "1");
        CHECK(request["count"] == "30");
        CHECK(s.screen->keySearch() == keyword);
        // The footer shows only when more pages exist.
        CHECK(showsInfiniteScrolling(*s.screen->collectionView()) == s.screen->isLoadMoreItem());
    }

    // Cancel empties the bar and hides the keyboard; the keyword and the results stay.
    const auto results = s.screen->moviesArray();
    s.f.waitFor([&] { return LOProgressHUD::allHUDsForView(s.screen->view()).empty(); }, "the overlays to go");
    s.f.tap(s.f.centreOf(*s.bar));
    s.f.type("half typed");
    REQUIRE(s.bar->cancelButton());
    s.f.tap(s.f.centreOf(*s.bar->cancelButton()));
    CHECK(s.bar->text().empty());
    CHECK(!s.bar->isFirstResponder());
    CHECK(s.screen->keySearch() == std::string("東京物語の夜と朝"));
    CHECK(s.screen->moviesArray() == results);
    CHECK(s.searches().size() == sent);
}

TEST_CASE("a new search supersedes a late one, and further pages ask for the keyword of the results shown") {
    SearchScreen s;
    // The first search is late and would show marked titles if it were let through.
    json stale = {{"more", true}, {"films", json::array()}};
    for (int i = 0; i < 30; ++i)
        stale["films"].push_back({{"id", 80000 + i}, {"title", "STALE"}, {"poster", ""}, {"year", 2000}});
    s.f.control.delay("search", 1, 1500);
    s.f.control.data("search", 1, stale);
    s.search("first keyword");
    s.f.waitFor([&] { return s.searches().size() == 1; }, "the first search to be sent");
    // The overlay of the first search is up: the second search comes from the search key.
    s.bar->setText("Return to");
    s.screen->searchBarSearchButtonClicked(*s.bar);
    s.waitForResults("the second search's results");
    s.f.settle(1.8);  // the late first reply arrives and is dropped
    for (const auto& record : s.screen->moviesArray()) CHECK(record->title() != "STALE");
    CHECK(s.screen->shownKeyword() == std::string("Return to"));
    REQUIRE(s.screen->isLoadMoreItem());

    // A later search that fails leaves the results, and their keyword, in place.
    s.f.control.fault("search", 1, "http500");
    s.search("no such title anywhere");
    s.f.waitFor([&] { return s.searches().size() == 3 && !s.screen->isLoadItem(); }, "the failed search");
    CHECK(s.screen->keySearch() == std::string("no such title anywhere"));
    CHECK(s.screen->moviesArray().size() == 30);

    // The bar now holds other text too; page 2 still belongs to the results shown.
    s.bar->setText("something else typed");
    s.f.waitFor([&] { return LOProgressHUD::allHUDsForView(s.screen->view()).empty(); }, "the overlays to go");
    s.f.dragToNextPage(*s.screen);
    s.f.waitFor([&] { return s.screen->moviesArray().size() > 30 && !s.screen->isLoadItem(); }, "page 2");
    const auto searches = s.searches();
    REQUIRE(searches.size() == 4);
    CHECK(searches[3]["keyword"] == "Return to");
    CHECK(searches[3]["page"] == "2");
}

TEST_CASE("while the keyboard is up a tap on the results hides it and opens nothing") {
    SearchScreen s;
    s.search("Return to");
    s.waitForResults("the results");
    CHECK(!UIKeyboard::isVisible());
    CHECK((!s.screen->tapSingle() || s.screen->tapSingle()->view() == nullptr));

    s.f.tap(s.f.centreOf(*s.bar));
    s.f.waitFor([&] { return UIKeyboard::isVisible(); }, "the keyboard");
    REQUIRE(s.screen->tapSingle());
    CHECK(s.screen->tapSingle()->view() == s.screen->view());

    auto grid = s.screen->collectionView();
    auto cell = grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(0, 0));
    REQUIRE(cell);
    const std::size_t stacked = s.f.navigation->viewControllers().size();
    s.f.tap(s.f.centreOf(*cell));
    CHECK(!s.bar->isFirstResponder());
    s.f.waitFor([&] { return !UIKeyboard::isVisible(); }, "the keyboard to hide");
    CHECK(s.screen->tapSingle()->view() == nullptr);
    CHECK(grid->indexPathsForSelectedItems().empty());
    s.f.settle(0.5);
    CHECK(s.f.navigation->viewControllers().size() == stacked);
    CHECK(!s.f.navigation->presentedViewController());
}
