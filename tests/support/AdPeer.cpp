#include "support/AdPeer.h"

#include <filesystem>

namespace testsupport {

namespace {

std::string contentTypeOf(const std::filesystem::path& file) {
    static const std::map<std::string, std::string> types{
        {".html", "text/html; charset=utf-8"}, {".js", "application/javascript"},
        {".css", "text/css"},                  {".json", "application/json"},
        {".png", "image/png"},                 {".jpg", "image/jpeg"},
        {".gif", "image/gif"},                 {".webm", "video/webm"},
        {".txt", "text/plain; charset=utf-8"}, {".md", "text/plain; charset=utf-8"},
    };
    const auto it = types.find(file.extension().string());
    return it == types.end() ? "application/octet-stream" : it->second;
}

// The file a request path names under the two roots, or nullopt.
std::optional<std::filesystem::path> documentFor(const std::string& path) {
    static const std::string creatives = "/creatives/";
    const bool creative = path.rfind(creatives, 0) == 0;
    const std::filesystem::path relative(creative ? path.substr(creatives.size()) : path.substr(path.empty() ? 0 : 1));
    for (const auto& segment : relative) {
        if (segment == "..") return std::nullopt;
    }
    const std::filesystem::path file =
        std::filesystem::path(creative ? AdPeer::creativesRoot() : AdPeer::adServerRoot()) / relative;
    std::error_code ec;
    if (relative.empty() || !std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

Reply withFault(Reply reply, const AdPeer::Fault& fault) {
    if (fault.status) reply = Reply::withStatus(*fault.status, "Fault: status " + std::to_string(*fault.status));
    if (fault.pieceBytes) reply.trickle(fault.pieceBytes, fault.pieceDelayMs);
    if (fault.dropAfter) reply.drop(*fault.dropAfter);
    if (fault.hang) reply.stallFirst();
    return reply;
}

}  // namespace

AdPeer::Fault AdPeer::Fault::withStatus(int status) {
    Fault fault;
    fault.status = status;
    return fault;
}

AdPeer::Fault AdPeer::Fault::paced(std::size_t pieceBytes, int pieceDelayMs) {
    Fault fault;
    fault.pieceBytes = pieceBytes;
    fault.pieceDelayMs = pieceDelayMs;
    return fault;
}

AdPeer::Fault AdPeer::Fault::droppedAfter(std::size_t bodyBytes) {
    Fault fault;
    fault.dropAfter = bodyBytes;
    return fault;
}

AdPeer::Fault AdPeer::Fault::hanging() {
    Fault fault;
    fault.hang = true;
    return fault;
}

AdPeer::AdPeer(ConnectionFactory factory, std::string scheme) : server_(std::move(factory), std::move(scheme)) {
    server_.setHandler([this](const RecordedRequest& request) { return answer(request); });
}

std::string AdPeer::origin() const { return server_.baseURL(); }
std::string AdPeer::url(const std::string& target) const { return server_.url(target); }
std::string AdPeer::creativeURL(const std::string& file) const { return url("/creatives/" + file); }

std::string AdPeer::adServerRoot() { return QUORVANE_ADSERVER_ROOT; }
std::string AdPeer::creativesRoot() { return QUORVANE_CREATIVES_ROOT; }

void AdPeer::route(const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(handler);
}

void AdPeer::route(const std::string& path, Reply reply) {
    route(path, [reply](const RecordedRequest&) { return reply; });
}

void AdPeer::setFault(const std::string& path, Fault fault) {
    std::lock_guard lock(mutex_);
    faults_[path] = fault;
}

void AdPeer::clearFault(const std::string& path) {
    std::lock_guard lock(mutex_);
    faults_.erase(path);
}

void AdPeer::releaseHangs() { server_.releaseStalls(); }

std::vector<RecordedRequest> AdPeer::requests() const { return server_.requests(); }

std::vector<RecordedRequest> AdPeer::requestsFor(const std::string& path) const {
    std::vector<RecordedRequest> matching;
    for (auto& request : server_.requests()) {
        if (request.path() == path) matching.push_back(std::move(request));
    }
    return matching;
}

std::vector<std::string> AdPeer::requestedPaths() const {
    std::vector<std::string> paths;
    for (const auto& request : server_.requests()) paths.push_back(request.path());
    return paths;
}

std::function<bool()> AdPeer::receivedRequestFor(const std::string& path, std::size_t n) const {
    return [this, path, n] { return requestsFor(path).size() >= n; };
}

std::size_t AdPeer::hangingCount() const { return server_.stalledCount(); }

void AdPeer::stop() { server_.stop(); }

Reply AdPeer::answer(const RecordedRequest& request) const {
    Handler handler;
    std::optional<Fault> fault;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = routes_.find(request.path()); it != routes_.end()) handler = it->second;
        if (const auto it = faults_.find(request.path()); it != faults_.end()) fault = it->second;
    }
    Reply reply;
    if (handler) {
        reply = handler(request);
    } else if (const auto file = documentFor(request.path())) {
        StaticOptions options;
        options.contentType = contentTypeOf(*file);
        reply = serveFile(file->string(), options)(request);
    } else {
        reply = Reply::withStatus(404, "No document at " + request.path());
    }
    return fault ? withFault(std::move(reply), *fault) : reply;
}

}  // namespace testsupport
