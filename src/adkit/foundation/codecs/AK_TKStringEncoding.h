#pragma once
// Bytes to text and back with any alphabet of 2, 4, ... 128 ASCII characters:
// binary, hexadecimal, the RFC 4648 base-32 and base-64 alphabets, web-safe
// base 64 and Crockford's base 32.
//
// A codec is built from its alphabet (nullptr for an alphabet that is not
// ASCII, whose length is not a power of two from 2 to 128, or that repeats a
// character), then optionally given a padding character, decode synonyms
// (characters that decode like an alphabet character) and ignored characters.
// Only ASCII characters ever enter the decoding table. Once configured, a codec
// is read-only and may be used from any thread.
//
// Encoding reads the bytes as one bit stream, most significant bit first, and
// cuts it into groups of log2(alphabet size) bits; a last short group is filled
// with zero bits; with padding on, the text is filled up to a whole padding block.
// Decoding refuses (nullopt) non-ASCII text, characters that are neither in the
// table nor ignored, alphabet characters after padding has begun, and left-over
// bits that are not zero. Padding is optional and may repeat at the end.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"

class AK_TKStringEncoding;
using AK_TKStringEncodingPtr = std::shared_ptr<AK_TKStringEncoding>;

class AK_TKStringEncoding : public NSObject {
public:
    static AK_TKStringEncodingPtr stringEncodingWithString(std::string_view alphabet);
    static AK_TKStringEncodingPtr binaryStringEncoding();
    static AK_TKStringEncodingPtr hexStringEncoding();
    static AK_TKStringEncodingPtr rfc4648Base32StringEncoding();
    static AK_TKStringEncodingPtr rfc4648Base32HexStringEncoding();
    static AK_TKStringEncodingPtr crockfordBase32StringEncoding();
    static AK_TKStringEncodingPtr rfc4648Base64StringEncoding();
    static AK_TKStringEncodingPtr rfc4648Base64WebsafeStringEncoding();

    // Each character in order: one that has a value makes it current; one that
    // has none takes the current value. Non-ASCII characters are skipped.
    void addDecodeSynonyms(std::string_view synonyms);
    // Marks every character as skipped by decoding. Refused as a whole (false,
    // nothing changes) when one of them is not ASCII or already has a meaning.
    [[nodiscard]] bool ignoreCharacters(std::string_view characters);
    bool doPad() const { return doPad_; }
    void setDoPad(bool pad) { doPad_ = pad; }
    // Sets the padding character and makes decoding accept it as padding.
    // Refused (false) for a non-ASCII character or one that is in the alphabet.
    [[nodiscard]] bool setPaddingChar(char c);

    std::string encode(const std::uint8_t* bytes, std::size_t length) const;
    std::string encode(const Data& data) const { return encode(data.data(), data.size()); }
    std::string encodeString(std::string_view text) const;
    std::optional<Data> decode(std::string_view text) const;
    // The decoded bytes as UTF-8 text; nullopt when decoding fails or they are not UTF-8.
    std::optional<std::string> stringByDecoding(std::string_view text) const;

    int shift() const { return shift_; }
    std::string description() const override;

    // Use the factories; public for make_shared.
    AK_TKStringEncoding(std::string alphabet, int shift);

private:
    static constexpr std::int32_t kUnknown = -1;
    static constexpr std::int32_t kPadding = -2;
    static constexpr std::int32_t kIgnored = -3;

    std::size_t encodedLength(std::size_t length) const;
    void buildGroupTable();
    std::size_t encodeWholeGroups(const std::uint8_t* in, std::size_t length, char* out) const;
    std::size_t decodeWholeGroups(const unsigned char* in, std::size_t length, std::uint8_t* out) const;
    void encodeTail(const std::uint8_t* in, std::size_t length, char* out, std::size_t* written) const;

    std::string alphabet_;
    // One entry per byte value; bytes from 128 up stay unknown, so only ASCII
    // ever decodes and the loops need no separate ASCII test.
    std::int32_t reverse_[256];
    // Made from reverse_ whenever it changes. Eight characters carry exactly
    // `shift_` bytes: entry 256 * k + c is the value of character c put at place k
    // of such a group (bits from 8 * shift_ - 1 down), or kNotInGroup when c is
    // not a plain alphabet character. The decoding loop ORs eight entries per group.
    static constexpr std::uint64_t kNotInGroup = std::uint64_t{1} << 63;
    std::uint64_t groupTable_[8 * 256];
    // The two characters of every value of 2 * shift_ bits, for encoding.
    std::string pairTable_;
    int shift_;
    int mask_;
    bool doPad_ = false;
    char paddingChar_ = 0;
    int padLen_;
};
