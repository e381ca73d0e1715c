#pragma once
// Base64 on byte buffers and strings, with the exact rules the catalogue replies
// were made with: a lenient decoder (anything outside the alphabet, padding and
// white space included, is skipped; padding is never required), an encoder that
// can wrap lines with "\r\n", and null results for empty outcomes.
#include <optional>
#include <string>

#include "platform/foundation/Data.h"

// Data

// The bytes of a Base64 text. The text is first read as ASCII (a letter with a
// diacritic counts as its base letter, any other non-ASCII character as "?");
// bytes outside the alphabet are skipped wherever they stand; a trailing group of
// two or three characters yields one or two bytes, a lone one nothing. nullopt
// when no byte results.
std::optional<Data> dataWithBase64EncodedString(const std::string& string);

// The Base64 text of the bytes, padded with "=". A wrap width of 4 or more,
// rounded down to a multiple of 4, breaks the text with "\r\n" after every full
// line (also after the last one when it is full and no partial group follows).
// nullopt for empty data.
std::optional<std::string> base64EncodedStringWithWrapWidth(const Data& data, unsigned long wrapWidth);
std::optional<std::string> base64EncodedString(const Data& data);

// Strings (their UTF-8 bytes)

// The decoded bytes as UTF-8 text; nullopt when decoding gives nothing or the
// bytes are not valid UTF-8.
std::optional<std::string> stringWithBase64EncodedString(const std::string& string);
std::optional<std::string> base64EncodedStringWithWrapWidth(const std::string& string, unsigned long wrapWidth);
std::optional<std::string> base64EncodedString(const std::string& string);
std::optional<std::string> base64DecodedString(const std::string& string);
std::optional<Data> base64DecodedData(const std::string& string);
