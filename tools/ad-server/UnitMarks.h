#pragma once
// Marks in a unit's "json": string values (at any depth) that are exactly one of
//
//   "{tym:draw-after:N}"        an HTML creative that paints an opaque block over the whole page after N ms
//   "{tym:blank}"               an HTML creative that never paints anything
//   "{tym:passback}"            an HTML creative that navigates to {origin}/tym/passback once loaded
//   "{tym:passback-scheme}"     an HTML creative that navigates to "passback://none" once loaded
//   "{tym:passback-url}"        the text "{origin}/tym/passback"
//   "{mediation:many:N:NAME}"   a mediation body of N network entries ("n0".."n<N-1>"), each naming the adapter NAME
//
// are replaced by what they stand for before the body is written ("{origin}" in the creatives is then the origin
// asked, as everywhere in a unit). Any other string that opens with "{tym:" or "{mediation:" is refused when the
// table is set, so a misspelt mark never reaches a client as text.
#include <string>

#include <nlohmann/json.hpp>

namespace adserver {

// Whether every mark in the value is one of the above; an error names the first that is not.
[[nodiscard]] bool checkMarks(const nlohmann::json& value, std::string& error);

// The value with every mark replaced.
nlohmann::json expandMarks(const nlohmann::json& value);

// The page of the passback path: blank, for a creative that gives up.
std::string passbackPage();

}  // namespace adserver
