#include "platform/foundation/NSPropertyListSerialization.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/foundation/HexString.h"
#include "platform/foundation/NSDataBase64.h"
#include "platform/foundation/NSString.h"

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the reference date of binary lists.
constexpr double kReferenceDate = 978307200.0;

NSErrorPtr invalidError(const std::string& reason) {
    return NSError::errorWithDomain(NSCocoaErrorDomain, NSPropertyListWriteInvalidError,
                                    Value{{NSLocalizedDescriptionKey, Value(reason)}});
}

// ---- XML -------------------------------------------------------------------------

std::string escapeXML(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string formatReal(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "+infinity" : "-infinity";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
}

// Dates both forms can hold: finite, in the years 1 to 9999 that the XML form
// writes with four digits. A binary list announcing another date is refused.
constexpr double kEarliestDate = -62135596800.0;  // 0001-01-01T00:00:00Z
constexpr double kLatestDate = 253402300799.0;    // 9999-12-31T23:59:59Z
bool dateIsWritable(double secondsSince1970) {
    return std::isfinite(secondsSince1970) && secondsSince1970 >= kEarliestDate && secondsSince1970 < kLatestDate + 1;
}

std::string formatDate(double secondsSince1970) {
    std::time_t t = static_cast<std::time_t>(std::floor(secondsSince1970));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buffer;
}

void writeXML(const Value& v, int depth, std::string& out) {
    std::string indent(static_cast<std::size_t>(depth), '\t');
    switch (v.type()) {
    case Value::Type::Bool: out += indent + (v.boolValue() ? "<true/>\n" : "<false/>\n"); break;
    case Value::Type::Integer: out += indent + "<integer>" + std::to_string(v.integerValue()) + "</integer>\n"; break;
    case Value::Type::Unsigned:
        out += indent + "<integer>" + std::to_string(v.unsignedLongLongValue()) + "</integer>\n";
        break;
    case Value::Type::Double: out += indent + "<real>" + formatReal(v.doubleValue()) + "</real>\n"; break;
    case Value::Type::String: out += indent + "<string>" + escapeXML(*v.string()) + "</string>\n"; break;
    case Value::Type::Date: out += indent + "<date>" + formatDate(v.date()->secondsSince1970) + "</date>\n"; break;
    case Value::Type::Data: {
        out += indent + "<data>\n";
        auto text = base64EncodeRFC4648(*v.data(), 68);
        for (const auto& line : componentsSeparatedByString(text, "\r\n"))
            if (!line.empty()) out += indent + line + "\n";
        out += indent + "</data>\n";
        break;
    }
    case Value::Type::Array: {
        auto items = v.arrayRef();
        if (items->empty()) {
            out += indent + "<array/>\n";
            break;
        }
        out += indent + "<array>\n";
        for (const auto& item : *items) writeXML(item, depth + 1, out);
        out += indent + "</array>\n";
        break;
    }
    case Value::Type::Dictionary: {
        auto entries = v.dictionaryRef();
        if (entries->empty()) {
            out += indent + "<dict/>\n";
            break;
        }
        out += indent + "<dict>\n";
        for (const auto& [key, item] : *entries) {
            out += indent + "\t<key>" + escapeXML(key) + "</key>\n";
            writeXML(item, depth + 1, out);
        }
        out += indent + "</dict>\n";
        break;
    }
    default: break;  // refused before writing
    }
}

Data xmlData(const Value& plist) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
    writeXML(plist, 0, out);
    out += "</plist>\n";
    return Data(out.begin(), out.end());
}

// ---- Binary ----------------------------------------------------------------------

