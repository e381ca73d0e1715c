#pragma once
// Runs the ad server executable for one test (ephemeral ports, a fresh test authority
// written to a scratch folder, the control endpoint on), and fetches from it,
// verifying HTTPS against that authority.
#include <map>

#include "support/HttpFetch.h"
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace testtools {

// The value of a header named in any letter case ("" when absent).
std::string headerValue(const HttpReply& reply, const std::string& name);

class AdServerProcess {
public:
    // Starts the server with the extra arguments; started() tells whether its port file came.
    explicit AdServerProcess(const std::vector<std::string>& extraArguments = {});
    ~AdServerProcess();
    AdServerProcess(const AdServerProcess&) = delete;
    AdServerProcess& operator=(const AdServerProcess&) = delete;

    bool started() const { return ports_.count("control") > 0; }
    const std::string& scratch() const { return scratch_; }
    std::string caFile() const { return scratch_ + "/ca.pem"; }
    // "http://127.0.0.1:<port>" or "https://<host>:<port>".
    std::string origin(const std::string& scheme, const std::string& host = "127.0.0.1") const;
    // A fetch from the server (HTTPS trusting its authority).
    HttpReply get(const std::string& url, long timeoutMs = 20000) const;
    std::string controlURL(const std::string& kind) const;
    // POSTs to /control/<kind>; the status.
    long order(const std::string& kind, const nlohmann::json& body) const;
    nlohmann::json log() const;
    // Trusts the server's authority for 127.0.0.1 in the web engine and in the
    // library's own connections (an additional system anchor: tests clear it
    // with SecTrustSetAdditionalSystemAnchors({}) when done).
    void trustAuthority() const;
    // The environment that points the application's ad hosts at this server and makes it
    // trust the server's authority, as `make run` does ("NAME=value" entries).
    std::vector<std::string> applicationEnvironment() const;

    // SIGTERM, then the exit status (-1: ended by a signal or had to be killed).
    int stop();

private:
    std::string scratch_;
    std::map<std::string, int> ports_;
    int pid_ = -1;
};

std::string adServerExecutable();
// The unit table the ad server ships with (the application's units and the built-in ones).
std::string shippedAdUnits();
// Starts a process and returns its id (-1 when it could not start).
int spawnProcess(const std::vector<std::string>& arguments);
// Whether the process has ended (gone, or a zombie nobody collected yet).
bool processEnded(int pid);

}  // namespace testtools
