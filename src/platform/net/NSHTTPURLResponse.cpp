#include "platform/net/NSHTTPURLResponse.h"

#include <cctype>
#include <cstdio>

#include "platform/foundation/NSString.h"

namespace {

// Without the spaces and tabs at either end; a view into `s`.
std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

struct ContentType {
    std::optional<std::string> mime, charset;
};

// "text/html; charset=UTF-8" -> ("text/html", "utf-8"), read in one pass
// over views of the value.
ContentType parseContentType(std::string_view value) {
    ContentType parsed;
    auto semi = value.find(';');
    std::string type = asciiLowercase(trimmed(value.substr(0, semi)));
    if (!type.empty()) parsed.mime = std::move(type);
    while (semi != std::string_view::npos) {
        auto next = value.find(';', semi + 1);
        std::string_view param =
            value.substr(semi + 1, next == std::string_view::npos ? std::string_view::npos : next - semi - 1);
        auto eq = param.find('=');
        if (eq != std::string_view::npos && equalsIgnoringASCIICase(trimmed(param.substr(0, eq)), "charset")) {
            std::string name = asciiLowercase(unquote(trimmed(param.substr(eq + 1))));
            if (!name.empty()) parsed.charset = std::move(name);
        }
        semi = next;
    }
    return parsed;
}

std::int64_t contentLength(const HTTPHeaderFields& fields) {
    if (auto te = headerValue(fields, "Transfer-Encoding"); te && asciiLowercase(*te).find("chunked") != std::string::npos)
        return NSURLResponseUnknownLength;
    auto cl = headerValue(fields, "Content-Length");
    if (!cl) return NSURLResponseUnknownLength;
    std::string_view digits = trimmed(*cl);
    if (digits.empty() || digits.size() > 18) return NSURLResponseUnknownLength;
    std::int64_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return NSURLResponseUnknownLength;
        n = n * 10 + (c - '0');
    }
    return n;
}

ContentType contentTypeOf(const HTTPHeaderFields& fields) {
    auto it = fields.find("Content-Type");
    return it == fields.end() ? ContentType{} : parseContentType(it->second);
}

}  // namespace

NSHTTPURLResponse::NSHTTPURLResponse(std::string URL, long statusCode, std::string HTTPVersion,
                                     HTTPHeaderFields headerFields)
    : NSURLResponse(std::move(URL), std::nullopt, contentLength(headerFields), std::nullopt),
      statusCode_(statusCode),
      HTTPVersion_(std::move(HTTPVersion)),
      headerFields_(std::move(headerFields)) {
    ContentType type = contentTypeOf(headerFields_);
    MIMEType_ = std::move(type.mime);
    textEncodingName_ = std::move(type.charset);
}

std::shared_ptr<NSHTTPURLResponse> NSHTTPURLResponse::initWithURL(std::string URL, long statusCode,
                                                                  std::string HTTPVersion,
                                                                  HTTPHeaderFields headerFields) {
    return std::make_shared<NSHTTPURLResponse>(std::move(URL), statusCode, std::move(HTTPVersion),
                                               std::move(headerFields));
}

std::optional<std::string> NSHTTPURLResponse::valueForHTTPHeaderField(const std::string& field) const {
    return headerValue(headerFields_, field);
}

std::string NSHTTPURLResponse::localizedStringForStatusCode(long statusCode) {
    switch (statusCode) {
        case 100: return "continue";
        case 101: return "switching protocols";
        case 200: return "no error";
        case 201: return "created";
        case 202: return "accepted";
        case 203: return "non-authoritative information";
        case 204: return "no content";
        case 205: return "reset content";
        case 206: return "partial content";
        case 300: return "multiple choices";
        case 301: return "moved permanently";
        case 302: return "found";
        case 303: return "see other";
        case 304: return "not modified";
        case 305: return "needs proxy";
        case 307: return "temporarily redirected";
        case 308: return "permanently redirected";
        case 400: return "bad request";
        case 401: return "unauthorized";
        case 402: return "payment required";
        case 403: return "forbidden";
        case 404: return "not found";
        case 405: return "method not allowed";
        case 406: return "unacceptable";
        case 407: return "proxy authentication required";
        case 408: return "request timed out";
        case 409: return "conflict";
        case 410: return "no longer exists";
        case 411: return "length required";
        case 412: return "precondition failed";
        case 413: return "request too large";
        case 414: return "requested URL too long";
        case 415: return "unsupported media type";
        case 416: return "requested range not satisfiable";
        case 417: return "expectation failed";
        case 500: return "internal server error";
        case 501: return "unimplemented";
        case 502: return "bad gateway";
        case 503: return "service unavailable";
        case 504: return "gateway timed out";
        case 505: return "unsupported version";
        default: break;
    }
    if (statusCode >= 100 && statusCode < 200) return "informational";
    if (statusCode >= 200 && statusCode < 300) return "success";
    if (statusCode >= 300 && statusCode < 400) return "redirected";
    if (statusCode >= 400 && statusCode < 500) return "client error";
    if (statusCode >= 500 && statusCode < 600) return "server error";
    return "unknown";
}

std::string NSHTTPURLResponse::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string s = "<" + className() + ": " + address + "> { URL: " + URL_ + " } { Status Code: " +
                    std::to_string(statusCode_) + ", Headers {";
    for (const auto& [name, value] : headerFields_) s += "\n    \"" + name + "\" = \"" + value + "\";";
    return s + "\n} }";
}
