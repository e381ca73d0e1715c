#pragma once
// Helpers shared by the parts of the device screen's HTTP interface.
#include <string>

#include <nlohmann/json.hpp>

#include "platform/display/DeviceScreenApi.h"

namespace display::api {

using Json = nlohmann::json;

DeviceHttpResponse json(int status, const Json& body);
DeviceHttpResponse error(int status, const std::string& message);
// 503 for an outcome other than Answered.
DeviceHttpResponse unanswered(bool cancelled, double timeoutSeconds);

}  // namespace display::api
