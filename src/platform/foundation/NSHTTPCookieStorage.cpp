#include "platform/foundation/NSHTTPCookieStorage.h"

#include <algorithm>

#include "platform/foundation/Clock.h"
#include "platform/foundation/HTTPDate.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

namespace {

std::string trim(std::string_view s) { return stringByTrimmingWhitespace(s); }

// Splits a joined field value at the commas that start a new cookie ("a=1,
// b=2"), not at those inside an Expires date ("Wed, 09 Jun 2021 ...").
std::vector<std::string> splitCookies(const std::string& joined) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < joined.size(); ++i) {
        if (joined[i] != ',') continue;
        const std::size_t next = joined.find_first_of(";,", i + 1);
        const std::string_view ahead(joined.data() + i + 1, (next == std::string::npos ? joined.size() : next) - i - 1);
        const auto eq = ahead.find('=');
        const std::string_view name = eq == std::string_view::npos ? ahead : ahead.substr(0, eq);
        if (eq != std::string_view::npos && trim(name).find(' ') == std::string::npos && !trim(name).empty()) {
            out.push_back(joined.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(joined.substr(start));
    return out;
}

bool domainMatches(const std::string& host, const std::string& domain) {
    return host == domain || (host.size() > domain.size() && hasSuffix(host, domain) &&
                              host[host.size() - domain.size() - 1] == '.');
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath) {
    if (requestPath == cookiePath) return true;
    if (!hasPrefix(requestPath, cookiePath)) return false;
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string defaultPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return "/";
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::shared_ptr<NSHTTPCookieStorage> NSHTTPCookieStorage::sharedHTTPCookieStorage() {
    static const auto storage = std::make_shared<NSHTTPCookieStorage>();
    return storage;
}

void NSHTTPCookieStorage::setCookiesFromHeaderValue(const std::string& setCookie, const std::string& url) {
    auto parsed = NSURL::URLWithString(url);
    if (!parsed || !parsed->host()) return;
    const std::string host = lowercaseString(*parsed->host());
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& text : splitCookies(setCookie)) {
        auto attributes = componentsSeparatedByString(text, ";");
        const auto eq = attributes[0].find('=');
        if (eq == std::string::npos) continue;
        Cookie cookie;
        cookie.name = trim(attributes[0].substr(0, eq));
        cookie.value = trim(attributes[0].substr(eq + 1));
        if (cookie.name.empty()) continue;
        cookie.domain = host;
        cookie.path = defaultPath(parsed->percentEncodedPath());
        std::optional<double> maxAge, expires;
        bool rejected = false;
        for (std::size_t i = 1; i < attributes.size(); ++i) {
            const auto aeq = attributes[i].find('=');
            const std::string key = lowercaseString(trim(attributes[i].substr(0, aeq)));
            const std::string value = aeq == std::string::npos ? "" : trim(attributes[i].substr(aeq + 1));
            if (key == "domain" && !value.empty()) {
                std::string domain = lowercaseString(value[0] == '.' ? value.substr(1) : value);
                // A domain must cover the host and be more than a top-level name.
                if (!domainMatches(host, domain) || domain.find('.') == std::string::npos) rejected = true;
                cookie.domain = domain;
                cookie.hostOnly = false;
            } else if (key == "path" && !value.empty() && value[0] == '/') {
                cookie.path = value;
            } else if (key == "secure") {
                cookie.secure = true;
            } else if (key == "max-age") {
                try {
                    maxAge = Clock::now() + std::stod(value);
                } catch (const std::exception&) {
                    // An unreadable Max-Age is ignored, as RFC 6265 asks.
                }
            } else if (key == "expires") {
                if (auto date = HTTPDate::parseAny(value)) expires = date->secondsSince1970;
            }
        }
        if (rejected) continue;
        cookie.expires = maxAge ? maxAge : expires;
        storeLocked(std::move(cookie));
    }
}

void NSHTTPCookieStorage::storeLocked(Cookie cookie) {
    std::erase_if(cookies_, [&](const Cookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (cookie.expires && Clock::reached(*cookie.expires)) return;  // an expired cookie deletes
    cookies_.push_back(std::move(cookie));
}

std::optional<std::string> NSHTTPCookieStorage::cookieHeaderForURL(const std::string& url) {
    auto parsed = NSURL::URLWithString(url);
    if (!parsed || !parsed->host()) return std::nullopt;
    const std::string host = lowercaseString(*parsed->host());
    const bool https = parsed->scheme() && lowercaseString(*parsed->scheme()) == "https";
    std::string path = parsed->percentEncodedPath();
    if (path.empty()) path = "/";
    const double now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(cookies_, [&](const Cookie& c) { return c.expires && Clock::reached(*c.expires, now); });
    std::string header;
    for (const Cookie& c : cookies_) {
        const bool hostOk = c.hostOnly ? host == c.domain : domainMatches(host, c.domain);
        if (!hostOk || !pathMatches(path, c.path) || (c.secure && !https)) continue;
        if (!header.empty()) header += "; ";
        header += c.name + "=" + c.value;
    }
    if (header.empty()) return std::nullopt;
    return header;
}

std::size_t NSHTTPCookieStorage::cookieCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return cookies_.size();
}

void NSHTTPCookieStorage::deleteAllCookies() {
    std::lock_guard<std::mutex> lock(mutex_);
    cookies_.clear();
}
