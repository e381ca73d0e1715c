#pragma once
// HTTP header fields: names compare without regard to case; a name keeps the
// spelling it was first stored with.
#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};

using HTTPHeaderFields = std::map<std::string, std::string, CaseInsensitiveLess>;

inline std::optional<std::string> headerValue(const HTTPHeaderFields& fields, const std::string& name) {
    auto it = fields.find(name);
    if (it == fields.end()) return std::nullopt;
    return it->second;
}
