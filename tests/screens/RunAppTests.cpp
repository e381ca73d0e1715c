// Protects `make run` (scripts/run-app): with ads on it starts the ad server beside the
// catalogue backend with ads switched on and points the application at it (hosts and
// trusted authority), with ADS=0 it starts no ad server and switches ads off, and the
// peers end with the application.
#include <doctest/doctest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/AdServerProcess.h"
#include "support/ApplicationProcess.h"
#include "support/HttpFetch.h"
#include "support/TestEnvironment.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A process's NUL-separated /proc file (cmdline, environ) as its entries.
std::vector<std::string> procEntries(int pid, const char* file) {
    const std::string text = readFile("/proc/" + std::to_string(pid) + "/" + file);
    std::vector<std::string> entries;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\0', start);
        entries.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return entries;
}

std::map<std::string, std::string> environmentOf(int pid) {
    std::map<std::string, std::string> environment;
    for (const auto& entry : procEntries(pid, "environ"))
        if (const auto equals = entry.find('='); equals != std::string::npos)
            environment[entry.substr(0, equals)] = entry.substr(equals + 1);
    return environment;
}

// The running children of a process by the base name of their executable.
std::map<std::string, int> childrenOf(int parent) {
    std::map<std::string, int> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = readFile(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2 || ppid != parent || state == 'Z')
            continue;
        const auto command = procEntries(std::stoi(name), "cmdline");
        if (!command.empty()) children[std::filesystem::path(command[0]).filename().string()] = std::stoi(name);
    }
    return children;
}

std::string joinedCommand(int pid) {
    std::string text;
    for (const auto& part : procEntries(pid, "cmdline")) text += (text.empty() ? "" : " ") + part;
    return text;
}

std::map<std::string, int> portsIn(const std::string& path) {
    std::map<std::string, int> ports;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        if (const auto equals = line.find('='); equals != std::string::npos)
            ports[line.substr(0, equals)] = std::stoi(line.substr(equals + 1));
    return ports;
}

// scripts/run-app started as `make run` starts it, in a clean environment of its own.
struct RunApp {
    testsupport::TempHome home;
    std::string screenPortFile = home.path() + "/screen-port";
    std::string adPortFile = home.path() + "/ad-server-ports";
    std::string output = home.path() + "/output";
    std::string sanitizerLog = home.path() + "/sanitizer-report";
    int pid = -1;

    explicit RunApp(const std::string& ads) {
        const char* path = std::getenv("PATH");
        std::vector<std::string> command{"/usr/bin/env", "-i", "PATH=" + std::string(path ? path : "/usr/bin:/bin"),
                                         "HOME=" + home.path(), "QUORVANE_HOME=" + home.path(), "QUORVANE_DEVICE=phone",
                                         "QUORVANE_SCREEN_PORT=0", "QUORVANE_SCREEN_PORT_FILE=" + screenPortFile,
                                         "QUORVANE_AD_SERVER_PORT_FILE=" + adPortFile, "ADS=" + ads};
        for (const auto& setting : testsupport::sanitizerEnvironment(sanitizerLog)) command.push_back(setting);
        for (const std::string part : {"/bin/bash", "-c", "exec \"$0\" \"$1\" >\"$2\" 2>/dev/null"}) command.push_back(part);
        for (const std::string part : {QUORVANE_RUN_APP_SCRIPT, QUORVANE_BUILD_DIR}) command.push_back(part);
        command.push_back(output);
        pid = testtools::spawnProcess(command);
    }
    ~RunApp() {
        if (pid <= 0) return;
        for (const auto& [name, child] : childrenOf(pid)) kill(child, SIGKILL);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        testsupport::reportChildSanitizerLogs(sanitizerLog);
    }
    RunApp(const RunApp&) = delete;
    RunApp& operator=(const RunApp&) = delete;

    // SIGTERM, as a terminal's interrupt would end it; its exit status (-1: still running after 30 s).
    int stop() {
        kill(pid, SIGTERM);
        int status = 0;
        const bool ended = testsupport::runMainUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 30);
        if (!ended) return -1;
        pid = -1;
        testsupport::reportChildSanitizerLogs(sanitizerLog);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

}  // namespace

