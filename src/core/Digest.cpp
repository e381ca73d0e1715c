#include "core/Digest.h"

#include <cstring>
#include <string_view>

#include "core/UTF8Text.h"
#include "platform/security/CommonCrypto.h"

namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";

// Characters a URL may carry as they are: letters, digits, the unreserved marks,
// the reserved delimiters, and "%", "#", "[" and "]".
bool isLegalURLCharacter(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c < 0x80 && c != 0 && std::strchr("-_.!~*'();/?:@&=+$,%#[]", static_cast<int>(c)) != nullptr;
}

// Legal characters that a component must escape all the same.
constexpr std::string_view kEscapedAnyway = "!*'\"();:@&=+$,/?%#[]% ";

bool mustEscape(char32_t c) {
    if (!isLegalURLCharacter(c)) return true;
    return kEscapedAnyway.find(static_cast<char>(c)) != std::string_view::npos;
}

// The character's bytes in the encoding; false when it has none there.
bool encodeCharacter(char32_t c, NSStringEncoding encoding, std::string& bytes) {
    bytes.clear();
    switch (encoding) {
        case NSASCIIStringEncoding:
            if (c >= 0x80) return false;
            bytes.push_back(static_cast<char>(c));
            return true;
        case NSISOLatin1StringEncoding:
            if (c > 0xFF) return false;
            bytes.push_back(static_cast<char>(static_cast<unsigned char>(c)));
            return true;
        case NSUTF8StringEncoding:
            if (c < 0x80) {
                bytes.push_back(static_cast<char>(c));
            } else if (c < 0x800) {
                bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
                bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else if (c < 0x10000) {
                bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
                bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else {
                bytes.push_back(static_cast<char>(0xF0 | (c >> 18)));
                bytes.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
                bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
                bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
            return true;
        default: return false;
    }
}

}  // namespace

std::string md5(const std::string& string) {
    const std::size_t length = std::strlen(string.c_str());  // up to the first zero byte
    unsigned char digest[CC_MD5_DIGEST_LENGTH];
    CC_MD5(string.data(), static_cast<CC_LONG>(length), digest);
    std::string out;
    out.reserve(2 * CC_MD5_DIGEST_LENGTH);
    for (unsigned char b : digest) {
        out.push_back(kHexDigits[b >> 4]);
        out.push_back(kHexDigits[b & 15]);
    }
    return out;
}

std::optional<std::string> urlEncodeUsingEncoding(const std::string& string, NSStringEncoding encoding) {
    if (encoding != NSASCIIStringEncoding && encoding != NSUTF8StringEncoding && encoding != NSISOLatin1StringEncoding)
        return std::nullopt;
    std::string out;
    out.reserve(string.size());
    std::string bytes;
    std::size_t pos = 0;
    while (pos < string.size()) {
        auto c = nextUTF8Character(string, pos);
        if (!c) return std::nullopt;  // not text
        if (!mustEscape(*c)) {
            out.push_back(static_cast<char>(*c));
            continue;
        }
        if (!encodeCharacter(*c, encoding, bytes)) return std::nullopt;
        for (char b : bytes) {
            const auto u = static_cast<unsigned char>(b);
            out.push_back('%');
            out.push_back(kHexDigits[u >> 4]);
            out.push_back(kHexDigits[u & 15]);
        }
    }
    return out;
}
