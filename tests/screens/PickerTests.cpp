// Protects the sort, genre and stream pickers: which rows carry the checkmark, what a
// tap on a row or a button hands to the delegate (only to one that answers), and a
// genre list that is missing or malformed leaving the picker usable.
#include <doctest/doctest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DetailTestSupport.h"
#include "platform/foundation/NSBundle.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/ListGenresViewController.h"
#include "screens/ListSortViewController.h"
#include "screens/ListStreamViewController.h"
#include "screens/MainStoryboard.h"
#include "support/TestEnvironment.h"

using screentest::checkedRows;
using screentest::rowTexts;
using screentest::waitFor;

namespace {

// A window showing one controller, key and visible while the object lives.
struct Shown {
    std::shared_ptr<UIWindow> window;
    explicit Shown(const std::shared_ptr<UIViewController>& controller, CGRect frame = CGRectMake(0, 0, 320, 568)) {
        window = std::make_shared<UIWindow>(frame);
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        window->layoutAndDisplayIfNeeded();
    }
    ~Shown() {
        window->setHidden(true);
        UIApplication::sharedApplication()->setKeyWindow(nullptr);
    }
};

std::shared_ptr<UIStoryboard> mainStoryboard() {
    registerPickerScenes();
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    REQUIRE(storyboard);
    return storyboard;
}

// Records what the pickers hand over; answers only what `answers` says.
struct Recorder : ListSortViewDelegate, ListGenresViewDelegate, ListStreamViewDelegate {
    bool answers = true;
    std::vector<std::string> calls;
    std::vector<Value> streams;
    std::vector<std::shared_ptr<GenresModel>> genres;

    bool respondsToListSortMoviesByKey() const override { return answers; }
    void listSortMoviesByKey(const std::string& key) override { calls.push_back("sort " + key); }
    bool respondsToDidSelectGenresModel() const override { return answers; }
    void didSelectGenresModel(const std::shared_ptr<GenresModel>& genre) override {
        calls.push_back("genre " + genre->name());
        genres.push_back(genre);
    }
    bool respondsToDissmissListGenres() const override { return answers; }
    void dissmissListGenres() override { calls.push_back("dismiss genres"); }
    bool respondsToListStreamViewPlayStream() const override { return answers; }
    void listStreamViewPlayStream(const Value& stream) override {
        calls.push_back("play");
        streams.push_back(stream);
    }
    bool respondsToListStreamViewDownloadStream() const override { return answers; }
    void listStreamViewDownloadStream(const Value& stream) override {
        calls.push_back("download");
        streams.push_back(stream);
    }
    bool respondsToListStreamViewCancelView() const override { return answers; }
    void listStreamViewCancelView() override { calls.push_back("cancel"); }
};

Value stream(const std::string& name, const std::string& link) {
    Value s = Value::dictionary();
    s.setObject("name", name);
    s.setObject("link", link);
    return s;
}

}  // namespace

TEST_CASE("the sort picker checks the key in force in any case, the first row without one, none for an unknown key") {
    testsupport::TempHome home;
    screentest::DeviceKind phone(false);
    mainStoryboard();
    struct Case {
        std::optional<std::string> current;
        std::vector<long> checked;
    };
    const Case cases[] = {{"rating", {3}}, {"RATING", {3}}, {"popular", {0}}, {std::nullopt, {0}},
                          {"views", {}},   {"", {}},         {"New", {2}}};
    for (const auto& c : cases) {
        CAPTURE(c.current.value_or("(none)"));
        auto picker = ListSortViewController::initWithNibName();
        auto recorder = std::make_shared<Recorder>();
        picker->setDelegate(recorder);
        picker->setSortByCurrent(c.current);
        Shown shown(picker, CGRectMake(0, 0, 150, 176));
        auto table = picker->tableView();
        REQUIRE(table);
        CHECK(table->accessibilityIdentifier() == "tableView");
        CHECK(picker->titleLabel()->accessibilityIdentifier() == "titleLabel");
        CHECK(rowTexts(*table) == std::vector<std::string>{"Popular", "Updated", "New", "Rating"});
        CHECK(checkedRows(*table) == c.checked);
        for (const auto& cell : table->visibleCells()) {
            CHECK(cell->frame().size.height == 44);
            CHECK(cell->selectionStyle() == UITableViewCellSelectionStyleNone);
            CHECK(cell->reuseIdentifier() == "GenresCellIdentifier");
        }
    }
}

