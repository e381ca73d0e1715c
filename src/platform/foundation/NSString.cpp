#include "platform/foundation/NSString.h"
#include "platform/foundation/StringEncodingICU.h"

#include <algorithm>
#include <set>

#include "platform/foundation/HexString.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 character at s[i]; advances i. Invalid or overlong sequences,
// surrogates and values above U+10FFFF give nullopt and advance by one byte.
std::optional<char32_t> decodeUTF8(std::string_view s, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) {
        ++i;
        return c;
    }
    std::size_t len;
    char32_t cp;
    char32_t min;
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
    else { ++i; return std::nullopt; }
    if (i + len > s.size()) { ++i; return std::nullopt; }
    for (std::size_t k = 1; k < len; ++k) {
        unsigned char cc = byte(i + k);
        if ((cc & 0xC0) != 0x80) { ++i; return std::nullopt; }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return std::nullopt; }
    i += len;
    return cp;
}

void appendUTF8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::vector<char32_t> codePoints(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) out.push_back(decodeUTF8(s, i).value_or(kReplacement));
    return out;
}

char32_t toLower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0x80) return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c <= 0x12F) return (c % 2 == 0) ? c + 1 : c;
    if (c >= 0x132 && c <= 0x137) return (c % 2 == 0) ? c + 1 : c;
    if (c >= 0x139 && c <= 0x148) return (c % 2 == 1) ? c + 1 : c;
    if (c >= 0x14A && c <= 0x177) return (c % 2 == 0) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return (c % 2 == 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

char32_t toUpper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c < 0x80) return c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x12F) return (c % 2 == 1) ? c - 1 : c;
    if (c >= 0x132 && c <= 0x137) return (c % 2 == 1) ? c - 1 : c;
    if (c >= 0x139 && c <= 0x148) return (c % 2 == 0) ? c - 1 : c;
    if (c >= 0x14A && c <= 0x177) return (c % 2 == 1) ? c - 1 : c;
    if (c >= 0x179 && c <= 0x17E) return (c % 2 == 0) ? c - 1 : c;
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

bool isAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::string trim(std::string_view s, const std::set<char32_t>& set) {
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t next = start;
        auto cp = decodeUTF8(s, next);
        if (!cp || !set.count(*cp)) break;
        start = next;
    }
    // Walk forward once more to find the last character not in the set.
    std::size_t end = start;
    for (std::size_t i = start; i < s.size();) {
        auto cp = decodeUTF8(s, i);
        if (!cp || !set.count(*cp)) end = i;
    }
    return std::string(s.substr(start, end - start));
}

const std::set<char32_t>& whitespaceSet() {
    static const std::set<char32_t> set{U' ', U'\t', 0xA0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005,
                                        0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x202F, 0x205F, 0x3000};
    return set;
}

const std::set<char32_t>& whitespaceAndNewlineSet() {
    static const std::set<char32_t> set = [] {
        auto s = whitespaceSet();
        for (char32_t c : {U'\n', U'\r', U'\v', U'\f', char32_t(0x85), char32_t(0x2028), char32_t(0x2029)}) s.insert(c);
        return s;
    }();
    return set;
}

void appendEscaped(std::string& out, unsigned char byte) {
    out += '%';
    appendHexByte(out, byte, true);
}

#define ALNUM "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
constexpr std::string_view kUnreserved = ALNUM "-._~";
constexpr std::string_view kUserAllowed = ALNUM "-._~!$&'()*+,;=";
constexpr std::string_view kPasswordAllowed = ALNUM "-._~!$&'()*+,;=";
constexpr std::string_view kHostAllowed = ALNUM "-._~!$&'()*+,;=:[]";
constexpr std::string_view kPathAllowed = ALNUM "-._~!$&'()*+,;=:@/";
constexpr std::string_view kQueryAllowed = ALNUM "-._~!$&'()*+,;=:@/?";
constexpr std::string_view kFragmentAllowed = ALNUM "-._~!$&'()*+,;=:@/?";
// Legal in a URL by the classic rule: unreserved "-_.!~*'()" and reserved ";/?:@&=+$,".
constexpr std::string_view kClassicLegal = ALNUM "-_.!~*'();/?:@&=+$,";
#undef ALNUM

}  // namespace

