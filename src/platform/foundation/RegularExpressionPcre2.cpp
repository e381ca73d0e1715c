// NSRegularExpression over PCRE2 (8-bit code units, UTF mode).
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "platform/foundation/NSRegularExpression.h"

struct NSRegularExpression::Compiled {
    pcre2_code* code = nullptr;
};

NSRegularExpression::NSRegularExpression(std::string pattern, Compiled* compiled)
    : pattern_(std::move(pattern)), compiled_(compiled) {}

NSRegularExpression::~NSRegularExpression() {
    if (compiled_) pcre2_code_free(compiled_->code);
    delete compiled_;
}

NSRegularExpressionPtr NSRegularExpression::regularExpressionWithPattern(const std::string& pattern,
                                                                         unsigned long options, NSErrorPtr* error) {
    uint32_t flags = PCRE2_UTF;
    if (options & NSRegularExpressionCaseInsensitive) flags |= PCRE2_CASELESS;
    if (options & NSRegularExpressionDotMatchesLineSeparators) flags |= PCRE2_DOTALL;
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &code,
                                         &offset, nullptr);
    if (!compiled) {
        if (error) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(code, message, sizeof message);
            *error = NSError::errorWithDomain(
                NSCocoaErrorDomain, NSRegularExpressionPatternError,
                Value{{"NSInvalidValue", Value(pattern)},
                      {NSLocalizedDescriptionKey, Value(std::string("The pattern is not valid at offset ") +
                                                        std::to_string(offset) + ": " +
                                                        reinterpret_cast<const char*>(message))}});
        }
        return nullptr;
    }
    return std::make_shared<NSRegularExpression>(pattern, new Compiled{compiled});
}

std::size_t NSRegularExpression::numberOfCaptureGroups() const {
    uint32_t count = 0;
    if (pcre2_pattern_info(compiled_->code, PCRE2_INFO_CAPTURECOUNT, &count) != 0) return 0;
    return count;
}

std::vector<NSRegularExpression::Match> NSRegularExpression::matchesInString(std::string_view text) const {
    std::vector<Match> matches;
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(compiled_->code, nullptr);
    if (!data) return matches;  // out of memory: no matches rather than a crash
    PCRE2_SIZE start = 0;
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    while (start <= text.size()) {
        const int rc = pcre2_match(compiled_->code, subject, text.size(), start, 0, data, nullptr);
        if (rc < 0) break;  // no further match (or a matching limit: stop there)
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
        const uint32_t pairs = pcre2_get_ovector_count(data);
        Match match;
        for (uint32_t g = 0; g < pairs; ++g) {
            if (ov[2 * g] == PCRE2_UNSET) {
                match.groups.emplace_back(std::string::npos, 0);
            } else {
                match.groups.emplace_back(ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
            }
        }
        const PCRE2_SIZE end = ov[1];
        matches.push_back(std::move(match));
        if (end == ov[0]) {
            // An empty match: step over one whole UTF-8 character.
            if (end >= text.size()) break;
            PCRE2_SIZE next = end + 1;
            while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
            start = next;
        } else {
            start = end;
        }
    }
    pcre2_match_data_free(data);
    return matches;
}

std::string NSRegularExpression::stringByReplacingMatchesInString(std::string_view text, std::string_view templ) const {
    std::string out;
    std::size_t copied = 0;
    for (const Match& match : matchesInString(text)) {
        const auto [offset, length] = match.groups[0];
        out.append(text.substr(copied, offset - copied));
        for (std::size_t i = 0; i < templ.size(); ++i) {
            const char c = templ[i];
            if (c == '\\' && i + 1 < templ.size()) {
                out.push_back(templ[++i]);
            } else if (c == '$' && i + 1 < templ.size() && templ[i + 1] >= '0' && templ[i + 1] <= '9') {
                auto group = static_cast<std::size_t>(templ[++i] - '0');
                while (i + 1 < templ.size() && templ[i + 1] >= '0' && templ[i + 1] <= '9' &&
                       group * 10 + static_cast<std::size_t>(templ[i + 1] - '0') < match.groups.size()) {
                    group = group * 10 + static_cast<std::size_t>(templ[++i] - '0');
                }
                if (group < match.groups.size() && match.groups[group].first != std::string::npos) {
                    out.append(text.substr(match.groups[group].first, match.groups[group].second));
                }
            } else {
                out.push_back(c);
            }
        }
        copied = offset + length;
    }
    out.append(text.substr(copied));
    return out;
}

std::string NSRegularExpression::escapedTemplateForString(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '$') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}
