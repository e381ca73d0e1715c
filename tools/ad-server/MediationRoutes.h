#pragma once
// The ad server's routes for mediation (both ports):
//
//   /clk            204, no body: a mediated click (the library's default click template)
//   /imp            204, no body: a mediated impression (the default impression template)
//   /nofill         204, no body: a mediation that found no ad (the default no-fill template)
//   /mediation/...  204, no body: any path below, for the templates a mediation body lists itself
//   /tym/passback   200, a blank HTML page: where the passback creatives of UnitMarks.h navigate
//
// Any query; the request log keeps it.
#include <optional>
#include <string>

#include "UnitTable.h"

namespace adserver {

// The answer for a mediation path; nullopt for any other path.
std::optional<Answer> mediationAnswer(const std::string& path);

}  // namespace adserver
