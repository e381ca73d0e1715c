#include "ClickRoutes.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "ServerState.h"
#include "UnitTable.h"

namespace adserver {

namespace {

using namespace std::chrono_literals;

constexpr const char* kStoreWebLink = "https://apps.example/app/id123";
constexpr const char* kStoreSchemeLink = "itms-apps://apps.example/app/id123";
constexpr auto kLongestHold = 60s;

// Tokens released by /click/release, for the held pieces of /click/trickle.
class ReleaseGate {
public:
    void release(const std::string& token) {
        {
            std::lock_guard lock(mutex_);
            released_.insert(token);
        }
        changed_.notify_all();
    }
    // Waits in short turns, so that a server stop ends the wait too.
    bool waitFor(const std::string& token, ServerState& state) {
        const auto deadline = std::chrono::steady_clock::now() + kLongestHold;
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::unique_lock lock(mutex_);
                if (changed_.wait_for(lock, 50ms, [&] { return released_.contains(token); })) return true;
            }
            if (!state.waitUnlessStopping(0ms)) return false;
        }
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> released_;
};

ReleaseGate& gate() {
    static ReleaseGate shared;
    return shared;
}

std::string page(const std::string& title, const std::string& colour, const std::string& content) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\">"
           "<title>" + title + "</title><style>html,body{margin:0;height:100%;background:" + colour +
           "}a{display:block;height:200px;font:24px sans-serif;color:#fff}</style></head><body>" + content +
           "</body></html>\n";
}

Answer html(std::string body) {
    Answer answer;
    answer.contentType = "text/html; charset=utf-8";
    answer.body = std::move(body);
    return answer;
}

Answer redirect(const std::string& location) {
    Answer answer;
    answer.status = 302;
    answer.headers.push_back(nlohmann::json::array({"Location", location}));
    return answer;
}

// The host name the request was sent to ("127.0.0.1:40123" -> "127.0.0.1").
std::string requestHost(const httplib::Request& request) {
    const std::string host = request.get_header_value("Host");
    const auto colon = host.rfind(':');
    if (host.empty()) return "127.0.0.1";
    return colon == std::string::npos ? host : host.substr(0, colon);
}

Answer trickled(const std::string& token, ServerState& state) {
    Answer answer = html({});
    const std::string whole = page("Trickled", "#ef6c00", "<a id=\"next\" href=\"/click/page/2\">Next page</a>");
    const auto cut = whole.find("<a id=");
    answer.pieces = {whole.substr(0, cut), whole.substr(cut)};
    answer.beforePiece = [token, &state](std::size_t) { return gate().waitFor(token, state); };
    return answer;
}

}  // namespace

std::optional<Answer> clickRouteAnswer(const httplib::Request& request, const std::string& origin, ServerState& state) {
    const std::string& path = request.path;
    if (!path.starts_with("/click/")) return std::nullopt;
    if (path == "/click/chain") {
        const std::string then = request.has_param("then") ? request.get_param_value("then") : "/click/cookie";
        return redirect("https://" + requestHost(request) + ":" + std::to_string(state.port("https")) + then);
    }
    if (path == "/click/cookie") {
        Answer answer = html(page("Clicked", "#2e7d32", "<p>Thanks for the click</p>"));
        answer.headers.push_back(nlohmann::json::array({"Set-Cookie", "adclick=1; Path=/"}));
        return answer;
    }
    if (path == "/click/store")
        return redirect(request.get_param_value("to") == "scheme" ? kStoreSchemeLink : kStoreWebLink);
    if (path == "/click/page/1")
        return html(page("First", "#2e7d32", "<a id=\"next\" href=\"" + origin + "/click/page/2\">Next page</a>"));
    if (path == "/click/page/2") return html(page("Second", "#1565c0", "<p>The second page</p>"));
    if (path == "/click/trickle") return trickled(request.get_param_value("hold"), state);
    if (path == "/click/release") {
        gate().release(request.get_param_value("hold"));
        Answer answer;
        answer.status = 204;
        return answer;
    }
    return std::nullopt;
}

}  // namespace adserver
