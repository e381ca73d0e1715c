#include "CatalogueServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "Catalogue.h"
#include "ControlPlan.h"
#include "FaultMode.h"
#include "ListeningServer.h"
#include "MediaFile.h"
#include "PosterImage.h"
#include "ReplyCodec.h"

namespace catalogue {

namespace {

using Json = nlohmann::json;
using Query = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kReplyContentType = "text/html; charset=UTF-8";
constexpr const char* kFaultHeader = "X-Quorvane-Fault";
constexpr const char* kDelayHeader = "X-Quorvane-Delay-Ms";
constexpr int kDefaultPageSize = 30;
constexpr int kLargestPageSize = 100;
constexpr std::size_t kWrapWidth = 76;
constexpr std::size_t kMediaChunk = 64 * 1024;

// The query as sent, split on "&" and "=", each part percent-decoded with "+" left a
// plus sign (the application escapes only what is not legal in a URL). Empty optional
// for a malformed escape.
std::optional<Query> parseQuery(const std::string& target) {
    Query query;
    const auto mark = target.find('?');
    if (mark == std::string::npos) return query;
    std::string_view rest = std::string_view(target).substr(mark + 1);
    if (const auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
        if (pair.empty()) continue;
        const auto equals = pair.find('=');
        auto key = percentDecode(pair.substr(0, equals));
        auto value = percentDecode(equals == std::string_view::npos ? std::string_view{} : pair.substr(equals + 1));
        if (!key || !value) return std::nullopt;
        query.emplace_back(std::move(*key), std::move(*value));
    }
    return query;
}

const std::string* queryValue(const Query& query, std::string_view key) {
    for (const auto& [name, value] : query)
        if (name == key) return &value;
    return nullptr;
}

// The leading decimal integer of a parameter, as a lenient backend reads it; the
// fallback when there is none.
int intParameter(const Query& query, std::string_view key, int fallback) {
    const std::string* text = queryValue(query, key);
    if (!text) return fallback;
    std::size_t i = 0;
    while (i < text->size() && std::isspace(static_cast<unsigned char>((*text)[i]))) ++i;
    bool negative = false;
    if (i < text->size() && ((*text)[i] == '-' || (*text)[i] == '+')) negative = (*text)[i++] == '-';
    if (i >= text->size() || !std::isdigit(static_cast<unsigned char>((*text)[i]))) return fallback;
    long long value = 0;
    for (; i < text->size() && std::isdigit(static_cast<unsigned char>((*text)[i])); ++i) {
        value = value * 10 + ((*text)[i] - '0');
        if (value > INT32_MAX) value = INT32_MAX + 1ll;
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

std::string dateText(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string reversed(std::string_view text) { return std::string(text.rbegin(), text.rend()); }

// One byte range of a file: the first and last byte, both included.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

enum class RangeRequest { Whole, Part, Unsatisfiable };

// Reads a Range header of one "bytes" range against a file of `size` bytes. Anything
// else (no header, several ranges, another unit, a malformed spec) asks for the whole
// file, as a server may answer any Range with the full content.
RangeRequest readRange(const std::string& header, std::uint64_t size, ByteRange& range) {
    constexpr std::string_view kUnit = "bytes=";
    if (header.compare(0, kUnit.size(), kUnit) != 0) return RangeRequest::Whole;
    const std::string spec = header.substr(kUnit.size());
    if (spec.find(',') != std::string::npos) return RangeRequest::Whole;
    const auto dash = spec.find('-');
    if (dash == std::string::npos) return RangeRequest::Whole;
    const auto number = [](const std::string& text, std::uint64_t& value) {
        if (text.empty() || text.size() > 19) return false;
        value = 0;
        for (char c : text) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        return true;
    };
    const std::string from = spec.substr(0, dash);
    const std::string to = spec.substr(dash + 1);
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    if (from.empty()) {  // the last bytes
        if (!number(to, last)) return RangeRequest::Whole;
        if (last == 0 || size == 0) return RangeRequest::Unsatisfiable;
        range = {last >= size ? 0 : size - last, size - 1};
        return RangeRequest::Part;
    }
    if (!number(from, first)) return RangeRequest::Whole;
    if (to.empty()) last = UINT64_MAX;
    else if (!number(to, last) || last < first) return RangeRequest::Whole;
    if (first >= size) return RangeRequest::Unsatisfiable;
    range = {first, std::min(last, size - 1)};
    return RangeRequest::Part;
}

}  // namespace

void CatalogueServer::serveBytes(const httplib::Request& request, httplib::Response& response, std::uint64_t size,
                                 const std::string& contentType, ByteProducer produce, const ReplyPlanner& planner,
                                 const std::string& etag) {
    // Ranges are answered here; the library's own range handling is switched off for the
    // request because it mishandles ranges that reach past the end.
    const_cast<httplib::Request&>(request).ranges.clear();
    response.set_header("Accept-Ranges", "bytes");
    if (!etag.empty()) response.set_header("ETag", etag);
    // A range guarded by another validator than the current one gets the whole file.
    const std::string ifRange = request.get_header_value("If-Range");
    const bool rangeValid = ifRange.empty() || (!etag.empty() && ifRange == etag);

    ByteRange range{0, size == 0 ? 0 : size - 1};
    switch (rangeValid ? readRange(request.get_header_value("Range"), size, range) : RangeRequest::Whole) {
        case RangeRequest::Unsatisfiable:
            if (planner) planner(size, size);  // logged; no bytes to pace or cut
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(size));
            response.set_content("Range Not Satisfiable\n", "text/plain");
            return;
        case RangeRequest::Part:
            response.status = 206;
            response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                     std::to_string(range.last) + "/" + std::to_string(size));
            break;
        case RangeRequest::Whole:
            response.status = 200;
            break;
    }
    const std::uint64_t length = size == 0 ? 0 : range.last - range.first + 1;
    const std::uint64_t start = range.first;
    const MediaPlan plan = planner ? planner(start, start + length) : MediaPlan{};
    // A paced reply goes out in pieces of a twentieth of a second, each at its due time
    // counted from the first.
    const std::size_t piece =
        plan.bytesPerSecond ? static_cast<std::size_t>(std::clamp<std::uint64_t>(plan.bytesPerSecond / 20, 1, kMediaChunk))
                            : kMediaChunk;
    auto began = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
    response.set_content_provider(
        static_cast<std::size_t>(length), contentType,
        [this, start, plan, piece, began, produce = std::move(produce)](std::size_t offset, std::size_t remaining,
                                                                        httplib::DataSink& sink) {
            const std::uint64_t at = start + offset;
            std::size_t count = std::min(remaining, piece);
            if (plan.dropAt) {
                // Returning false makes the library close the connection mid-body.
                if (at >= *plan.dropAt) return false;
                count = static_cast<std::size_t>(std::min<std::uint64_t>(count, *plan.dropAt - at));
            }
            if (plan.bytesPerSecond) {
                if (!*began) *began = std::chrono::steady_clock::now();
                const auto due = **began + std::chrono::microseconds(offset * 1000000ull / plan.bytesPerSecond);
                if (!waitUntilOrStop(due)) return false;
            }
            std::vector<char> chunk(count);
            produce(at, chunk.size(), chunk.data());
            return sink.write(chunk.data(), chunk.size());
        });
}

CatalogueServer::CatalogueServer(std::shared_ptr<const Catalogue> catalogue, ServerOptions options)
    : catalogue_(std::move(catalogue)), options_(std::move(options)), http_(std::make_unique<ListeningServer>()) {
    installRoutes();
}

CatalogueServer::~CatalogueServer() = default;

bool CatalogueServer::bind(std::string& error) {
    if (options_.port == 0) {
        port_ = http_->bind_to_any_port(options_.host);
        if (port_ <= 0) {
            error = "cannot listen on " + options_.host;
            return false;
        }
    } else {
        if (!http_->bind_to_port(options_.host, options_.port)) {
            error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
            return false;
        }
        port_ = options_.port;
    }
    if (!http_->widenBacklog()) {
        error = "cannot listen on " + options_.host + " with a backlog of " + std::to_string(ListeningServer::kBacklog);
        return false;
    }
    return true;
}

bool CatalogueServer::run() { return http_->listen_after_bind(); }

void CatalogueServer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    http_->stop();
}

void CatalogueServer::waitOrStop(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    stopped_.wait_for(lock, delay, [this] { return stopping_; });
}

bool CatalogueServer::waitUntilOrStop(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_until(lock, deadline, [this] { return stopping_; });
}

std::string CatalogueServer::baseUrl() const {
    std::string host = options_.host;
    if (host == "0.0.0.0") host = "127.0.0.1";
    if (host == "::") host = "::1";
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(port_);
}

void CatalogueServer::installRoutes() {
    const std::string api = R"(/admin/index\.php/apiios_final/([^/]+))";
    http_->Get(api, [this](const httplib::Request& request, httplib::Response& response) {
        handleApi(request, response, request.matches[1].str(), nullptr);
    });
    http_->Get(R"(/fault/([^/]+))" + api, [this](const httplib::Request& request, httplib::Response& response) {
        const std::string fault = request.matches[1].str();
        handleApi(request, response, request.matches[2].str(), &fault);
    });
    http_->Get(R"(/posters/(\d{1,9})\.png)", [this](const httplib::Request& request, httplib::Response& response) {
        handlePoster(request, response);
    });
    http_->Get(R"(/media/([A-Za-z0-9._-]+))", [this](const httplib::Request& request, httplib::Response& response) {
        handleMedia(request, response);
    });
    http_->Get("/update", [this](const httplib::Request&, httplib::Response& response) { handleUpdatePage(response); });
    // One request per connection ("Connection: close"): an idle kept-alive
    // connection would hold every stop for the keep-alive timeout (5 s), since
    // its worker only notices the stop when that timeout ends. Loopback
    // connections cost next to nothing.
    http_->set_keep_alive_max_count(1);
    http_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            response.set_content(response.status == 404 ? "Not Found\n" : "Error " + std::to_string(response.status) + "\n",
                                 "text/plain");
    });
    if (options_.verbose) {
        http_->set_logger([](const httplib::Request& request, const httplib::Response& response) {
            std::fprintf(stderr, "catalogue-server: %s %s -> %d\n", request.method.c_str(), request.target.c_str(),
                         response.status);
        });
    }
}