class BinaryWriter {
public:
    Data write(const Value& plist) {
        count(plist);
        refSize_ = bytesFor(objectCount_);
        std::uint64_t top = add(plist);
        std::uint64_t tableOffset = out_.size();
        int offsetSize = bytesFor(tableOffset);
        for (auto offset : offsets_) appendBigEndian(offset, offsetSize);
        Data trailer(6, 0);
        out_.insert(out_.end(), trailer.begin(), trailer.end());
        out_.push_back(static_cast<std::uint8_t>(offsetSize));
        out_.push_back(static_cast<std::uint8_t>(refSize_));
        appendBigEndian(offsets_.size(), 8);
        appendBigEndian(top, 8);
        appendBigEndian(tableOffset, 8);
        return std::move(out_);
    }

private:
    static int bytesFor(std::uint64_t n) {
        if (n < 0x100) return 1;
        if (n < 0x10000) return 2;
        if (n < 0x100000000ull) return 4;
        return 8;
    }
    void count(const Value& v) {
        ++objectCount_;
        if (v.isArray())
            for (const auto& item : *v.arrayRef()) count(item);
        if (v.isDictionary())
            for (const auto& [key, item] : *v.dictionaryRef()) {
                ++objectCount_;
                count(item);
            }
    }
    void appendBigEndian(std::uint64_t n, int size) {
        for (int i = size - 1; i >= 0; --i) out_.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    }
    void marker(std::uint8_t kind, std::uint64_t length) {
        if (length < 15) {
            out_.push_back(static_cast<std::uint8_t>(kind | length));
            return;
        }
        out_.push_back(static_cast<std::uint8_t>(kind | 0x0F));
        integer(length);
    }
    void integer(std::uint64_t n) {
        int size = bytesFor(n);
        int power = size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3;
        out_.push_back(static_cast<std::uint8_t>(0x10 | power));
        appendBigEndian(n, size);
    }
    void real(std::uint8_t kind, double d) {
        std::uint64_t bits;
        static_assert(sizeof bits == sizeof d);
        std::memcpy(&bits, &d, sizeof d);
        out_.push_back(kind);
        appendBigEndian(bits, 8);
    }
    void string(const std::string& s) {
        bool ascii = true;
        for (unsigned char c : s) ascii = ascii && c < 0x80;
        if (ascii) {
            marker(0x50, s.size());
            out_.insert(out_.end(), s.begin(), s.end());
            return;
        }
        auto units = toUTF16(s);
        marker(0x60, units.size());
        for (char16_t u : units) appendBigEndian(u, 2);
    }
    // Writes the object (children first) and answers its index.
    std::uint64_t add(const Value& v) {
        std::vector<std::uint64_t> refs;
        if (v.isArray())
            for (const auto& item : *v.arrayRef()) refs.push_back(add(item));
        if (v.isDictionary()) {
            std::vector<std::uint64_t> values;
            for (const auto& [key, item] : *v.dictionaryRef()) {
                refs.push_back(add(Value(key)));
                values.push_back(add(item));
            }
            refs.insert(refs.end(), values.begin(), values.end());
        }
        std::uint64_t index = offsets_.size();
        offsets_.push_back(out_.size());
        switch (v.type()) {
        case Value::Type::Bool: out_.push_back(v.boolValue() ? 0x09 : 0x08); break;
        case Value::Type::Integer: {
            auto n = v.integerValue();
            if (n >= 0) integer(static_cast<std::uint64_t>(n));
            else {
                out_.push_back(0x13);
                appendBigEndian(static_cast<std::uint64_t>(n), 8);
            }
            break;
        }
        case Value::Type::Unsigned: {
            auto n = v.unsignedLongLongValue();
            if (n <= static_cast<std::uint64_t>(INT64_MAX)) integer(n);
            else {
                out_.push_back(0x14);  // 128-bit integer
                appendBigEndian(0, 8);
                appendBigEndian(n, 8);
            }
            break;
        }
        case Value::Type::Double: real(0x23, v.doubleValue()); break;
        case Value::Type::Date: real(0x33, v.date()->secondsSince1970 - kReferenceDate); break;
        case Value::Type::Data:
            marker(0x40, v.data()->size());
            out_.insert(out_.end(), v.data()->begin(), v.data()->end());
            break;
        case Value::Type::String: string(*v.string()); break;
        case Value::Type::Array:
            marker(0xA0, refs.size());
            for (auto r : refs) appendBigEndian(r, refSize_);
            break;
        case Value::Type::Dictionary:
            marker(0xD0, refs.size() / 2);
            for (auto r : refs) appendBigEndian(r, refSize_);
            break;
        default: break;  // refused before writing
        }
        return index;
    }

