#pragma once
// The process's cookie store: one in-memory store per process, filled from
// "Set-Cookie" answers and asked for the "Cookie" header of a request. Cookies
// follow RFC 6265: host-only unless a Domain attribute names a parent of the
// host (never a bare top-level name or another site), Path defaulting to the
// request's directory, Secure cookies only over https, Max-Age before Expires,
// expiry on the Clock. Any thread.
//
// URL loading applies it to requests whose HTTPShouldHandleCookies is set.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSHTTPCookieStorage : public NSObject {
public:
    static std::shared_ptr<NSHTTPCookieStorage> sharedHTTPCookieStorage();

    // Stores the cookies of one response: the "Set-Cookie" field values (one
    // value may hold several cookies joined with ", ", as header fields of the
    // same name are joined).
    void setCookiesFromHeaderValue(const std::string& setCookie, const std::string& url);
    // The "Cookie" header for a request to the URL, or nullopt when no cookie applies.
    std::optional<std::string> cookieHeaderForURL(const std::string& url);

    std::size_t cookieCount();
    void deleteAllCookies();

private:
    struct Cookie {
        std::string name, value, domain, path;
        bool hostOnly = true, secure = false;
        std::optional<double> expires;  // Clock time; nullopt for a session cookie
    };
    void storeLocked(Cookie cookie);
    std::mutex mutex_;
    std::vector<Cookie> cookies_;
};
