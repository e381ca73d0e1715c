// Protects the browser tests' driver: headless Chromium started on a free port and driven through WebDriver.
#include "WebDriverSession.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>

#include "core/Base64.h"
#include "support/TestEnvironment.h"

extern char** environ;

namespace browsertest {

bool browserAvailable() { return ::access(kChromium, X_OK) == 0 && ::access(kChromeDriver, X_OK) == 0; }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                           const std::string& outputFile) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.insert(env.end(), environment.begin(), environment.end());  // later entries win
    std::vector<char*> envp, argv;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int output = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (output < 0) return;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only calls that are safe after fork in a threaded process, up to exec. The
        // child is told to end when the test process dies, even by a crash.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(126);
        ::dup2(output, 1);
        ::dup2(output, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(output);
    if (pid > 0) pid_ = pid;
}

ChildProcess::~ChildProcess() { stop(); }

int ChildProcess::stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    const bool gone = testsupport::runMainUntil([&] { return (ended = ::waitpid(pid_, &status, WNOHANG)) != 0; }, 10);
    if (!gone) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return gone && ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

std::size_t collect(char* data, std::size_t size, std::size_t count, void* into) {
    static_cast<std::string*>(into)->append(data, size * count);
    return size * count;
}

std::size_t collectHeader(char* data, std::size_t size, std::size_t count, void* into) {
    std::string line(data, size * count);
    auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t\r\n") + 1);
        static_cast<std::vector<std::pair<std::string, std::string>>*>(into)->emplace_back(name, value);
    }
    return size * count;
}

}  // namespace

std::string HttpReply::header(const std::string& lowerName) const {
    for (const auto& [name, value] : headers)
        if (name == lowerName) return value;
    return {};
}

HttpReply httpRequest(const std::string& method, const std::string& url, const std::string& body,
                      double timeoutSeconds) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (!curl) return reply;
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "POST") {
        headers = curl_slist_append(headers, "Content-Type: application/json");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutSeconds * 1000));
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}

WebDriverSession::WebDriverSession(const std::vector<std::string>& browserArguments, const std::string& scratchFolder) {
    // With --port=0 the server takes a free IPv6 port and then binds the same
    // number on IPv4, where another process may hold it: it exits, and a new
    // start picks another number.
    const std::regex listening("started successfully on port ([0-9]+)");
    const std::regex portTaken("port not available");
    std::smatch found;
    std::string text;
    bool listens = false;
    for (int attempt = 0; attempt < 5 && !listens; ++attempt) {
        const std::string output = scratchFolder + "/chromedriver-" + std::to_string(attempt) + ".out";
        driver_ = std::make_unique<ChildProcess>(std::vector<std::string>{kChromeDriver, "--port=0"},
                                                 std::vector<std::string>{}, output);
        if (!driver_->started()) {
            error_ = "chromedriver did not start";
            return;
        }
        // It says which port it took once it listens.
        bool gaveUp = false;
        testsupport::runMainUntil(
            [&] {
                text = readFile(output);
                listens = std::regex_search(text, found, listening);
                gaveUp = std::regex_search(text, portTaken);
                return listens || gaveUp;
            },
            20);
        if (!listens && !gaveUp) break;
    }
    if (!listens) {
        error_ = "chromedriver did not say it listens: " + text;
        return;
    }
    base_ = "http://127.0.0.1:" + found[1].str();
    const Json capabilities = {
        {"capabilities",
         {{"alwaysMatch",
           {{"browserName", "chrome"},
            {"goog:chromeOptions", {{"binary", kChromium}, {"args", browserArguments}}}}}}}};
    HttpReply reply = httpRequest("POST", base_ + "/session", capabilities.dump(), 60);
    Json answer = Json::parse(reply.body, nullptr, false);
    if (reply.status != 200 || !answer.is_object() || !answer["value"].contains("sessionId")) {
        error_ = "no browser session (HTTP " + std::to_string(reply.status) + "): " + reply.body;
        return;
    }
    sessionId_ = answer["value"]["sessionId"].get<std::string>();
}

WebDriverSession::~WebDriverSession() {
    if (!sessionId_.empty()) (void)httpRequest("DELETE", base_ + "/session/" + sessionId_, {}, 20);  // the browser quits
    driver_.reset();
}

