#include "PeerProcess.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace peers {

sigset_t blockStopSignals(std::initializer_list<int> extra) {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
    for (int s : extra) sigaddset(&signals, s);
    for (int s = 1; s < NSIG; ++s)
        if (sigismember(&signals, s) == 1) signal(s, SIG_DFL);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return signals;
}

bool followParent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    return getppid() == parent;  // else the parent ended before the request took hold
}

bool writeFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!(out << text)) return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) std::filesystem::remove(temporary, error);
    return !error;
}

std::optional<nlohmann::json> readJsonFile(const std::string& path, const std::string& what, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the " + what + " " + path;
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return nlohmann::json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
}

}  // namespace peers
