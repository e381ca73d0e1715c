#pragma once
// The unit table: what the ad endpoint answers for each "slotname", and the SDK
// constants the generated script hands to the core page. The file format (README.md):
//
//   {"constants": {"<key>": "<text>", ...},
//    "units": {"<slotname>": {"status", "headers", "contentType", "file" | "body" | "json",
//                             "redirects": [{"status", "headers", "location"}, ...], "page",
//                             "sizes": {"<width>x<height>": <answer of the members above>, ...}}}}
//
// or a unit of "sequence": [<answer of the members above>, ...] (and "page"), one element per request
// (ServerState::sequenceIndex). Marks in "json" stand for creatives and big bodies (UnitMarks.h).
//
// "{origin}" in header values, inline bodies, JSON bodies, locations and constants stands
// for the origin the request came to ("https://127.0.0.1:<port>").
#include <functional>
#include <optional>
#include <vector>
#include <string>

#include <nlohmann/json.hpp>

namespace adserver {

// The answer of one request before any fault changes it.
struct Answer {
    int status = 200;
    nlohmann::json headers = nlohmann::json::array();  // [[name, value], ...] as written
    std::string contentType;
    std::string body;
    // A body sent in pieces instead (chunked): before each piece after the first
    // `beforePiece(index)` runs on the sending thread; false ends the reply there.
    std::vector<std::string> pieces;
    std::function<bool(std::size_t)> beforePiece;
    // Non-zero: `body` repeated until this many bytes are sent, the whole length announced.
    std::size_t repeatTo = 0;
};

// Checks a table (units and constants both optional); an error names what is wrong.
[[nodiscard]] bool checkUnitTable(const nlohmann::json& table, std::string& error);
[[nodiscard]] bool checkUnits(const nlohmann::json& units, std::string& error);
[[nodiscard]] bool checkConstants(const nlohmann::json& constants, std::string& error);

// The constants served when the table names none.
nlohmann::json defaultConstants();

std::string withOrigin(std::string text, const std::string& origin);
// Percent-escapes all but letters, digits and "-._~".
std::string escapeQueryValue(const std::string& text);

// The members a unit answers with for the sizes asked: the first of `sizes` ("320x50|468x60", the request's "sz")
// and then of `frame` (its "ad_frame", JSON with "w" and "h") that its "sizes" names; else the unit itself.
const nlohmann::json& answerForSize(const nlohmann::json& unit, const std::string& sizes, const std::string& frame);

// The answer of hop `hop` (0 first) of the unit: a redirect while hops remain, else its ad.
// Files are read under the document root.
Answer unitAnswer(const nlohmann::json& unit, const std::string& slotname, std::size_t hop, const std::string& origin,
                  const std::string& root);

// The path the core page posts its log entries to.
inline constexpr const char* kLogPath = "/adnet/log";

// The origins the script names: the one asked (for "{origin}" in constants) and both schemes'.
struct ScriptOrigins {
    std::string request;
    std::string http;
    std::string https;
};

// The core page's script of server, constants and units (window.ADNET_SERVER = {ad_path,
// log_path, http_origin, https_origin}, window.ADNET_CONSTANTS, window.ADNET_UNITS with each
// unit's "page" members).
std::string constantsScript(const nlohmann::json& constants, const nlohmann::json& units, const ScriptOrigins& origins);

// The content type a file is served with, by its extension.
std::string contentTypeOf(const std::string& path);
// The file under the root, when the path names a regular file there (no ".." segment).
std::optional<std::string> readUnderRoot(const std::string& root, const std::string& path);

}  // namespace adserver
