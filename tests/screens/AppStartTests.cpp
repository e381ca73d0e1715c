// Protects the application's start: the real executable, started as a child
// process, makes its window from the storyboard "Main" and is showing the tab
// shell (past the splash screen) on the device screen, phone and tablet alike.
#include <doctest/doctest.h>

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/TestEnvironment.h"

using Json = nlohmann::json;
using testsupport::runMainUntil;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// GET from the child's device screen; empty when it did not answer 200.
std::string get(int port, const std::string& path) {
    CURL* curl = curl_easy_init();
    REQUIRE(curl);
    std::string body;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
        static_cast<std::string*>(out)->append(data, size * count);
        return size * count;
    });
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return status == 200 ? body : std::string();
}

// The first view (depth first) that the predicate accepts, or null.
const Json* findView(const Json& view, const std::function<bool(const Json&)>& accept) {
    if (accept(view)) return &view;
    if (view.contains("children"))
        for (const auto& child : view["children"])
            if (const Json* found = findView(child, accept)) return found;
    return nullptr;
}

struct ChildApplication {
    pid_t pid = -1;
    ~ChildApplication() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

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
        const std::string portFile = home.path() + "/screen-port";
        std::vector<std::string> environment{"QUORVANE_HOME=" + home.path(), "QUORVANE_SCREEN_PORT=0",
                                             "QUORVANE_SCREEN_PORT_FILE=" + portFile,
                                             std::string("QUORVANE_DEVICE=") + row.device,
                                             "QUORVANE_CATALOGUE_URL=http://127.0.0.1:9/unused"};
        std::vector<char*> envp;
        for (auto& variable : environment) envp.push_back(variable.data());
        envp.push_back(nullptr);
        std::string programCopy = program;
        char* argv[] = {programCopy.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        ChildApplication child;
        const int spawned = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        REQUIRE(spawned == 0);

        REQUIRE_MESSAGE(runMainUntil([&] { return !readFile(portFile).empty(); }, 30),
                        "the application wrote no device screen port within 30 s");
        const int port = std::stoi(readFile(portFile));

        Json tree;
        const Json* tabBar = nullptr;
        const bool shown = runMainUntil(
            [&] {
                tree = Json::parse(get(port, "/api/tree"), nullptr, false);
                if (!tree.is_object() || !tree.contains("views") || tree["views"].empty()) return false;
                tabBar = findView(tree["views"][0], [](const Json& v) { return v.value("class", "") == "UITabBar"; });
                return tabBar != nullptr;
            },
            30);
        REQUIRE_MESSAGE(shown, "the tab shell did not show within 30 s; last tree: " << tree.dump());
        const Json& window = tree["views"][0];
        CHECK(window["class"] == "UIWindow");
        CHECK(window["frame"] == Json::array({0.0, 0.0, row.width, row.height}));
        CHECK((*tabBar)["frame"] == Json::array({0.0, row.height - 49, row.width, 49.0}));
        CHECK_FALSE(findView(window, [](const Json& v) { return v.value("id", "") == "nameAppLabel"; }));

        ::kill(child.pid, SIGTERM);
        int status = -1;
        REQUIRE_MESSAGE(runMainUntil([&] { return ::waitpid(child.pid, &status, WNOHANG) == child.pid; }, 30),
                        "the application did not end on SIGTERM within 30 s");
        child.pid = -1;
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 0);
    }
}
