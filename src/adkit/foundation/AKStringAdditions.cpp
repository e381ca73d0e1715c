#include "adkit/foundation/AKStringAdditions.h"

#include <charconv>

#include "platform/foundation/HexString.h"
#include "platform/foundation/NSString.h"
#include "platform/security/CommonCrypto.h"

std::optional<std::string> ak_shortStringWithCGFloat(double value) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (result.ec != std::errc()) return std::nullopt;
    std::string text(buffer, result.ptr);
    if (text.empty()) return std::nullopt;
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

std::string ak_stringWithMD5Bytes(const std::uint8_t* bytes) { return hexString(bytes, CC_MD5_DIGEST_LENGTH); }

Data ak_MD5Bytes(const Data& data) {
    Data digest(CC_MD5_DIGEST_LENGTH);
    CC_MD5(data.data(), static_cast<CC_LONG>(data.size()), digest.data());
    return digest;
}

std::optional<std::string> ak_MD5String(std::string_view text) {
    if (!isValidUTF8(text)) return std::nullopt;
    const Data digest = ak_MD5Bytes(dataFromString(text));
    return ak_stringWithMD5Bytes(digest.data());
}

std::string ak_stringByEscapingAsURLParameter(std::string_view text) {
    // UTF-8 can represent every valid string; invalid bytes are escaped one by one.
    auto escaped = stringByAddingPercentEscapes(text, NSUTF8StringEncoding, "!*'();:@&=+$,/?%#[]");
    return escaped ? *escaped : stringByAddingPercentEncodingWithAllowedCharacters(text, URLUnreservedCharacters());
}

std::string ak_stripTrailingSlash(std::string_view text) {
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return std::string(text);
}

bool ak_isEquivalentToURLString(std::string_view a, std::string_view b) {
    return ak_stripTrailingSlash(a) == ak_stripTrailingSlash(b);
}

std::string ak_escapeAts(std::string_view text) { return stringByReplacingOccurrencesOfString(text, "@", "@@"); }

std::string ak_unescapeAts(std::string_view text) { return stringByReplacingOccurrencesOfString(text, "@@", "@"); }
