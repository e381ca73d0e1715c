#include "platform/net/CurlURL.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

namespace curlbacking {

namespace {

std::string part(CURLU* url, CURLUPart which, unsigned flags = 0) {
    char* out = nullptr;
    std::string value;
    if (curl_url_get(url, which, &out, flags) == CURLUE_OK && out) value = out;
    curl_free(out);
    return value;
}

}  // namespace

URLHandle parsed(const std::string& address) {
    URLHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) return nullptr;
    return url;
}

std::string schemeOf(CURLU* url) { return part(url, CURLUPART_SCHEME); }

URLParts partsOf(const std::string& address) {
    URLParts parts;
    auto url = parsed(address);
    if (!url) return parts;
    parts.scheme = part(url.get(), CURLUPART_SCHEME);
    parts.host = part(url.get(), CURLUPART_HOST);
    parts.port = std::strtol(part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str(), nullptr, 10);
    return parts;
}

std::string resolve(const std::string& base, const std::string& location) {
    auto url = parsed(base);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return {};
    return part(url.get(), CURLUPART_URL);
}

std::string serverKey(const URLParts& parts) { return parts.host + ":" + std::to_string(parts.port); }

}  // namespace curlbacking
