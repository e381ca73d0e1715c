// catalogue-server: a local catalogue backend for the application and its tests.
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Catalogue.h"
#include "CatalogueServer.h"
#include "ControlPlan.h"
#include "ControlServer.h"
#include "ServerOptions.h"

#if defined(__SANITIZE_THREAD__)
// The HTTP library comes uninstrumented from the distribution: the race detector cannot
// see the guard of its function-local statics, and reports the first use of one from a
// second worker thread as a race. Its own code is not ours to check.
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libcpp-httplib.so\n"; }
#endif

namespace {

// Written beside the target and renamed over it, so a reader never sees half a number.
bool writePortFile(const std::string& path, int port) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!(out << port << '\n')) return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) std::filesystem::remove(temporary, error);
    return !error;
}

}  // namespace

int main(int argc, char** argv) {
    // Signals are taken by sigwait below, never by a handler: every thread inherits the mask.
    // A signal the starting shell ignored (as background jobs ignore SIGINT) would be
    // thrown away instead of waited for, so the dispositions go back to the default first.
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) signal(s, SIG_DFL);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGUSR1);  // the serving thread ended by itself
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const pid_t parent = getppid();
    std::string message;
    bool helpShown = false;
    auto options = catalogue::parseServerOptions(std::vector<std::string>(argv + 1, argv + argc), message, helpShown);
    if (!options) {
        std::fputs(message.c_str(), helpShown ? stdout : stderr);
        return helpShown ? 0 : 2;
    }
    if (options->exitWithParent) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) return 0;  // the parent ended before the request took hold
    }

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
        if (!options->controlPortFile.empty() && !writePortFile(options->controlPortFile, control->port())) {
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
    if (!options->portFile.empty() && !writePortFile(options->portFile, server.port())) {
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
