#pragma once
// Typed reads from dictionaries, writes of string values into request
// dictionaries, JSON text in and out, rectangles in the core page's dictionary
// form, and URL lists of ad responses. Pure functions; any thread.
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSDecimalNumber.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

// The class a dictionary value must have (a decimal number counts as a number).
enum class AKValueKind { String, Number, Decimal, Array, Dictionary, Date, Data };
bool ak_valueIsKind(const Value& value, AKValueKind kind);

// The key's value when it is of that kind, else null.
Value ak_objectForKey(const Value& dictionary, const std::string& key, AKValueKind kind);
// Sets the key only for a value that is not null.
void ak_setIfNotNilObject(Value& dictionary, const Value& object, const std::string& key);
void ak_setStringForBoolValue(Value& dictionary, bool value, const std::string& key);   // "1" / "0"
void ak_setStringIfTrueForBoolValue(Value& dictionary, bool value, const std::string& key);  // "1" / removed
void ak_setStringForCGFloat(Value& dictionary, double value, const std::string& key);

// The value with every decimal number turned into a plain number (an integer
// when it has no fraction), as JSON writes decimals; containers are copies.
Value ak_JSONReady(const Value& value);
// JSON text of a dictionary or array (decimal numbers included); nullopt and a private code 2 error
// ("Invalid JSON object.") when the value cannot be written as JSON.
std::optional<std::string> ak_JSONStringPretty(const Value& object, bool pretty, NSErrorPtr* error = nullptr);
// The value parsed from the text, fragments allowed; nullopt with the parser's error.
std::optional<Value> ak_decodedJSONObject(const std::string& text, NSErrorPtr* error = nullptr);

// The decimal number -1 (statistics count down with it).
NSDecimalNumberPtr ak_negativeOne();

// URLs of the strings that make one (order kept); empty when none does.
std::vector<NSURLPtr> AKURLsFromStrings(const Value& strings);
// "x", "y", "width", "height" as numbers; the zero rectangle and a
// "cg_rect_conversion" code 1 error when one is missing or not a number.
CGRect AKCGRectFromDictionary(const Value& dictionary, NSErrorPtr* error = nullptr);
Value AKDictionaryFromCGRect(CGRect rect);
