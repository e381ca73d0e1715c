#include "core/Base64.h"

#include <array>
#include <cstdint>

#include "platform/foundation/NSString.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kSkip = 99;

constexpr std::uint8_t kNotASCII = 100;

// Indexed by the whole byte: the 128 ASCII entries are the decoding table proper;
// bytes above it are marked, for they stand for characters that must first be
// given their ASCII substitutes.
constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t i = 0; i < 256; ++i) table[i] = i < 128 ? kSkip : kNotASCII;
    for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr auto kDecodeTable = makeDecodeTable();

// Base letters of U+00C0..U+017F for the ASCII reading of a text: letters whose
// canonical decomposition starts with an ASCII letter give that letter, others "?".
constexpr std::string_view kLatinBaseLetters =
    // U+00C0..U+00FF
    "AAAAAA?CEEEEIIII?NOOOOO??UUUUY??"
    "aaaaaa?ceeeeiiii?nooooo??uuuuy?y"
    // U+0100..U+017F
    "AaAaAaCcCcCcCcDd??EeEeEeEeEeGgGg"
    "GgGgHh??IiIiIiIiI???JjKk?LlLlLl?"
    "???NnNnNn???OoOoOo??RrRrRrSsSsSs"
    "SsTtTt??UuUuUuUuUuUuWwYyYZzZzZz?";
static_assert(kLatinBaseLetters.size() == 0x180 - 0xC0);

char asciiSubstitute(char32_t c) {
    if (c >= 0xC0 && c < 0x180) return kLatinBaseLetters[c - 0xC0];
    return '?';
}

// The text read as ASCII, one byte per UTF-16 unit: ASCII as it is, every other
// unit replaced by its substitute (bytes that are not UTF-8 read as U+FFFD, "?").
std::string asciiReading(const std::string& text) {
    const std::u16string units = toUTF16(text);
    std::string out;
    out.reserve(units.size());
    for (char16_t u : units) out.push_back(u < 0x80 ? static_cast<char>(u) : asciiSubstitute(u));
    return out;
}

// Decodes an ASCII text. Stops with sawNonASCII set when a byte above ASCII shows up.
std::optional<Data> decode(const std::string& ascii, bool& sawNonASCII) {
    sawNonASCII = false;
    const std::size_t n = ascii.size();
    Data out(3 * (n / 4) + 3, 0);
    const auto* in = reinterpret_cast<const unsigned char*>(ascii.data());
    std::uint8_t* o = out.data();
    std::size_t i = 0;
    std::uint32_t acc = 0;
    unsigned k = 0;
    while (i < n) {
        // Whole groups of four alphabet characters go at once.
        if (k == 0) {
            while (i + 4 <= n) {
                const std::uint32_t a = kDecodeTable[in[i]], b = kDecodeTable[in[i + 1]], c = kDecodeTable[in[i + 2]],
                                    d = kDecodeTable[in[i + 3]];
                if ((a | b | c | d) >= 64) break;
                const std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
                o[0] = static_cast<std::uint8_t>(v >> 16);
                o[1] = static_cast<std::uint8_t>(v >> 8);
                o[2] = static_cast<std::uint8_t>(v);
                o += 3;
                i += 4;
            }
            if (i >= n) break;
        }
        const std::uint8_t v = kDecodeTable[in[i++]];
        if (v == kSkip) continue;
        if (v == kNotASCII) {
            sawNonASCII = true;
            return std::nullopt;
        }
        acc = acc << 6 | v;
        if (++k == 4) {
            o[0] = static_cast<std::uint8_t>(acc >> 16);
            o[1] = static_cast<std::uint8_t>(acc >> 8);
            o[2] = static_cast<std::uint8_t>(acc);
            o += 3;
            acc = 0;
            k = 0;
        }
    }
    if (k == 2) {
        *o++ = static_cast<std::uint8_t>(acc >> 4);  // (a << 2) | (b >> 4)
    } else if (k == 3) {
        *o++ = static_cast<std::uint8_t>(acc >> 10);  // (a << 2) | (b >> 4)
        *o++ = static_cast<std::uint8_t>(acc >> 2);   // (b << 4) | (c >> 2)
    }
    const auto produced = static_cast<std::size_t>(o - out.data());
    if (produced == 0) return std::nullopt;
    out.resize(produced);
    return out;
}

std::optional<std::string> encode(const std::uint8_t* bytes, std::size_t length, unsigned long wrapWidth) {
    const std::size_t wrap = wrapWidth < 4 ? 0 : (wrapWidth & ~3ul);
    std::size_t capacity = 4 * (length / 3) + 4;
    if (wrap > 0) capacity += 2 * (capacity / wrap);
    std::string out(capacity, '\0');
    char* o = out.data();
    std::size_t written = 0;
    std::size_t i = 0;
    while (length - i >= 3) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        o[written] = kAlphabet[v >> 18];
        o[written + 1] = kAlphabet[(v >> 12) & 63];
        o[written + 2] = kAlphabet[(v >> 6) & 63];
        o[written + 3] = kAlphabet[v & 63];
        written += 4;
        i += 3;
        if (wrap > 0 && (written + 2) % (wrap + 2) == 0) {
            o[written++] = '\r';
            o[written++] = '\n';
        }
    }
    const std::size_t left = length - i;
    if (left == 2) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 8 | bytes[i + 1];
        o[written++] = kAlphabet[v >> 10];
        o[written++] = kAlphabet[(v >> 4) & 63];
        o[written++] = kAlphabet[(v << 2) & 63];
        o[written++] = '=';
    } else if (left == 1) {
        const std::uint32_t v = bytes[i];
        o[written++] = kAlphabet[v >> 2];
        o[written++] = kAlphabet[(v << 4) & 63];
        o[written++] = '=';
        o[written++] = '=';
    }
    if (written < 4) return std::nullopt;
    out.resize(written);
    return out;
}

}  // namespace

std::optional<Data> dataWithBase64EncodedString(const std::string& string) {
    // Texts are nearly always ASCII already; only others need a converted copy.
    bool sawNonASCII = false;
    auto data = decode(string, sawNonASCII);
    if (!sawNonASCII) return data;
    return decode(asciiReading(string), sawNonASCII);
}

std::optional<std::string> base64EncodedStringWithWrapWidth(const Data& data, unsigned long wrapWidth) {
    return encode(data.data(), data.size(), wrapWidth);
}

std::optional<std::string> base64EncodedString(const Data& data) { return base64EncodedStringWithWrapWidth(data, 0); }

std::optional<std::string> stringWithBase64EncodedString(const std::string& string) {
    auto data = dataWithBase64EncodedString(string);
    if (!data) return std::nullopt;
    std::string text(data->begin(), data->end());
    if (!isValidUTF8(text)) return std::nullopt;
    return text;
}

std::optional<std::string> base64EncodedStringWithWrapWidth(const std::string& string, unsigned long wrapWidth) {
    return encode(reinterpret_cast<const std::uint8_t*>(string.data()), string.size(), wrapWidth);
}

std::optional<std::string> base64EncodedString(const std::string& string) {
    return base64EncodedStringWithWrapWidth(string, 0);
}

std::optional<std::string> base64DecodedString(const std::string& string) {
    return stringWithBase64EncodedString(string);
}

std::optional<Data> base64DecodedData(const std::string& string) { return dataWithBase64EncodedString(string); }
