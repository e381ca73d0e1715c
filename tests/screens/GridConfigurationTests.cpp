// Protects how the movie grid keeps the server configuration: the cached copy in user defaults (written to the
// preferences file even when the reply holds nulls) and the update check (version text, link rules).
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "screens/GridScreenFixture.h"
#include "screens/MovieViewController.h"
#include "screens/ServerConfiguration.h"
#include "screens/SplashViewController.h"
#include "support/TestEnvironment.h"

using gridtest::GridScreenFixture;

namespace {

Value parse(const char* json) {
    auto value = Value::fromJSON(json);
    REQUIRE(value);
    return *value;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The bundle's version for one case (the information dictionary is shared by reference).
struct BundleVersion {
    explicit BundleVersion(const std::string& version) : previous(bundleVersion()) { set(version); }
    ~BundleVersion() { set(previous); }
    static void set(const std::string& version) {
        NSBundle::mainBundle()->infoDictionary().setObject("CFBundleVersion", Value(version));
    }
    std::string previous;
};

// A file holding the configuration the server is to answer with.
std::string configurationFile(const testsupport::TempHome& scratch, const std::string& json) {
    const std::string path = scratch.path() + "/configuration.json";
    std::ofstream(path) << json;
    return path;
}

std::vector<std::shared_ptr<UIAlertView>> updateAlerts() {
    std::vector<std::shared_ptr<UIAlertView>> found;
    for (auto& alert : UIAlertView::visibleAlerts())
        if (alert->title() == "Update Required") found.push_back(alert);
    return found;
}

void waitForFirstPage(GridScreenFixture& f, const MovieViewController& screen) {
    f.waitFor([&] { return screen.moviesArray().size() == 30 && !screen.isLoadItem(); }, "page 1 of the movies");
}

}  // namespace

TEST_CASE("a configuration with nulls is cached without them, written to the preferences file and read back") {
    testsupport::TempHome home;
    NSUserDefaults::resetStandardUserDefaults();
    const Value served = parse(R"({"AppVersion": "1.0", "AppLink": null, "AdvType": 1, "AdvIDBaner": null,
        "Nested": {"list": [1, null, "two", {"gone": null, "kept": false}], "gone": null}})");
    CHECK(!served.isPropertyList());
    const Value cached = configurationForDefaults(served);
    CHECK(cached.isPropertyList());
    CHECK(cached == parse(R"({"AppVersion": "1.0", "AdvType": 1,
        "Nested": {"list": [1, "two", {"kept": false}]}})"));
    CHECK(!served["AppLink"]);  // the served object itself is left as it came

    REQUIRE(cacheConfiguration(served));
    const std::string file = NSUserDefaults::standardUserDefaults()->filePath();
    REQUIRE(std::filesystem::exists(file));
    CHECK(fileText(file).find("kDefaultInfoQuorvane") != std::string::npos);

    // A later process (a fresh instance over the same home) reads the copy back.
    NSUserDefaults::resetStandardUserDefaults();
    CHECK(cachedConfiguration() == cached);

    // Something that is not a dictionary removes the cache; a stored non-dictionary reads as none.
    REQUIRE(cacheConfiguration(Value("not a configuration")));
    CHECK(!cachedConfiguration());
    REQUIRE(NSUserDefaults::standardUserDefaults()->setObject(Value::array({1, 2}), kDefaultInfoQuorvane));
    CHECK(!cachedConfiguration());
    NSUserDefaults::resetStandardUserDefaults();
}

