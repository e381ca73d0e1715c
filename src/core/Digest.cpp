#include "core/Digest.h"

#include <cstring>
#include <string_view>

#include "platform/foundation/HexString.h"
#include "platform/security/CommonCrypto.h"

namespace {

// Legal URL characters that a component escapes all the same (the percent sign
// appears twice in the set as it was first written; that changes nothing).
constexpr std::string_view kLegalCharactersToEscape = "!*'\"();:@&=+$,/?%#[]% ";

}  // namespace

std::string md5(const std::string& string) {
    const std::size_t length = std::strlen(string.c_str());  // up to the first zero byte
    unsigned char digest[CC_MD5_DIGEST_LENGTH];
    CC_MD5(string.data(), static_cast<CC_LONG>(length), digest);
    return hexString(digest, sizeof digest, /*upper=*/true);
}

std::optional<std::string> urlEncodeUsingEncoding(const std::string& string, NSStringEncoding encoding) {
    return stringByAddingPercentEscapes(string, encoding, kLegalCharactersToEscape);
}
