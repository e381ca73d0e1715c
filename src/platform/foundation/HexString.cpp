#include "platform/foundation/HexString.h"

namespace {
constexpr char kLower[] = "0123456789abcdef";
constexpr char kUpper[] = "0123456789ABCDEF";
}  // namespace

void appendHexByte(std::string& out, std::uint8_t byte, bool upper) {
    const char* digits = upper ? kUpper : kLower;
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 15]);
}

std::string hexString(const std::uint8_t* bytes, std::size_t size, bool upper) {
    std::string out;
    out.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) appendHexByte(out, bytes[i], upper);
    return out;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