TEST_CASE("make run starts the ad server beside the backend with ads on, none with ADS=0, and ends both with the application") {
    for (const std::string ads : {"1", "0"}) {
        CAPTURE(ads);
        RunApp run(ads);
        REQUIRE(run.pid > 0);
        INFO("waited for the application's device screen");
        REQUIRE(testsupport::runMainUntil([&] { return !readFile(run.screenPortFile).empty(); }, 60));
        std::map<std::string, int> children;
        INFO("waited for the application and its peers under run-app");
        const std::size_t peers = ads == "1" ? 3 : 2;
        REQUIRE(testsupport::runMainUntil([&] { return (children = childrenOf(run.pid)).size() == peers; }, 10));
        REQUIRE(children.count("quorvane") == 1);
        REQUIRE(children.count("catalogue-server") == 1);
        const auto app = environmentOf(children["quorvane"]);
        CHECK(app.count("QUORVANE_CATALOGUE_URL") == 1);
        const std::string backend = joinedCommand(children["catalogue-server"]);
        if (ads == "0") {
            CHECK(children.count("ad-server") == 0);
            CHECK(backend.find("--adv-type 0") != std::string::npos);
            CHECK_FALSE(std::filesystem::exists(run.adPortFile));
            for (const char* name : {"QUORVANE_ADKIT_STATIC_HOST", "QUORVANE_ADKIT_MEDIATION_HOST", "QUORVANE_LOCAL_AUTHORITY"})
                CHECK_MESSAGE(app.count(name) == 0, name);
            CHECK(readFile(run.output).find("Ad server:") == std::string::npos);
        } else {
            REQUIRE(children.count("ad-server") == 1);
            CHECK(backend.find("--adv-type 1 --adv-count 3") != std::string::npos);
            CHECK(joinedCommand(children["ad-server"]).find("resources/adserver/units.json") != std::string::npos);
            auto ports = portsIn(run.adPortFile);
            REQUIRE(ports.count("control") == 1);
            const std::string https = "https://127.0.0.1:" + std::to_string(ports["https"]);
            CHECK(app.at("QUORVANE_ADKIT_STATIC_HOST") == https);
            CHECK(app.at("QUORVANE_ADKIT_MEDIATION_HOST") == "http://127.0.0.1:" + std::to_string(ports["http"]));
            // The authority the application trusts is the one the ad server's HTTPS port presents.
            const auto core = testtools::httpsGet(https + "/adnet/static/sdk/native/sdk-core-v40.html",
                                                  app.at("QUORVANE_LOCAL_AUTHORITY"));
            CHECK(core.status == 200);
            CHECK(readFile(run.output).find("Ad server: " + https) != std::string::npos);
        }
        CHECK(run.stop() == 0);
        for (const auto& [name, child] : children) {
            CAPTURE(name);
            INFO("waited for the peer to end with the application");
            CHECK(testsupport::runMainUntil([&, child = child] { return testtools::processEnded(child); }, 10));
        }
    }
}

TEST_CASE("with make run's ads on, the grid's banner asks the ad server over HTTPS, through the authority run-app gave") {
    RunApp run("1");
    REQUIRE(run.pid > 0);
    INFO("waited for the ad server's port file");
    REQUIRE(testsupport::runMainUntil([&] { return portsIn(run.adPortFile).count("control") == 1; }, 30));
    const std::string log = "http://127.0.0.1:" + std::to_string(portsIn(run.adPortFile)["control"]) + "/control/log";
    // The core page comes over HTTPS first (a certificate the application did not trust would
    // end the road there), then the grid's banner unit: the backend's "AdvIDBaner".
    auto asked = [&](const std::string& path, const std::string& unit) {
        const auto reply = testtools::httpGet(log);
        const auto body = nlohmann::json::parse(reply.status == 200 ? reply.body : "{}", nullptr, false);
        if (!body.is_object() || !body.contains("requests")) return false;
        for (const auto& r : body["requests"])
            if (r["scheme"] == "https" && r["path"] == path && (unit.empty() || r["query"].value("slotname", "") == unit))
                return true;
        return false;
    };
    INFO("waited for the application's requests in the ad server's log");
    CHECK(testsupport::runMainUntil([&] { return asked("/adnet/static/sdk/native/sdk-core-v40.html", ""); }, 60));
    CHECK(testsupport::runMainUntil([&] { return asked("/adnet/ad", "quorvane-banner-0001"); }, 60));
    CHECK(run.stop() == 0);
}
