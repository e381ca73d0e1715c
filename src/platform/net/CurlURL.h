#pragma once
// URL helpers over libcurl's URL parser, for the URL-loading backing.
#include <curl/curl.h>

#include <memory>
#include <string>

namespace curlbacking {

struct URLParts {
    std::string scheme, host;  // as the parser normalised them (lower-case scheme)
    long port = 0;             // the scheme's default port when none is named
};

struct URLHandleFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using URLHandle = std::unique_ptr<CURLU, URLHandleFree>;

// `address` parsed as an absolute URL; null when it does not parse (or no
// handle could be made). A load parses its URL once and hands the result to
// its easy handle.
URLHandle parsed(const std::string& address);
// The scheme, host and port of `address`; empty parts when it does not parse.
URLParts partsOf(const std::string& address);
// The scheme of a parsed URL, lower-case.
std::string schemeOf(CURLU* url);
// `location` resolved against `base`; empty when it cannot be.
std::string resolve(const std::string& base, const std::string& location);
// "host:port", the key of one server.
std::string serverKey(const URLParts& parts);

}  // namespace curlbacking