// ---- Encodings ---------------------------------------------------------------------

bool isValidUTF8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();)
        if (!decodeUTF8(s, i)) return false;
    return true;
}

std::u16string toUTF16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = decodeUTF8(s, i).value_or(kReplacement);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string fromUTF16(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        appendUTF8(out, c);
    }
    return out;
}

std::optional<std::string> fromUTF16Strict(std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        }
    }
    return fromUTF16(units);
}

std::optional<Data> dataUsingEncoding(std::string_view s, NSStringEncoding encoding) {
    Data out;
    switch (encoding) {
    case NSUTF8StringEncoding:
        if (!isValidUTF8(s)) return std::nullopt;
        return dataFromString(s);
    case NSASCIIStringEncoding:
    case NSISOLatin1StringEncoding: {
        char32_t limit = encoding == NSASCIIStringEncoding ? 0x7F : 0xFF;
        for (std::size_t i = 0; i < s.size();) {
            auto cp = decodeUTF8(s, i);
            if (!cp || *cp > limit) return std::nullopt;
            out.push_back(static_cast<std::uint8_t>(*cp));
        }
        return out;
    }
    case NSUTF16StringEncoding:
    case NSUTF16BigEndianStringEncoding:
    case NSUTF16LittleEndianStringEncoding: {
        if (!isValidUTF8(s)) return std::nullopt;
        bool big = encoding == NSUTF16BigEndianStringEncoding;
        if (encoding == NSUTF16StringEncoding) out = {0xFF, 0xFE};
        for (char16_t u : toUTF16(s)) {
            auto hi = static_cast<std::uint8_t>(u >> 8), lo = static_cast<std::uint8_t>(u & 0xFF);
            out.push_back(big ? hi : lo);
            out.push_back(big ? lo : hi);
        }
        return out;
    }
    default:
        return stringEncodingICU::encode(s, encoding);
    }
}

std::optional<std::string> stringWithData(const Data& data, NSStringEncoding encoding) {
    std::string out;
    switch (encoding) {
    case NSUTF8StringEncoding: {
        std::string s = stringFromData(data);
        if (!isValidUTF8(s)) return std::nullopt;
        return s;
    }
    case NSASCIIStringEncoding:
        for (auto b : data) {
            if (b > 0x7F) return std::nullopt;
            out += static_cast<char>(b);
        }
        return out;
    case NSISOLatin1StringEncoding:
        for (auto b : data) appendUTF8(out, b);
        return out;
    case NSUTF16StringEncoding:
    case NSUTF16BigEndianStringEncoding:
    case NSUTF16LittleEndianStringEncoding: {
        if (data.size() % 2) return std::nullopt;
        std::size_t start = 0;
        bool big = encoding != NSUTF16LittleEndianStringEncoding;
        if (encoding == NSUTF16StringEncoding && data.size() >= 2) {
            if (data[0] == 0xFF && data[1] == 0xFE) { big = false; start = 2; }
            else if (data[0] == 0xFE && data[1] == 0xFF) { big = true; start = 2; }
        }
        std::u16string units;
        for (std::size_t i = start; i < data.size(); i += 2)
            units += static_cast<char16_t>(big ? (data[i] << 8 | data[i + 1]) : (data[i + 1] << 8 | data[i]));
        // Unpaired surrogates make the bytes invalid.
        return fromUTF16Strict(units);
    }
    default:
        return stringEncodingICU::decode(data, encoding);
    }
}

// ---- Lengths and indexes ----------------------------------------------------------

std::size_t utf16Length(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size();) n += decodeUTF8(s, i).value_or(kReplacement) >= 0x10000 ? 2 : 1;
    return n;
}

std::optional<char16_t> characterAtIndex(std::string_view s, std::size_t index) {
    std::size_t unit = 0;
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = decodeUTF8(s, i).value_or(kReplacement);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            if (unit == index) return static_cast<char16_t>(0xD800 + (cp >> 10));
            if (unit + 1 == index) return static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            unit += 2;
        } else {
            if (unit == index) return static_cast<char16_t>(cp);
            ++unit;
        }
    }
    return std::nullopt;
}

