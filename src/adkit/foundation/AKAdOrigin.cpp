#include "adkit/foundation/AKAdOrigin.h"

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

namespace {

bool sameText(std::string_view a, std::string_view b) { return lowercaseString(a) == lowercaseString(b); }

// The URL's port, else its scheme's default; nullopt for a scheme without one.
std::optional<int> effectivePortOf(const NSURL& url) {
    if (const auto port = url.port()) return port;
    return url.scheme() ? AKAdOrigin::defaultPortForScheme(*url.scheme()) : std::nullopt;
}

}  // namespace

std::optional<int> AKAdOrigin::defaultPortForScheme(std::string_view scheme) {
    if (sameText(scheme, "http")) return 80;
    if (sameText(scheme, "https")) return 443;
    return std::nullopt;
}

std::optional<AKAdOrigin> AKAdOrigin::parse(std::string_view text, std::string_view defaultScheme) {
    std::string written(text);
    if (written.find("://") == std::string::npos) written = std::string(defaultScheme) + "://" + written;
    const NSURLPtr url = NSURL::URLWithString(written);
    if (!url || !url->scheme() || !defaultPortForScheme(*url->scheme())) return std::nullopt;
    const auto host = url->host();
    if (!host || host->empty() || url->user() || url->password() || url->port() == 0) return std::nullopt;
    const std::string& path = url->percentEncodedPath();
    if ((!path.empty() && path != "/") || url->query() || url->fragment()) return std::nullopt;
    return AKAdOrigin{lowercaseString(*url->scheme()), *host, url->port()};
}

int AKAdOrigin::effectivePort() const { return port.value_or(defaultPortForScheme(scheme).value_or(0)); }

std::string AKAdOrigin::authority() const {
    std::string text = host.find(':') == std::string::npos ? host : "[" + host + "]";
    if (port && port != defaultPortForScheme(scheme)) text += ":" + std::to_string(*port);
    return text;
}

std::string AKAdOrigin::URLString(std::string_view path) const {
    std::string text = description();
    if (path.empty() || path.front() != '/') text += '/';
    return text.append(path);
}

std::string AKAdOrigin::description() const { return lowercaseString(scheme) + "://" + authority(); }

bool AKAdOrigin::matchesURL(const NSURL& url) const {
    const auto host = url.host();
    return url.scheme() && sameText(*url.scheme(), scheme) && host && sameText(*host, this->host) &&
           effectivePortOf(url) == effectivePort();
}

bool AKAdOrigin::matchesHostOf(const NSURL& url) const {
    const auto host = url.host();
    if (!host || !sameText(*host, this->host)) return false;
    return !port || effectivePortOf(url) == port;
}

bool operator==(const AKAdOrigin& a, const AKAdOrigin& b) {
    return sameText(a.scheme, b.scheme) && sameText(a.host, b.host) && a.effectivePort() == b.effectivePort();
}
