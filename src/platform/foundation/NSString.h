#pragma once
// String helpers. Strings are std::string holding UTF-8; where the platform counts
// characters it counts UTF-16 code units, and so do the index helpers here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Data.h"

// ---- Encodings ---------------------------------------------------------------

// ASCII, UTF-8, Latin-1 and UTF-16 are converted here; every other encoding
// (the named ones below and any other charset ICU knows) through ICU.
enum NSStringEncoding : unsigned long {
    NSASCIIStringEncoding = 1,
    NSJapaneseEUCStringEncoding = 3,
    NSUTF8StringEncoding = 4,
    NSISOLatin1StringEncoding = 5,
    NSShiftJISStringEncoding = 8,
    NSISOLatin2StringEncoding = 9,
    NSUTF16StringEncoding = 10,  // with a byte-order mark on output; BOM or big-endian on input
    NSWindowsCP1251StringEncoding = 11,
    NSWindowsCP1252StringEncoding = 12,
    NSWindowsCP1253StringEncoding = 13,
    NSWindowsCP1254StringEncoding = 14,
    NSWindowsCP1250StringEncoding = 15,
    NSISO2022JPStringEncoding = 21,
    NSMacOSRomanStringEncoding = 30,
    NSUTF16BigEndianStringEncoding = 0x90000100,
    NSUTF16LittleEndianStringEncoding = 0x94000100,
    NSUTF32StringEncoding = 0x8c000100,
    NSUTF32BigEndianStringEncoding = 0x98000100,
    NSUTF32LittleEndianStringEncoding = 0x9c000100,
};

// The bytes of the string in the encoding; nullopt when a character cannot be
// represented (non-ASCII in ASCII, above U+00FF in Latin-1) or the encoding is unknown.
std::optional<Data> dataUsingEncoding(std::string_view s, NSStringEncoding encoding);
// The string the bytes encode; nullopt when they are not valid in the encoding
// (a byte sequence the charset does not define is invalid, never replaced).
std::optional<std::string> stringWithData(const Data& data, NSStringEncoding encoding);

// The encoding an IANA charset name stands for ("utf-8", "windows-1252",
// "Shift_JIS", "koi8-r"; aliases and case as ICU accepts them), as the platform
// converts a response's text encoding name. A charset ICU knows that has no
// named constant gets a number of its own, valid within this process. nullopt
// for a name ICU does not know.
std::optional<NSStringEncoding> NSStringEncodingForIANACharSetName(std::string_view name);

bool isValidUTF8(std::string_view s);
// UTF-16 code units of the string; invalid UTF-8 bytes become U+FFFD.
std::u16string toUTF16(std::string_view s);
// UTF-8 of UTF-16 code units; unpaired surrogates become U+FFFD.
std::string fromUTF16(std::u16string_view s);
// The same, but nullopt when a code unit is an unpaired surrogate.
std::optional<std::string> fromUTF16Strict(std::u16string_view units);

// ---- Lengths and indexes (UTF-16 code units) ----------------------------------

inline constexpr std::size_t NSNotFound = static_cast<std::size_t>(-1);

struct NSRange {
    std::size_t location = NSNotFound;
    std::size_t length = 0;
    bool operator==(const NSRange&) const = default;
};

std::size_t utf16Length(std::string_view s);
// The code unit at the index; nullopt past the end.
std::optional<char16_t> characterAtIndex(std::string_view s, std::size_t index);
// Substrings by UTF-16 range, clamped to the string. A cut through a surrogate
// pair leaves U+FFFD for the lone half, as the platform's strings would show it.
std::string substringWithRange(std::string_view s, NSRange range);
std::string substringFromIndex(std::string_view s, std::size_t index);
std::string substringToIndex(std::string_view s, std::size_t index);
// The UTF-16 range of the first occurrence; location NSNotFound when absent or
// when the needle is empty.
NSRange rangeOfString(std::string_view s, std::string_view needle);

// ---- Comparison ---------------------------------------------------------------

enum NSComparisonResult : int { NSOrderedAscending = -1, NSOrderedSame = 0, NSOrderedDescending = 1 };

enum NSStringCompareOptions : unsigned long {
    NSCaseInsensitiveSearch = 1,
    NSLiteralSearch = 2,
    NSNumericSearch = 64,
};
inline NSStringCompareOptions operator|(NSStringCompareOptions a, NSStringCompareOptions b) {
    return static_cast<NSStringCompareOptions>(static_cast<unsigned long>(a) | static_cast<unsigned long>(b));
}

