#pragma once
// The real executable started as a child process for one test, driven through
// its device screen's JSON interface (src/platform/display/DeviceScreenApi.h)
// as a person's browser would: the tree of views, taps, waits and frames.
//
// Each call waits for its answer while running the test's main run loop; the
// process is killed when the object goes, if it is still running.
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/HttpFetch.h"

namespace testsupport {

class ApplicationProcess {
public:
    struct Options {
        std::string executable;    // the application's binary
        std::string home;          // QUORVANE_HOME
        std::string catalogueURL;  // QUORVANE_CATALOGUE_URL
        std::string device = "phone";
        bool quiet = true;  // its output to /dev/null
        std::string outputFile = {};  // when set, its standard output goes there (its errors still follow `quiet`)
        std::string errorFile = {};   // when set, its standard error (its log lines) goes there, whatever `quiet` says
        std::vector<std::string> environment = {};  // more "NAME=value" entries (the ad hosts, say)
    };
    // Starts the application and waits (up to 30 s) until its device screen answers.
    explicit ApplicationProcess(Options options);
    ~ApplicationProcess();
    ApplicationProcess(const ApplicationProcess&) = delete;
    ApplicationProcess& operator=(const ApplicationProcess&) = delete;

    bool started() const { return port_ > 0; }
    int port() const { return port_; }

    testtools::HttpReply get(const std::string& path) const;
    testtools::HttpReply post(const std::string& path, const nlohmann::json& body) const;
    // GET /api/tree, parsed (a discarded value when it did not answer).
    nlohmann::json tree() const;
    // POST /api/tap with the target ({label}, {id} or {x, y}); the HTTP status.
    long tap(const nlohmann::json& target) const;
    // POST /api/wait: until the target shows (or is gone); true when it did.
    bool waitFor(const nlohmann::json& target, bool gone = false, int timeoutMs = 20000) const;
    // Polls the tree until the predicate holds for it, up to the timeout (seconds).
    bool waitForTree(const std::function<bool(const nlohmann::json&)>& condition, double timeoutSeconds = 30) const;

    // Ends it with SIGTERM and waits; its exit status, or -1 (a signal, or killed after 30 s).
    int stop();

private:
    void collectSanitizerReports();  // once the child has ended

    pid_t pid_ = -1;
    int port_ = 0;
    std::string sanitizerLog_;
};

// The sanitizers' settings of this process ("NAME=value"), for a child that must follow them
// (a sanitized build's suppressions). With a prefix, the child (and whatever it starts) writes
// its sanitizer reports to files "<prefix>.<pid>" instead of its standard error, which a test
// often sends to /dev/null or reads as a log; `reportChildSanitizerLogs` hands them to the test.
std::vector<std::string> sanitizerEnvironment(const std::string& logPrefix = {});
// Fails the running test with the reports children left under the prefix, if any, and removes
// them. Called once the children have ended (the application's object does it when it stops or goes).
void reportChildSanitizerLogs(const std::string& logPrefix);

// The views of a tree (every window and overlay), depth first, that the predicate accepts.
std::vector<nlohmann::json> findViews(const nlohmann::json& tree, const std::function<bool(const nlohmann::json&)>& accept);
// The first view with the class and label, if any.
std::optional<nlohmann::json> findView(const nlohmann::json& tree, const std::string& className,
                                       const std::string& label);
// The centre of a view's frame, as a tap target.
nlohmann::json centreOf(const nlohmann::json& view);

}  // namespace testsupport
