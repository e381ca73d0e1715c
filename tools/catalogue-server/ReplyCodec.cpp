#include "ReplyCodec.h"

#include <openssl/evp.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <memory>

namespace catalogue {

namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string md5UpperHex(std::string_view text) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_md5(), nullptr) != 1) return {};
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kDigits[digest[i] >> 4]);
        hex.push_back(kDigits[digest[i] & 0x0f]);
    }
    return hex;
}

std::string expectedToken(std::string_view timeText) {
    std::string input(kTokenSecret);
    input.append(timeText);
    return md5UpperHex(input);
}

bool tokenMatches(std::string_view token, std::string_view timeText) {
    if (timeText.empty()) return false;
    if (token == expectedToken(timeText)) return true;
    std::int64_t sent = 0;
    const auto [end, ec] = std::from_chars(timeText.data(), timeText.data() + timeText.size(), sent);
    if (ec != std::errc() || end != timeText.data() + timeText.size() || sent < INT32_MIN || sent > INT32_MAX)
        return false;
    const auto low = static_cast<std::int64_t>(static_cast<std::uint32_t>(sent));
    for (std::int64_t wraps = 0; wraps < 4; ++wraps) {
        const std::int64_t clock = low + (wraps << 32);
        if (std::to_string(clock) != timeText && token == expectedToken(std::to_string(clock))) return true;
    }
    return false;
}

std::optional<std::string> aes256CbcEncrypt(std::string_view plain, std::string_view keyText) {
    std::array<unsigned char, 32> key{};
    for (std::size_t i = 0; i < key.size() && i < keyText.size(); ++i) key[i] = static_cast<unsigned char>(keyText[i]);
    const std::array<unsigned char, 16> iv{};

    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    if (!context) return std::nullopt;
    if (EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data()) != 1) return std::nullopt;

    std::string out(plain.size() + 16, '\0');
    int written = 0;
    int finalWritten = 0;
    auto* outBytes = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_EncryptUpdate(context.get(), outBytes, &written, reinterpret_cast<const unsigned char*>(plain.data()),
                          static_cast<int>(plain.size())) != 1)
        return std::nullopt;
    if (EVP_EncryptFinal_ex(context.get(), outBytes + written, &finalWritten) != 1) return std::nullopt;
    out.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(finalWritten));
    return out;
}

std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                               static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(kAlphabet[(group >> 18) & 63]);
        out.push_back(kAlphabet[(group >> 12) & 63]);
        out.push_back(kAlphabet[(group >> 6) & 63]);
        out.push_back(kAlphabet[group & 63]);
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (left == 2) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out.push_back(kAlphabet[(group >> 18) & 63]);
        out.push_back(kAlphabet[(group >> 12) & 63]);
        out.push_back(left == 2 ? kAlphabet[(group >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string wrapLines(std::string_view text, std::size_t width, std::string_view lineBreak) {
    if (width == 0) return std::string(text);
    std::string out;
    out.reserve(text.size() + (text.size() / width + 1) * lineBreak.size());
    for (std::size_t start = 0; start < text.size(); start += width) {
        if (start > 0) out.append(lineBreak);
        out.append(text.substr(start, width));
    }
    return out;
}

std::string percentEscape(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                                byte == '~';
        if (unreserved) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kDigits[byte >> 4]);
            out.push_back(kDigits[byte & 0x0f]);
        }
    }
    return out;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<char>(high << 4 | low));
        i += 2;
    }
    return out;
}

}  // namespace catalogue
