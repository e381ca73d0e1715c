#pragma once
// The publisher toolbar's and the bad-ad report's routes of the ad server:
//   /s/reportAd                          204 (GET or POST; the log keeps the body)
//   /toolbar/sdk-publisher-toolbar.js    the toolbar script under the document root,
//                                        "{origin}" in it replaced by the origin asked
// Other paths under /toolbar/ are plain files of the document root.
#include <optional>
#include <string>

#include "UnitTable.h"

namespace httplib {
struct Request;
}

namespace adserver {

// The answer of a toolbar route, nullopt for any other path.
std::optional<Answer> toolbarAnswer(const httplib::Request& request, const std::string& origin,
                                    const std::string& root);

}  // namespace adserver
