#pragma once
// A real nginx serving a folder on 127.0.0.1, started for one test.
//
// The configuration is generated in a private folder (no daemon, no master
// process, logs and pid there); the port is an ephemeral one found free by
// binding a socket first, retried on a conflict, so that tests can run in
// parallel. nginx answers byte ranges itself (206, 416, Content-Range).
#include <sys/types.h>

#include <optional>
#include <string>

namespace testsupport {

class NginxServer {
public:
    // The nginx executable, when installed.
    static std::optional<std::string> binary();
    // Serves `root`. Throws std::runtime_error when nginx cannot be started.
    explicit NginxServer(std::string root);
    ~NginxServer();  // stop()
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;  // "http://127.0.0.1:<port>" + path
    pid_t pid() const { return pid_; }
    // Ends the server process (this one only) and waits for it. Idempotent.
    void stop();

private:
    bool launch(int port, std::string* why);
    std::string root_;
    std::string workDir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace testsupport
