#include "PurchaseRoutes.h"

namespace adserver {

std::optional<Answer> purchaseAnswer(const std::string& path) {
    if (path != kPurchaseReportPath) return std::nullopt;
    Answer answer;
    answer.status = 204;
    return answer;
}

}  // namespace adserver