std::string substringWithRange(std::string_view s, NSRange range) {
    auto units = toUTF16(s);
    if (range.location == NSNotFound || range.location >= units.size()) return {};
    std::size_t length = std::min(range.length, units.size() - range.location);
    return fromUTF16(std::u16string_view(units).substr(range.location, length));
}

std::string substringFromIndex(std::string_view s, std::size_t index) {
    return substringWithRange(s, {index, NSNotFound});
}

std::string substringToIndex(std::string_view s, std::size_t index) { return substringWithRange(s, {0, index}); }

NSRange rangeOfString(std::string_view s, std::string_view needle) {
    if (needle.empty()) return {};
    // Bytes that match count only when they start and end on character
    // boundaries of `s` (an invalid byte is a character of its own, as in
    // toUTF16), so a match never takes part of a character.
    std::size_t boundary = 0;  // a character boundary of s, at or before `pos`
    std::size_t units = 0;     // UTF-16 units before `boundary`
    for (auto pos = s.find(needle); pos != std::string_view::npos; pos = s.find(needle, pos + 1)) {
        while (boundary < pos) units += decodeUTF8(s, boundary).value_or(kReplacement) >= 0x10000 ? 2 : 1;
        if (boundary != pos) continue;
        std::size_t end = pos;
        while (end < pos + needle.size()) decodeUTF8(s, end);
        if (end == pos + needle.size()) return {units, utf16Length(needle)};
    }
    return {};
}

// ---- Comparison ------------------------------------------------------------------

NSComparisonResult compare(std::string_view a, std::string_view b, unsigned long options) {
    std::u16string x, y;
    if (options & NSCaseInsensitiveSearch) {
        x = toUTF16(lowercaseString(a));
        y = toUTF16(lowercaseString(b));
    } else {
        x = toUTF16(a);
        y = toUTF16(b);
    }
    bool numeric = options & NSNumericSearch;
    std::size_t i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        if (numeric && isAsciiDigit(x[i]) && isAsciiDigit(y[j])) {
            std::size_t ei = i, ej = j;
            while (ei < x.size() && isAsciiDigit(x[ei])) ++ei;
            while (ej < y.size() && isAsciiDigit(y[ej])) ++ej;
            std::size_t si = i, sj = j;
            while (si + 1 < ei && x[si] == u'0') ++si;
            while (sj + 1 < ej && y[sj] == u'0') ++sj;
            std::size_t li = ei - si, lj = ej - sj;
            if (li != lj) return li < lj ? NSOrderedAscending : NSOrderedDescending;
            for (std::size_t k = 0; k < li; ++k)
                if (x[si + k] != y[sj + k]) return x[si + k] < y[sj + k] ? NSOrderedAscending : NSOrderedDescending;
            i = ei;
            j = ej;
            continue;
        }
        if (x[i] != y[j]) return x[i] < y[j] ? NSOrderedAscending : NSOrderedDescending;
        ++i;
        ++j;
    }
    bool endX = i >= x.size(), endY = j >= y.size();
    if (endX && endY) return NSOrderedSame;
    return endX ? NSOrderedAscending : NSOrderedDescending;
}

bool hasPrefix(std::string_view s, std::string_view prefix) {
    return !prefix.empty() && s.substr(0, prefix.size()) == prefix;
}

bool hasSuffix(std::string_view s, std::string_view suffix) {
    return !suffix.empty() && s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// ---- Case ------------------------------------------------------------------------------

std::string lowercaseString(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : codePoints(s)) appendUTF8(out, toLower(c));
    return out;
}

std::string uppercaseString(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : codePoints(s)) {
        if (c == 0xDF) out += "SS";
        else appendUTF8(out, toUpper(c));
    }
    return out;
}

// ---- Trimming, splitting, replacing -------------------------------------------------

std::string stringByTrimmingWhitespace(std::string_view s) { return trim(s, whitespaceSet()); }

