#include "adkit/foundation/codecs/AK_TKStringEncoding.h"

#include <bit>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "platform/foundation/NSString.h"

namespace {

bool isASCII(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 128) return false;
    }
    return true;
}

// Writes the 8 bytes of v most significant first.
void storeBigEndian64(std::uint8_t* out, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    std::memcpy(out, &v, sizeof v);
}

// The 8 bytes at `in` read most significant first.
std::uint64_t loadBigEndian64(const std::uint8_t* in) {
    std::uint64_t v;
    std::memcpy(&v, in, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// Eight characters stand for exactly Shift bytes. Encoding reads Shift bytes
// (through an 8-byte load, so it stops 8 bytes before the end) and writes four
// pairs of characters; decoding ORs the eight characters' table entries and
// stops at the first group with an entry outside the alphabet.
template <int Shift>
std::size_t encodeGroups(const char* pairs, const std::uint8_t* in, std::size_t length, char* out) {
    constexpr int pairBits = 2 * Shift;
    constexpr std::uint64_t pairMask = (std::uint64_t{1} << pairBits) - 1;
    std::size_t i = 0;
    for (; i + 8 <= length; i += Shift) {
        const std::uint64_t v = loadBigEndian64(in + i) >> (64 - 8 * Shift);
        for (int k = 0; k < 4; ++k) std::memcpy(out + 2 * k, pairs + 2 * ((v >> (pairBits * (3 - k))) & pairMask), 2);
        out += 8;
    }
    return i;
}

template <int Shift>
std::size_t decodeGroups(const std::uint64_t* t, std::uint64_t invalid, const unsigned char* in, std::size_t length,
                         std::uint8_t* out) {
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const std::uint64_t v = t[in[i]] | t[256 + in[i + 1]] | t[512 + in[i + 2]] | t[768 + in[i + 3]] |
                                t[1024 + in[i + 4]] | t[1280 + in[i + 5]] | t[1536 + in[i + 6]] | t[1792 + in[i + 7]];
        if (v & invalid) break;
        storeBigEndian64(out, v << (64 - 8 * Shift));
        out += Shift;
    }
    return i;
}

// Calls run.template operator()<shift>() for the shift of a codec (1 to 7).
template <typename Run>
std::size_t withShift(int shift, Run run) {
    switch (shift) {
        case 1: return run.template operator()<1>();
        case 2: return run.template operator()<2>();
        case 3: return run.template operator()<3>();
        case 4: return run.template operator()<4>();
        case 5: return run.template operator()<5>();
        case 6: return run.template operator()<6>();
        default: return run.template operator()<7>();
    }
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
    buildGroupTable();
    const std::size_t values = std::size_t{1} << (2 * shift_);
    pairTable_.resize(2 * values);
    for (std::size_t v = 0; v < values; ++v) {
        pairTable_[2 * v] = alphabet_[v >> shift_];
        pairTable_[2 * v + 1] = alphabet_[v & static_cast<std::size_t>(mask_)];
    }
}

// One character at a time, its eight places in the inner loop. Walking the
// places in the outer loop instead (one pass over reverse_ per place) is what
// GCC 12 at -O1/-O2 miscompiles: induction-variable optimisation rewrites the
// table store as an address off a null base, the interprocedural side-effect
// analysis then takes this function for one that writes nothing, and every call
// to it is deleted, leaving the table all zeros (nothing decodes, nothing is
// refused). There is no undefined behaviour here for a sanitizer to find; the
// optimised test pass in CI is what catches a regression.
void AK_TKStringEncoding::buildGroupTable() {
    for (int c = 0; c < 256; ++c) {
        const std::int32_t value = reverse_[c];
        for (int k = 0; k < 8; ++k) {
            // Place k holds bits 8 * shift_ - 1 - shift_ * k down to shift_ * (7 - k).
            groupTable_[256 * k + c] = value >= 0 ? std::uint64_t(value) << (shift_ * (7 - k)) : kNotInGroup;
        }
    }
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
    buildGroupTable();
}

bool AK_TKStringEncoding::ignoreCharacters(std::string_view characters) {
    for (unsigned char c : characters) {
        if (c >= 128 || reverse_[c] != kUnknown) return false;
    }
    for (unsigned char c : characters) reverse_[c] = kIgnored;
    buildGroupTable();
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
    buildGroupTable();
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
    const std::size_t i = encodeWholeGroups(bytes, length, o);
    o += i / static_cast<std::size_t>(shift_) * 8;
    std::size_t tail = 0;
    encodeTail(bytes + i, length - i, o, &tail);
    assert(static_cast<std::size_t>(o - out.data()) + tail <= total && "Underflowed output buffer");
    if (!doPad_) out.resize(static_cast<std::size_t>(o - out.data()) + tail);
    return out;
}

std::string AK_TKStringEncoding::encodeString(std::string_view text) const {
    return encode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Whole groups from the start: `shift_` bytes make eight characters. Answers the bytes used.
std::size_t AK_TKStringEncoding::encodeWholeGroups(const std::uint8_t* in, std::size_t length, char* out) const {
    return withShift(shift_, [&]<int Shift>() { return encodeGroups<Shift>(pairTable_.data(), in, length, out); });
}

// Whole groups of eight plain alphabet characters from the start, each giving
// `shift_` bytes; stops at the first group holding anything else (a marker, an
// unknown character), where the general loop takes over. Answers the characters
// used; writes up to 8 bytes past the last group's bytes.
std::size_t AK_TKStringEncoding::decodeWholeGroups(const unsigned char* in, std::size_t length, std::uint8_t* out) const {
    return withShift(shift_, [&]<int Shift>() { return decodeGroups<Shift>(groupTable_, kNotInGroup, in, length, out); });
}

std::optional<Data> AK_TKStringEncoding::decode(std::string_view text) const {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    // Room for every character carrying a value, and for the 8-byte stores of the
    // whole groups; 64-bit arithmetic cannot overflow here.
    Data out(n / 8 * static_cast<std::size_t>(shift_) + static_cast<std::size_t>(shift_) + 8);
    std::size_t i = decodeWholeGroups(p, n, out.data());
    std::uint8_t* o = out.data() + i / 8 * static_cast<std::size_t>(shift_);
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