void CatalogueServer::handleApi(const httplib::Request& request, httplib::Response& response,
                                const std::string& action, const std::string* pathFault) {
    const auto query = parseQuery(request.target);
    if (!query) {
        response.status = 400;
        response.set_content("malformed percent escape in the query\n", "text/plain");
        return;
    }
    // The fault comes from the path prefix, else the "fault" parameter, else the header.
    std::string faultList;
    if (pathFault) faultList = *pathFault;
    else if (const std::string* value = queryValue(*query, "fault")) faultList = *value;
    else faultList = request.get_header_value(kFaultHeader);
    std::string delayText;
    if (const std::string* value = queryValue(*query, "delay_ms")) delayText = *value;
    else delayText = request.get_header_value(kDelayHeader);
    std::string faultError;
    auto plan = parseFaultPlan(faultList, delayText, faultError);
    // The signed suffix: the token must be the MD5 of the secret followed by "time".
    const std::string* token = queryValue(*query, "token");
    const std::string* time = queryValue(*query, "time");
    const bool signedRight = token && time && tokenMatches(*token, *time);

    // Logged however it is answered. Orders from the control endpoint count the
    // replies that are answered, taken as the request is logged, so they go to
    // requests in the log's order; the request's own fault and delay come first.
    const ControlledReply controlled =
        control_ ? control_->arrive(action, *query, plan && signedRight) : ControlledReply{};
    if (!plan) {
        response.status = 400;
        response.set_content(faultError + "\n", "text/plain");
        return;
    }
    if (!signedRight) {
        response.status = 403;
        response.set_content("Forbidden\n", "text/plain");
        return;
    }
    if (plan->fault == Fault::None) plan->fault = controlled.fault.fault;
    if (plan->delay.count() == 0) plan->delay = controlled.fault.delay;

    if (plan->delay.count() > 0) waitOrStop(plan->delay);

    Json envelope = {{"msg", "Success"}};
    const auto fail = [&envelope](const std::string& why) {
        envelope["msg"] = "Error";
        envelope["error"] = why;
        envelope["data"] = nullptr;
    };
    const std::string base = baseUrl();
    const auto posterUrl = [&base](const Title& title) { return base + "/posters/" + std::to_string(title.id) + ".png"; };
    const auto filmInfo = [&](const Title& title) {
        return Json{{"id", title.id},
                    {"title", title.name},
                    {"rating", title.rating},
                    {"year", title.year},
                    {"poster", posterUrl(title)},
                    {"servername", title.serverName},
                    {"views", title.views},
                    {"updated", dateText(title.updatedAt)}};
    };
    const auto listData = [&](const Catalogue::Page& page) {
        Json films = Json::array();
        for (const Title* title : page.titles) films.push_back(filmInfo(*title));
        return Json{{"more", page.more}, {"films", std::move(films)}};
    };
    const int page = intParameter(*query, "page", 1);
    const int count = std::clamp(intParameter(*query, "count", kDefaultPageSize), 1, kLargestPageSize);

    if (action == "movies" || action == "tvshow") {
        const std::string* type = queryValue(*query, "type");
        envelope["data"] = listData(catalogue_->list(action == "movies" ? TitleKind::Movie : TitleKind::TVShow,
                                                     sortKeyFromWord(type ? *type : "popular"),
                                                     intParameter(*query, "genres", 0), page, count));
    } else if (action == "search") {
        const std::string* keyword = queryValue(*query, "keyword");
        envelope["data"] = listData(catalogue_->search(keyword ? *keyword : "", page, count));
    } else if (action == "detail") {
        const Title* title = catalogue_->title(intParameter(*query, "id", 0));
        if (!title) {
            fail("no title with this id");
        } else {
            Json chapters = Json::array();
            for (const auto& chapter : title->chapters) chapters.push_back({{"id", chapter.id}, {"title", chapter.title}});
            envelope["data"] = {{"id", title->id},
                                {"title", title->name},
                                {"desc", title->description},
                                {"startyear", title->year},
                                {"rating", title->rating},
                                {"servername", title->serverName},
                                {"poster", posterUrl(*title)},
                                {"genre", catalogue_->genreText(*title)},
                                {"state", title->state},
                                {"type", title->kind == TitleKind::Movie ? "movie" : "tvshow"},
                                {"views", title->views},
                                {"updated", dateText(title->updatedAt)},
                                {"chapters", std::move(chapters)}};
        }
    } else if (action == "stream") {
        const Chapter* chapter = catalogue_->chapter(intParameter(*query, "chapterid", 0));
        if (!chapter) {
            fail("no chapter with this id");
        } else {
            Json streams = Json::array();
            for (const auto& stream : chapter->streams)
                streams.push_back({{"name", stream.name}, {"link", percentEscape(base + "/media/" + stream.fileName)}});
            envelope["data"] = std::move(streams);
        }
    } else if (action == "getversion" && options_.configuration) {
        envelope["data"] = *options_.configuration;
    } else if (action == "getversion") {
        envelope["data"] = {{"AppVersion", options_.appVersion},
                            {"AppLink", options_.appLink.empty() ? base + "/update" : options_.appLink},
                            {"AdvType", options_.advType},
                            {"AdvCount", options_.advCount},
                            {"AdvIDBaner", options_.advIdBanner},
                            {"AdvIDInter", options_.advIdInter}};
    } else {
        fail("unknown action");
    }

    if (controlled.data) envelope = {{"msg", "Success"}, {"data", *controlled.data}};
    if (plan->fault == Fault::LowerCase) envelope["msg"] = lowerAscii(envelope["msg"].get<std::string>());

    switch (plan->fault) {
        case Fault::Http500:
            response.status = 500;
            response.set_content("Internal Server Error\n", "text/plain");
            return;
        case Fault::Empty:
            response.status = 200;
            response.set_content("", kReplyContentType);
            return;
        default:
            break;
    }

    const std::string plain = plan->fault == Fault::Scalar ? Json("Success").dump() : envelope.dump();
    const auto cipher =
        aes256CbcEncrypt(plain, plan->fault == Fault::WrongKey ? reversed(kReplyKey) : std::string(kReplyKey));
    if (!cipher) {
        response.status = 500;
        response.set_content("encryption failed\n", "text/plain");
        return;
    }
    std::string body = base64Encode(*cipher);
    if (plan->fault == Fault::Wrapped) {
        body = wrapLines(body, kWrapWidth, "\r\n");
    } else if (plan->fault == Fault::BadBase64) {
        // Drop the last quartet, so the bytes are no longer whole cipher blocks, and end
        // with characters outside the alphabet.
        body.resize(body.size() - 4);
        body += "*%$";
    }
    response.status = 200;
    response.set_content(body, kReplyContentType);
}

