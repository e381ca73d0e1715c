// Action sheets: the platform's button order, the registry of visible sheets, and
// the delegate's calls as a user presses a button or code dismisses a sheet.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "UIKitTestSupport.h"
#include "platform/uikit/UIActionSheet.h"

namespace {

// Writes down every delegate call with the sheet's tag and the button's title.
struct SheetLog : UIActionSheetDelegate {
    std::vector<std::string> calls;
    void note(const char* what, UIActionSheet& sheet, std::optional<long> index = std::nullopt) {
        std::string line = std::string(what) + " tag " + std::to_string(sheet.tag());
        if (index) line += " " + std::to_string(*index) + " \"" + sheet.buttonTitleAtIndex(*index) + "\"";
        calls.push_back(line);
    }
    void clickedButtonAtIndex(UIActionSheet& s, long i) override { note("clicked", s, i); }
    void willPresentActionSheet(UIActionSheet& s) override { note("willPresent", s); }
    void didPresentActionSheet(UIActionSheet& s) override { note("didPresent", s); }
    void willDismissWithButtonIndex(UIActionSheet& s, long i) override { note("willDismiss", s, i); }
    void didDismissWithButtonIndex(UIActionSheet& s, long i) override { note("didDismiss", s, i); }
};

struct CleanSheets {
    CleanSheets() { UIActionSheet::removeAllForTesting(); }
    ~CleanSheets() { UIActionSheet::removeAllForTesting(); }
};

}  // namespace

TEST_CASE("action sheet buttons: destructive first, other buttons, cancel last") {
    struct Case {
        std::optional<std::string> cancel, destructive;
        std::vector<std::string> others;
        std::vector<std::string> titles;
        long cancelIndex, destructiveIndex, firstOther;
    };
    const Case cases[] = {
        {"Cancel", std::nullopt, {"Remove"}, {"Remove", "Cancel"}, 1, -1, 0},
        {"Cancel", std::nullopt, {"Remove", "Resume"}, {"Remove", "Resume", "Cancel"}, 2, -1, 0},
        {"Cancel", "Delete", {"Keep"}, {"Delete", "Keep", "Cancel"}, 2, 0, 1},
        {std::nullopt, "Delete", {}, {"Delete"}, -1, 0, -1},
        {std::nullopt, std::nullopt, {"A", "B"}, {"A", "B"}, -1, -1, 0},
    };
    for (const auto& c : cases) {
        auto sheet = UIActionSheet::initWithTitle("t", {}, c.cancel, c.destructive, c.others);
        CAPTURE(c.titles.size());
        REQUIRE(sheet->numberOfButtons() == static_cast<long>(c.titles.size()));
        for (std::size_t i = 0; i < c.titles.size(); ++i)
            CHECK(sheet->buttonTitleAtIndex(static_cast<long>(i)) == c.titles[i]);
        CHECK(sheet->buttonTitleAtIndex(-1).empty());
        CHECK(sheet->buttonTitleAtIndex(sheet->numberOfButtons()).empty());
        CHECK(sheet->cancelButtonIndex() == c.cancelIndex);
        CHECK(sheet->destructiveButtonIndex() == c.destructiveIndex);
        CHECK(sheet->firstOtherButtonIndex() == c.firstOther);
    }
    // Added buttons come after the cancel button; indexes can be moved and cleared.
    auto sheet = UIActionSheet::initWithTitle("t", {}, std::string("Cancel"), std::nullopt, {"Remove"});
    CHECK(sheet->addButtonWithTitle("Resume") == 2);
    CHECK(sheet->cancelButtonIndex() == 1);
    sheet->setCancelButtonIndex(2);
    CHECK(sheet->cancelButtonIndex() == 2);
    sheet->setCancelButtonIndex(9);
    CHECK(sheet->cancelButtonIndex() == -1);
    sheet->setDestructiveButtonIndex(0);
    CHECK(sheet->destructiveButtonIndex() == 0);
    CHECK(sheet->firstOtherButtonIndex() == 1);
}