    Data out_ = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint64_t> offsets_;
    std::uint64_t objectCount_ = 0;
    int refSize_ = 1;
};

}  // namespace

namespace {
// Every string and key is valid UTF-8: the XML writer would copy broken bytes
// and the binary one would replace them, so neither can keep such a string.
// Every date is one both forms can hold (see dateIsWritable).
bool contentIsWritable(const Value& v) {
    switch (v.type()) {
    case Value::Type::String: return isValidUTF8(*v.string());
    case Value::Type::Date: return dateIsWritable(v.date()->secondsSince1970);
    case Value::Type::Array:
        for (const auto& item : *v.arrayRef())
            if (!contentIsWritable(item)) return false;
        return true;
    case Value::Type::Dictionary:
        for (const auto& [key, item] : *v.dictionaryRef())
            if (!isValidUTF8(key) || !contentIsWritable(item)) return false;
        return true;
    default: return true;
    }
}
}  // namespace

bool NSPropertyListSerialization::propertyListIsValidForFormat(const Value& plist, NSPropertyListFormat format) {
    return (format == NSPropertyListXMLFormat_v1_0 || format == NSPropertyListBinaryFormat_v1_0) &&
           plist.isPropertyList() && contentIsWritable(plist);
}

std::optional<Data> NSPropertyListSerialization::dataWithPropertyList(const Value& plist, NSPropertyListFormat format,
                                                                      unsigned long, NSErrorPtr* error) {
    auto fail = [&](const std::string& reason) -> std::optional<Data> {
        if (error) *error = invalidError(reason);
        return std::nullopt;
    };
    if (format != NSPropertyListXMLFormat_v1_0 && format != NSPropertyListBinaryFormat_v1_0)
        return fail("Property list format " + std::to_string(format) + " is not supported for writing");
    if (!plist.isPropertyList()) return fail("Property list invalid for format: the value holds a non-property-list object");
    if (!contentIsWritable(plist))
        return fail("Property list invalid for format: a string is not valid UTF-8 or a date is out of range");
    if (format == NSPropertyListXMLFormat_v1_0) return xmlData(plist);
    return BinaryWriter().write(plist);
}

// ---------------------------------------------------------------- reading

namespace {

// A small reader of XML property lists (version 1.0): plist, dict, key, array,
// string, integer, real, true, false, data (Base64) and date.
class PlistReader {
public:
    explicit PlistReader(std::string_view text) : s_(text) {}

    std::optional<Value> read(std::string* reason) {
        skipProlog();
        Tag tag;
        if (!nextTag(tag) || tag.name != "plist" || tag.closing) return fail(reason, "no plist element");
        if (tag.selfClosing) return fail(reason, "empty plist");
        auto value = readValue(reason);
        if (!value) return std::nullopt;
        if (!nextTag(tag) || tag.name != "plist" || !tag.closing) return fail(reason, "unterminated plist");
        return value;
    }

private:
    struct Tag {
        std::string name;
        bool closing = false;
        bool selfClosing = false;
    };

    std::optional<Value> fail(std::string* reason, const std::string& text) {
        if (reason && reason->empty()) *reason = text;
        return std::nullopt;
    }

    void skipSpace() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }

    void skipProlog() {
        for (;;) {
            skipSpace();
            if (s_.compare(pos_, 2, "<?") == 0) {
                auto end = s_.find("?>", pos_);
                pos_ = end == std::string_view::npos ? s_.size() : end + 2;
            } else if (s_.compare(pos_, 2, "<!") == 0) {
                auto end = s_.find('>', pos_);
                pos_ = end == std::string_view::npos ? s_.size() : end + 1;
            } else {
                return;
            }
        }
    }

