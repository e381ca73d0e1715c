#include "platform/foundation/StringEncodingICU.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Encodings that have a constant of their own, by the IANA name ICU opens them with.
struct Named {
    NSStringEncoding encoding;
    const char* charset;
};
constexpr Named kNamed[] = {
    {NSASCIIStringEncoding, "US-ASCII"},        {NSJapaneseEUCStringEncoding, "EUC-JP"},
    {NSUTF8StringEncoding, "UTF-8"},            {NSISOLatin1StringEncoding, "ISO-8859-1"},
    {NSShiftJISStringEncoding, "Shift_JIS"},    {NSISOLatin2StringEncoding, "ISO-8859-2"},
    {NSUTF16StringEncoding, "UTF-16"},          {NSWindowsCP1251StringEncoding, "windows-1251"},
    {NSWindowsCP1252StringEncoding, "windows-1252"}, {NSWindowsCP1253StringEncoding, "windows-1253"},
    {NSWindowsCP1254StringEncoding, "windows-1254"}, {NSWindowsCP1250StringEncoding, "windows-1250"},
    {NSISO2022JPStringEncoding, "ISO-2022-JP"}, {NSMacOSRomanStringEncoding, "macintosh"},
    {NSUTF16BigEndianStringEncoding, "UTF-16BE"}, {NSUTF16LittleEndianStringEncoding, "UTF-16LE"},
    {NSUTF32StringEncoding, "UTF-32"},          {NSUTF32BigEndianStringEncoding, "UTF-32BE"},
    {NSUTF32LittleEndianStringEncoding, "UTF-32LE"},
};

// Numbers given to other charsets: this tag and the charset's index in the registry.
constexpr unsigned long kLocalTag = 0x7E000000UL;
constexpr unsigned long kLocalMask = 0x00FFFFFFUL;

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Opens a converter that stops at the first byte or character it cannot convert.
Converter openStrict(const char* charset) {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(charset, &status));
    if (U_FAILURE(status) || !converter) return nullptr;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return nullptr;
    return converter;
}

// ICU's own name for a charset name (resolving aliases); empty when unknown.
std::string canonicalName(const char* charset) {
    auto converter = openStrict(charset);
    if (!converter) return {};
    UErrorCode status = U_ZERO_ERROR;
    const char* name = ucnv_getName(converter.get(), &status);
    return U_SUCCESS(status) && name ? std::string(name) : std::string();
}

class Registry {
public:
    static Registry& shared() {
        static auto* registry = new Registry();  // lives for the process
        return *registry;
    }

    std::optional<NSStringEncoding> encodingFor(const std::string& canonical) {
        std::lock_guard lock(mutex_);
        if (auto named = byCanonical_.find(canonical); named != byCanonical_.end()) return named->second;
        if (locals_.size() > kLocalMask) return std::nullopt;
        locals_.push_back(canonical);
        auto encoding = static_cast<NSStringEncoding>(kLocalTag | (locals_.size() - 1));
        byCanonical_.emplace(canonical, encoding);
        return encoding;
    }

    // The charset to open for an encoding; empty when it names none.
    std::string charsetOf(NSStringEncoding encoding) {
        for (const auto& named : kNamed)
            if (named.encoding == encoding) return named.charset;
        const unsigned long value = encoding;
        if ((value & ~kLocalMask) != kLocalTag) return {};
        std::lock_guard lock(mutex_);
        const std::size_t index = value & kLocalMask;
        return index < locals_.size() ? locals_[index] : std::string();
    }

private:
    Registry() {
        for (const auto& named : kNamed) {
            std::string canonical = canonicalName(named.charset);
            if (!canonical.empty()) byCanonical_.emplace(canonical, named.encoding);
        }
    }

    std::mutex mutex_;
    std::map<std::string, NSStringEncoding> byCanonical_;
    std::vector<std::string> locals_;
};

}  // namespace

namespace stringEncodingICU {

std::optional<std::string> decode(const Data& data, NSStringEncoding encoding) {
    std::string charset = Registry::shared().charsetOf(encoding);
    if (charset.empty()) return std::nullopt;
    auto converter = openStrict(charset.c_str());
    if (!converter) return std::nullopt;
    if (data.empty()) return std::string();
    std::u16string units(data.size() * 2 + 16, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()),
                                   reinterpret_cast<const char*>(data.data()), static_cast<int32_t>(data.size()),
                                   &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        units.assign(static_cast<std::size_t>(length) + 1, u'\0');
        status = U_ZERO_ERROR;
        ucnv_resetToUnicode(converter.get());
        length = ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()),
                               reinterpret_cast<const char*>(data.data()), static_cast<int32_t>(data.size()), &status);
    }
    if (U_FAILURE(status) || length < 0) return std::nullopt;
    units.resize(static_cast<std::size_t>(length));
    // A lone surrogate in UTF-16 or UTF-32 input is no character either.
    return fromUTF16Strict(units);
}

std::optional<Data> encode(std::string_view text, NSStringEncoding encoding) {
    if (!isValidUTF8(text)) return std::nullopt;
    std::string charset = Registry::shared().charsetOf(encoding);
    if (charset.empty()) return std::nullopt;
    auto converter = openStrict(charset.c_str());
    if (!converter) return std::nullopt;
    std::u16string units = toUTF16(text);
    if (units.empty()) return Data();
    Data out(units.size() * 4 + 16);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_fromUChars(converter.get(), reinterpret_cast<char*>(out.data()),
                                     static_cast<int32_t>(out.size()), units.data(),
                                     static_cast<int32_t>(units.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<std::size_t>(length) + 1, 0);
        status = U_ZERO_ERROR;
        ucnv_resetFromUnicode(converter.get());
        length = ucnv_fromUChars(converter.get(), reinterpret_cast<char*>(out.data()), static_cast<int32_t>(out.size()),
                                 units.data(), static_cast<int32_t>(units.size()), &status);
    }
    if (U_FAILURE(status) || length < 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::optional<NSStringEncoding> encodingForName(std::string_view name) {
    std::string charset(name);
    // Quotes around the name are allowed in a Content-Type parameter.
    if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"') charset = charset.substr(1, charset.size() - 2);
    if (charset.empty() || charset.find('\0') != std::string::npos) return std::nullopt;
    std::string canonical = canonicalName(charset.c_str());
    if (canonical.empty()) return std::nullopt;
    return Registry::shared().encodingFor(canonical);
}

}  // namespace stringEncodingICU

std::optional<NSStringEncoding> NSStringEncodingForIANACharSetName(std::string_view name) {
    return stringEncodingICU::encodingForName(name);
}
