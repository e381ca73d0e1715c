#include "adkit/foundation/codecs/AK_TKStringEncoding.h"

#include <cassert>
#include <cstdio>
#include <numeric>

#include "platform/foundation/NSString.h"

namespace {

bool isASCII(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 128) return false;
    }
    return true;
}

AK_TKStringEncodingPtr padded(AK_TKStringEncodingPtr codec) {
    if (codec && codec->setPaddingChar('=')) codec->setDoPad(true);
    return codec;
}

}  // namespace

AK_TKStringEncoding::AK_TKStringEncoding(std::string alphabet, int shift)
    : alphabet_(std::move(alphabet)), shift_(shift), mask_((1 << shift) - 1), padLen_(std::lcm(8, shift) / shift) {
    for (auto& entry : reverse_) entry = kUnknown;
    for (std::size_t i = 0; i < alphabet_.size(); ++i) reverse_[static_cast<unsigned char>(alphabet_[i])] = static_cast<std::int32_t>(i);
}

AK_TKStringEncodingPtr AK_TKStringEncoding::stringEncodingWithString(std::string_view alphabet) {
    if (!isASCII(alphabet)) return nullptr;
    const std::size_t n = alphabet.size();
    if (n < 2 || n > 128 || (n & (n - 1)) != 0) return nullptr;
    bool seen[128] = {};
    for (unsigned char c : alphabet) {
        if (seen[c]) return nullptr;
        seen[c] = true;
    }
    int shift = 0;
    while ((std::size_t{1} << shift) < n) ++shift;
    return std::make_shared<AK_TKStringEncoding>(std::string(alphabet), shift);
}

AK_TKStringEncodingPtr AK_TKStringEncoding::binaryStringEncoding() { return stringEncodingWithString("01"); }

AK_TKStringEncodingPtr AK_TKStringEncoding::hexStringEncoding() {
    auto codec = stringEncodingWithString("0123456789ABCDEF");
    codec->addDecodeSynonyms("AaBbCcDdEeFf");
    return codec;
}

AK_TKStringEncodingPtr AK_TKStringEncoding::rfc4648Base32StringEncoding() {
    return padded(stringEncodingWithString("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"));
}

AK_TKStringEncodingPtr AK_TKStringEncoding::rfc4648Base32HexStringEncoding() {
    return padded(stringEncodingWithString("0123456789ABCDEFGHIJKLMNOPQRSTUV"));
}

AK_TKStringEncodingPtr AK_TKStringEncoding::crockfordBase32StringEncoding() {
    auto codec = stringEncodingWithString("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
    codec->addDecodeSynonyms("0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz");
    return codec;
}

AK_TKStringEncodingPtr AK_TKStringEncoding::rfc4648Base64StringEncoding() {
    return padded(stringEncodingWithString("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"));
}

AK_TKStringEncodingPtr AK_TKStringEncoding::rfc4648Base64WebsafeStringEncoding() {
    return padded(stringEncodingWithString("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"));
}

void AK_TKStringEncoding::addDecodeSynonyms(std::string_view synonyms) {
    std::int32_t current = kUnknown;
    for (unsigned char c : synonyms) {
        if (c >= 128) continue;  // only ASCII enters the table
        if (reverse_[c] >= 0) {
            current = reverse_[c];
        } else if (reverse_[c] == kUnknown) {
            reverse_[c] = current;
        }
    }
}

bool AK_TKStringEncoding::ignoreCharacters(std::string_view characters) {
    for (unsigned char c : characters) {
        if (c >= 128 || reverse_[c] != kUnknown) return false;
    }
    for (unsigned char c : characters) reverse_[c] = kIgnored;
    return true;
}

bool AK_TKStringEncoding::setPaddingChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 128 || reverse_[u] >= 0) return false;
    if (paddingChar_ != 0 && reverse_[static_cast<unsigned char>(paddingChar_)] == kPadding) {
        reverse_[static_cast<unsigned char>(paddingChar_)] = kUnknown;
    }
    paddingChar_ = c;
    reverse_[u] = kPadding;
    return true;
}

std::size_t AK_TKStringEncoding::encodedLength(std::size_t length) const {
    // Lengths are 64-bit: 8 * length cannot overflow for any buffer that fits in memory.
    std::size_t n = (length / static_cast<std::size_t>(shift_)) * 8 + ((length % static_cast<std::size_t>(shift_)) * 8 + static_cast<std::size_t>(shift_) - 1) / static_cast<std::size_t>(shift_);
    if (doPad_) {
        const auto block = static_cast<std::size_t>(padLen_);
        n = (n + block - 1) / block * block;
    }
    return n;
}

void AK_TKStringEncoding::encodeTail(const std::uint8_t* in, std::size_t length, char* out,
                                     std::size_t* written) const {
    std::uint32_t buffer = 0;
    int bits = 0;
    std::size_t o = 0;
    for (std::size_t i = 0; i < length; ++i) {
        buffer = (buffer << 8) | in[i];
        bits += 8;
        while (bits >= shift_) {
            bits -= shift_;
            out[o++] = alphabet_[static_cast<std::size_t>((buffer >> bits) & static_cast<std::uint32_t>(mask_))];
        }
        buffer &= (1u << bits) - 1;
    }
    if (bits > 0) {
        out[o++] = alphabet_[static_cast<std::size_t>((buffer << (shift_ - bits)) & static_cast<std::uint32_t>(mask_))];
    }
    *written = o;
}

