#pragma once
// The ad server's routes for mediation reports (the library's default
// mediation ping templates, when its mediation reporting origin points here):
//
//   /clk      204, no body: a mediated click
//   /imp      204, no body: a mediated impression
//   /nofill   204, no body: a mediation that found no ad
//
// Any query; the request log keeps it.
#include <optional>
#include <string>

#include "UnitTable.h"

namespace adserver {

// The answer for a mediation report path; nullopt for any other path.
std::optional<Answer> mediationAnswer(const std::string& path);

}  // namespace adserver
