#pragma once
// URL helpers over libcurl's URL parser, for the URL-loading backing.
#include <string>

namespace curlbacking {

struct URLParts {
    std::string scheme, host;  // as the parser normalised them (lower-case scheme)
    long port = 0;             // the scheme's default port when none is named
};

// The scheme, host and port of `address`; empty parts when it does not parse.
URLParts partsOf(const std::string& address);
// Whether `address` parses as an absolute URL.
bool parses(const std::string& address);
// `location` resolved against `base`; empty when it cannot be.
std::string resolve(const std::string& base, const std::string& location);
// "host:port", the key of one server.
std::string serverKey(const URLParts& parts);

}  // namespace curlbacking