std::string stringByTrimmingWhitespaceAndNewlines(std::string_view s) { return trim(s, whitespaceAndNewlineSet()); }

std::string stringByTrimmingCharacters(std::string_view s, std::string_view characters) {
    auto cps = codePoints(characters);
    return trim(s, std::set<char32_t>(cps.begin(), cps.end()));
}

std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator) {
    if (separator.empty()) return {std::string(s)};
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        auto pos = s.find(separator, start);
        if (pos == std::string_view::npos) {
            out.emplace_back(s.substr(start));
            return out;
        }
        out.emplace_back(s.substr(start, pos - start));
        start = pos + separator.size();
    }
}

std::string componentsJoinedByString(const std::vector<std::string>& components, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i) out += separator;
        out += components[i];
    }
    return out;
}

std::string stringByReplacingOccurrencesOfString(std::string_view s, std::string_view target,
                                                 std::string_view replacement) {
    if (target.empty()) return std::string(s);
    return componentsJoinedByString(componentsSeparatedByString(s, target), replacement);
}

// ---- Percent escapes ------------------------------------------------------------------

std::string stringByAddingPercentEncodingWithAllowedCharacters(std::string_view s, std::string_view allowed) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && allowed.find(c) != std::string_view::npos) out += c;
        else appendEscaped(out, byte);
    }
    return out;
}

std::string_view URLUserAllowedCharacters() { return kUserAllowed; }
std::string_view URLPasswordAllowedCharacters() { return kPasswordAllowed; }
std::string_view URLHostAllowedCharacters() { return kHostAllowed; }
std::string_view URLPathAllowedCharacters() { return kPathAllowed; }
std::string_view URLQueryAllowedCharacters() { return kQueryAllowed; }
std::string_view URLFragmentAllowedCharacters() { return kFragmentAllowed; }
std::string_view URLUnreservedCharacters() { return kUnreserved; }

std::optional<std::string> stringByAddingPercentEscapes(std::string_view s, NSStringEncoding encoding,
                                                        std::string_view charactersToEscape,
                                                        std::string_view charactersToLeaveUnescaped) {
    auto bytes = dataUsingEncoding(s, encoding);
    if (!bytes) return std::nullopt;
    std::string out;
    out.reserve(bytes->size());
    for (auto byte : *bytes) {
        char c = static_cast<char>(byte);
        bool keep = byte < 0x80 && (charactersToLeaveUnescaped.find(c) != std::string_view::npos ||
                                    (kClassicLegal.find(c) != std::string_view::npos &&
                                     charactersToEscape.find(c) == std::string_view::npos));
        if (keep) out += c;
        else appendEscaped(out, byte);
    }
    return out;
}

std::optional<std::string> stringByReplacingPercentEscapes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return std::nullopt;
        int hi = hexDigitValue(s[i + 1]), lo = hexDigitValue(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi << 4 | lo);
        i += 2;
    }
    if (!isValidUTF8(out)) return std::nullopt;
    return out;
}

// ---- Paths ---------------------------------------------------------------------------------

namespace {
std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}
}  // namespace

std::string lastPathComponent(std::string_view path) {
    path = withoutTrailingSlashes(path);
    if (path == "/") return "/";
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string pathExtension(std::string_view path) {
    std::string last = lastPathComponent(path);
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return last.substr(dot + 1);
}

std::string stringByDeletingLastPathComponent(std::string_view path) {
    path = withoutTrailingSlashes(path);
    if (path == "/") return "/";
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return "/";
    return std::string(withoutTrailingSlashes(path.substr(0, slash)));
}

std::string stringByDeletingPathExtension(std::string_view path) {
    path = withoutTrailingSlashes(path);
    std::string ext = pathExtension(path);
    if (ext.empty()) return std::string(path);
    return std::string(path.substr(0, path.size() - ext.size() - 1));
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component) {
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    if (path.empty()) return std::string(component);
    std::string out(withoutTrailingSlashes(path));
    if (component.empty()) return out;
    if (out != "/") out += '/';
    out += component;
    return out;
}

std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension) {
    std::string out(withoutTrailingSlashes(path));
    return out + "." + std::string(extension);
}
