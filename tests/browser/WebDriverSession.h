#pragma once
// A headless Chromium driven through its WebDriver server (Debian's chromium
// and chromium-driver), for tests of the pages the application serves.
//
// The server is started on a free port (--port=0; it prints the port it took,
// and is started again should that number be taken on the other address family),
// one browser session is opened with the arguments given, and both end with
// the object: the session is deleted (the browser quits), then the server is
// sent SIGTERM and waited for. Requests go over HTTP with libcurl, each bounded
// in time. Test thread only.
#include <sys/types.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/Data.h"

namespace browsertest {

using Json = nlohmann::json;

inline constexpr const char* kChromium = "/usr/bin/chromium";
inline constexpr const char* kChromeDriver = "/usr/bin/chromedriver";

// Whether the browser and its driver are installed.
bool browserAvailable();

// A child process with its output in a file; SIGTERM and a wait when the object
// goes, and SIGTERM from the system should the test process die first.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                 const std::string& outputFile);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool started() const { return pid_ > 0; }
    // Sends SIGTERM and waits (SIGKILL after 10 s); the exit status, or -1.
    int stop();

private:
    pid_t pid_ = -1;
};

std::string readFile(const std::string& path);

// One answer of an HTTP server.
struct HttpReply {
    long status = 0;  // 0: no answer
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::string header(const std::string& lowerName) const;
};

// method "GET", "POST" or "DELETE"; a POST sends the body as JSON.
HttpReply httpRequest(const std::string& method, const std::string& url, const std::string& body = {},
                      double timeoutSeconds = 30);

class WebDriverSession {
public:
    // Starts the driver and a session with the browser arguments; check
    // started() and error().
    WebDriverSession(const std::vector<std::string>& browserArguments, const std::string& scratchFolder);
    ~WebDriverSession();
    WebDriverSession(const WebDriverSession&) = delete;
    WebDriverSession& operator=(const WebDriverSession&) = delete;

    bool started() const { return !sessionId_.empty(); }
    const std::string& error() const { return error_; }

    // A command of the session: its "value" (null with error() set on a failure).
    Json command(const std::string& method, const std::string& path, const Json& body = Json::object());

    void navigate(const std::string& url);
    // The script's value; an async script ends by calling its last argument.
    Json execute(const std::string& script, const Json& arguments = Json::array());
    Json executeAsync(const std::string& script, const Json& arguments = Json::array());
    // The reference of the element the CSS selector finds first.
    std::string findElement(const std::string& selector);
    // The element's picture as the browser shows it (PNG bytes).
    Data elementScreenshot(const std::string& element);
    // A mouse click at the offset (CSS pixels) from the element's centre.
    void clickAt(const std::string& element, int dx, int dy);
    // The mouse pressed at the offset from the element's centre, moved by (mx, my) and released.
    void dragAt(const std::string& element, int dx, int dy, int mx, int my);
    // The mouse button pressed at the offset from the element's centre and held; mouseUp releases it.
    void mouseDownAt(const std::string& element, int dx, int dy);
    void mouseUp();
    // The wheel turned over the element's centre by the deltas.
    void wheelAt(const std::string& element, int deltaX, int deltaY);
    // Keys pressed and released one after the other (WebDriver key values: "a", "\uE007" for Enter).
    void typeKeys(const std::vector<std::string>& keys);

private:
    std::unique_ptr<ChildProcess> driver_;
    std::string base_;  // http://127.0.0.1:PORT
    std::string sessionId_;
    std::string error_;
};

}  // namespace browsertest
