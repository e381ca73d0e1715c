// Protects the application's start: the real executable, started as a child
// process, makes its window from the storyboard "Main" and is showing the tab
// shell (past the splash screen) on the device screen, phone and tablet alike.
#include <doctest/doctest.h>

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "support/ApplicationProcess.h"
#include "support/TestEnvironment.h"

using Json = nlohmann::json;

namespace {

// The views of the first window only that the predicate accepts.
std::vector<Json> inFirstWindow(const Json& tree, const std::function<bool(const Json&)>& accept) {
    if (!tree.is_object() || !tree.contains("views") || tree["views"].empty()) return {};
    return testsupport::findViews(Json{{"views", Json::array({tree["views"][0]})}}, accept);
}

bool isTabBar(const Json& view) { return view.value("class", "") == "UITabBar"; }

}  // namespace

TEST_CASE("the application starts on the storyboard's splash screen and shows the tab shell") {
    const std::string program = QUORVANE_APP_EXECUTABLE;
    REQUIRE_MESSAGE(std::filesystem::exists(program), program << " is not built");

    struct Row {
        const char* device;
        double width, height;
    };
    for (const Row& row : {Row{"phone", 320, 568}, Row{"tablet", 768, 1024}}) {
        CAPTURE(row.device);
        testsupport::TempHome home;
        testsupport::ApplicationProcess app({.executable = program,
                                             .home = home.path(),
                                             .catalogueURL = "http://127.0.0.1:9/unused",
                                             .device = row.device});
        REQUIRE_MESSAGE(app.started(), "the application's device screen did not answer within 30 s");

        Json tree;
        const bool shown = app.waitForTree([&](const Json& t) {
            tree = t;
            return !inFirstWindow(t, isTabBar).empty();
        });
        REQUIRE_MESSAGE(shown, "the tab shell did not show within 30 s; last tree: " << tree.dump());
        const Json& window = tree["views"][0];
        CHECK(window["class"] == "UIWindow");
        CHECK(window["frame"] == Json::array({0.0, 0.0, row.width, row.height}));
        CHECK(inFirstWindow(tree, isTabBar).front()["frame"] == Json::array({0.0, row.height - 49, row.width, 49.0}));
        CHECK(inFirstWindow(tree, [](const Json& v) { return v.value("id", "") == "nameAppLabel"; }).empty());

        CHECK_MESSAGE(app.stop() == 0, "the application did not end cleanly on SIGTERM within 30 s");
    }
}
