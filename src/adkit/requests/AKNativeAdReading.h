#pragma once
// Typed reads of native ad objects: a value of the wrong type counts as missing.
#include <optional>
#include <string>

#include "adkit/foundation/AKObjectAdditions.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

namespace aknative {

// The string under the key, nothing when missing or not a string.
inline std::optional<std::string> string(const Value& object, const std::string& key) {
    const Value value = ak_objectForKey(object, key, AKValueKind::String);
    return value.isString() ? std::optional<std::string>(*value.string()) : std::nullopt;
}

// The URL of `object`.`key`."url" when that is a string that makes a URL.
inline NSURLPtr nestedURL(const Value& object, const std::string& key) {
    const auto text = string(ak_objectForKey(object, key, AKValueKind::Dictionary), "url");
    return text ? NSURL::URLWithString(*text) : nullptr;
}

// "attribution"."text" and "attribution"."image"."url"; true when both or
// neither are there (an ad with only one is refused).
inline bool readAttribution(const Value& object, std::optional<std::string>& text, NSURLPtr& iconURL) {
    const Value attribution = ak_objectForKey(object, "attribution", AKValueKind::Dictionary);
    text = string(attribution, "text");
    iconURL = nestedURL(attribution, "image");
    return text.has_value() == (iconURL != nullptr);
}

}  // namespace aknative