TEST_CASE("a chosen row reaches the pickers' delegates only when one is set and answers, and no picker closes itself") {
    testsupport::TempHome home;
    screentest::DeviceKind phone(false);
    auto storyboard = mainStoryboard();
    screentest::Finger finger;
    struct Case {
        const char* name;
        bool withDelegate;
        bool answers;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a delegate that answers", true, true, {"sort Rating", "genre Action", "dismiss genres"}},
        {"a delegate that does not answer", true, false, {}},
        {"no delegate", false, false, {}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        auto recorder = std::make_shared<Recorder>();
        recorder->answers = c.answers;
        {
            auto sort = ListSortViewController::initWithNibName();
            if (c.withDelegate) sort->setDelegate(recorder);
            Shown shown(sort, CGRectMake(0, 0, 150, 176));
            finger.tapRow(*sort->tableView(), 3);
            CHECK(shown.window->rootViewController() == sort);
            CHECK_FALSE(sort->tableView()->indexPathForSelectedRow());  // deselected after the choice
        }
        {
            auto genres = storyboard->instantiate<ListGenresViewController>("ListGenresViewController");
            REQUIRE(genres);
            if (c.withDelegate) genres->setDelegate(recorder);
            Shown shown(genres);
            finger.tapRow(*genres->genresTable(), 1);
            finger.tapId("backButton");
            CHECK(shown.window->rootViewController() == genres);
        }
        CHECK(recorder->calls == c.expected);
    }
}

TEST_CASE("the genre picker checks every genre of the id in force on a phone and a tablet, with the tablet's chrome") {
    testsupport::TempHome home;
    auto expected = GenresModel::loadGenreList();
    REQUIRE(expected.size() > 6);
    struct Case {
        bool tablet;
        std::int32_t current;
        std::vector<long> checked;
    };
    const Case cases[] = {{false, 0, {0}}, {false, 5, {5}}, {true, 3, {3}}, {true, 9999, {}}};
    for (const auto& c : cases) {
        CAPTURE(c.tablet);
        CAPTURE(c.current);
        screentest::DeviceKind device(c.tablet);
        auto picker = mainStoryboard()->instantiate<ListGenresViewController>("ListGenresViewController");
        REQUIRE(picker);
        picker->setGenresIDCurrent(c.current);
        Shown shown(picker, c.tablet ? CGRectMake(0, 0, 320, 480) : CGRectMake(0, 0, 320, 568));
        CHECK(picker->titleLabel()->text() == "List Genres");
        REQUIRE(picker->genresArray().size() == expected.size());
        CHECK(checkedRows(*picker->genresTable()) == c.checked);
        CHECK(rowTexts(*picker->genresTable())[1] == expected[1]->name());
        CHECK(picker->backButton()->isHidden() == c.tablet);
        CHECK(picker->cancelButton()->isHidden() == !c.tablet);
        if (c.tablet) {
            CHECK(picker->preferredContentSize() == CGSizeMake(320, 480));
            CHECK(picker->headViewTitle()->frame() == CGRectMake(0, 0, 320, 44));
            CHECK(picker->genresTable()->frame() == CGRectMake(0, 44, 320, 436));
            auto heading = UIColor::colorWithRed(0, 125.0 / 255.0, 1, 1)->CGColor();
            CHECK(CGColorEqualToColor(picker->titleLabel()->textColor(), heading));
            CHECK(CGColorEqualToColor(picker->cancelButton()->titleColorForState(UIControlStateNormal), heading));
            CHECK(CGColorEqualToColor(picker->headViewTitle()->backgroundColor(), UIColor::whiteColor()->CGColor()));
        }
    }
}

TEST_CASE("the stream picker opens with its first stream checked, moves the checkmark and hands the choice over") {
    testsupport::TempHome home;
    screentest::DeviceKind phone(false);
    auto storyboard = mainStoryboard();
    screentest::Finger finger;
    const Value a = stream("720p", "http://h/a%20b.mp4"), b = stream("480p", "http://h/b.mp4"),
                twin = stream("720p", "http://h/other.mp4");
    struct Case {
        const char* name;
        Value streams;
        std::vector<long> checkedAtFirst;
        std::optional<long> choose;  // a row tapped before the buttons
        std::vector<long> checkedAfter;
        Value handedOver;  // what Play and Download pass
    };
    const Case cases[] = {
        {"Play and Download at once pass the first stream", Value::array({a, b}), {0}, std::nullopt, {0}, a},
        {"a chosen row moves the checkmark", Value::array({a, b}), {0}, 1, {1}, b},
        {"two streams of one name are both checked", Value::array({a, twin, b}), {0, 1}, 2, {2}, b},
        {"an empty list passes nothing", Value::array({}), {}, std::nullopt, {}, Value()},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        auto picker = storyboard->instantiate<ListStreamViewController>("ListStreamViewController");
        REQUIRE(picker);
        auto recorder = std::make_shared<Recorder>();
        picker->setStreamArray(c.streams);
        picker->setDelegate(recorder);
        Shown shown(picker, CGRectMake(0, 0, 276, 220));
        auto table = picker->movieTable();
        CHECK(checkedRows(*table) == c.checkedAtFirst);
        if (c.choose) {
            finger.tapRow(*table, *c.choose);
            shown.window->layoutAndDisplayIfNeeded();
        }
        CHECK(checkedRows(*table) == c.checkedAfter);
        finger.tapId("playButton");
        finger.tapId("downloadButton");
        finger.tapId("cancelButton");
        CHECK(recorder->calls == std::vector<std::string>{"play", "download", "cancel"});
        REQUIRE(recorder->streams.size() == 2);
        CHECK(recorder->streams[0] == c.handedOver);
        CHECK(recorder->streams[1] == c.handedOver);
        CHECK(shown.window->rootViewController() == picker);
    }
}

namespace {

// The rows of a genre picker made in this process, as JSON: names and checked rows.
nlohmann::json genrePickerRows(std::int32_t current) {
    auto picker = mainStoryboard()->instantiate<ListGenresViewController>("ListGenresViewController");
    REQUIRE(picker);
    picker->setGenresIDCurrent(current);
    Shown shown(picker);
    nlohmann::json rows = nlohmann::json::object();
    rows["names"] = rowTexts(*picker->genresTable());
    rows["checked"] = checkedRows(*picker->genresTable());
    return rows;
}

// A resources folder like the shipped one, with its own genre list (none for nullopt).
std::string resourcesWithGenres(const std::string& folder, const std::optional<std::string>& genres) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(NSBundle::mainBundle()->bundlePath()))
        if (entry.path().filename() != "MovieGenresData.json")
            fs::create_symlink(fs::absolute(entry.path()), fs::path(folder) / entry.path().filename());
    if (genres) std::ofstream(fs::path(folder) / "MovieGenresData.json") << *genres;
    return folder;
}

}  // namespace

