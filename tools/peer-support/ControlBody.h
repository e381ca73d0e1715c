#pragma once
// The bodies of a peer's control endpoint: a JSON object, or a 400 with a plain text reason.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace peers {

// Answers 400 with the reason as plain text.
void refuse(httplib::Response& response, const std::string& why);
// The body as a JSON object; null after refusing it.
std::optional<nlohmann::json> objectBody(const httplib::Request& request, httplib::Response& response);

}  // namespace peers
