#include "UnitTable.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "UnitMarks.h"

namespace adserver {

namespace {

using Json = nlohmann::json;

constexpr const char* kAdPath = "/adnet/ad";

bool isStringMap(const Json& value) {
    if (!value.is_object()) return false;
    for (const auto& [key, member] : value.items())
        if (!member.is_string()) return false;
    return true;
}

bool isStatus(const Json& value, int low, int high) {
    return value.is_number_integer() && value.get<long long>() >= low && value.get<long long>() <= high;
}

// A hop or a unit's common members: "status" in range, "headers" an object of strings.
bool checkReply(const Json& reply, int low, int high, const std::string& what, std::string& error) {
    if (!reply.is_object()) {
        error = what + " must be an object";
    } else if (reply.contains("status") && !isStatus(reply["status"], low, high)) {
        error = what + ": \"status\" must be a number from " + std::to_string(low) + " to " + std::to_string(high);
    } else if (reply.contains("headers") && !isStringMap(reply["headers"])) {
        error = what + ": \"headers\" must map names to texts";
    } else {
        return true;
    }
    return false;
}

// A unit's own answer, or one element of its "sequence".
bool checkAnswer(const Json& unit, const std::string& what, std::string& error) {
    if (!checkReply(unit, 100, 599, what, error)) return false;
    int bodies = 0;
    for (const char* key : {"file", "body", "json"}) bodies += unit.contains(key) ? 1 : 0;
    if (bodies > 1) {
        error = what + " names more than one of \"file\", \"body\", \"json\"";
        return false;
    }
    for (const char* key : {"file", "body", "contentType"}) {
        if (unit.contains(key) && !unit[key].is_string()) {
            error = what + ": \"" + key + "\" must be a text";
            return false;
        }
    }
    if (unit.contains("json") && !checkMarks(unit["json"], error)) {
        error = what + ": " + error;
        return false;
    }
    if (!unit.contains("redirects")) return true;
    if (!unit["redirects"].is_array()) {
        error = what + ": \"redirects\" must be a list";
        return false;
    }
    for (const Json& hop : unit["redirects"]) {
        if (!checkReply(hop, 300, 399, what + " redirect", error)) return false;
        if (hop.contains("location") && !hop["location"].is_string()) {
            error = what + " redirect: \"location\" must be a text";
            return false;
        }
    }
    return true;
}

// "sizes": "<width>x<height>" names, each with an answer of its own.
bool checkSizes(const Json& unit, const std::string& what, std::string& error) {
    if (!unit.contains("sizes")) return true;
    const Json& sizes = unit["sizes"];
    if (!sizes.is_object()) {
        error = what + ": \"sizes\" must map sizes to answers";
        return false;
    }
    for (const auto& [size, answer] : sizes.items()) {
        const auto cross = size.find('x');
        const bool named = cross != std::string::npos && cross > 0 && cross + 1 < size.size() &&
                           size.find_first_not_of("0123456789x") == std::string::npos && size.find('x', cross + 1) == std::string::npos;
        if (!named) {
            error = what + ": \"" + size + "\" is no size (<width>x<height>)";
            return false;
        }
        if (answer.is_object() && (answer.contains("sequence") || answer.contains("sizes"))) {
            error = what + " size " + size + " holds a \"sequence\" or \"sizes\" of its own";
            return false;
        }
        if (!checkAnswer(answer, what + " size " + size, error)) return false;
    }
    return true;
}

// A unit answers from its "sequence" alone, or from its own members (or those of the size asked).
bool checkUnit(const std::string& name, const Json& unit, std::string& error) {
    const std::string what = "unit \"" + name + "\"";
    if (unit.is_object() && unit.contains("sequence") && unit.contains("sizes")) {
        error = what + " names both \"sequence\" and \"sizes\"";
        return false;
    }
    if (!unit.is_object() || !unit.contains("sequence"))
        return checkAnswer(unit, what, error) && checkSizes(unit, what, error);
    const Json& sequence = unit["sequence"];
    if (!sequence.is_array() || sequence.empty()) {
        error = what + ": \"sequence\" must be a list of at least one answer";
        return false;
    }
    for (const char* key : {"status", "headers", "contentType", "file", "body", "json", "redirects"}) {
        if (!unit.contains(key)) continue;
        error = what + ": \"" + key + "\" belongs in the elements of its \"sequence\"";
        return false;
    }
    for (std::size_t k = 0; k < sequence.size(); ++k) {
        const std::string element = what + " sequence element " + std::to_string(k);
        if (sequence[k].is_object() && sequence[k].contains("sequence")) {
            error = element + " holds a \"sequence\" of its own";
            return false;
        }
        if (!checkAnswer(sequence[k], element, error)) return false;
    }
    return true;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void addHeaders(Answer& answer, const Json& reply, const std::string& origin) {
    if (!reply.contains("headers")) return;
    for (const auto& [name, value] : reply["headers"].items())
        answer.headers.push_back(Json::array({name, withOrigin(value.get<std::string>(), origin)}));
}

}  // namespace

bool checkUnits(const Json& units, std::string& error) {
    if (!units.is_object()) {
        error = "\"units\" must be an object";
        return false;
    }
    for (const auto& [name, unit] : units.items())
        if (!checkUnit(name, unit, error)) return false;
    return true;
}

bool checkConstants(const Json& constants, std::string& error) {
    if (isStringMap(constants)) return true;
    error = "\"constants\" must map keys to texts";
    return false;
}

bool checkUnitTable(const Json& table, std::string& error) {
    if (!table.is_object()) {
        error = "the unit table must be a JSON object";
        return false;
    }
    if (table.contains("units") && !checkUnits(table["units"], error)) return false;
    return !table.contains("constants") || checkConstants(table["constants"], error);
}

Json defaultConstants() {
    return {
        {"mraid_banner_path", "{origin}/mraid/v1/mraid_app_banner.js"},
        {"mraid_interstitial_path", "{origin}/mraid/v1/mraid_app_interstitial.js"},
        {"mraid_expanded_banner_path", "{origin}/mraid/v1/mraid_app_expanded_banner.js"},
        {"mraid_disable_redirect", "0"},
        {"active_view_sampling_intervals", "[0.5,1,2]"},
        {"discardable_storekitcontroller_cache_size", "1"},
        {"bad_ad_report_path", "{origin}/s/reportAd"},
        {"native_ad_support_url", "{origin}/adnet/static/mad/sdk/native/native_ads.html"},
        {"ak_web_view_cache_max_capacity", "4"},
        // Both names the server answers to, where the page alone would name only its own host.
        {"as_domains", "127.0.0.1,localhost"},
    };
}

std::string withOrigin(std::string text, const std::string& origin) {
    static const std::string kMark = "{origin}";
    for (auto at = text.find(kMark); at != std::string::npos; at = text.find(kMark, at + origin.size()))
        text.replace(at, kMark.size(), origin);
    return text;
}

std::string escapeQueryValue(const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out += {'%', kDigits[byte >> 4], kDigits[byte & 15]};
        }
    }
    return out;
}

