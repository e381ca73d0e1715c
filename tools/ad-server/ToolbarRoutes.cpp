#include "ToolbarRoutes.h"

#include <httplib.h>

namespace adserver {

namespace {
constexpr const char* kReportPath = "/s/reportAd";
constexpr const char* kToolbarScriptPath = "/toolbar/sdk-publisher-toolbar.js";

std::string replaced(std::string text, const std::string& marker, const std::string& by) {
    for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at + by.size()))
        text.replace(at, marker.size(), by);
    return text;
}
}  // namespace

std::optional<Answer> toolbarAnswer(const httplib::Request& request, const std::string& origin,
                                    const std::string& root) {
    if (request.path == kReportPath) {
        Answer answer;
        answer.status = 204;
        return answer;
    }
    if (request.path == kToolbarScriptPath && request.method == "GET") {
        auto script = readUnderRoot(root, request.path);
        if (!script) return std::nullopt;  // the file route answers 404
        Answer answer;
        answer.contentType = "application/javascript; charset=utf-8";
        answer.headers.push_back(nlohmann::json::array({"Cache-Control", "no-store"}));
        answer.body = replaced(std::move(*script), "{origin}", origin);
        return answer;
    }
    return std::nullopt;
}

}  // namespace adserver
