#include "UnitMarks.h"

#include <optional>

namespace adserver {

namespace {

using Json = nlohmann::json;

constexpr long kLongestDrawDelayMs = 600000;
constexpr long kMostEntries = 1000000;
constexpr const char* kPassbackPath = "/tym/passback";

enum class MarkKind { DrawAfter, Blank, Passback, PassbackScheme, PassbackURL, ManyEntries };

struct Mark {
    MarkKind kind = MarkKind::Blank;
    long number = 0;        // DrawAfter: the delay in ms; ManyEntries: the entry count
    std::string adapter;    // ManyEntries: the adapter every entry names
};

enum class Reading { NotAMark, Bad, Good };

// Decimal digits only, at most `highest`.
std::optional<long> wholeNumber(const std::string& text, long highest) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > highest) return std::nullopt;
    return value;
}

Reading readTym(const std::string& inner, Mark& mark) {
    static const std::pair<const char*, MarkKind> kPlain[] = {{"blank", MarkKind::Blank},
                                                              {"passback", MarkKind::Passback},
                                                              {"passback-scheme", MarkKind::PassbackScheme},
                                                              {"passback-url", MarkKind::PassbackURL}};
    for (const auto& [name, kind] : kPlain) {
        if (inner != name) continue;
        mark.kind = kind;
        return Reading::Good;
    }
    static const std::string kDrawAfter = "draw-after:";
    if (!inner.starts_with(kDrawAfter)) return Reading::Bad;
    const auto delay = wholeNumber(inner.substr(kDrawAfter.size()), kLongestDrawDelayMs);
    if (!delay) return Reading::Bad;
    mark.kind = MarkKind::DrawAfter;
    mark.number = *delay;
    return Reading::Good;
}

Reading readMediation(const std::string& inner, Mark& mark) {
    static const std::string kMany = "many:";
    if (!inner.starts_with(kMany)) return Reading::Bad;
    const auto colon = inner.find(':', kMany.size());
    if (colon == std::string::npos || colon + 1 == inner.size()) return Reading::Bad;
    const auto count = wholeNumber(inner.substr(kMany.size(), colon - kMany.size()), kMostEntries);
    if (!count) return Reading::Bad;
    mark.kind = MarkKind::ManyEntries;
    mark.number = *count;
    mark.adapter = inner.substr(colon + 1);
    return Reading::Good;
}

Reading readMark(const std::string& text, Mark& mark) {
    for (const auto& [opening, reader] : {std::pair{std::string("{tym:"), &readTym},
                                          std::pair{std::string("{mediation:"), &readMediation}}) {
        if (!text.starts_with(opening)) continue;
        if (!text.ends_with("}")) return Reading::Bad;
        return reader(text.substr(opening.size(), text.size() - opening.size() - 1), mark);
    }
    return Reading::NotAMark;
}

std::string creative(const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
           "<style>html,body{margin:0;padding:0;width:100%;height:100%;overflow:hidden;background:transparent}"
           "</style></head><body>" + body + "</body></html>";
}

std::string navigatingOnLoad(const std::string& target) {
    return creative("<script>window.addEventListener('load',function(){window.location.href='" + target +
                    "';});</script>");
}

Json manyEntries(long count, const std::string& adapter) {
    Json networks = Json::array();
    for (long i = 0; i < count; ++i)
        networks.push_back({{"id", "n" + std::to_string(i)}, {"adapters", Json::array({adapter})}});
    return {{"ad_networks", std::move(networks)}};
}

Json replacement(const Mark& mark) {
    switch (mark.kind) {
        case MarkKind::DrawAfter:
            return creative(
                "<div id=\"tym-block\" style=\"display:none;position:fixed;left:0;top:0;width:100%;height:100%;"
                "background:#1f6fd1\"></div><script>setTimeout(function(){"
                "document.getElementById('tym-block').style.display='block';}," +
                std::to_string(mark.number) + ");</script>");
        case MarkKind::Blank: return creative("");
        case MarkKind::Passback: return navigatingOnLoad(std::string("{origin}") + kPassbackPath);
        case MarkKind::PassbackScheme: return navigatingOnLoad("passback://none");
        case MarkKind::PassbackURL: return std::string("{origin}") + kPassbackPath;
        case MarkKind::ManyEntries: return manyEntries(mark.number, mark.adapter);
    }
    return nullptr;
}

}  // namespace

bool checkMarks(const Json& value, std::string& error) {
    if (value.is_structured()) {
        for (const Json& member : value)
            if (!checkMarks(member, error)) return false;
        return true;
    }
    Mark mark;
    if (!value.is_string() || readMark(value.get<std::string>(), mark) != Reading::Bad) return true;
    error = "\"" + value.get<std::string>() + "\" is not a mark the server knows";
    return false;
}

Json expandMarks(const Json& value) {
    if (value.is_structured()) {
        Json out = value;
        for (Json& member : out) member = expandMarks(member);
        return out;
    }
    Mark mark;
    if (value.is_string() && readMark(value.get<std::string>(), mark) == Reading::Good) return replacement(mark);
    return value;
}

std::string passbackPage() {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Passback</title></head><body></body></html>\n";
}

}  // namespace adserver
