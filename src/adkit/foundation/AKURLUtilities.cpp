#include "adkit/foundation/AKURLUtilities.h"

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "platform/foundation/NSRegularExpression.h"
#include "platform/foundation/NSString.h"

namespace {

constexpr std::string_view kSDKJavaScriptPath = "/adnet/static/sdk/native/sdk-core-v40.html";

std::vector<std::string> splitAny(std::string_view text, std::string_view separators) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || separators.find(text[i]) != std::string_view::npos) {
            pieces.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

}  // namespace

bool ak_isMediationURL(const NSURL& url) { return url.absoluteString().find("mediate?") != std::string::npos; }

std::string ak_SDKJavaScriptURLString() { return AKAdHosts::staticContentOrigin().URLString(kSDKJavaScriptPath); }

bool ak_isSDKJavaScriptURL(const NSURL& url) {
    // The page's own address however the engine writes it back (host case, a
    // default port spelled out), and nothing more.
    return AKAdHosts::staticContentOrigin().matchesURL(url) && url.percentEncodedPath() == kSDKJavaScriptPath &&
           !url.query() && !url.fragment() && !url.user() && !url.password();
}

bool ak_isXFPURL(const NSURL& url) { return AKAdHosts::publisherManagedOrigin().matchesHostOf(url); }

NSURLPtr ak_appendQueryParameters(const NSURL& url, const AKQueryPairs& pairs) {
    std::string text = url.absoluteString();
    std::string fragment;
    if (const auto hash = text.find('#'); hash != std::string::npos) {
        fragment = text.substr(hash);
        text.resize(hash);
    }
    const auto& query = url.query();
    std::string separator = (query && !query->empty()) ? "&" : (query ? "" : "?");
    std::string tail;
    if (const auto at = text.find("&adurl="); at != std::string::npos) {
        tail = text.substr(at);
        text.resize(at);
    }
    for (const auto& [key, value] : pairs) {
        text += separator;
        separator = "&";
        text += ak_stringByEscapingAsURLParameter(key);
        const std::string escaped = ak_stringByEscapingAsURLParameter(value.isString() ? *value.string() : value.description());
        if (!escaped.empty()) text += "=" + escaped;
    }
    return NSURL::URLWithString(text + tail + fragment);
}

NSURLPtr ak_appendQueryParameters(const NSURL& url, const Value& dictionary) {
    AKQueryPairs pairs;
    if (auto d = dictionary.dictionaryRef()) {
        for (const auto& [key, value] : *d) pairs.emplace_back(key, value);
    }
    return ak_appendQueryParameters(url, pairs);
}

NSURLPtr ak_appendQueryValue(const NSURL& url, const std::optional<std::string>& value, const std::string& key) {
    return ak_appendQueryParameters(url, AKQueryPairs{{key, Value(value.value_or(""))}});
}

std::optional<std::string> ak_parameterValueForKey(const NSURL& url, std::string_view key) {
    if (!url.query()) return std::nullopt;
    for (const std::string& piece : splitAny(*url.query(), "&")) {
        const auto parts = splitAny(piece, "=");
        if (parts.size() == 2 && parts[0] == key) return parts[1];
    }
    return std::nullopt;
}

Value ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(const NSURL& url, bool lowercase) {
    Value result = Value::dictionary();
    if (!url.query()) return result;
    for (const std::string& piece : splitAny(*url.query(), "&;")) {
        const auto parts = splitAny(piece, "=");
        if (parts.size() != 2) continue;
        auto key = stringByReplacingPercentEscapes(parts[0]);
        auto value = stringByReplacingPercentEscapes(parts[1]);
        if (!key || !value) continue;
        result.setObject(lowercase ? lowercaseString(*key) : *key, Value(*value));
    }
    return result;
}

std::optional<std::string> ak_impressionTicket(const NSURL& url) {
    std::vector<std::string> segments;
    for (std::string& piece : splitAny(url.path(), "/")) {
        if (!piece.empty()) segments.push_back(std::move(piece));
    }
    if (segments.size() < 3) return std::nullopt;
    return segments[1] + "/" + segments[2];
}

std::string ak_absoluteStringWithoutFragmentComponent(const NSURL& url) {
    const std::string& text = url.absoluteString();
    return text.substr(0, text.find('#'));
}

bool ak_isHostEqualToString(const NSURL& url, std::string_view host, bool caseSensitive) {
    const auto own = url.host();
    if (!own) return false;
    return caseSensitive ? *own == host : lowercaseString(*own) == lowercaseString(host);
}

bool ak_isPassbackURL(const NSURL& url, const NSURL* passbackURL) {
    if (ak_isSchemeEqualToString(url, "passback", false)) return true;
    const auto host = passbackURL ? passbackURL->host() : std::nullopt;
    return host && ak_isHostEqualToString(url, *host, false) &&
           ak_isEquivalentToURLString(url.path(), passbackURL->path());
}

bool ak_isSchemeEqualToString(const NSURL& url, std::string_view scheme, bool caseSensitive) {
    const auto& own = url.scheme();
    if (!own) return false;
    return caseSensitive ? *own == scheme : lowercaseString(*own) == lowercaseString(scheme);
}

bool ak_replaceAtQuotedKeywordPattern(std::string& text, const std::string& keywordPattern, std::string_view replacement) {
    const std::string pattern = "(?<!@)((?:@@)*)@" + keywordPattern + "(?<!@)((?:@@)*)@";
    const auto expression = NSRegularExpression::regularExpressionWithPattern(pattern);
    if (!expression) return false;
    // The keyword pattern's own groups sit between the two runs of "@@".
    const std::string closing = std::to_string(expression->numberOfCaptureGroups());
    const std::string templ = "$1" + NSRegularExpression::escapedTemplateForString(replacement) + "$" + closing;
    text = expression->stringByReplacingMatchesInString(text, templ);
    return true;
}

void ak_removeAtQuotedKeywords(std::string& text) {
    // The fixed pattern always compiles.
    [[maybe_unused]] const bool replaced = ak_replaceAtQuotedKeywordPattern(text, "[^@]+", "");
}

NSURLPtr AKHTTPURLFromString(const std::string& text) {
    const NSURLPtr url = NSURL::URLWithString(text);
    if (!url || !url->scheme() || !url->host() || url->host()->empty()) return nullptr;
    const std::string scheme = lowercaseString(*url->scheme());
    return scheme == "http" || scheme == "https" ? url : nullptr;
}
