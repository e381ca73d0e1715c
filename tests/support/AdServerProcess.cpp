// Protects the tests that run the ad server: the server started on ephemeral ports, and fetches verified against its authority.
#include "support/AdServerProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <doctest/doctest.h>

#include "platform/security/SecTrust.h"
#include "platform/webkit/UIWebView.h"
#include "support/TestEnvironment.h"

extern char** environ;

namespace testtools {

std::string headerValue(const HttpReply& reply, const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return reply.header(lower);
}

std::string adServerExecutable() {
    if (const char* override = std::getenv("QUORVANE_AD_SERVER")) return override;  // e.g. a sanitized build
    return QUORVANE_AD_SERVER;
}

std::string shippedAdUnits() { return std::string(QUORVANE_ADSERVER_ROOT) + "/units.json"; }

int spawnProcess(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

bool processEnded(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

AdServerProcess::AdServerProcess(const std::vector<std::string>& extraArguments) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-adserver-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    scratch_ = pattern;
    const std::string portFile = scratch_ + "/ports";
    std::vector<std::string> arguments{adServerExecutable(), "--port-file", portFile, "--ca-out", caFile(),
                                       "--control", "--exit-with-parent"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    pid_ = spawnProcess(arguments);
    REQUIRE(pid_ > 0);
    const bool written = testsupport::runMainUntil(
        [&] {
            std::error_code error;
            return (std::filesystem::file_size(portFile, error) > 0 && !error) || processEnded(pid_);
        },
        20);
    REQUIRE_MESSAGE(written, "the ad server did not write its port file within 20 s");
    std::ifstream in(portFile);
    for (std::string line; std::getline(in, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) ports_[line.substr(0, equals)] = std::stoi(line.substr(equals + 1));
    }
}

AdServerProcess::~AdServerProcess() {
    if (pid_ > 0) CHECK(stop() == 0);  // a server still running must stop cleanly
    std::error_code error;
    std::filesystem::remove_all(scratch_, error);
}

std::string AdServerProcess::origin(const std::string& scheme, const std::string& host) const {
    return scheme + "://" + host + ":" + std::to_string(ports_.at(scheme));
}

std::string AdServerProcess::controlURL(const std::string& kind) const {
    return "http://127.0.0.1:" + std::to_string(ports_.at("control")) + "/control/" + kind;
}

HttpReply AdServerProcess::get(const std::string& url, long timeoutMs) const {
    return httpsGet(url, caFile(), timeoutMs);
}

long AdServerProcess::order(const std::string& kind, const nlohmann::json& body) const {
    return httpPostJson(controlURL(kind), body.dump()).status;
}

nlohmann::json AdServerProcess::log() const {
    const HttpReply reply = httpGet(controlURL("log"));
    REQUIRE(reply.status == 200);
    return nlohmann::json::parse(reply.body)["requests"];
}

int AdServerProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    pid_t result = 0;
    const bool ended = testsupport::runMainUntil(
        [&] {
            result = waitpid(pid_, &status, WNOHANG);
            return result != 0;
        },
        10);
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return ended && result > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void AdServerProcess::trustAuthority() const {
    UIWebView::trustCertificateAuthorityForHosts(caFile(), {"127.0.0.1"});
    std::ifstream in(caFile());
    SecTrustSetAdditionalSystemAnchors(
        SecCertificatesFromPEM(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
}

std::vector<std::string> AdServerProcess::applicationEnvironment() const {
    const std::string https = origin("https"), http = origin("http");
    std::vector<std::string> environment{"QUORVANE_LOCAL_AUTHORITY=" + caFile()};
    for (const char* name : {"STATIC", "STATIC_MEDIA", "PMA", "REACHABILITY"})
        environment.push_back(std::string("QUORVANE_ADKIT_") + name + "_HOST=" + https);
    for (const char* name : {"MEDIATION", "EXCHANGE"})
        environment.push_back(std::string("QUORVANE_ADKIT_") + name + "_HOST=" + http);
    return environment;
}

}  // namespace testtools
