#include "platform/display/DeviceScreenApi.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

#include "platform/display/DeviceFrameStore.h"
#include "platform/display/DeviceInput.h"
#include "platform/display/DeviceOpenedURLs.h"
#include "platform/display/DeviceScene.h"
#include "platform/display/DeviceScreenApiSupport.h"
#include "platform/display/DeviceScreenPage.h"
#include "platform/display/DeviceTree.h"
#include "platform/display/MainQueueCall.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"

namespace display::api {

DeviceHttpResponse json(int status, const Json& body) {
    DeviceHttpResponse response;
    response.status = status;
    response.body = body.dump();
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

DeviceHttpResponse error(int status, const std::string& message) { return json(status, {{"error", message}}); }

DeviceHttpResponse unanswered(bool cancelled, double timeoutSeconds) {
    if (cancelled) return error(503, "the device screen is stopping");
    char text[32];
    std::snprintf(text, sizeof text, "%g", timeoutSeconds);
    return error(503, std::string("the main loop did not answer within ") + text + " s");
}

}  // namespace display::api

using namespace display::api;

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "127.0.0.1:PORT" or "localhost:PORT" (ASCII case ignored).
bool isLoopbackAuthority(const std::string& authority, int port) {
    const std::string a = lower(authority);
    const std::string suffix = ":" + std::to_string(port);
    return a == "127.0.0.1" + suffix || a == "localhost" + suffix;
}

}  // namespace

std::string DeviceHttpRequest::header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

DeviceScreenApi::DeviceScreenApi(Options options, std::shared_ptr<DeviceFrameStore> frames,
                                 std::shared_ptr<DeviceInput> input, std::shared_ptr<DeviceOpenedURLs> opened)
    : options_(std::move(options)), frames_(std::move(frames)), input_(std::move(input)), opened_(std::move(opened)) {}

DeviceHttpResponse DeviceScreenApi::handle(const DeviceHttpRequest& request) {
    if (!isLoopbackAuthority(request.header("host"), options_.port))
        return error(403, "only 127.0.0.1 and localhost with the screen's port are served");
    const std::string origin = request.header("origin");
    if (!origin.empty() && !(origin.starts_with("http://") && isLoopbackAuthority(origin.substr(7), options_.port)))
        return error(403, "requests from other sites are refused");
    if (cancelled_) return unanswered(true, 0);
    return route(request);
}

bool DeviceScreenApi::mayWait(const DeviceHttpRequest& request) {
    const std::string& path = request.path;
    if (request.method == "POST") return path == "/api/wait" || path == "/api/press";
    return (path == "/frame.png" || path == "/api/opened") && request.query.count("after") > 0;
}

DeviceHttpResponse DeviceScreenApi::route(const DeviceHttpRequest& request) {
    const std::string& path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (path == "/" || path == "/frame.png" || path == "/api/screen" || path == "/api/tree" || path == "/api/opened") {
        if (!get) return error(405, "use GET for " + path);
        if (path == "/") {
            DeviceHttpResponse page;
            page.contentType = "text/html; charset=utf-8";
            page.body = DeviceScreenPageHtml();
            page.headers.emplace_back("Content-Security-Policy", DeviceScreenPageContentSecurityPolicy());
            page.headers.emplace_back("Cache-Control", "no-store");
            return page;
        }
        if (path == "/frame.png") return frame(request);
        if (path == "/api/opened") return opened(request);
        return path == "/api/screen" ? screen() : tree();
    }
    if (!path.starts_with("/api/")) return error(404, "no such page: " + path);
    if (request.method != "POST") return error(405, "use POST for " + path);
    const std::string type = lower(request.header("content-type"));
    if (trimmed(type.substr(0, type.find(';'))) != "application/json")
        return error(415, "the body must be application/json");
    if (request.body.size() > options_.maxBodyBytes) return error(413, "the body is larger than 64 KiB");
    return post(path, request.body);
}

namespace {

// The request's after=N: nothing without one, false for one that is not a number.
[[nodiscard]] bool afterOf(const DeviceHttpRequest& request, std::optional<std::uint64_t>& after) {
    auto it = request.query.find("after");
    if (it == request.query.end()) return true;
    std::uint64_t n = 0;
    const std::string& text = it->second;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    after = n;
    return true;
}

}  // namespace

DeviceHttpResponse DeviceScreenApi::opened(const DeviceHttpRequest& request) {
    std::optional<std::uint64_t> after;
    if (!afterOf(request, after)) return error(400, "after must be a number");
    const auto entries = opened_->after(after.value_or(0), after ? options_.longPollTimeout : 0);
    Json list = Json::array();
    for (const auto& entry : entries) list.push_back({{"number", entry.number}, {"url", entry.url}});
    return json(200, {{"last", entries.empty() ? after.value_or(0) : entries.back().number}, {"opened", list}});
}

DeviceHttpResponse DeviceScreenApi::frame(const DeviceHttpRequest& request) {
    DeviceFrame latest;
    std::optional<std::uint64_t> after;
    if (!afterOf(request, after)) return error(400, "after must be a frame number");
    if (after) {
        latest = frames_->waitNewer(*after, options_.longPollTimeout);
    } else {
        latest = frames_->current(options_.mainQueueTimeout);
    }
    if (latest.number == 0) return error(503, "no frame has been drawn yet");
    auto png = frames_->png(latest);
    if (!png) return error(500, "the frame could not be encoded");
    DeviceHttpResponse response;
    response.contentType = "image/png";
    response.bytes = std::move(png);
    response.headers.emplace_back("X-Frame-Number", std::to_string(latest.number));
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

namespace {

Json screenFacts(const std::string& deviceKind, std::uint64_t frameNumber) {
    const CGSize size = DeviceScene::screenSize();
    return {{"width", size.width},
            {"height", size.height},
            {"scale", UIScreen::mainScreen()->scale()},
            {"device", deviceKind},
            {"orientation", DeviceOrientationName(UIDevice::currentDevice()->orientation())},
            {"interface", DeviceScene::isLandscape() ? "landscape" : "portrait"},
            {"frame", frameNumber}};
}

}  // namespace

DeviceHttpResponse DeviceScreenApi::screen() {
    auto result = display::callOnMain<Json>(
        [kind = options_.deviceKind, frames = frames_](std::function<void(Json)> reply) {
            reply(screenFacts(kind, frames->latest().number));
        },
        options_.mainQueueTimeout, cancelled_);
    if (result.outcome != display::MainCallOutcome::Answered)
        return unanswered(result.outcome == display::MainCallOutcome::Cancelled, options_.mainQueueTimeout);
    return json(200, *result.value);
}

DeviceHttpResponse DeviceScreenApi::tree() {
    auto result = display::callOnMain<Json>(
        [kind = options_.deviceKind, frames = frames_](std::function<void(Json)> reply) {
            Json tree = DeviceTree::describe();
            tree["screen"] = screenFacts(kind, frames->latest().number);
            reply(std::move(tree));
        },
        options_.mainQueueTimeout, cancelled_);
    if (result.outcome != display::MainCallOutcome::Answered)
        return unanswered(result.outcome == display::MainCallOutcome::Cancelled, options_.mainQueueTimeout);
    return json(200, *result.value);
}
