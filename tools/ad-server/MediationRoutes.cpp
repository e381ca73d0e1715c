#include "MediationRoutes.h"

#include "UnitMarks.h"

namespace adserver {

std::optional<Answer> mediationAnswer(const std::string& path) {
    Answer answer;
    if (path == "/tym/passback") {
        answer.body = passbackPage();
        answer.contentType = "text/html; charset=utf-8";
        return answer;
    }
    if (path != "/clk" && path != "/imp" && path != "/nofill" && !path.starts_with("/mediation/")) return std::nullopt;
    answer.status = 204;
    return answer;
}

}  // namespace adserver
