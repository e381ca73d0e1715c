#pragma once
// The server configuration as the movie grid keeps it: the cached copy under
// "kDefaultInfoQuorvane" in user defaults and the update check.
//
// The reply is JSON and may hold nulls, which user defaults cannot hold: the
// cached copy drops them at every depth (a key whose value is null is left
// out, a null element of a list is skipped), so the copy is always written and
// the fallback after a failed request is there. "AppVersion" is compared by
// its text (a number by its description), digit runs as numbers, so "1.10"
// is newer than "1.9". The update link must be text that makes a URL the
// platform can open; anything else shows no alert.
//
// Main thread only.
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

inline constexpr const char* kDefaultInfoQuorvane = "kDefaultInfoQuorvane";

// A copy holding only property-list values: nulls (and anything else user
// defaults refuse) left out, recursively.
Value configurationForDefaults(const Value& configuration);

// Writes the copy under kDefaultInfoQuorvane and synchronises; false (logged)
// when it could not be stored. A configuration that is not a dictionary
// removes the cached one.
[[nodiscard]] bool cacheConfiguration(const Value& configuration);
// The cached dictionary, or null when there is none (or it is not a dictionary).
Value cachedConfiguration();

// The bundle's "CFBundleVersion" (empty when missing).
std::string bundleVersion();
// The link of the update alert: set when the configuration's "AppVersion" is
// newer than `bundleVersion` and its "AppLink" is text making a URL the
// platform says it can open.
std::optional<std::string> requiredUpdateLink(const Value& configuration, const std::string& bundleVersion);
