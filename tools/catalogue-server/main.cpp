// catalogue-server: a local catalogue backend for the application and its tests.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Catalogue.h"
#include "CatalogueServer.h"
#include "ControlPlan.h"
#include "ControlServer.h"
#include "PeerProcess.h"
#include "ServerOptions.h"

#if defined(__SANITIZE_THREAD__)
// The HTTP library comes uninstrumented from the distribution: the race detector cannot
// see the guard of its function-local statics, and reports the first use of one from a
// second worker thread as a race. Its own code is not ours to check.
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libcpp-httplib.so\n"; }
#endif

int main(int argc, char** argv) {
    // Signals are taken by sigwait below, never by a handler: every thread inherits the mask.
    const sigset_t signals = peers::blockStopSignals({SIGUSR1});  // SIGUSR1: the serving thread ended by itself

    const pid_t parent = getppid();
    std::string message;
    bool helpShown = false;
    auto options = catalogue::parseServerOptions(std::vector<std::string>(argv + 1, argv + argc), message, helpShown);
    if (!options) {
        std::fputs(message.c_str(), helpShown ? stdout : stderr);
        return helpShown ? 0 : 2;
    }
    if (options->exitWithParent && !peers::followParent(parent)) return 0;

    std::string error;
    if (!options->configJsonPath.empty()) {
        options->configuration = catalogue::loadConfigurationFile(options->configJsonPath, error);
        if (!options->configuration) {
            std::fprintf(stderr, "catalogue-server: %s\n", error.c_str());
            return 1;
        }
    }
    auto genres = catalogue::Catalogue::loadGenres(options->genresPath, error);
    if (!genres) {
        std::fprintf(stderr, "catalogue-server: %s\n", error.c_str());
        return 1;
    }
    auto catalogue = std::make_shared<const catalogue::Catalogue>(std::move(*genres), options->catalogue);
    catalogue::CatalogueServer server(catalogue, *options);
    // The control endpoint listens first, so its port file is there by the time the
    // main port file says the server is up.
    std::unique_ptr<catalogue::ControlServer> control;
    if (options->control) {
        auto plan = std::make_shared<catalogue::ControlPlan>();
        control = std::make_unique<catalogue::ControlServer>(plan);
        if (!control->start(options->controlPort, error)) {
            std::fprintf(stderr, "catalogue-server: %s\n", error.c_str());
            return 1;
        }
        if (!options->controlPortFile.empty() && !peers::writeFileAtomically(options->controlPortFile, std::to_string(control->port()) + "\n")) {
            std::fprintf(stderr, "catalogue-server: cannot write %s\n", options->controlPortFile.c_str());
            return 1;
        }
        std::printf("catalogue-server: control on http://127.0.0.1:%d/control/\n", control->port());
        std::fflush(stdout);
        server.setControlPlan(std::move(plan));
    }
    if (!server.bind(error)) {
        std::fprintf(stderr, "catalogue-server: %s\n", error.c_str());
        return 1;
    }
    if (!options->portFile.empty() && !peers::writeFileAtomically(options->portFile, std::to_string(server.port()) + "\n")) {
        std::fprintf(stderr, "catalogue-server: cannot write %s\n", options->portFile.c_str());
        return 1;
    }
    if (options->verbose)
        std::fprintf(stderr, "catalogue-server: %zu titles on %s:%d\n", catalogue->titles().size(),
                     options->host.c_str(), server.port());

    bool served = true;
    std::atomic<bool> finished{false};
    std::thread serving([&server, &served, &finished] {
        served = server.run();
        finished = true;
        kill(getpid(), SIGUSR1);
    });

    int received = 0;
    sigwait(&signals, &received);
    // A stop that comes before the serving thread started listening would be
    // lost, so it is repeated until that thread has ended.
    while (!finished) {
        server.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    serving.join();
    if (control) control->stop();
    return received == SIGUSR1 && !served ? 1 : 0;
}