std::string AK_TKStringEncoding::encode(const std::uint8_t* bytes, std::size_t length) const {
    if (!bytes || length == 0) return {};
    const std::size_t total = encodedLength(length);
    std::string out(total, paddingChar_);
    char* o = out.data();
    const char* a = alphabet_.data();
    std::size_t i = 0;
    // Whole groups: 3 bytes make 4 characters of base 64, 5 bytes 8 of base 32.
    if (shift_ == 6) {
        for (; i + 3 <= length; i += 3) {
            const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
            o[0] = a[v >> 18];
            o[1] = a[(v >> 12) & 63];
            o[2] = a[(v >> 6) & 63];
            o[3] = a[v & 63];
            o += 4;
        }
    } else if (shift_ == 5) {
        for (; i + 5 <= length; i += 5) {
            const std::uint64_t v = (std::uint64_t{bytes[i]} << 32) | (std::uint64_t{bytes[i + 1]} << 24) |
                                    (std::uint64_t{bytes[i + 2]} << 16) | (std::uint64_t{bytes[i + 3]} << 8) | bytes[i + 4];
            for (int k = 0; k < 8; ++k) o[k] = a[(v >> (35 - 5 * k)) & 31];
            o += 8;
        }
    }
    std::size_t tail = 0;
    encodeTail(bytes + i, length - i, o, &tail);
    assert(static_cast<std::size_t>(o - out.data()) + tail <= total && "Underflowed output buffer");
    if (!doPad_) out.resize(static_cast<std::size_t>(o - out.data()) + tail);
    return out;
}

std::string AK_TKStringEncoding::encodeString(std::string_view text) const {
    return encode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::optional<Data> AK_TKStringEncoding::decode(std::string_view text) const {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    // Room for every character carrying a value; 64-bit arithmetic cannot overflow here.
    Data out(n / 8 * static_cast<std::size_t>(shift_) + static_cast<std::size_t>(shift_) + 1);
    std::uint8_t* o = out.data();
    std::size_t i = 0;
    if (shift_ == 6) {
        // Four plain alphabet characters make three bytes.
        for (; i + 4 <= n; i += 4) {
            const std::int32_t a = reverse_[p[i]], b = reverse_[p[i + 1]], c = reverse_[p[i + 2]], d = reverse_[p[i + 3]];
            if ((a | b | c | d) < 0) break;  // a marker: the general loop takes over here
            const auto v = static_cast<std::uint32_t>((a << 18) | (b << 12) | (c << 6) | d);
            o[0] = static_cast<std::uint8_t>(v >> 16);
            o[1] = static_cast<std::uint8_t>(v >> 8);
            o[2] = static_cast<std::uint8_t>(v);
            o += 3;
        }
    } else if (shift_ == 5) {
        // Eight plain alphabet characters make five bytes.
        for (; i + 8 <= n; i += 8) {
            std::uint64_t v = 0;
            std::int32_t any = 0;
            for (int k = 0; k < 8; ++k) {
                const std::int32_t value = reverse_[p[i + static_cast<std::size_t>(k)]];
                any |= value;
                v = (v << 5) | static_cast<std::uint64_t>(value & 31);
            }
            if (any < 0) break;
            for (int k = 0; k < 5; ++k) o[k] = static_cast<std::uint8_t>(v >> (32 - 8 * k));
            o += 5;
        }
    }
    std::uint32_t buffer = 0;
    int bits = 0;
    bool padding = false;
    for (; i < n; ++i) {
        const std::int32_t value = reverse_[p[i]];
        if (value == kIgnored) continue;
        if (value == kUnknown) return std::nullopt;
        if (value == kPadding) {
            padding = true;
            continue;
        }
        if (padding) return std::nullopt;
        buffer = (buffer << shift_) | static_cast<std::uint32_t>(value);
        bits += shift_;
        if (bits >= 8) {
            bits -= 8;
            *o++ = static_cast<std::uint8_t>(buffer >> bits);
            buffer &= (1u << bits) - 1;
        }
    }
    if (bits > 0 && buffer != 0) return std::nullopt;
    const auto written = static_cast<std::size_t>(o - out.data());
    assert(written <= out.size() && "Overflowed buffer");
    out.resize(written);
    return out;
}

std::optional<std::string> AK_TKStringEncoding::stringByDecoding(std::string_view text) const {
    auto bytes = decode(text);
    if (!bytes) return std::nullopt;
    std::string s = stringFromData(*bytes);
    if (!isValidUTF8(s)) return std::nullopt;
    return s;
}

std::string AK_TKStringEncoding::description() const {
    return "<Base" + std::to_string(1 << shift_) + " StringEncoder: " + alphabet_ + ">";
}
