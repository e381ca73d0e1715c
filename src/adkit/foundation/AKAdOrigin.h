#pragma once
// An origin of the ad library's servers: scheme, host and port.
//
// Parsed from "scheme://host[:port]" (a trailing "/" allowed, nothing else
// after the authority) or from a bare "host[:port]", which takes the default
// scheme its caller names. Only "http" and "https" are origins; the scheme is
// kept in lower case, the host as written (an IPv6 literal without its
// brackets), the port only when one was written.
//
// Two origins are equal when their schemes and hosts are equal without regard
// to case and their ports are equal once a missing port is read as the
// scheme's default (80 for http, 443 for https), so "https://Ads.example" and
// "https://ads.example:443" are one origin. A plain value; any thread.
#include <optional>
#include <string>
#include <string_view>

class NSURL;

struct AKAdOrigin {
    std::string scheme;        // "http" or "https"
    std::string host;          // never empty
    std::optional<int> port;   // as written; nullopt: the scheme's default

    // nullopt for text that is not an origin: another scheme, no host, user
    // information, a path other than "/", a query or a fragment.
    static std::optional<AKAdOrigin> parse(std::string_view text, std::string_view defaultScheme);
    // 80 for "http", 443 for "https" (any case); nullopt for other schemes.
    static std::optional<int> defaultPortForScheme(std::string_view scheme);

    // The written port, else the scheme's default.
    int effectivePort() const;
    // "host" or "host:port" (IPv6 literals in brackets); the port only when it
    // differs from the scheme's default.
    std::string authority() const;
    // "scheme://authority" followed by the path; a path that does not start
    // with "/" gets one. The path may carry a query.
    std::string URLString(std::string_view path) const;
    // "scheme://authority", for logs and test messages.
    std::string description() const;

    // Whether the URL belongs to this origin: same scheme, host and effective port.
    bool matchesURL(const NSURL& url) const;
    // Whether the URL names this origin's host (any scheme, without regard to
    // case), on this origin's port when one was written; a bare host matches
    // the host on any port.
    bool matchesHostOf(const NSURL& url) const;

    friend bool operator==(const AKAdOrigin& a, const AKAdOrigin& b);
};
