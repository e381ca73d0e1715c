#include "platform/net/HTTPHeaderParser.h"

#include <cstdlib>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWithASCIICase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsIgnoringASCIICase(s.substr(0, prefix.size()), prefix);
}

// "HTTP/1.1 200 OK", "HTTP/2 204": the version ("HTTP/1.1") and the status; none
// for any other line.
std::optional<std::pair<std::string_view, long>> parseStatusLine(std::string_view line) {
    if (line.substr(0, 5) != "HTTP/") return std::nullopt;
    std::size_t at = 5;
    if (at >= line.size() || !isDigit(line[at])) return std::nullopt;
    ++at;
    if (at < line.size() && line[at] == '.') {
        if (at + 1 >= line.size() || !isDigit(line[at + 1])) return std::nullopt;
        at += 2;
    }
    std::string_view version = line.substr(0, at);
    if (at >= line.size() || line[at] != ' ') return std::nullopt;
    ++at;
    if (line.size() < at + 3 || !isDigit(line[at]) || !isDigit(line[at + 1]) || !isDigit(line[at + 2]))
        return std::nullopt;
    long status = (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
    at += 3;
    if (at < line.size() && line[at] != ' ') return std::nullopt;
    if (status < 100) return std::nullopt;
    return std::pair{version, status};
}

// The Content-Length values of the block agree (each field may list several,
// comma-separated); the reason when they do not.
std::optional<std::string> contentLengthProblem(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::optional<std::string_view> first;
    for (const auto& [name, value] : fields) {
        if (!equalsIgnoringASCIICase(name, "Content-Length")) continue;
        std::string_view rest = value;
        while (true) {
            auto comma = rest.find(',');
            std::string_view item = trimmedHTTPWhitespace(rest.substr(0, comma));
            if (item.empty() || item.size() > 18 || !std::all_of(item.begin(), item.end(), isDigit))
                return "The reply's Content-Length is not a length: " + std::string(value.substr(0, 64));
            if (first && *first != item)
                return "The reply names two different lengths: " + std::string(*first) + " and " + std::string(item);
            if (!first) first = item;
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    return std::nullopt;
}

// Room reserved for the fields of a header block.
constexpr std::size_t kUsualFieldCount = 16;

}  // namespace

HTTPHeaderParser::Step HTTPHeaderParser::take(std::string_view line) {
    if (refused_) return Step::Refused;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (complete_) return Step::Ignored;
    blockBytes_ += line.size() + 2;
    if (blockBytes_ > kMaxHeaderBlock)
        return refuse("The reply's header block is larger than " + std::to_string(kMaxHeaderBlock) + " bytes.");
    if (!inBlock_) return statusLine(line);
    if (line.empty()) return endOfBlock();
    if ((line[0] == ' ' || line[0] == '\t') && !fields_.empty()) {
        // A folded line continues the field before it.
        fields_.back().second += ' ';
        fields_.back().second += trimmedHTTPWhitespace(line);
        return Step::More;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) return Step::More;  // not a field: left out
    std::string_view name = trimmedHTTPWhitespace(line.substr(0, colon));
    if (!name.empty()) fields_.emplace_back(name, trimmedHTTPWhitespace(line.substr(colon + 1)));
    return Step::More;
}

HTTPHeaderParser::Step HTTPHeaderParser::statusLine(std::string_view line) {
    auto parsed = parseStatusLine(line);
    if (!parsed) return refuse("The reply does not begin with an HTTP status line: " + std::string(line.substr(0, 64)));
    version_ = std::string(parsed->first);
    status_ = parsed->second;
    fields_.clear();
    fields_.reserve(kUsualFieldCount);  // one allocation for a usual block, not one per doubling
    blockBytes_ = line.size() + 2;
    inBlock_ = true;
    return Step::More;
}

HTTPHeaderParser::Step HTTPHeaderParser::endOfBlock() {
    inBlock_ = false;
    if (status_ < 200 && status_ != 101) return Step::Interim;
    if (auto problem = contentLengthProblem(fields_)) return refuse(std::move(*problem));
    complete_ = true;
    return Step::Complete;
}

HTTPHeaderParser::Step HTTPHeaderParser::refuse(std::string reason) {
    refused_ = true;
    inBlock_ = false;
    problem_ = std::move(reason);
    return Step::Refused;
}

HTTPHeaderFields HTTPHeaderParser::mergedFields() const {
    HTTPHeaderFields merged;
    for (const auto& [name, value] : fields_) {
        auto it = merged.find(name);
        if (it == merged.end()) merged.emplace(name, value);
        else it->second += ", " + value;
    }
    return merged;
}

std::optional<std::string> basicRealm(std::string_view header) {
    const std::size_t n = header.size();
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && (header[i] == ' ' || header[i] == '\t')) ++i;
    };
    auto readToken = [&] {
        std::size_t start = i;
        while (i < n && header[i] != ' ' && header[i] != '\t' && header[i] != ',' && header[i] != '=') ++i;
        return header.substr(start, i - start);
    };
    auto readValue = [&] {
        std::string value;
        if (i < n && header[i] == '"') {
            for (++i; i < n && header[i] != '"'; ++i) {
                if (header[i] == '\\' && i + 1 < n) ++i;
                value += header[i];
            }
            if (i < n) ++i;  // the closing quote
            return value;
        }
        std::size_t start = i;
        while (i < n && header[i] != ',' && header[i] != ' ' && header[i] != '\t') ++i;
        return std::string(header.substr(start, i - start));
    };
    bool inBasic = false;
    while (true) {
        while (i < n && (header[i] == ' ' || header[i] == '\t' || header[i] == ',')) ++i;
        if (i >= n) break;
        std::string_view token = readToken();
        if (token.empty()) {
            ++i;  // a stray "=": nothing to read there
            continue;
        }
        skipBlanks();
        if (i < n && header[i] == '=') {
            // A parameter of the current challenge.
            ++i;
            skipBlanks();
            std::string value = readValue();
            if (inBasic && equalsIgnoringASCIICase(token, "realm")) return value;
            continue;
        }
        // A new challenge begins with its scheme.
        if (inBasic) return std::string();
        inBasic = equalsIgnoringASCIICase(token, "basic");
    }
    if (inBasic) return std::string();
    return std::nullopt;
}

bool hasDirective(std::string_view header, std::string_view token) {
    while (!header.empty()) {
        auto comma = header.find(',');
        std::string_view item = trimmedHTTPWhitespace(header.substr(0, comma));
        if (startsWithASCIICase(item, token) &&
            (item.size() == token.size() || item[token.size()] == '=' || item[token.size()] == ' '))
            return true;
        if (comma == std::string_view::npos) break;
        header.remove_prefix(comma + 1);
    }
    return false;
}
