#include "AdServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "PurchaseRoutes.h"
#include "MediationRoutes.h"
#include "ClickRoutes.h"
#include "ServerState.h"
#include "TestAuthority.h"
#include "ToolbarRoutes.h"
#include "UnitTable.h"

namespace adserver {

namespace {

using Json = nlohmann::json;

constexpr const char* kConstantsScriptPath = "/adnet/static/sdk/native/sdk-constants.js";
constexpr const char* kLandingPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Landing</title></head>"
    "<body><h1>Landing page</h1></body></html>\n";
// Bytes no UTF-8 decoder accepts: a lead byte with a bad continuation, and two bytes never used.
constexpr const char kInvalidUtf8[] = "\xC3\x28\xFF\xFE";

// Each name once, its value a text; a name given again turns the value into a list.
template <typename Multimap>
Json jsonOf(const Multimap& values) {
    Json out = Json::object();
    for (const auto& [name, value] : values) {
        if (!out.contains(name)) {
            out[name] = value;
        } else {
            if (!out[name].is_array()) out[name] = Json::array({out[name]});
            out[name].push_back(value);
        }
    }
    return out;
}

// The headers as the client sent them, without those the HTTP library adds about the sockets.
Json receivedHeaders(const httplib::Request& request) {
    auto headers = request.headers;
    for (const char* added : {"LOCAL_ADDR", "LOCAL_PORT", "REMOTE_ADDR", "REMOTE_PORT"}) headers.erase(added);
    return jsonOf(headers);
}

// The host name of a Host header ("127.0.0.1:40123" -> "127.0.0.1"), 127.0.0.1 without one.
std::string hostName(const std::string& host) {
    if (host.empty()) return "127.0.0.1";
    const auto colon = host.rfind(':');
    const auto bracket = host.rfind(']');
    if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket)) return host;
    return host.substr(0, colon);
}

// The query of a request target exactly as it was sent ("" without one).
std::string rawQuery(const std::string& target) {
    const auto mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

Answer plain(int status, std::string text) {
    Answer answer;
    answer.status = status;
    if (!text.empty()) answer.contentType = "text/plain; charset=utf-8";
    answer.body = std::move(text);
    return answer;
}

bool isPing(const std::string& path) {
    return path == "/adnet/ping/impression" || path == "/adnet/ping/click" || path == "/adnet/ping/manual-impression";
}

}  // namespace

AdServer::AdServer(std::shared_ptr<ServerState> state, std::string root, const TestAuthority* authority, bool verbose)
    : state_(std::move(state)), root_(std::move(root)), authority_(authority), verbose_(verbose),
      scheme_(authority ? "https" : "http"), http_(makeServer()) {}

std::unique_ptr<httplib::Server> AdServer::makeServer() {
    std::unique_ptr<httplib::Server> http;
    if (authority_)
        http = std::make_unique<httplib::SSLServer>(authority_->serverCertificate(), authority_->serverKey());
    else
        http = std::make_unique<httplib::Server>();
    http->set_keep_alive_max_count(1);
    auto handler = [this](const httplib::Request& request, httplib::Response& response) { handle(request, response); };
    http->Get(".*", handler);
    http->Post(".*", handler);
    if (verbose_) {
        http->set_logger([scheme = scheme_](const httplib::Request& request, const httplib::Response& response) {
            std::fprintf(stderr, "ad-server: %s %s %s -> %d\n", scheme.c_str(), request.method.c_str(),
                         request.path.c_str(), response.status);
        });
    }
    return http;
}

AdServer::~AdServer() { stop(); }

