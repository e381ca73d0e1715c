#include "adkit/rendering/AKNotification.h"

#include <cstdio>

#include "adkit/foundation/AKURLUtilities.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

namespace {
bool isMessageURL(const NSURL& url) { return url.scheme() && lowercaseString(*url.scheme()) == "amsg"; }
}  // namespace

AKNotification::AKNotification(std::string name, Parameters parameters)
    : name_(std::move(name)), parameters_(std::move(parameters)) {}

bool AKNotification::isNotificationURL(const std::string& URL) {
    const NSURLPtr url = NSURL::URLWithString(URL);
    return url && isMessageURL(*url);
}

AKNotificationPtr AKNotification::initWithNotificationURL(const std::string& URL) {
    const NSURLPtr url = NSURL::URLWithString(URL);
    if (!url || !isMessageURL(*url)) return nullptr;
    const std::string path = url->path();
    if (path.size() < 2) return nullptr;  // no path, or "/" alone
    Parameters parameters;
    // Keys keep their case; pieces without exactly one "=" or that do not unescape are skipped.
    const Value query = ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url, false);
    if (auto pairs = query.dictionaryRef()) {
        for (const auto& [key, value] : *pairs) parameters.emplace(key, value.stringValue());
    }
    return initWithName(path.substr(1), std::move(parameters));
}

AKNotificationPtr AKNotification::initWithName(const std::string& name, Parameters parameters) {
    if (name.empty()) return nullptr;
    return std::make_shared<AKNotification>(name, std::move(parameters));
}

std::optional<std::string> AKNotification::parameter(const std::string& key) const {
    const auto it = parameters_.find(key);
    if (it == parameters_.end()) return std::nullopt;
    return it->second;
}

std::string AKNotification::description() const {
    ValueDictionary parameters;
    for (const auto& [key, value] : parameters_) parameters.emplace(key, Value(value));
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return format("<%@: %@> name:%@ parameters:%@", className(), std::string(address), name_,
                  Value(std::move(parameters)));
}
