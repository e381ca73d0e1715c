#include "platform/foundation/NSDataBase64.h"

std::string base64EncodeRFC4648(const Data& data, std::size_t lineLength) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        std::uint32_t n = static_cast<std::uint32_t>(data[i]) << 16;
        if (i + 1 < data.size()) n |= static_cast<std::uint32_t>(data[i + 1]) << 8;
        if (i + 2 < data.size()) n |= data[i + 2];
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < data.size() ? alphabet[(n >> 6) & 63] : '=';
        out += i + 2 < data.size() ? alphabet[n & 63] : '=';
    }
    if (lineLength == 0 || out.size() <= lineLength) return out;
    std::string wrapped;
    for (std::size_t i = 0; i < out.size(); i += lineLength) {
        if (i) wrapped += "\r\n";
        wrapped += out.substr(i, lineLength);
    }
    return wrapped;
}