TEST_CASE("a pressed sheet button reaches the delegate, then the sheet leaves the registry and is released") {
    CleanSheets clean;
    auto window = uikittest::visibleWindow(CGSizeMake(320, 568));
    auto screen = std::make_shared<UIView>(window->bounds());
    window->addSubview(screen);
    auto log = std::make_shared<SheetLog>();
    std::weak_ptr<UIActionSheet> weakSheet;
    {
        auto sheet = UIActionSheet::initWithTitle("Do you want to remove or resume the downloading this movie?", log,
                                                  std::string("Cancel"), std::nullopt, {"Remove", "Resume"});
        sheet->setTag(20);
        sheet->showInView(screen);
        weakSheet = sheet;
        CHECK(sheet->isVisible());
        CHECK(sheet->shownInView() == screen);
        REQUIRE(UIActionSheet::visibleSheets().size() == 1);
        CHECK(UIActionSheet::visibleSheets()[0] == sheet);
        sheet->showInView(screen);  // a visible sheet is not shown twice
        CHECK(UIActionSheet::visibleSheets().size() == 1);
    }
    CHECK_FALSE(weakSheet.expired());  // the registry holds a visible sheet
    CHECK(UIActionSheet::pressButton("Resume"));
    CHECK(log->calls == std::vector<std::string>{"willPresent tag 20", "didPresent tag 20",
                                                 "clicked tag 20 1 \"Resume\"", "willDismiss tag 20 1 \"Resume\"",
                                                 "didDismiss tag 20 1 \"Resume\""});
    CHECK(UIActionSheet::visibleSheets().empty());
    CHECK(weakSheet.expired());
    CHECK_FALSE(UIActionSheet::pressButton("Resume"));  // nothing left to press
}

TEST_CASE("action sheets: refusals, code dismissals, the newest sheet first, a delegate that is gone") {
    CleanSheets clean;
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 320, 568));
    auto log = std::make_shared<SheetLog>();

    SUBCASE("a sheet without a view or without buttons is not shown") {
        auto sheet = UIActionSheet::initWithTitle("t", log, std::string("Cancel"), std::nullopt, {});
        sheet->showInView(nullptr);
        auto empty = UIActionSheet::initWithTitle("t", log, std::nullopt, std::nullopt, {});
        empty->showInView(view);
        CHECK_FALSE(sheet->isVisible());
        CHECK_FALSE(empty->isVisible());
        CHECK(UIActionSheet::visibleSheets().empty());
        CHECK(log->calls.empty());
        CHECK_FALSE(sheet->pressButtonAtIndex(0));  // not visible
    }
    SUBCASE("dismissing in code skips the clicked call") {
        auto sheet = UIActionSheet::initWithTitle("t", log, std::string("Cancel"), std::nullopt, {"Remove"});
        sheet->setTag(10);
        sheet->showInView(view);
        CHECK_FALSE(sheet->pressButtonAtIndex(2));  // no such button
        sheet->dismissWithClickedButtonIndex(sheet->cancelButtonIndex(), false);
        sheet->dismissWithClickedButtonIndex(0, false);  // already gone: nothing
        CHECK(log->calls == std::vector<std::string>{"willPresent tag 10", "didPresent tag 10",
                                                     "willDismiss tag 10 1 \"Cancel\"", "didDismiss tag 10 1 \"Cancel\""});
        CHECK(UIActionSheet::visibleSheets().empty());
    }
    SUBCASE("a title pressed goes to the newest sheet that has it") {
        auto older = UIActionSheet::initWithTitle("old", log, std::string("Cancel"), std::nullopt, {"Remove"});
        older->setTag(10);
        auto newer = UIActionSheet::initWithTitle("new", log, std::string("Cancel"), std::nullopt, {"Resume"});
        newer->setTag(20);
        older->showInView(view);
        newer->showInView(view);
        log->calls.clear();
        CHECK(UIActionSheet::pressButton("Cancel"));
        CHECK(log->calls.front() == "clicked tag 20 1 \"Cancel\"");
        CHECK(UIActionSheet::pressButton("Remove"));  // only the older one has it
        CHECK(log->calls[3] == "clicked tag 10 0 \"Remove\"");
        CHECK_FALSE(UIActionSheet::pressButton("Nothing"));
        CHECK(UIActionSheet::visibleSheets().empty());
    }
    SUBCASE("a press still dismisses when the delegate is gone") {
        auto sheet = UIActionSheet::initWithTitle("t", log, std::string("Cancel"), std::nullopt, {});
        sheet->showInView(view);
        log.reset();
        CHECK(sheet->pressButtonAtIndex(0));
        CHECK_FALSE(sheet->isVisible());
        CHECK(UIActionSheet::visibleSheets().empty());
    }
}
