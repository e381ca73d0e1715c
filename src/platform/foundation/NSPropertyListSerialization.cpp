#include "platform/foundation/NSPropertyListSerialization.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <string>

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

bool NSPropertyListSerialization::propertyListIsValidForFormat(const Value& plist, NSPropertyListFormat format) {
    return (format == NSPropertyListXMLFormat_v1_0 || format == NSPropertyListBinaryFormat_v1_0) &&
           plist.isPropertyList();
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
    if (format == NSPropertyListXMLFormat_v1_0) return xmlData(plist);
    return BinaryWriter().write(plist);
}
