// Protects the tests that need the catalogue server: its executable on an ephemeral port, and requests signed as the application signs them.
#include "support/CatalogueServerProcess.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <doctest/doctest.h>

#include "platform/foundation/HexString.h"
#include "support/TestEnvironment.h"

extern char** environ;

namespace testtools {

namespace {

constexpr double kStartTimeout = 20;
constexpr double kStopTimeout = 10;

std::string md5Upper(const std::string& text) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_md5(), nullptr);
    return hexString(digest.data(), length, /*upper=*/true);
}

// Starts the process; `quiet` sends its output to /dev/null.
pid_t spawn(const std::vector<std::string>& arguments, bool quiet = false) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

// Waits for the child while running the main run loop; the exit status, -2 for a
// signal, or -3 when it is still running at the timeout.
int waitForExit(pid_t pid, double timeout) {
    int status = 0;
    bool ended = false;
    testsupport::runMainUntil(
        [&] {
            const pid_t result = waitpid(pid, &status, WNOHANG);
            ended = result == pid || result < 0;
            return ended;
        },
        timeout);
    if (!ended) return -3;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

std::string queryOf(const QueryParameters& parameters) {
    std::string query;
    for (const auto& [key, value] : parameters) {
        if (!query.empty()) query += "&";
        query += escapeQueryValue(key) + "=" + escapeQueryValue(value);
    }
    return query;
}

}  // namespace

std::string catalogueServerExecutable() {
    if (const char* override = std::getenv("QUORVANE_CATALOGUE_SERVER")) return override;
    return QUORVANE_CATALOGUE_SERVER;
}

std::string shippedGenresFile() { return QUORVANE_GENRES_FILE; }

std::string signedSuffix(std::int64_t time) {
    // As the application signs: the digest over the full clock, "time" its low 32 bits.
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(time)));
    return "&os=ios&version=1.0&deviceid=TESTDEVICE&token=" + md5Upper("rivo718#pelmarq642" + std::to_string(time)) +
           "&time=" + std::to_string(low);
}

std::string escapeQueryValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out.push_back('%');
            appendHexByte(out, byte, /*upper=*/true);
        }
    }
    return out;
}

CatalogueServerProcess::CatalogueServerProcess(const std::vector<std::string>& extraArguments) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-server-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    scratch_ = pattern;
    const std::string portFile = scratch_ + "/port";

    std::vector<std::string> arguments{catalogueServerExecutable(), "--port", "0", "--port-file", portFile,
                                       "--exit-with-parent"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    pid_ = spawn(arguments);
    if (pid_ <= 0) return;

    bool exited = false;
    testsupport::runMainUntil(
        [&] {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited = true;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return true;
            }
            std::error_code error;
            return std::filesystem::file_size(portFile, error) > 0 && !error;
        },
        kStartTimeout);
    if (exited) {
        pid_ = -1;
        return;
    }
    std::ifstream in(portFile);
    std::getline(in, portFileText_);
    port_ = std::atoi(portFileText_.c_str());
}

CatalogueServerProcess::~CatalogueServerProcess() {
    // A server still running at the end of a test must stop cleanly; a sanitizer finding
    // in it shows here as a failed exit status.
    if (pid_ > 0) {
        const int status = stop();
        CHECK(status == 0);
    }
    std::error_code error;
    std::filesystem::remove_all(scratch_, error);
}

std::string CatalogueServerProcess::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string CatalogueServerProcess::apiUrl(const std::string& action, const QueryParameters& parameters) const {
    return origin() + "/admin/index.php/apiios_final/" + action + "?" + queryOf(parameters) +
           signedSuffix(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string CatalogueServerProcess::faultPathUrl(const std::string& faults, const std::string& action,
                                                 const QueryParameters& parameters) const {
    return origin() + "/fault/" + faults + "/admin/index.php/apiios_final/" + action + "?" + queryOf(parameters) +
           signedSuffix(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string CatalogueServerProcess::unsignedApiUrl(const std::string& action, const std::string& query) const {
    return origin() + "/admin/index.php/apiios_final/" + action + (query.empty() ? "" : "?" + query);
}

int CatalogueServerProcess::stop(int signal) {
    if (pid_ <= 0) return exitStatus_;
    kill(pid_, signal);
    int status = waitForExit(pid_, kStopTimeout);
    if (status == -3) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        status = -1;
    }
    exitStatus_ = status < 0 ? -1 : status;
    pid_ = -1;
    return exitStatus_;
}

int runServerToCompletion(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{catalogueServerExecutable()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const pid_t pid = spawn(all, true);
    if (pid <= 0) return -1;
    const int status = waitForExit(pid, kStopTimeout);
    if (status == -3) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return status < 0 ? -1 : status;
}

}  // namespace testtools
