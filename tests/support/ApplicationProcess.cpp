// Protects the tests that start the real executable: the child process driven through its device screen's JSON interface.
#include "support/ApplicationProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <doctest/doctest.h>

#include "support/TestEnvironment.h"

namespace testsupport {

namespace {

constexpr double kStartTimeout = 30;
constexpr double kStopTimeout = 30;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::vector<std::string> sanitizerEnvironment(const std::string& logPrefix) {
    std::vector<std::string> environment;
    // Every runtime reads the common flags (log_path among them) from each of these it knows.
    for (const char* kept : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
        const char* value = std::getenv(kept);
        std::string options = value ? value : "";
        if (!logPrefix.empty()) options += (options.empty() ? "log_path=" : ":log_path=") + logPrefix;
        if (value || !options.empty()) environment.push_back(std::string(kept) + "=" + options);
    }
    return environment;
}

void reportChildSanitizerLogs(const std::string& logPrefix) {
    const std::filesystem::path prefix(logPrefix);
    const std::string stem = prefix.filename().string() + ".";
    std::string reports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(prefix.parent_path(), error)) {
        if (!entry.path().filename().string().starts_with(stem)) continue;
        reports += "--- " + entry.path().string() + "\n" + readFile(entry.path().string());
        std::filesystem::remove(entry.path(), error);
    }
    if (!reports.empty()) FAIL_CHECK("a child process's sanitizer reported:\n" << reports);
}

ApplicationProcess::ApplicationProcess(Options options) {
    const std::string portFile = options.home + "/device-screen-port";
    std::remove(portFile.c_str());  // an earlier run's port in the same home is not this one's
    std::vector<std::string> environment{
        "QUORVANE_HOME=" + options.home,           "QUORVANE_SCREEN_PORT=0",
        "QUORVANE_SCREEN_PORT_FILE=" + portFile,   "QUORVANE_DEVICE=" + options.device,
        "QUORVANE_CATALOGUE_URL=" + options.catalogueURL, "QUORVANE_EXIT_WITH_PARENT=1"};
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    for (const char* kept : {"PATH", "LANG", "TMPDIR"})
        if (const char* value = std::getenv(kept)) environment.push_back(std::string(kept) + "=" + value);
    sanitizerLog_ = options.home + "/sanitizer-report";
    const auto sanitizers = sanitizerEnvironment(sanitizerLog_);
    environment.insert(environment.end(), sanitizers.begin(), sanitizers.end());
    std::vector<char*> envp;
    for (auto& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string program = options.executable;
    char* argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!options.outputFile.empty())
        posix_spawn_file_actions_addopen(&actions, 1, options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    else if (options.quiet)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!options.errorFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, options.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    else if (options.quiet)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        return;
    }
    if (!runMainUntil([&] { return !readFile(portFile).empty(); }, kStartTimeout)) return;
    port_ = std::stoi(readFile(portFile));
}

ApplicationProcess::~ApplicationProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    collectSanitizerReports();
}

void ApplicationProcess::collectSanitizerReports() {
    pid_ = -1;
    if (!sanitizerLog_.empty()) reportChildSanitizerLogs(sanitizerLog_);
    sanitizerLog_.clear();
}

testtools::HttpReply ApplicationProcess::get(const std::string& path) const {
    return testtools::httpGet("http://127.0.0.1:" + std::to_string(port_) + path, {}, 60000);
}

testtools::HttpReply ApplicationProcess::post(const std::string& path, const nlohmann::json& body) const {
    return testtools::httpPostJson("http://127.0.0.1:" + std::to_string(port_) + path, body.dump(), 60000);
}

nlohmann::json ApplicationProcess::tree() const {
    const auto reply = get("/api/tree");
    return nlohmann::json::parse(reply.status == 200 ? reply.body : std::string(), nullptr, false);
}

long ApplicationProcess::tap(const nlohmann::json& target) const { return post("/api/tap", target).status; }

bool ApplicationProcess::waitFor(const nlohmann::json& target, bool gone, int timeoutMs) const {
    nlohmann::json body = target;
    body["gone"] = gone;
    body["timeout_ms"] = timeoutMs;
    return post("/api/wait", body).status == 200;
}

bool ApplicationProcess::waitForTree(const std::function<bool(const nlohmann::json&)>& condition,
                                     double timeoutSeconds) const {
    return runMainUntil(
        [&] {
            const nlohmann::json now = tree();
            return !now.is_discarded() && condition(now);
        },
        timeoutSeconds);
}

int ApplicationProcess::stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = runMainUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, kStopTimeout);
    if (!ended) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    collectSanitizerReports();
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<nlohmann::json> findViews(const nlohmann::json& tree,
                                      const std::function<bool(const nlohmann::json&)>& accept) {
    std::vector<nlohmann::json> found;
    const std::function<void(const nlohmann::json&)> visit = [&](const nlohmann::json& view) {
        if (accept(view)) found.push_back(view);
        if (view.contains("children"))
            for (const auto& child : view["children"]) visit(child);
    };
    if (tree.is_object() && tree.contains("views"))
        for (const auto& view : tree["views"]) visit(view);
    return found;
}

std::optional<nlohmann::json> findView(const nlohmann::json& tree, const std::string& className,
                                       const std::string& label) {
    auto found = findViews(tree, [&](const nlohmann::json& v) {
        return v.value("class", "") == className && v.value("label", "") == label;
    });
    if (found.empty()) return std::nullopt;
    return found.front();
}

nlohmann::json centreOf(const nlohmann::json& view) {
    const auto& frame = view["frame"];
    return {{"x", frame[0].get<double>() + frame[2].get<double>() / 2},
            {"y", frame[1].get<double>() + frame[3].get<double>() / 2}};
}

}  // namespace testsupport
