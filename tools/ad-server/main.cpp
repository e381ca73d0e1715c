// ad-server: a local ad server for the ad library and its tests (README.md).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AdServer.h"
#include "ControlServer.h"
#include "PeerProcess.h"
#include "ServerOptions.h"
#include "ServerState.h"
#include "TestAuthority.h"
#include "UnitTable.h"

#if defined(__SANITIZE_THREAD__)
// The HTTP library comes uninstrumented from the distribution; its own code is not ours to check.
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libcpp-httplib.so\n"; }
#endif

namespace {

// The --units file as a checked table; null with `error` set.
std::optional<nlohmann::json> loadUnitTable(const std::string& path, std::string& error) {
    auto table = peers::readJsonFile(path, "unit table", error);
    if (table && !adserver::checkUnitTable(*table, error)) {
        error = path + ": " + error;
        return std::nullopt;
    }
    return table;
}

int fail(const std::string& error) {
    std::fprintf(stderr, "ad-server: %s\n", error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Signals are taken by sigwait below, never by a handler: every thread inherits the mask.
    const sigset_t signals = peers::blockStopSignals();

    const pid_t parent = getppid();
    std::string message;
    bool helpShown = false;
    auto options = adserver::parseServerOptions(std::vector<std::string>(argv + 1, argv + argc), message, helpShown);
    if (!options) {
        std::fputs(message.c_str(), helpShown ? stdout : stderr);
        return helpShown ? 0 : 2;
    }
    if (options->exitWithParent && !peers::followParent(parent)) return 0;

    std::string error;
    nlohmann::json table = nlohmann::json::object();
    if (!options->unitsPath.empty()) {
        auto loaded = loadUnitTable(options->unitsPath, error);
        if (!loaded) return fail(error);
        table = std::move(*loaded);
    }
    auto state = std::make_shared<adserver::ServerState>(table.value("units", nlohmann::json::object()),
                                                         table.value("constants", adserver::defaultConstants()));
    adserver::TestAuthority authority;
    if (!authority.create(error)) return fail(error);
    if (!options->caOut.empty() && !authority.writeAuthorityPem(options->caOut))
        return fail("cannot write " + options->caOut);

    adserver::AdServer http(state, options->root, nullptr, options->verbose);
    adserver::AdServer https(state, options->root, &authority, options->verbose);
    if (!http.bind(options->httpPort, error) || !https.bind(options->httpsPort, error)) return fail(error);
    state->setPorts(http.port(), https.port());
    std::string ports = "http=" + std::to_string(http.port()) + "\nhttps=" + std::to_string(https.port()) + "\n";
    std::unique_ptr<adserver::ControlServer> control;
    if (options->control) {
        auto setMode = [&state, &http, &https](const adserver::ServerMode& mode, std::string& failure) {
            static std::mutex switching;  // one switch at a time, so the ports follow the last mode set
            std::lock_guard lock(switching);
            state->setMode(mode);  // first: replies held by the slow mode or a fault let go
            if (mode.kind == adserver::ServerMode::Kind::Down) {
                http.close();
                https.close();
                return true;
            }
            return http.reopen(failure) && https.reopen(failure);
        };
        control = std::make_unique<adserver::ControlServer>(state, setMode);
        if (!control->start(options->controlPort, error)) return fail(error);
        ports += "control=" + std::to_string(control->port()) + "\n";
    }
    http.start();
    https.start();
    // Bound sockets already queue connections, so the file may announce them before the threads run.
    if (!options->portFile.empty() && !peers::writeFileAtomically(options->portFile, ports))
        return fail("cannot write " + options->portFile);
    if (options->verbose) std::fprintf(stderr, "ad-server: root %s\n%s", options->root.c_str(), ports.c_str());

    int received = 0;
    sigwait(&signals, &received);
    state->stop();  // releases replies held by a hang, a delay or the slow mode
    if (control) control->stop();  // first: no switch of mode closes or opens a port meanwhile
    http.stop();
    https.stop();
    return 0;
}
