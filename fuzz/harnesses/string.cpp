// String helpers: UTF-8 and UTF-16 conversion, UTF-16 indexes and ranges,
// searching, case, trimming and splitting, the encodings, and percent escapes.
// The input is "<text>\0<needle>"; the first two bytes of the needle part also
// pick a range. Every helper that promises a round trip is held to it.
#include "Harnesses.h"
#include "platform/foundation/NSString.h"
#include "support/FuzzSupport.h"

namespace fuzz::string {
namespace {

void checkConversions(std::string_view text) {
    auto units = toUTF16(text);
    check(units.size() == utf16Length(text), "utf16Length differs from the UTF-16 conversion");
    std::string back = fromUTF16(units);
    if (isValidUTF8(text)) check(back == text, "UTF-8 to UTF-16 and back changed valid text");
    check(isValidUTF8(back), "the UTF-16 conversion produced invalid UTF-8");
    for (auto encoding : {NSASCIIStringEncoding, NSUTF8StringEncoding, NSISOLatin1StringEncoding,
                          NSUTF16StringEncoding, NSUTF16BigEndianStringEncoding, NSUTF16LittleEndianStringEncoding}) {
        Data raw(text.begin(), text.end());
        (void)stringWithData(raw, encoding);
        if (!isValidUTF8(text)) continue;
        auto encoded = dataUsingEncoding(text, encoding);
        if (!encoded) continue;
        auto decoded = stringWithData(*encoded, encoding);
        check(decoded && *decoded == text, "text encoded and decoded in one encoding came back changed");
    }
}

void checkRanges(std::string_view text, std::string_view needle) {
    std::size_t length = utf16Length(text);
    std::size_t a = needle.size() > 0 ? static_cast<unsigned char>(needle[0]) : 0;
    std::size_t b = needle.size() > 1 ? static_cast<unsigned char>(needle[1]) : 0;
    (void)characterAtIndex(text, a);
    std::string cut = substringWithRange(text, NSRange{a, b});
    check(utf16Length(cut) <= b, "a substring is longer than its range");
    check(isValidUTF8(cut), "a substring is not valid UTF-8");
    (void)substringFromIndex(text, a);
    (void)substringToIndex(text, b);
    (void)substringWithRange(text, NSRange{length, 1});
    (void)substringWithRange(text, NSRange{NSNotFound, 2});
    NSRange found = rangeOfString(text, needle);
    if (found.location != NSNotFound && isValidUTF8(text) && isValidUTF8(needle)) {
        check(found.location + found.length <= length, "rangeOfString answers a range past the end");
        check(substringWithRange(text, found) == needle, "rangeOfString answers a range that does not hold the needle");
    }
}

void checkEscapes(std::string_view text) {
    if (isValidUTF8(text)) {
        for (auto allowed : {URLUnreservedCharacters(), URLPathAllowedCharacters(), URLQueryAllowedCharacters(),
                             URLHostAllowedCharacters(), URLUserAllowedCharacters(), URLFragmentAllowedCharacters(),
                             URLPasswordAllowedCharacters()}) {
            std::string escaped = stringByAddingPercentEncodingWithAllowedCharacters(text, allowed);
            auto back = stringByReplacingPercentEscapes(escaped);
            check(back && *back == text, "percent encoding did not read back as the text");
        }
        if (auto escaped = stringByAddingPercentEscapes(text)) {
            auto back = stringByReplacingPercentEscapes(*escaped);
            check(back && *back == text, "percent escapes did not read back as the text");
        }
    }
    if (auto plain = stringByReplacingPercentEscapes(text)) check(isValidUTF8(*plain), "unescaped text is not UTF-8");
}

void touchTheRest(std::string_view text, std::string_view needle) {
    (void)compare(text, needle);
    (void)compare(text, needle, NSCaseInsensitiveSearch | NSNumericSearch);
    (void)compare(text, needle, NSNumericSearch);
    (void)lowercaseString(text);
    (void)uppercaseString(text);
    (void)stringByTrimmingWhitespace(text);
    (void)stringByTrimmingWhitespaceAndNewlines(text);
    (void)stringByTrimmingCharacters(text, needle);
    auto parts = componentsSeparatedByString(text, needle);
    if (!needle.empty()) check(componentsJoinedByString(parts, needle) == text, "split and join changed the text");
    (void)stringByReplacingOccurrencesOfString(text, needle, "xy");
    (void)stringByAddingPercentEscapes(text, NSISOLatin1StringEncoding, needle, "%");
    (void)lastPathComponent(text);
    (void)pathExtension(text);
    (void)stringByDeletingLastPathComponent(text);
    (void)stringByDeletingPathExtension(text);
    (void)stringByAppendingPathComponent(text, needle);
    (void)stringByAppendingPathExtension(text, needle);
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    auto [text, needle] = splitAt(data, size, '\0');
    checkConversions(text);
    checkRanges(text, needle);
    checkEscapes(text);
    touchTheRest(text, needle);
    return 0;
}

}  // namespace fuzz::string