bool AdServer::bind(int port, std::string& error) {
    if (!http_->is_valid()) {
        error = "the " + scheme_ + " server cannot be set up";
        return false;
    }
    port_ = port == 0 ? http_->bind_to_any_port("127.0.0.1") : (http_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (port_ <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " for " + scheme_;
        return false;
    }
    return true;
}

void AdServer::start() { listening_.start(*http_); }

void AdServer::stop() { listening_.stop(); }

void AdServer::close() { stop(); }

bool AdServer::reopen(std::string& error) {
    if (listening_.serving()) return true;  // still open
    const int port = port_;
    http_ = makeServer();
    if (!bind(port, error)) {
        port_ = port;  // kept, so a later try asks for the same port
        return false;
    }
    start();
    return true;
}

void AdServer::handle(const httplib::Request& request, httplib::Response& response) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    Json entry = {{"scheme", scheme_},
                  {"method", request.method},
                  {"path", request.path},
                  {"query", jsonOf(request.params)},
                  {"rawQuery", rawQuery(request.target)},
                  {"headers", receivedHeaders(request)},
                  {"time", now.count()}};
    if (request.method == "POST") entry["body"] = request.body;
    const auto fault = state_->arrive(std::move(entry), request.path);
    const std::string host = request.get_header_value("Host");
    const std::string origin = scheme_ + "://" + (host.empty() ? "127.0.0.1:" + std::to_string(port_) : host);
    const std::size_t modeChanges = state_->modeChanges();
    const ServerMode mode = state_->mode();
    if (fault && fault->kind == Fault::Kind::Hang) {
        (void)state_->waitUnlessStopping(std::nullopt);  // released only by the stop
        send(plain(503, "stopping\n"), nullptr, {}, response);
        return;
    }
    if (fault && fault->kind == Fault::Kind::Delay &&
        !state_->waitUnlessStopping(std::chrono::milliseconds(fault->delayMs))) {
        send(plain(503, "stopping\n"), nullptr, {}, response);
        return;
    }
    if (mode.kind == ServerMode::Kind::Slow && mode.holdMs > 0 &&
        !state_->holdWhileMode(modeChanges, std::chrono::milliseconds(mode.holdMs))) {
        send(plain(503, "stopping\n"), nullptr, {}, response);
        return;
    }
    Answer usual = answer(request, origin);
    if (garbageApplies(mode, request.path)) usual = garbageAnswer(mode, std::move(usual), origin, request.target);
    const Pace pace{mode.trickles() ? mode.trickleBytes : 0, mode.everyMs, modeChanges};
    send(std::move(usual), fault ? &*fault : nullptr, pace, response);
}

Answer AdServer::answer(const httplib::Request& request, const std::string& origin) const {
    const std::string& path = request.path;
    if (path == "/adnet/ad") {
        const std::string slotname = request.get_param_value("slotname");
        const Json units = state_->units();
        if (!units.contains(slotname)) return plain(404, "no unit \"" + slotname + "\"\n");
        const std::size_t hop = std::strtoul(request.get_param_value("hop").c_str(), nullptr, 10);
        const Json& unit = units[slotname];
        if (!unit.contains("sequence")) {
            const Json& sized = answerForSize(unit, request.get_param_value("sz"), request.get_param_value("ad_frame"));
            return unitAnswer(sized, slotname, hop, origin, root_);
        }
        const Json& sequence = unit["sequence"];
        const Json& element = sequence[state_->sequenceIndex(slotname, sequence.size(), hop == 0)];
        return unitAnswer(element, slotname, hop, origin, root_);
    }
    if (auto click = clickRouteAnswer(request, origin, *state_)) return std::move(*click);
    if (isPing(path) || path == kLogPath) return plain(204, "");
    if (auto purchase = purchaseAnswer(path)) return std::move(*purchase);
    if (auto mediation = mediationAnswer(path)) return std::move(*mediation);
    if (path == "/adnet/click") {
        Answer answer = plain(302, "");
        const std::string landing = request.get_param_value("landing");
        answer.headers.push_back(Json::array({"Location", landing.empty() ? origin + "/adnet/landing" : landing}));
        return answer;
    }
    if (path == "/adnet/landing") {
        Answer answer = plain(200, kLandingPage);
        answer.contentType = "text/html; charset=utf-8";
        return answer;
    }
    if (path == kConstantsScriptPath) {
        const std::string host = hostName(request.get_header_value("Host"));
        const ScriptOrigins origins{origin, "http://" + host + ":" + std::to_string(state_->port("http")),
                                    "https://" + host + ":" + std::to_string(state_->port("https"))};
        Answer answer = plain(200, constantsScript(state_->constants(), state_->units(), origins));
        answer.contentType = "application/javascript; charset=utf-8";
        answer.headers.push_back(Json::array({"Cache-Control", "no-store"}));
        return answer;
    }
    if (auto routed = toolbarAnswer(request, origin, root_)) return *routed;
    if (request.method == "GET") {
        if (auto file = readUnderRoot(root_, path)) {
            Answer answer = plain(200, std::move(*file));
            answer.contentType = contentTypeOf(path);
            return answer;
        }
    }
    return plain(404, "not found\n");
}

