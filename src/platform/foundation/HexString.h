#pragma once
// Hexadecimal text of bytes, two digits a byte, and the value of one digit.
// The one encoder every part uses: digests, file names, keychain values,
// percent escapes and descriptions of data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

// "00ff10" (or "00FF10" with `upper`).
std::string hexString(const std::uint8_t* bytes, std::size_t size, bool upper = false);
inline std::string hexString(const Data& data, bool upper = false) { return hexString(data.data(), data.size(), upper); }
inline std::string hexString(std::string_view bytes, bool upper = false) {
    return hexString(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), upper);
}
// Appends the two digits of one byte.
void appendHexByte(std::string& out, std::uint8_t byte, bool upper = false);

// 0 to 15 for "0"-"9", "a"-"f", "A"-"F"; -1 for anything else.
int hexDigitValue(char c);