void CatalogueServer::handlePoster(const httplib::Request& request, httplib::Response& response) {
    const int id = std::stoi(request.matches[1].str());
    const Title* title = catalogue_->title(id);
    if (!title) {
        response.status = 404;
        return;
    }
    std::shared_ptr<const std::string> png;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = posters_.find(id); found != posters_.end()) png = found->second;
    }
    if (!png) {
        auto drawn = std::make_shared<const std::string>(renderPosterPng(*title, options_.catalogue.seed));
        if (drawn->empty()) {
            response.status = 500;
            return;
        }
        std::lock_guard lock(mutex_);
        png = posters_.emplace(id, std::move(drawn)).first->second;
    }
    response.set_header("Cache-Control", "max-age=86400");
    serveBytes(request, response, png->size(), "image/png",
               [png](std::uint64_t offset, std::size_t length, char* out) {
                   std::copy_n(png->data() + offset, length, out);
               });
}

void CatalogueServer::handleMedia(const httplib::Request& request, httplib::Response& response) {
    const MediaEntry* entry = catalogue_->media(request.matches[1].str());
    if (!entry) {
        response.status = 404;
        return;
    }
    const MediaEntry file = *entry;
    ReplyPlanner planner;
    if (control_) {
        planner = [this, name = request.matches[1].str(), range = request.get_header_value("Range")](
                      std::uint64_t first, std::uint64_t end) { return control_->takeMedia(name, range, first, end); };
    }
    serveBytes(
        request, response, file.size, "video/mp4",
        [file](std::uint64_t offset, std::size_t length, char* out) { mediaBytes(file.seed, file.size, offset, out, length); },
        planner, "\"" + std::to_string(file.seed) + "-" + std::to_string(file.size) + "\"");
}

void CatalogueServer::handleUpdatePage(httplib::Response& response) {
    response.set_content(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Quorvane</title></head>\n"
        "<body><h1>Quorvane " + options_.appVersion + "</h1><p>A newer version of the application is available.</p></body></html>\n",
        "text/html; charset=UTF-8");
}

}  // namespace catalogue