void AdServer::send(Answer answer, const Fault* fault, const Pace& pace, httplib::Response& response) {
    using K = Fault::Kind;
    if (fault && fault->kind == K::Status && fault->usualBody) answer.status = fault->status;
    else if (fault && fault->kind == K::Status) answer = plain(fault->status, "fault: status " + std::to_string(fault->status) + "\n");
    if (fault && fault->kind == K::Empty) answer.body.clear();
    if (fault && fault->kind == K::Oversized) answer.body.assign(fault->bytes, 'x');
    if (fault && fault->kind == K::InvalidUtf8) answer.body = kInvalidUtf8 + answer.body + kInvalidUtf8;
    response.status = answer.status;
    for (const Json& header : answer.headers)
        response.set_header(header[0].get<std::string>(), header[1].get<std::string>());
    if (!answer.contentType.empty() && !response.has_header("Content-Type"))
        response.set_header("Content-Type", answer.contentType);
    if (!answer.pieces.empty()) {
        // Chunked, each piece after the first once beforePiece lets it go.
        auto pieces = std::make_shared<Answer>(std::move(answer));
        std::string type = response.get_header_value("Content-Type");
        response.headers.erase("Content-Type");  // the provider sets it again
        auto provide = [pieces, next = std::size_t{0}](std::size_t, httplib::DataSink& sink) mutable {
            if (next == pieces->pieces.size()) {
                sink.done();
                return true;
            }
            if (next > 0 && pieces->beforePiece && !pieces->beforePiece(next)) return false;
            const std::string& piece = pieces->pieces[next++];
            return sink.write(piece.data(), piece.size());
        };
        response.set_chunked_content_provider(std::move(type), std::move(provide));
        return;
    }
    if (fault && fault->kind == K::Close) {
        // The whole length is announced, half of it sent, then the connection is closed.
        if (answer.body.size() < 2) answer.body.assign(1024, 'x');
        const std::size_t length = answer.body.size();
        return streamBody(response, std::move(answer.body), {length, length / 2, length, nullptr});
    }
    if (answer.repeatTo > 0 && !answer.body.empty())
        return streamBody(response, std::move(answer.body), {answer.repeatTo, answer.repeatTo, 65536, nullptr});
    if (pace.trickleBytes > 0 && !answer.body.empty()) {
        const std::size_t length = answer.body.size();
        auto wait = [state = state_, pace] { return state->holdWhileMode(pace.modeChanges, std::chrono::milliseconds(pace.everyMs)); };
        return streamBody(response, std::move(answer.body), {length, length, pace.trickleBytes, std::move(wait)});
    }
    response.body = std::move(answer.body);
}

void AdServer::streamBody(httplib::Response& response, std::string body, Stream stream) {
    auto shared = std::make_shared<std::string>(std::move(body));
    const std::string type = response.get_header_value("Content-Type");
    response.headers.erase("Content-Type");  // the provider sets it again
    response.set_content_provider(
        stream.length, type, [shared, stream](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset >= stream.sendOnly) return false;
            if (offset > 0 && stream.beforePiece && !stream.beforePiece()) return false;
            const std::size_t piece = std::min(stream.piece, stream.sendOnly - offset);
            const std::size_t at = offset % shared->size();
            const std::size_t first = std::min(piece, shared->size() - at);
            if (!sink.write(shared->data() + at, first)) return false;
            for (std::size_t sent = first; sent < piece;) {  // the body again from its start
                const std::size_t next = std::min(piece - sent, shared->size());
                if (!sink.write(shared->data(), next)) return false;
                sent += next;
            }
            return true;
        });
}

}  // namespace adserver