const Json& answerForSize(const Json& unit, const std::string& sizes, const std::string& frame) {
    if (!unit.contains("sizes")) return unit;
    const Json& table = unit["sizes"];
    std::vector<std::string> asked;
    std::size_t start = 0;
    for (std::size_t bar = sizes.find('|'); !sizes.empty(); bar = sizes.find('|', start)) {
        asked.push_back(sizes.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    const Json box = Json::parse(frame, nullptr, false);
    if (box.is_object() && box.contains("w") && box.contains("h") && box["w"].is_number() && box["h"].is_number())
        asked.push_back(std::to_string(std::lround(box["w"].get<double>())) + "x" +
                        std::to_string(std::lround(box["h"].get<double>())));
    for (const std::string& size : asked)
        if (table.contains(size)) return table[size];
    return unit;
}

Answer unitAnswer(const Json& unit, const std::string& slotname, std::size_t hop, const std::string& origin,
                  const std::string& root) {
    Answer answer;
    const Json redirects = unit.value("redirects", Json::array());
    if (hop < redirects.size()) {
        const Json& step = redirects[hop];
        answer.status = step.value("status", 302);
        addHeaders(answer, step, origin);
        const std::string next = std::string(kAdPath) + "?slotname=" + escapeQueryValue(slotname) +
                                 "&hop=" + std::to_string(hop + 1);
        answer.headers.push_back(Json::array({"Location", withOrigin(step.value("location", origin + next), origin)}));
        return answer;
    }
    answer.status = unit.value("status", 200);
    addHeaders(answer, unit, origin);
    if (unit.contains("file")) {
        const std::string file = unit["file"].get<std::string>();
        const auto content = readUnderRoot(root, "/" + file);
        answer.body = content.value_or("");
        answer.contentType = contentTypeOf(file);
        if (!content) answer.status = 404;  // a table naming a missing creative
    } else if (unit.contains("json")) {
        answer.body = withOrigin(expandMarks(unit["json"]).dump(), origin);
        answer.contentType = "application/json";
    } else {
        answer.body = withOrigin(unit.value("body", std::string()), origin);
        answer.contentType = "text/html; charset=utf-8";
    }
    answer.contentType = unit.value("contentType", answer.contentType);
    return answer;
}

std::string constantsScript(const Json& constants, const Json& units, const ScriptOrigins& origins) {
    Json resolved = Json::object();
    for (const auto& [key, value] : constants.items())
        resolved[key] = withOrigin(value.get<std::string>(), origins.request);
    Json table = Json::object();
    for (const auto& [name, unit] : units.items())
        table[name] = unit.contains("page") && unit["page"].is_object() ? unit["page"] : Json::object();
    const Json server = {{"ad_path", kAdPath},
                         {"log_path", kLogPath},
                         {"http_origin", origins.http},
                         {"https_origin", origins.https}};
    return "// Made by the ad server for the core page at each request: where it runs, the SDK constants, the ad units.\n"
           "window.ADNET_SERVER = " + server.dump() + ";\nwindow.ADNET_CONSTANTS = " + resolved.dump() +
           ";\nwindow.ADNET_UNITS = " + table.dump() + ";\n";
}

std::string contentTypeOf(const std::string& path) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "application/javascript; charset=utf-8"},
        {".json", "application/json"},        {".css", "text/css; charset=utf-8"},
        {".png", "image/png"},                 {".jpg", "image/jpeg"},
        {".gif", "image/gif"},                 {".webp", "image/webp"},
        {".mp4", "video/mp4"},                 {".txt", "text/plain; charset=utf-8"},
    };
    for (const auto& [extension, type] : kTypes)
        if (path.ends_with(extension)) return type;
    return "application/octet-stream";
}

std::optional<std::string> readUnderRoot(const std::string& root, const std::string& path) {
    if (path.empty() || path.front() != '/') return std::nullopt;
    const std::filesystem::path relative = std::filesystem::path(path).relative_path();
    for (const auto& segment : relative)
        if (segment == "..") return std::nullopt;
    const std::filesystem::path file = std::filesystem::path(root) / relative;
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
    return readFile(file);
}

}  // namespace adserver
