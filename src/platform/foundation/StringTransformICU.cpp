// CFStringTransform over ICU's transliterators.
#include <unicode/translit.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <memory>

#include "platform/foundation/CFStringTransform.h"
#include "platform/foundation/NSString.h"

std::optional<std::string> CFStringTransform(std::string_view text, std::string_view transform, bool reverse) {
    if (!isValidUTF8(text)) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    auto id = icu::UnicodeString::fromUTF8(icu::StringPiece(transform.data(), static_cast<int32_t>(transform.size())));
    std::unique_ptr<icu::Transliterator> transliterator(
        icu::Transliterator::createInstance(id, reverse ? UTRANS_REVERSE : UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !transliterator) return std::nullopt;
    auto string = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    transliterator->transliterate(string);
    std::string out;
    string.toUTF8String(out);
    return out;
}
