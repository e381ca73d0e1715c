#pragma once
// The ad server's routes for ad-initiated purchases:
//
//   /adnet/purchase/report    204, no body: a purchase's status report (the
//                             request log keeps its query: sku, status, ...)
//
// The purchase creative itself is a file of the document root
// (adnet/static/creatives/purchase.html with purchase.js); its reporting URL
// formats point at the report path.
#include <optional>
#include <string>

#include "UnitTable.h"

namespace adserver {

inline constexpr const char* kPurchaseReportPath = "/adnet/purchase/report";

// The answer for a purchase path; nullopt for any other path.
std::optional<Answer> purchaseAnswer(const std::string& path);

}  // namespace adserver
