// Protects how the movie grid keeps the server configuration: the cached copy in user defaults (written to the
// preferences file even when the reply holds nulls) and the update check (version text, link rules).
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/foundation/NSUserDefaults.h"
#include "screens/ServerConfiguration.h"
#include "support/TestEnvironment.h"

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
