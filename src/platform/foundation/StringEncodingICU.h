#pragma once
// Text encodings converted through ICU's converters: everything but ASCII,
// UTF-8, Latin-1 and UTF-16, which NSString.cpp converts itself.
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSString.h"

namespace stringEncodingICU {

// The UTF-8 text of bytes in the encoding; nullopt for an encoding ICU has no
// converter for, or bytes the charset does not define (nothing is replaced).
std::optional<std::string> decode(const Data& data, NSStringEncoding encoding);
// The bytes of UTF-8 text in the encoding; nullopt when a character has no
// form there or the text is not UTF-8.
std::optional<Data> encode(std::string_view text, NSStringEncoding encoding);
// See NSStringEncodingForIANACharSetName.
std::optional<NSStringEncoding> encodingForName(std::string_view name);

}  // namespace stringEncodingICU
