#include "core/Digest.h"

#include <cstring>
#include <string_view>

#include "platform/security/CommonCrypto.h"

namespace {

// Legal URL characters that a component escapes all the same (the percent sign
// appears twice in the set as it was first written; that changes nothing).
constexpr std::string_view kLegalCharactersToEscape = "!*'\"();:@&=+$,/?%#[]% ";

}  // namespace

std::string md5(const std::string& string) {
    static const char digits[] = "0123456789ABCDEF";
    const std::size_t length = std::strlen(string.c_str());  // up to the first zero byte
    unsigned char digest[CC_MD5_DIGEST_LENGTH];
    CC_MD5(string.data(), static_cast<CC_LONG>(length), digest);
    std::string out;
    out.reserve(2 * CC_MD5_DIGEST_LENGTH);
    for (unsigned char b : digest) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::optional<std::string> urlEncodeUsingEncoding(const std::string& string, NSStringEncoding encoding) {
    return stringByAddingPercentEscapes(string, encoding, kLegalCharactersToEscape);
}
