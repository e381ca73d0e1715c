#pragma once
// URL helpers of the ad library: reading and extending query strings, URL
// classification, host and scheme comparison, and the "@keyword@" templates of
// ad responses. Pure functions over NSURL; any thread.
//
// Appending parameters keeps a destination "&adurl=..." last and a fragment
// after the query; keys and values are escaped as URL parameters; a URL whose
// query is empty ("...?") gets its first pair right after the "?".
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

using AKQueryPairs = std::vector<std::pair<std::string, Value>>;

// The URL written in `text` when it is an http or https URL with a host; null
// otherwise (what the library fetches, pings or loads ads against).
NSURLPtr AKHTTPURLFromString(const std::string& text);
bool ak_isMediationURL(const NSURL& url);
// The hidden core page's address on the static-content origin (AKAdHosts.h):
// same origin, same path, no query, fragment or user information.
bool ak_isSDKJavaScriptURL(const NSURL& url);
// A URL on the publisher-managed server's host (AKAdOrigin::matchesHostOf).
bool ak_isXFPURL(const NSURL& url);
// The address of the hidden core page on the static-content origin.
std::string ak_SDKJavaScriptURLString();

// A new URL with the pairs appended in order (a dictionary's own order for the
// Value form); nullptr when the result is not a URL. A pair whose escaped
// value is empty appends the key alone.
NSURLPtr ak_appendQueryParameters(const NSURL& url, const AKQueryPairs& pairs);
NSURLPtr ak_appendQueryParameters(const NSURL& url, const Value& dictionary);
NSURLPtr ak_appendQueryValue(const NSURL& url, const std::optional<std::string>& value, const std::string& key);

// The raw (still escaped) value of the first "&"-separated pair named key.
std::optional<std::string> ak_parameterValueForKey(const NSURL& url, std::string_view key);
// The query's pairs split at "&" and ";", unescaped; keys lower-cased on request.
Value ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(const NSURL& url, bool lowercase);
// The second and third path segments joined by "/", for paths of three or more.
std::optional<std::string> ak_impressionTicket(const NSURL& url);
std::string ak_absoluteStringWithoutFragmentComponent(const NSURL& url);
bool ak_isHostEqualToString(const NSURL& url, std::string_view host, bool caseSensitive);
bool ak_isSchemeEqualToString(const NSURL& url, std::string_view scheme, bool caseSensitive);
// A navigation that says a network has no ad: the scheme "passback" (any
// case), or the passback URL's host (without regard to case) and path (each
// without one trailing "/"). A passback URL without a host matches nothing.
bool ak_isPassbackURL(const NSURL& url, const NSURL* passbackURL);

// Replaces every unescaped "@keyword@" whose keyword matches the pattern by the
// replacement (taken literally). Returns false, changing nothing, when the
// pattern does not compile.
bool ak_replaceAtQuotedKeywordPattern(std::string& text, const std::string& keywordPattern,
                                      std::string_view replacement);
// Every remaining keyword removed.
void ak_removeAtQuotedKeywords(std::string& text);
