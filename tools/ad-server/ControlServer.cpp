#include "ControlServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <optional>

#include "ControlBody.h"
#include "ServerState.h"
#include "UnitTable.h"

namespace adserver {

namespace {

using Json = nlohmann::json;

constexpr long long kLargestCount = 1000000;
constexpr long long kLongestDelayMs = 600000;
constexpr long long kLargestBody = 1ll << 30;

using peers::objectBody;
using peers::refuse;

void accept(httplib::Response& response) { response.set_content("{}", "application/json"); }

// The member as a whole number in [low, high], `fallback` when absent; null when it is neither.
std::optional<long long> wholeNumber(const Json& body, const char* key, long long low, long long high,
                                     std::optional<long long> fallback) {
    if (!body.contains(key)) return fallback;
    const Json& value = body[key];
    if (!value.is_number_integer() || value.get<long long>() < low || value.get<long long>() > high)
        return std::nullopt;
    return value.get<long long>();
}

// {"path", "count", "kind", and "status" ["usualBody"] | "ms" | "bytes"} as a fault; null with `error` set.
std::optional<Fault> faultOf(const Json& body, std::string& error) {
    Fault fault;
    const auto path = body.find("path");
    const auto kind = body.find("kind");
    const auto count = wholeNumber(body, "count", 1, kLargestCount, 1);
    const auto status = wholeNumber(body, "status", 100, 599, 500);
    const auto ms = wholeNumber(body, "ms", 0, kLongestDelayMs, 1000);
    const auto bytes = wholeNumber(body, "bytes", 0, kLargestBody, fault.bytes);
    const auto usualBody = body.find("usualBody");
    const auto named = kind != body.end() && kind->is_string() ? faultKindNamed(kind->get<std::string>()) : std::nullopt;
    if (path == body.end() || !path->is_string() || !path->get<std::string>().starts_with("/")) {
        error = "\"path\" must be a path prefix beginning with /";
    } else if (!named) {
        error = "\"kind\" must be status, delay, hang, close, empty, oversized or invalid-utf8";
    } else if (!count || !status || !ms || !bytes) {
        error = "\"count\" (from 1), \"status\" (100-599), \"ms\" (0-600000) and \"bytes\" must be whole numbers";
    } else if (usualBody != body.end() && !usualBody->is_boolean()) {
        error = "\"usualBody\" must be true or false";
    } else {
        fault.pathPrefix = path->get<std::string>();
        fault.kind = *named;
        fault.remaining = static_cast<int>(*count);
        fault.status = static_cast<int>(*status);
        fault.usualBody = usualBody != body.end() && usualBody->get<bool>();
        fault.delayMs = static_cast<long>(*ms);
        fault.bytes = static_cast<std::size_t>(*bytes);
        return fault;
    }
    return std::nullopt;
}

}  // namespace

ControlServer::ControlServer(std::shared_ptr<ServerState> state, ModeSetter setMode)
    : state_(std::move(state)), setMode_(std::move(setMode)), http_(std::make_unique<httplib::Server>()) {
    http_->set_keep_alive_max_count(1);
    installRoutes();
}

ControlServer::~ControlServer() { stop(); }

void ControlServer::installRoutes() {
    http_->Get("/control/log", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(Json{{"requests", state_->log()}}.dump(), "application/json");
    });
    http_->Post("/control/units", [this](const httplib::Request& request, httplib::Response& response) {
        auto body = objectBody(request, response);
        std::string error;
        if (!body) return;
        if (!checkUnitTable(*body, error)) return refuse(response, error);
        if (body->contains("units")) state_->setUnits((*body)["units"]);
        if (body->contains("constants")) state_->setConstants((*body)["constants"]);
        accept(response);
    });
    http_->Post("/control/constants", [this](const httplib::Request& request, httplib::Response& response) {
        auto body = objectBody(request, response);
        std::string error;
        if (!body) return;
        if (!checkConstants(*body, error)) return refuse(response, error);
        state_->setConstants(std::move(*body));
        accept(response);
    });
    http_->Post("/control/fault", [this](const httplib::Request& request, httplib::Response& response) {
        auto body = objectBody(request, response);
        std::string error;
        if (!body) return;
        auto fault = faultOf(*body, error);
        if (!fault) return refuse(response, error);
        state_->addFault(std::move(*fault));
        accept(response);
    });
    http_->Post("/control/reset", [this](const httplib::Request&, httplib::Response& response) {
        std::string error;
        if (!setMode_(ServerMode{}, error)) {
            response.status = 500;
            return response.set_content(error + "\n", "text/plain; charset=utf-8");
        }
        state_->reset();
        accept(response);
    });
    http_->Get("/control/mode", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(describeMode(state_->mode()).dump(), "application/json");
    });
    http_->Post("/control/mode", [this](const httplib::Request& request, httplib::Response& response) {
        auto body = objectBody(request, response);
        std::string error;
        if (!body) return;
        const auto mode = serverModeOf(*body, error);
        if (!mode) return refuse(response, error);
        if (!setMode_(*mode, error)) {
            response.status = 500;
            return response.set_content(error + "\n", "text/plain; charset=utf-8");
        }
        accept(response);
    });
}

bool ControlServer::start(int port, std::string& error) {
    port_ = port == 0 ? http_->bind_to_any_port("127.0.0.1") : (http_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (port_ <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " for the control endpoint";
        return false;
    }
    listening_.start(*http_);
    return true;
}

void ControlServer::stop() { listening_.stop(); }

}  // namespace adserver
