// Protects the application's start: the real executable, started as a child
// process, makes its window from the storyboard "Main" and is showing the tab
// shell (past the splash screen) on the device screen, phone and tablet alike; asked
// to follow its parent, it ends when the process that started it goes.
#include <doctest/doctest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/AdServerProcess.h"
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

TEST_CASE("asked to follow its parent, the application ends when the process that started it goes") {
    testsupport::TempHome home;
    const std::string pidFile = home.path() + "/application-pid", portFile = home.path() + "/port";
    // A shell starts the application and becomes `cat`, which lives until the test closes its input.
    int input[2];
    REQUIRE(pipe(input) == 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> environment{"QUORVANE_HOME=" + home.path(), "QUORVANE_SCREEN_PORT=0",
                                         "QUORVANE_SCREEN_PORT_FILE=" + portFile,
                                         "QUORVANE_CATALOGUE_URL=http://127.0.0.1:9/unused",
                                         "QUORVANE_EXIT_WITH_PARENT=1", "PIDFILE=" + pidFile,
                                         "APPLICATION=" + std::string(QUORVANE_APP_EXECUTABLE)};
    if (const char* path = std::getenv("PATH")) environment.push_back(std::string("PATH=") + path);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", flag = "-c", script = "\"$APPLICATION\" & echo $! > \"$PIDFILE\"; exec cat";
    char* argv[] = {shell.data(), flag.data(), script.data(), nullptr};
    pid_t parent = -1;
    const int spawned = posix_spawn(&parent, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    REQUIRE(spawned == 0);
    const auto fileText = [](const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    REQUIRE_MESSAGE(testsupport::runMainUntil([&] { return !fileText(portFile).empty(); }, 30),
                    "the application's device screen");
    const int application = std::stoi(fileText(pidFile));
    CHECK_FALSE(testtools::processEnded(application));

    close(input[1]);  // `cat` ends, and with it the application's parent
    waitpid(parent, nullptr, 0);
    const bool ended = testsupport::runMainUntil([&] { return testtools::processEnded(application); }, 30);
    if (!ended) kill(application, SIGKILL);
    CHECK_MESSAGE(ended, "the application outlived its parent");
}