// Run by the test below in a process of its own, whose bundle holds the genre list under test.
TEST_CASE("genre picker helper process" * doctest::skip()) {
    const char* out = std::getenv("GENRE_PICKER_OUT");
    REQUIRE(out);
    testsupport::TempHome home;
    screentest::DeviceKind phone(false);
    std::ofstream(out) << genrePickerRows(std::atoi(std::getenv("GENRE_PICKER_CURRENT"))).dump();
}

TEST_CASE("a genre list that is missing, not JSON or not a list leaves the picker empty, entries that are not objects are skipped") {
    testsupport::TempHome scratch;
    struct Case {
        const char* name;
        std::optional<std::string> file;
        std::int32_t current;
        std::vector<std::string> names;
        std::vector<long> checked;
    };
    const Case cases[] = {
        {"missing", std::nullopt, 0, {}, {}},
        {"not JSON", "[{\"genresID\": 1, \"name\": \"Act", 1, {}, {}},
        {"an object", R"({"genresID": 1, "name": "Action"})", 1, {}, {}},
        {"a string", R"("Action")", 0, {}, {}},
        {"entries of every kind",
         R"([{"genresID": "3", "name": "Three"}, 7, "Drama", null, [3, "x"], true,
             {"genresID": 3, "name": "Again"}, {"name": "No id"}, {"genresID": 4}])",
         3,
         {"Three", "Again", "No id", ""},
         {0, 1}},
        {"no genre of the id in force", R"([{"genresID": 1, "name": "One"}])", 2, {"One"}, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        CAPTURE(c.name);
        const std::string folder = resourcesWithGenres(scratch.path() + "/res" + std::to_string(++n), c.file);
        const std::string out = scratch.path() + "/rows" + std::to_string(n) + ".json";
        const std::string command = "QUORVANE_RESOURCES='" + folder + "' GENRE_PICKER_OUT='" + out +
                                    "' GENRE_PICKER_CURRENT=" + std::to_string(c.current) + " '" +
                                    testsupport::selfExecutable() +
                                    "' --no-skip --test-case='genre picker helper process' >/dev/null 2>&1";
        REQUIRE_MESSAGE(std::system(command.c_str()) == 0, "the picker process failed for " << c.name);
        std::ifstream in(out);
        const auto rows = nlohmann::json::parse(in);
        CHECK(rows["names"].get<std::vector<std::string>>() == c.names);
        CHECK(rows["checked"].get<std::vector<long>>() == c.checked);
    }
}
