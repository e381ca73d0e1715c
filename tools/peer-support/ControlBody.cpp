#include "ControlBody.h"

#include <httplib.h>

namespace peers {

void refuse(httplib::Response& response, const std::string& why) {
    response.status = 400;
    response.set_content(why + "\n", "text/plain");
}

std::optional<nlohmann::json> objectBody(const httplib::Request& request, httplib::Response& response) {
    nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        refuse(response, "the body must be a JSON object");
        return std::nullopt;
    }
    return body;
}

}  // namespace peers
