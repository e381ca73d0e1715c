#pragma once
// Shared helpers of the ad library tests: bounded waits on the main run loop
// that say what they waited for, virtual time, quiet console, commands, and
// the library's servers pointed at an ad peer.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "adkit/foundation/AKAdHosts.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "support/AdPeer.h"
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

// Keeps console lines off the console (and in `lines`) while it lives.
struct QuietLog {
    std::vector<std::string> lines;
    QuietLog() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~QuietLog() { setLogHook(nullptr); }
    bool contains(const std::string& text) const {
        return std::any_of(lines.begin(), lines.end(), [&](const auto& l) { return l.find(text) != std::string::npos; });
    }
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

// Points the static-content and static-media servers at the peer while it lives.
struct ServersAtPeer {
    explicit ServersAtPeer(const testsupport::AdPeer& peer)
        : content(AKAdHost::staticContent, AKAdOrigin::parse(peer.origin(), "http").value()),
          media(AKAdHost::staticMedia, AKAdOrigin::parse(peer.origin(), "http").value()) {}
    AKAdHosts::ScopedOrigin content;
    AKAdHosts::ScopedOrigin media;
};

}  // namespace adkittest
