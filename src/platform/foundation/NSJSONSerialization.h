#pragma once
// JSON text to values and back, with the platform's reading rules: without
// NSJSONReadingAllowFragments only an object or an array is accepted at the top
// level. Failures are NSCocoaErrorDomain 3840 errors.
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

inline constexpr long NSPropertyListReadCorruptError = 3840;
inline constexpr long NSPropertyListWriteInvalidError = 3852;

enum NSJSONReadingOptions : unsigned long {
    NSJSONReadingMutableContainers = 1,
    NSJSONReadingMutableLeaves = 2,
    NSJSONReadingAllowFragments = 4,
};

enum NSJSONWritingOptions : unsigned long {
    NSJSONWritingPrettyPrinted = 1,
};

namespace NSJSONSerialization {

std::optional<Value> JSONObjectWithData(const Data& data, unsigned long options = 0, NSErrorPtr* error = nullptr);
// nullopt and an error when the value holds something JSON cannot carry.
std::optional<Data> dataWithJSONObject(const Value& object, unsigned long options = 0, NSErrorPtr* error = nullptr);
// True for an object or array made only of strings, numbers, arrays, dictionaries and null.
bool isValidJSONObject(const Value& object);
// The error JSONObjectWithData gives, for parsers of other layers.
NSErrorPtr readError(const std::string& reason);

}  // namespace NSJSONSerialization
