#pragma once
// Shared helpers of the ad library tests: bounded waits on the main run loop
// that say what they waited for, virtual time, quiet console, and commands.
#include <doctest/doctest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "support/TestEnvironment.h"

namespace adkittest {

inline void waitFor(const std::function<bool()>& condition, const std::string& what, double seconds = 20) {
    INFO("waited for: " << what);
    REQUIRE(testsupport::runMainUntil(condition, seconds));
}

struct VirtualTime {
    explicit VirtualTime(double start = 1700000000) { Clock::useVirtualTime(start); }
    ~VirtualTime() { Clock::useRealTime(); }
};

struct QuietLog {
    QuietLog() {
        setLogHook([](const std::string&) {});
    }
    ~QuietLog() { setLogHook(nullptr); }
};

struct CommandResult {
    int exitCode = -1;
    std::string output;
};

// Runs a shell command, feeding `input` on its standard input when given.
inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace adkittest