Json WebDriverSession::command(const std::string& method, const std::string& path, const Json& body) {
    HttpReply reply = httpRequest(method, base_ + "/session/" + sessionId_ + path, method == "POST" ? body.dump() : "");
    Json answer = Json::parse(reply.body, nullptr, false);
    if (reply.status != 200 || !answer.is_object()) {
        error_ = method + " " + path + ": HTTP " + std::to_string(reply.status) + " " + reply.body.substr(0, 500);
        return nullptr;
    }
    return answer["value"];
}

void WebDriverSession::navigate(const std::string& url) { command("POST", "/url", {{"url", url}}); }

Json WebDriverSession::execute(const std::string& script, const Json& arguments) {
    return command("POST", "/execute/sync", {{"script", script}, {"args", arguments}});
}

Json WebDriverSession::executeAsync(const std::string& script, const Json& arguments) {
    return command("POST", "/execute/async", {{"script", script}, {"args", arguments}});
}

std::string WebDriverSession::findElement(const std::string& selector) {
    Json value = command("POST", "/element", {{"using", "css selector"}, {"value", selector}});
    if (!value.is_object() || value.empty()) return {};
    return value.begin()->get<std::string>();  // the one entry, under the element key of the protocol
}

Data WebDriverSession::elementScreenshot(const std::string& element) {
    Json value = command("GET", "/element/" + element + "/screenshot");
    if (!value.is_string()) return {};
    return dataWithBase64EncodedString(value.get<std::string>()).value_or(Data());
}

namespace {

Json elementOrigin(const std::string& element) { return {{"element-6066-11e4-a52e-4f735466cecf", element}}; }

Json mouse(Json steps) {
    return {{"actions",
             {{{"type", "pointer"},
               {"id", "mouse"},
               {"parameters", {{"pointerType", "mouse"}}},
               {"actions", std::move(steps)}}}}};
}

}  // namespace

void WebDriverSession::clickAt(const std::string& element, int dx, int dy) {
    command("POST", "/actions",
            mouse({{{"type", "pointerMove"}, {"duration", 0}, {"origin", elementOrigin(element)}, {"x", dx}, {"y", dy}},
                   {{"type", "pointerDown"}, {"button", 0}},
                   {{"type", "pointerUp"}, {"button", 0}}}));
}

void WebDriverSession::dragAt(const std::string& element, int dx, int dy, int mx, int my) {
    command("POST", "/actions",
            mouse({{{"type", "pointerMove"}, {"duration", 0}, {"origin", elementOrigin(element)}, {"x", dx}, {"y", dy}},
                   {{"type", "pointerDown"}, {"button", 0}},
                   {{"type", "pointerMove"}, {"duration", 100}, {"origin", "pointer"}, {"x", mx}, {"y", my}},
                   {{"type", "pointerUp"}, {"button", 0}}}));
}

void WebDriverSession::mouseDownAt(const std::string& element, int dx, int dy) {
    command("POST", "/actions",
            mouse({{{"type", "pointerMove"}, {"duration", 0}, {"origin", elementOrigin(element)}, {"x", dx}, {"y", dy}},
                   {{"type", "pointerDown"}, {"button", 0}}}));
}

void WebDriverSession::mouseUp() { command("POST", "/actions", mouse({{{"type", "pointerUp"}, {"button", 0}}})); }

void WebDriverSession::wheelAt(const std::string& element, int deltaX, int deltaY) {
    const Json steps = {{{"type", "scroll"},
                         {"origin", elementOrigin(element)},
                         {"x", 0},
                         {"y", 0},
                         {"deltaX", deltaX},
                         {"deltaY", deltaY},
                         {"duration", 0}}};
    command("POST", "/actions", {{"actions", {{{"type", "wheel"}, {"id", "wheel"}, {"actions", steps}}}}});
}

void WebDriverSession::typeKeys(const std::vector<std::string>& keys) {
    Json steps = Json::array();
    for (const auto& key : keys) {
        steps.push_back({{"type", "keyDown"}, {"value", key}});
        steps.push_back({{"type", "keyUp"}, {"value", key}});
    }
    command("POST", "/actions", {{"actions", {{{"type", "key"}, {"id", "keyboard"}, {"actions", steps}}}}});
}

}  // namespace browsertest