    bool nextTag(Tag& tag) {
        skipSpace();
        while (s_.compare(pos_, 4, "<!--") == 0) {
            auto end = s_.find("-->", pos_);
            if (end == std::string_view::npos) return false;
            pos_ = end + 3;
            skipSpace();
        }
        if (pos_ >= s_.size() || s_[pos_] != '<') return false;
        auto end = s_.find('>', pos_);
        if (end == std::string_view::npos) return false;
        std::string_view inner = s_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        tag = Tag{};
        if (!inner.empty() && inner.front() == '/') {
            tag.closing = true;
            inner.remove_prefix(1);
        }
        if (!inner.empty() && inner.back() == '/') {
            tag.selfClosing = true;
            inner.remove_suffix(1);
        }
        std::size_t n = 0;
        while (n < inner.size() && !std::isspace(static_cast<unsigned char>(inner[n]))) ++n;
        tag.name = std::string(inner.substr(0, n));
        return !tag.name.empty();
    }

    // The text up to the closing tag `name`, entities decoded.
    std::optional<std::string> textUntil(const std::string& name) {
        std::string closing = "</" + name + ">";
        auto end = s_.find(closing, pos_);
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view raw = s_.substr(pos_, end - pos_);
        pos_ = end + closing.size();
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                out.push_back(raw[i]);
                continue;
            }
            auto semi = raw.find(';', i);
            if (semi == std::string_view::npos) return std::nullopt;
            std::string_view entity = raw.substr(i + 1, semi - i - 1);
            if (entity == "lt") out.push_back('<');
            else if (entity == "gt") out.push_back('>');
            else if (entity == "amp") out.push_back('&');
            else if (entity == "quot") out.push_back('"');
            else if (entity == "apos") out.push_back('\'');
            else if (!entity.empty() && entity[0] == '#') {
                auto cp = characterReference(entity.substr(1));
                if (!cp) return std::nullopt;
                appendUTF8(out, *cp);
            } else {
                return std::nullopt;
            }
            i = semi;
        }
        return out;
    }

    // The character of "#65" or "#x41" (the "#" taken off): nullopt for anything
    // but digits, and for a value that is no character (zero, a surrogate, past U+10FFFF).
    static std::optional<unsigned long> characterReference(std::string_view digits) {
        const bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
        if (hex) digits.remove_prefix(1);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        unsigned long cp = 0;
        for (char c : digits) {
            int v = hex ? hexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
            if (v < 0) return std::nullopt;
            cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
        }
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        return cp;
    }

    static void appendUTF8(std::string& out, unsigned long cp) {
        if (cp < 0x80) out.push_back(static_cast<char>(cp));
        else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }

    static std::optional<Data> base64(const std::string& text) {
        Data out;
        unsigned buffer = 0;
        int bits = 0;
        for (char c : text) {
            int v;
            if (c >= 'A' && c <= 'Z') v = c - 'A';
            else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
            else if (c >= '0' && c <= '9') v = c - '0' + 52;
            else if (c == '+') v = 62;
            else if (c == '/') v = 63;
            else if (c == '=' || std::isspace(static_cast<unsigned char>(c))) continue;
            else return std::nullopt;
            buffer = (buffer << 6) | static_cast<unsigned>(v);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
            }
        }
        return out;
    }

    std::optional<Value> readValue(std::string* reason, const Tag* given = nullptr) {
        if (++depth_ > 512) return fail(reason, "nesting too deep");
        struct Depth {
            int& d;
            ~Depth() { --d; }
        } guard{depth_};
        Tag tag;
        if (given) tag = *given;
        else if (!nextTag(tag)) return fail(reason, "expected a value");
        if (tag.closing) return fail(reason, "unexpected </" + tag.name + ">");
        const std::string& n = tag.name;
        if (n == "true" || n == "false") {
            if (!tag.selfClosing && !textUntil(n)) return fail(reason, "unterminated <" + n + ">");
            return Value(n == "true");
        }
        if (n == "dict") {
            ValueDictionary dict;
            if (tag.selfClosing) return Value(std::move(dict));
            for (;;) {
                Tag keyTag;
                if (!nextTag(keyTag)) return fail(reason, "unterminated <dict>");
                if (keyTag.closing && keyTag.name == "dict") return Value(std::move(dict));
                if (keyTag.name != "key" || keyTag.closing) return fail(reason, "expected <key> in <dict>");
                std::optional<std::string> key = keyTag.selfClosing ? std::string() : textUntil("key");
                if (!key) return fail(reason, "unterminated <key>");
                if (!isValidUTF8(*key)) return fail(reason, "a key is not valid UTF-8");
                auto value = readValue(reason);
                if (!value) return std::nullopt;
                dict[*key] = *value;
            }
        }
        if (n == "array") {
            ValueArray array;
            if (tag.selfClosing) return Value(std::move(array));
            for (;;) {
                Tag item;
                if (!nextTag(item)) return fail(reason, "unterminated <array>");
                if (item.closing && item.name == "array") return Value(std::move(array));
                auto value = readValue(reason, &item);
                if (!value) return std::nullopt;
                array.push_back(*value);
            }
        }
        std::optional<std::string> text = tag.selfClosing ? std::string() : textUntil(n);
        if (!text) return fail(reason, "unterminated <" + n + ">");
        if (n == "string") {
            if (!isValidUTF8(*text)) return fail(reason, "a string is not valid UTF-8");
            return Value(*text);
        }
        if (n == "integer") {
            char* end = nullptr;
            errno = 0;
            long long v = std::strtoll(text->c_str(), &end, 10);
            if (!text->empty() && !*end && errno == ERANGE && v == LLONG_MAX) {
                // Above the signed range: the writer writes unsigned values this large.
                errno = 0;
                unsigned long long u = std::strtoull(text->c_str(), &end, 10);
                if (!*end && !errno) return Value(u);
            }
            if (text->empty() || *end || errno) return fail(reason, "bad <integer> " + *text);
            return Value(v);
        }
        if (n == "real") {
            char* end = nullptr;
            double v = std::strtod(text->c_str(), &end);
            if (text->empty() || *end) return fail(reason, "bad <real> " + *text);
            return Value(v);
        }
        if (n == "data") {
            auto bytes = base64(*text);
            if (!bytes) return fail(reason, "bad <data>");
            return Value(*bytes);
        }
        if (n == "date") {
            std::tm tm{};
            std::istringstream in(*text);
            in >> std::get_time(&tm, "%Y-%m-%dT%H:%M:%SZ");
            if (in.fail()) return fail(reason, "bad <date> " + *text);
            return Value(Date{static_cast<double>(timegm(&tm))});
        }
        return fail(reason, "unknown element <" + n + ">");
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

// ---- Binary reading -----------------------------------------------------------------

// Reads "bplist00" lists defensively: every offset, length and reference is
// checked against the buffer, a reference back into an object being read (a
// cycle) is refused, and the work done is bounded by the size of the input so
// that shared sub-objects cannot multiply into an enormous result.
class BinaryReader {
public:
    explicit BinaryReader(const Data& data) : d_(data) {}

    std::optional<Value> read(std::string* reason) {
        reason_ = reason;
        constexpr std::size_t kTrailer = 32;
        if (d_.size() < 8 + kTrailer + 1) return fail("binary property list too short");
        if (std::memcmp(d_.data(), "bplist00", 8) != 0) return fail("unsupported binary property list version");
        const std::size_t t = d_.size() - kTrailer;
        offsetSize_ = d_[t + 6];
        refSize_ = d_[t + 7];
        const std::uint64_t objectCount = be(t + 8, 8);
        const std::uint64_t top = be(t + 16, 8);
        const std::uint64_t tableOffset = be(t + 24, 8);
        if (!validIntSize(offsetSize_) || !validIntSize(refSize_)) return fail("bad integer sizes in trailer");
        if (objectCount == 0 || top >= objectCount) return fail("bad object count or top object");
        if (tableOffset < 8 || tableOffset > t) return fail("offset table outside the data");
        if (objectCount > (t - tableOffset) / offsetSize_) return fail("offset table runs past its end");
        if (refSize_ < 8 && objectCount > (std::uint64_t{1} << (8 * refSize_))) return fail("references too narrow");
        tableOffset_ = static_cast<std::size_t>(tableOffset);
        objectCount_ = static_cast<std::size_t>(objectCount);
        budget_ = 8 * d_.size() + 1024 * 1024;
        reading_.assign(objectCount_, false);
        return object(static_cast<std::size_t>(top), 0);
    }

private:
    static bool validIntSize(unsigned n) { return n == 1 || n == 2 || n == 4 || n == 8; }

    std::optional<Value> fail(const std::string& text) {
        if (reason_ && reason_->empty()) *reason_ = text;
        return std::nullopt;
    }

    // `n` big-endian bytes at `pos` (the caller checked the range).
    std::uint64_t be(std::size_t pos, std::size_t n) const {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v = (v << 8) | d_[pos + i];
        return v;
    }

    // True when [pos, pos + n) lies inside the object area (before the offset table).
    bool inObjects(std::size_t pos, std::uint64_t n) const { return pos <= tableOffset_ && n <= tableOffset_ - pos; }

    bool spend(std::uint64_t cost) {
        if (cost > budget_) return false;
        budget_ -= cost;
        return true;
    }

    // The length of a data, string or container object whose marker is at `pos`;
    // `pos` moves past the marker and the length.
    std::optional<std::uint64_t> length(std::size_t& pos) {
        std::uint8_t low = d_[pos] & 0x0F;
        ++pos;
        if (low != 0x0F) return low;
        if (!inObjects(pos, 1)) return std::nullopt;
        std::uint8_t marker = d_[pos];
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3) return std::nullopt;
        std::size_t n = std::size_t{1} << (marker & 0x0F);
        if (!inObjects(pos + 1, n)) return std::nullopt;
        std::uint64_t v = be(pos + 1, n);
        pos += 1 + n;
        return v;
    }

    std::optional<Value> object(std::size_t index, int depth) {
        if (depth > 512) return fail("nesting too deep");
        if (index >= objectCount_) return fail("object reference out of range");
        if (reading_[index]) return fail("object refers to itself (cycle)");
        if (!spend(1)) return fail("property list expands too much");
        std::uint64_t offset = be(tableOffset_ + index * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= tableOffset_) return fail("object offset out of range");
        std::size_t pos = static_cast<std::size_t>(offset);
        const std::uint8_t marker = d_[pos];
        const std::uint8_t low = marker & 0x0F;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x08) return Value(false);
            if (marker == 0x09) return Value(true);
            return fail("unsupported object");
        case 0x1: {
            if (low > 4) return fail("bad integer size");
            std::size_t n = std::size_t{1} << low;
            if (!inObjects(pos + 1, n)) return fail("integer runs past the objects");
            if (n < 8) return Value(static_cast<long long>(be(pos + 1, n)));
            if (n == 8) return Value(static_cast<long long>(static_cast<std::int64_t>(be(pos + 1, 8))));
            std::uint64_t high = be(pos + 1, 8), lowWord = be(pos + 9, 8);
            if (high == 0) {
                if (lowWord <= static_cast<std::uint64_t>(INT64_MAX)) return Value(static_cast<long long>(lowWord));
                return Value(static_cast<unsigned long long>(lowWord));
            }
            if (high == UINT64_MAX && lowWord > static_cast<std::uint64_t>(INT64_MAX))
                return Value(static_cast<long long>(static_cast<std::int64_t>(lowWord)));
            return fail("integer too large");
        }
        case 0x2:
        case 0x3: {
            if ((marker >> 4) == 0x3 && low != 3) return fail("bad date");
            if (low != 2 && low != 3) return fail("bad real size");
            std::size_t n = std::size_t{1} << low;
            if (!inObjects(pos + 1, n)) return fail("real runs past the objects");
            double d;
            if (n == 4) {
                auto bits = static_cast<std::uint32_t>(be(pos + 1, 4));
                float f;
                std::memcpy(&f, &bits, sizeof f);
                d = f;
            } else {
                std::uint64_t bits = be(pos + 1, 8);
                std::memcpy(&d, &bits, sizeof d);
            }
            if ((marker >> 4) == 0x3) {
                if (!dateIsWritable(d + kReferenceDate)) return fail("date out of range");
                return Value(Date{d + kReferenceDate});
            }
            return Value(d);
        }
        case 0x4:
        case 0x5:
        case 0x6: {
            auto count = length(pos);
            if (!count) return fail("bad length");
            const bool utf16 = (marker >> 4) == 0x6;
            if (utf16 && *count > UINT64_MAX / 2) return fail("string length too large");
            std::uint64_t size = utf16 ? *count * 2 : *count;
            if (!inObjects(pos, size)) return fail("object runs past the objects");
            if (!spend(size)) return fail("property list expands too much");
            auto first = d_.begin() + static_cast<std::ptrdiff_t>(pos);
            auto last = first + static_cast<std::ptrdiff_t>(size);
            if ((marker >> 4) == 0x4) return Value(Data(first, last));
            if (!utf16) {
                for (auto it = first; it != last; ++it)
                    if (*it >= 0x80) return fail("non-ASCII byte in an ASCII string");
                return Value(std::string(first, last));
            }
            std::u16string units;
            units.reserve(static_cast<std::size_t>(*count));
            for (std::size_t i = 0; i < *count; ++i) units.push_back(static_cast<char16_t>(be(pos + 2 * i, 2)));
            if (!pairedSurrogates(units)) return fail("unpaired surrogate in a string");
            return Value(fromUTF16(units));
        }
        case 0xA:
        case 0xD: {
            auto count = length(pos);
            if (!count) return fail("bad length");
            const bool dict = (marker >> 4) == 0xD;
            if (*count > UINT64_MAX / (2 * refSize_)) return fail("container too large");
            std::uint64_t refs = dict ? *count * 2 : *count;
            if (!inObjects(pos, refs * refSize_)) return fail("container runs past the objects");
            reading_[index] = true;
            std::optional<Value> result;
            if (dict) {
                ValueDictionary entries;
                for (std::uint64_t i = 0; i < *count; ++i) {
                    auto key = object(ref(pos, i), depth + 1);
                    if (!key) return unwind(index);
                    if (!key->isString()) {
                        reading_[index] = false;
                        return fail("dictionary key is not a string");
                    }
                    auto item = object(ref(pos, *count + i), depth + 1);
                    if (!item) return unwind(index);
                    entries[*key->string()] = std::move(*item);
                }
                result = Value(std::move(entries));
            } else {
                ValueArray items;
                for (std::uint64_t i = 0; i < *count; ++i) {
                    auto item = object(ref(pos, i), depth + 1);
                    if (!item) return unwind(index);
                    items.push_back(std::move(*item));
                }
                result = Value(std::move(items));
            }
            reading_[index] = false;
            return result;
        }
        default: return fail("unsupported object type");
        }
    }

    // Every surrogate is half of a pair, so the text converts without loss.
    static bool pairedSurrogates(std::u16string_view units) {
        for (std::size_t i = 0; i < units.size(); ++i) {
            const char16_t u = units[i];
            if (u >= 0xDC00 && u <= 0xDFFF) return false;
            if (u >= 0xD800 && u <= 0xDBFF) {
                if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
                ++i;
            }
        }
        return true;
    }

    std::optional<Value> unwind(std::size_t index) {
        reading_[index] = false;
        return std::nullopt;
    }

    std::size_t ref(std::size_t pos, std::uint64_t i) const {
        std::uint64_t r = be(pos + static_cast<std::size_t>(i) * refSize_, refSize_);
        return r >= objectCount_ ? objectCount_ : static_cast<std::size_t>(r);
    }

    const Data& d_;
    std::string* reason_ = nullptr;
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    std::size_t tableOffset_ = 0;
    std::size_t objectCount_ = 0;
    std::uint64_t budget_ = 0;
    std::vector<bool> reading_;
};

}  // namespace

std::optional<Value> NSPropertyListSerialization::propertyListWithData(const Data& data, unsigned long,
                                                                     NSPropertyListFormat* format, NSErrorPtr* error) {
    std::string reason;
    const bool binary = data.size() >= 6 && std::memcmp(data.data(), "bplist", 6) == 0;
    std::optional<Value> parsed;
    if (binary) {
        parsed = BinaryReader(data).read(&reason);
    } else {
        std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
        parsed = PlistReader(text).read(&reason);
    }
    if (!parsed) {
        if (error) *error = NSJSONSerialization::readError(reason);
        return std::nullopt;
    }
    if (format) *format = binary ? NSPropertyListBinaryFormat_v1_0 : NSPropertyListXMLFormat_v1_0;
    return parsed;
}
