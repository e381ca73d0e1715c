// The base-URL rule shared by the HTTP managers.
#include "networking/NLBaseURL.h"

NSURLPtr NLNormalizedBaseURL(const NSURLPtr& baseURL) {
    if (!baseURL) return nullptr;
    const std::string& absolute = baseURL->absoluteString();
    if (baseURL->percentEncodedPath().empty() || (!absolute.empty() && absolute.back() == '/')) return baseURL;
    auto normalized = baseURL->URLByAppendingPathComponent("");
    // Appending cannot fail for a URL that parsed; keep the given one if it ever does.
    return normalized ? normalized : baseURL;
}

std::string NLURLStringRelativeToBaseURL(const std::string& URLString, const NSURLPtr& baseURL) {
    auto url = NSURL::URLWithString(URLString, baseURL);
    return url ? url->absoluteString() : URLString;
}