// Compares by UTF-16 code units (always literally: no Unicode normalisation, so
// NSLiteralSearch changes nothing). NSNumericSearch compares runs of decimal digits
// by their numeric value ("1.10" > "1.9", "file2" < "file10"); NSCaseInsensitiveSearch
// folds case first (see lowercaseString).
NSComparisonResult compare(std::string_view a, std::string_view b, unsigned long options = 0);
inline NSComparisonResult caseInsensitiveCompare(std::string_view a, std::string_view b) {
    return compare(a, b, NSCaseInsensitiveSearch);
}

bool hasPrefix(std::string_view s, std::string_view prefix);
bool hasSuffix(std::string_view s, std::string_view suffix);

// ---- Case ------------------------------------------------------------------------

// Case mapping of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters;
// other characters are left as they are.
std::string lowercaseString(std::string_view s);
std::string uppercaseString(std::string_view s);

// ---- Trimming, splitting, replacing ------------------------------------------------

// Spaces and tabs (and the no-break space).
std::string stringByTrimmingWhitespace(std::string_view s);
// Spaces, tabs, line and paragraph separators (CR, LF, VT, FF, NEL, U+2028, U+2029).
std::string stringByTrimmingWhitespaceAndNewlines(std::string_view s);
// Trims the given characters (each a UTF-8 character of `characters`).
std::string stringByTrimmingCharacters(std::string_view s, std::string_view characters);

// Splits at every occurrence of the separator: "a,,b" gives "a", "", "b"; an empty
// string gives one empty component; an empty separator gives the string itself.
std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator);
std::string componentsJoinedByString(const std::vector<std::string>& components, std::string_view separator);
std::string stringByReplacingOccurrencesOfString(std::string_view s, std::string_view target,
                                                 std::string_view replacement);

// ---- Percent escapes ----------------------------------------------------------------

// Escapes every byte of the UTF-8 text that is not one of the allowed ASCII
// characters as %XX (upper-case hexadecimal).
std::string stringByAddingPercentEncodingWithAllowedCharacters(std::string_view s, std::string_view allowed);

// Allowed sets for the parts of a URL (RFC 3986).
std::string_view URLUserAllowedCharacters();
std::string_view URLPasswordAllowedCharacters();
std::string_view URLHostAllowedCharacters();
std::string_view URLPathAllowedCharacters();
std::string_view URLQueryAllowedCharacters();
std::string_view URLFragmentAllowedCharacters();
// Letters, digits and "-._~".
std::string_view URLUnreservedCharacters();

// The classic URL string escape: the text in the encoding, with every byte escaped
// that is not legal in a URL, that is everything but letters, digits,
// "-_.!~*'()" and the reserved ";/?:@&=+$,". `charactersToEscape` adds legal
// characters to escape all the same; `charactersToLeaveUnescaped` exempts
// characters from escaping. Space, "%", "#", "[", "]" and non-ASCII are escaped
// unless exempted. nullopt when the text cannot be represented in the encoding.
std::optional<std::string> stringByAddingPercentEscapes(std::string_view s,
                                                        NSStringEncoding encoding = NSUTF8StringEncoding,
                                                        std::string_view charactersToEscape = {},
                                                        std::string_view charactersToLeaveUnescaped = {});

// Replaces every %XX by its byte and reads the bytes as UTF-8 ("+" stays "+").
// nullopt when a "%" does not start two hexadecimal digits or when the result is
// not valid UTF-8.
std::optional<std::string> stringByReplacingPercentEscapes(std::string_view s);
inline std::optional<std::string> stringByRemovingPercentEncoding(std::string_view s) {
    return stringByReplacingPercentEscapes(s);
}

// ---- Paths ---------------------------------------------------------------------------

// "/a/b/c.txt" -> "c.txt"; trailing slashes are ignored; "/" -> "/".
std::string lastPathComponent(std::string_view path);
// "c.tar.gz" -> "gz"; "" when the last component has no extension (or is a dot file).
std::string pathExtension(std::string_view path);
std::string stringByDeletingLastPathComponent(std::string_view path);
std::string stringByDeletingPathExtension(std::string_view path);
// Joins with exactly one slash.
std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);
std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension);
