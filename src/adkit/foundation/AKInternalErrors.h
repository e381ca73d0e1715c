#pragma once
// Errors that never reach a publisher directly: the private domain
// "com.adkit.ads.private" (1 "File could not be read.", 2 "Internal error.",
// 3 "Invalid argument.") and other plain domains such as "cg_rect_conversion".
#include <optional>
#include <string>

#include "platform/foundation/NSError.h"

inline constexpr const char* AKPrivateErrorDomain = "com.adkit.ads.private";

// An error whose user info holds the description under both the localized
// description and the failure reason; no user info for a missing description.
NSErrorPtr ak_errorWithDomain(const std::string& domain, long code, const std::optional<std::string>& description);
NSErrorPtr ak_errorWithCode(long code, const std::optional<std::string>& description);
// The standard description of a private code, or nullopt.
std::optional<std::string> ak_localizedDescriptionForErrorCode(long code);
