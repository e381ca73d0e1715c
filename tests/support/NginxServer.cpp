// Protects the tests against a real nginx: a generated configuration, an ephemeral port and a folder served for one test.
#include "support/NginxServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "support/TestEnvironment.h"

extern char** environ;

namespace testsupport {

namespace {

int freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

// Whether the server on the port is this nginx: it answers the marker
// location with the token only this configuration holds (a port taken by
// another process between choosing and binding must not pass for ours).
bool servesMarker(int port, const std::string& token) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        timeval limit{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        const std::string request = "GET /.quorvane-marker HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n;
            while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return reply.find(token) != std::string::npos;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::optional<std::string> NginxServer::binary() {
    for (const char* candidate : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
        if (::access(candidate, X_OK) == 0) return std::string(candidate);
    return std::nullopt;
}

NginxServer::NginxServer(std::string root) : root_(std::move(root)) {
    if (!binary()) throw std::runtime_error("nginx is not installed (scripts/install-deps installs nginx-light)");
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-nginx-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) throw std::runtime_error("cannot make the nginx folder");
    workDir_ = buffer.data();
    std::filesystem::create_directories(workDir_ + "/body");
    std::string why;
    for (int attempt = 0; attempt < 8; ++attempt) {
        int port = freeLoopbackPort();
        if (port == 0) continue;
        if (launch(port, &why)) {
            port_ = port;
            return;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(workDir_, ec);
    throw std::runtime_error("nginx did not start: " + why);
}

NginxServer::~NginxServer() {
    stop();
    std::error_code ec;
    if (!workDir_.empty()) std::filesystem::remove_all(workDir_, ec);
}

bool NginxServer::launch(int port, std::string* why) {
    std::string conf = workDir_ + "/nginx.conf";
    std::string errorLog = workDir_ + "/error.log";
    {
        std::ofstream out(conf, std::ios::trunc);
        out << "daemon off;\nmaster_process off;\nworker_processes 1;\n";
        if (::geteuid() == 0) out << "user root;\n";
        out << "pid " << workDir_ << "/nginx.pid;\n"
            << "error_log " << errorLog << " error;\n"
            << "events { worker_connections 256; }\n"
            << "http {\n"
            << "  access_log off;\n"
            << "  sendfile on;\n"
            << "  tcp_nopush on;\n"
            << "  default_type application/octet-stream;\n"
            << "  client_body_temp_path " << workDir_ << "/body;\n"
            << "  server {\n"
            << "    listen 127.0.0.1:" << port << ";\n"
            << "    root " << root_ << ";\n"
            << "    location / { }\n"
            << "    location = /.quorvane-marker { return 200 \"" << workDir_ << "\"; }\n"
            << "  }\n"
            << "}\n";
    }
    std::filesystem::remove(errorLog);
    std::string exe = *binary();
    std::vector<std::string> args = {exe, "-p", workDir_ + "/", "-e", errorLog, "-c", conf};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        *why = "cannot spawn nginx";
        return false;
    }
    bool exited = false;
    bool up = runMainUntil(
        [&] {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                return true;
            }
            return servesMarker(port, workDir_);
        },
        20);
    if (exited || !up) {
        if (!exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        *why = readFile(errorLog);
        return false;
    }
    pid_ = pid;
    return true;
}

std::string NginxServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void NginxServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

}  // namespace testsupport
