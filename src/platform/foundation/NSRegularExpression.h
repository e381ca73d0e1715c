#pragma once
// Regular expressions with look-behind, matched over UTF-8 text. The backing is
// PCRE2 (RegularExpressionPcre2.cpp).
//
// A pattern that does not compile gives nullptr and, when asked, an error of
// NSCocoaErrorDomain 2048 naming the offset. Templates of the replacing calls
// use "$0".."$9" for the groups (a group that did not take part gives "") and
// "\" to take the next character literally; escapedTemplateForString makes any
// text literal. A compiled expression is read-only and may be shared by threads.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

inline constexpr long NSRegularExpressionPatternError = 2048;

enum NSRegularExpressionOptions : unsigned long {
    NSRegularExpressionCaseInsensitive = 1 << 0,
    NSRegularExpressionDotMatchesLineSeparators = 1 << 3,
};

class NSRegularExpression;
using NSRegularExpressionPtr = std::shared_ptr<NSRegularExpression>;

class NSRegularExpression : public NSObject {
public:
    static NSRegularExpressionPtr regularExpressionWithPattern(const std::string& pattern, unsigned long options = 0,
                                                               NSErrorPtr* error = nullptr);
    ~NSRegularExpression() override;

    const std::string& pattern() const { return pattern_; }
    std::size_t numberOfCaptureGroups() const;
    // One match: the byte ranges of the whole match (group 0) and of each group;
    // a group that did not take part has the offset std::string::npos.
    struct Match {
        std::vector<std::pair<std::size_t, std::size_t>> groups;  // offset, length
    };
    std::vector<Match> matchesInString(std::string_view text) const;
    std::size_t numberOfMatchesInString(std::string_view text) const { return matchesInString(text).size(); }
    // Every match replaced by the template, filled from that match's groups.
    std::string stringByReplacingMatchesInString(std::string_view text, std::string_view templ) const;
    // The text with "\" and "$" escaped, so that as a template it stands for itself.
    static std::string escapedTemplateForString(std::string_view text);

    struct Compiled;  // the backing's compiled form
    NSRegularExpression(std::string pattern, Compiled* compiled);

private:
    std::string pattern_;
    Compiled* compiled_;
};
