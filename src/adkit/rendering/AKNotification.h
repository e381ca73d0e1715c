#pragma once
// A page message: a navigation of an ad page to a URL of the scheme "amsg"
// (any case). Its name is the URL's path without its first character (no
// message for an empty path or "/"); its parameters are the query pairs split
// at "&" and ";", each with exactly one "=", percent-unescaped as UTF-8, keys
// keeping their case, a later repeat winning. Immutable; any thread.
#include <map>
#include <optional>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class AKNotification;
using AKNotificationPtr = std::shared_ptr<AKNotification>;

class AKNotification : public NSObject {
public:
    using Parameters = std::map<std::string, std::string>;

    AKNotification(std::string name, Parameters parameters);
    static bool isNotificationURL(const std::string& URL);
    // initWithNotificationURL: nil for a URL that is no message.
    static AKNotificationPtr initWithNotificationURL(const std::string& URL);
    // initWithName:parameters: nil for an empty name.
    static AKNotificationPtr initWithName(const std::string& name, Parameters parameters);

    const std::string& name() const { return name_; }
    const Parameters& parameters() const { return parameters_; }
    // The parameter's value, or nullopt.
    std::optional<std::string> parameter(const std::string& key) const;
    std::string description() const override;

private:
    std::string name_;
    Parameters parameters_;
};
