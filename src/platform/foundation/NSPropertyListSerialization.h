#pragma once
// Reading and writing property lists: the XML format and the binary format ("bplist00").
// Property-list values are strings, numbers, booleans, data, dates, arrays and
// dictionaries (Value::isPropertyList); anything else is refused with an error.
#include <optional>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSJSONSerialization.h"  // NSPropertyListWriteInvalidError, shared with JSON
#include "platform/foundation/Value.h"

enum NSPropertyListFormat : unsigned long {
    NSPropertyListOpenStepFormat = 1,  // readable only; writing it is refused
    NSPropertyListXMLFormat_v1_0 = 100,
    NSPropertyListBinaryFormat_v1_0 = 200,
};

inline constexpr long NSPropertyListWriteStreamError = 3851;

class NSPropertyListSerialization {
public:
    // The encoded list; nullopt with a Cocoa error (NSPropertyListWriteInvalidError)
    // for a value that is not a property list or a format that cannot be written.
    // No write options are defined; `options` is accepted and ignored.
    static std::optional<Data> dataWithPropertyList(const Value& plist, NSPropertyListFormat format,
                                                    unsigned long options = 0, NSErrorPtr* error = nullptr);
    static bool propertyListIsValidForFormat(const Value& plist, NSPropertyListFormat format);
    // Reads an XML property list (version 1.0) or a binary one ("bplist00") and
    // sets *format to the one read; nullopt with a Cocoa error (3840) for
    // anything else, including a damaged or hostile binary list.
    static std::optional<Value> propertyListWithData(const Data& data, unsigned long options = 0,
                                                     NSPropertyListFormat* format = nullptr, NSErrorPtr* error = nullptr);
};
