#include "MediationRoutes.h"

namespace adserver {

std::optional<Answer> mediationAnswer(const std::string& path) {
    if (path != "/clk" && path != "/imp" && path != "/nofill") return std::nullopt;
    Answer answer;
    answer.status = 204;
    return answer;
}

}  // namespace adserver
