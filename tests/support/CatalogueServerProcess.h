#pragma once
// Runs the catalogue server executable as a child process on an ephemeral port for one
// test, and signs requests to it as the application does.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testtools {

using QueryParameters = std::vector<std::pair<std::string, std::string>>;

// The path of the built server and of the genre list it serves by default.
std::string catalogueServerExecutable();
std::string shippedGenresFile();

// "&os=ios&version=1.0&deviceid=...&token=...&time=..." for the given clock value: the
// token digests the whole value, "time" carries its low 32 bits as a signed number.
std::string signedSuffix(std::int64_t time);

// Percent-escapes everything but letters, digits and "-._~".
std::string escapeQueryValue(const std::string& text);

class CatalogueServerProcess {
public:
    // Starts the server with --port 0 --port-file and the extra arguments, and waits
    // until it has written its port. started() tells whether that happened.
    explicit CatalogueServerProcess(const std::vector<std::string>& extraArguments = {});
    ~CatalogueServerProcess();
    CatalogueServerProcess(const CatalogueServerProcess&) = delete;
    CatalogueServerProcess& operator=(const CatalogueServerProcess&) = delete;

    bool started() const { return port_ > 0; }
    int port() const { return port_; }
    const std::string& portFileText() const { return portFileText_; }
    std::string origin() const;  // http://127.0.0.1:<port>

    // The signed URL of a catalogue action, signed now.
    std::string apiUrl(const std::string& action, const QueryParameters& parameters = {}) const;
    // The same with the "/fault/<faults>" path prefix.
    std::string faultPathUrl(const std::string& faults, const std::string& action,
                             const QueryParameters& parameters = {}) const;
    // Unsigned: just the query given.
    std::string unsignedApiUrl(const std::string& action, const std::string& query) const;

    // Sends the signal and waits for the process (killing it after 10 s). Returns the
    // exit status, or -1 when it ended by a signal or had to be killed.
    int stop(int signal = 15);
    bool running() const { return pid_ > 0; }
    int pid() const { return pid_; }

    // A scratch folder removed with this object.
    const std::string& scratch() const { return scratch_; }

private:
    int pid_ = -1;
    int port_ = 0;
    int exitStatus_ = -1;
    std::string scratch_;
    std::string portFileText_;
};

// Runs the executable with the arguments (no port file, no waiting for a port) and
// returns its exit status, or -1 when it did not end within 10 s by itself.
int runServerToCompletion(const std::vector<std::string>& arguments);

}  // namespace testtools
