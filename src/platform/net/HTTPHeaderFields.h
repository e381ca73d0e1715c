#pragma once
// HTTP header fields: names compare without regard to case; a name keeps the
// spelling it was first stored with. Header text is bytes: only ASCII letters
// fold, and nothing here assumes the bytes are UTF-8.
#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <string_view>

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string asciiLowercase(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = asciiLower(c);
    return out;
}

inline bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// Without the spaces, tabs, CRs and LFs at either end.
inline std::string_view trimmedHTTPWhitespace(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return asciiLower(x) < asciiLower(y); });
    }
};

using HTTPHeaderFields = std::map<std::string, std::string, CaseInsensitiveLess>;

inline std::optional<std::string> headerValue(const HTTPHeaderFields& fields, const std::string& name) {
    auto it = fields.find(name);
    if (it == fields.end()) return std::nullopt;
    return it->second;
}