TEST_CASE("the update link appears only for a newer version with a link the platform can open") {
    struct Row {
        const char* configuration;
        const char* bundle;
        bool alert;
    };
    const Row rows[] = {
        {R"({"AppVersion": "1.10", "AppLink": "http://127.0.0.1/update"})", "1.9", true},
        {R"({"AppVersion": "2", "AppLink": "https://example.invalid/q"})", "1.9", true},
        {R"({"AppVersion": 2, "AppLink": "http://127.0.0.1/update"})", "1.9", true},      // numbers by their text
        {R"({"AppVersion": 1.5, "AppLink": "http://127.0.0.1/update"})", "1.10", false},  // "1.5" is older
        {R"({"AppVersion": "1.9", "AppLink": "http://127.0.0.1/update"})", "1.9", false},
        {R"({"AppVersion": "1.8", "AppLink": "http://127.0.0.1/update"})", "1.9", false},
        {R"({"AppVersion": "", "AppLink": "http://127.0.0.1/update"})", "1.9", false},
        {R"({"AppVersion": null, "AppLink": "http://127.0.0.1/update"})", "1.9", false},
        {R"({"AppLink": "http://127.0.0.1/update"})", "1.9", false},
        {R"({"AppVersion": ["1.10"], "AppLink": "http://127.0.0.1/update"})", "1.9", false},
        {R"({"AppVersion": "1.10", "AppLink": null})", "1.9", false},
        {R"({"AppVersion": "1.10", "AppLink": 42})", "1.9", false},
        {R"({"AppVersion": "1.10", "AppLink": ""})", "1.9", false},
        {R"({"AppVersion": "1.10", "AppLink": "not a link at all"})", "1.9", false},
        {R"({"AppVersion": "1.10", "AppLink": "quorvane-store://update"})", "1.9", false},  // no one opens it
        {R"("1.10")", "1.9", false},
    };
    for (const Row& row : rows) {
        const std::string configuration = row.configuration;
        CAPTURE(configuration);
        const auto link = requiredUpdateLink(parse(row.configuration), row.bundle);
        CHECK(link.has_value() == row.alert);
        if (link) CHECK(*link == parse(row.configuration)["AppLink"].stringValue());
    }
    CHECK(bundleVersion() == "1.0");
}

TEST_CASE("the update alert shows for a newer server version with an openable link, Update opens it, Cancel nothing") {
    BundleVersion bundle("1.9");
    struct Row {
        const char* configuration;
        bool alert;
        const char* press;  // the button pressed on the alert
    };
    const Row rows[] = {
        {R"({"AppVersion": "1.10", "AppLink": "http://127.0.0.1:9/update", "AdvType": 0})", true, "Update"},
        {R"({"AppVersion": "1.10", "AppLink": "http://127.0.0.1:9/update", "AdvType": 0})", true, "Cancel"},
        {R"({"AppVersion": "1.9", "AppLink": "http://127.0.0.1:9/update"})", false, nullptr},
        {R"({"AppVersion": "1.8", "AppLink": "http://127.0.0.1:9/update"})", false, nullptr},
        {R"({"AppLink": "http://127.0.0.1:9/update"})", false, nullptr},
        {R"({"AppVersion": "1.10", "AppLink": "quorvane-store://update"})", false, nullptr},
        {R"({"AppVersion": "1.10", "AppLink": null, "AdvType": null})", false, nullptr},
    };
    for (const Row& row : rows) {
        const std::string configuration = row.configuration;
        CAPTURE(configuration);
        testsupport::TempHome scratch;
        GridScreenFixture f({{"--movies", "40", "--config-json", configurationFile(scratch, configuration)}});
        auto screen = f.show<MovieViewController>("MovieViewController");
        waitForFirstPage(f, *screen);
        const auto alerts = updateAlerts();
        REQUIRE(alerts.size() == (row.alert ? 1u : 0u));
        if (!row.alert) continue;
        const auto& alert = alerts.front();
        CHECK(alert->message() ==
              "The version of Quorvane you are using is no longer supported.  Do you want download the latest "
              "version to access all new features!");
        CHECK(alert->tag() == kRequireUpdateAlertTag);
        CHECK(alert->cancelButtonIndex() == -1);
        REQUIRE(alert->numberOfButtons() == 2);
        CHECK(alert->buttonTitleAtIndex(0) == "Cancel");
        CHECK(alert->buttonTitleAtIndex(1) == "Update");
        REQUIRE(UIAlertView::pressButton(row.press));
        const auto opened = UIApplication::sharedApplication()->openedURLs();
        if (std::string(row.press) == "Update")
            CHECK(opened == std::vector<std::string>{"http://127.0.0.1:9/update"});
        else
            CHECK(opened.empty());
        CHECK(updateAlerts().empty());
    }
}

TEST_CASE("a failed configuration request falls back to the copy cached from a reply with nulls, or to none") {
    testsupport::TempHome scratch;
    const std::string served =
        R"({"AppVersion": "1.0", "AppLink": null, "AdvType": 1, "AdvCount": 2, "AdvIDBaner": null,
            "Extra": {"nested": null, "kept": [null, "x"]}})";
    GridScreenFixture f({{"--movies", "40", "--config-json", configurationFile(scratch, served)}});

    // Nothing cached and the request fails: no configuration, ads off, and page 1 still comes.
    f.control.fault("getversion", 1, "http500");
    auto first = f.show<MovieViewController>("MovieViewController");
    waitForFirstPage(f, *first);
    CHECK(!f.delegate->defaultInfo());
    CHECK(!f.delegate->checkShowAdvertising());
    CHECK(!cachedConfiguration());

    // A reply with nulls becomes the configuration as served and is cached without them.
    f.delegate->setDefaultInfo(Value());
    f.show<MovieViewController>("MovieViewController");
    f.waitFor([&] { return static_cast<bool>(cachedConfiguration()); }, "the configuration to be cached");
    CHECK(f.delegate->defaultInfo() == parse(served.c_str()));
    const Value cached = parse(R"({"AppVersion": "1.0", "AdvType": 1, "AdvCount": 2, "Extra": {"kept": ["x"]}})");
    CHECK(cachedConfiguration() == cached);

    // The next start (a fresh process: nothing in memory) fails its request and takes the cached copy.
    f.delegate->setDefaultInfo(Value());
    NSUserDefaults::resetStandardUserDefaults();
    f.control.fault("getversion", 1, "http500");
    auto third = f.show<MovieViewController>("MovieViewController");
    waitForFirstPage(f, *third);
    CHECK(f.delegate->defaultInfo() == cached);
    CHECK(f.delegate->checkShowAdvertising());
    CHECK(f.control.requests("getversion").size() == 3);
}
