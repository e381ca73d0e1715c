#pragma once
// Objects that write themselves as compact JSON text for a script page.
// `JSONStringValue` answers nullopt, with the reason in `failure`, when the
// object holds something JSON cannot carry (NaN, data, dates, objects).
#include <optional>
#include <string>

class AKJSONSerializable {
public:
    virtual ~AKJSONSerializable() = default;
    [[nodiscard]] virtual std::optional<std::string> JSONStringValue(std::string* failure = nullptr) const = 0;
};
