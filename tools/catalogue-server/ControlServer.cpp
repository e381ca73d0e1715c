#include "ControlServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "ControlBody.h"
#include "ControlPlan.h"
#include "FaultMode.h"
#include "ListeningServer.h"

namespace catalogue {

namespace {

using Json = nlohmann::json;

constexpr int kLargestCount = 1000000;
constexpr long kLongestDelayMs = 600000;

using peers::objectBody;
using peers::refuse;

// The member when it is a string that is not empty, else null.
const Json* nonEmptyString(const Json& body, const char* key) {
    const auto found = body.find(key);
    return found != body.end() && found->is_string() && !found->get<std::string>().empty() ? &*found : nullptr;
}

// The body's object with its "action" and "count" checked; null after refusing.
std::optional<Json> orderBody(const httplib::Request& request, httplib::Response& response, std::string& action,
                              int& count) {
    auto body = objectBody(request, response);
    if (!body) return std::nullopt;
    const Json* a = nonEmptyString(*body, "action");
    if (!a) {
        refuse(response, "\"action\" must be the name of a catalogue action");
        return std::nullopt;
    }
    const auto c = body->find("count");
    if (c == body->end() || !c->is_number_integer() || c->get<long long>() < 1 || c->get<long long>() > kLargestCount) {
        refuse(response, "\"count\" must be a whole number from 1");
        return std::nullopt;
    }
    action = a->get<std::string>();
    count = c->get<int>();
    return body;
}

// A stream-file order's body: {"file": <name or "*">, <field>: <whole number from 0>}.
std::optional<std::pair<std::string, std::uint64_t>> mediaBody(const httplib::Request& request,
                                                               httplib::Response& response, const char* field) {
    auto body = objectBody(request, response);
    if (!body) return std::nullopt;
    const Json* file = nonEmptyString(*body, "file");
    if (!file) {
        refuse(response, "\"file\" must be the name of a stream file, or \"*\"");
        return std::nullopt;
    }
    const auto value = body->find(field);
    if (value == body->end() || !value->is_number_integer() || value->get<long long>() < 0) {
        refuse(response, "\"" + std::string(field) + "\" must be a whole number from 0");
        return std::nullopt;
    }
    return std::make_pair(file->get<std::string>(), value->get<std::uint64_t>());
}

}  // namespace

ControlServer::ControlServer(std::shared_ptr<ControlPlan> plan)
    : plan_(std::move(plan)), http_(std::make_unique<ListeningServer>()) {
    installRoutes();
}

ControlServer::~ControlServer() { stop(); }

bool ControlServer::start(int port, std::string& error) {
    if (port == 0) {
        port_ = http_->bind_to_any_port("127.0.0.1");
    } else {
        port_ = http_->bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (port_ <= 0 || !http_->widenBacklog()) {
        error = "cannot listen for control on 127.0.0.1" + (port ? ":" + std::to_string(port) : std::string());
        return false;
    }
    listening_.start(*http_);
    return true;
}

void ControlServer::stop() { listening_.stop(); }

void ControlServer::installRoutes() {
    http_->Get("/control/log", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(Json{{"requests", plan_->log()}}.dump(), "application/json");
    });
    // An order: the body's action and count checked, then the kind's own value,
    // which answers the reason it is refused (empty when it was taken).
    using Taker = std::function<std::string(const Json& body, const std::string& action, int count)>;
    const auto orderRoute = [this](const std::string& path, Taker take) {
        http_->Post(path, [take = std::move(take)](const httplib::Request& request, httplib::Response& response) {
            std::string action;
            int count = 0;
            auto body = orderBody(request, response, action, count);
            if (!body) return;
            if (std::string why = take(*body, action, count); !why.empty()) return refuse(response, why);
            response.set_content("{}", "application/json");
        });
    };
    orderRoute("/control/fault", [this](const Json& body, const std::string& action, int count) -> std::string {
        const auto f = body.find("fault");
        if (f == body.end() || !f->is_string()) return "\"fault\" must be a fault list";
        std::string why;
        auto plan = parseFaultPlan(f->get<std::string>(), "", why);
        if (!plan) return why;
        plan_->orderFault(action, count, *plan);
        return {};
    });
    orderRoute("/control/data", [this](const Json& body, const std::string& action, int count) -> std::string {
        if (!body.contains("data")) return "\"data\" is missing";
        plan_->orderData(action, count, body["data"]);
        return {};
    });
    orderRoute("/control/delay", [this](const Json& body, const std::string& action, int count) -> std::string {
        const auto ms = body.find("ms");
        if (ms == body.end() || !ms->is_number_integer() || ms->get<long long>() < 0 ||
            ms->get<long long>() > kLongestDelayMs)
            return "\"ms\" must be a whole number of milliseconds up to 600000";
        plan_->orderDelay(action, count, std::chrono::milliseconds(ms->get<long long>()));
        return {};
    });
    http_->Get("/control/media-log", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(Json{{"requests", plan_->mediaLog()}}.dump(), "application/json");
    });
    http_->Post("/control/media-rate", [this](const httplib::Request& request, httplib::Response& response) {
        auto order = mediaBody(request, response, "bytesPerSecond");
        if (!order) return;
        plan_->setMediaRate(order->first, order->second);
        response.set_content("{}", "application/json");
    });
    http_->Post("/control/media-drop", [this](const httplib::Request& request, httplib::Response& response) {
        auto order = mediaBody(request, response, "at");
        if (!order) return;
        plan_->orderMediaDrop(order->first, order->second);
        response.set_content("{}", "application/json");
    });
    http_->Post("/control/reset", [this](const httplib::Request&, httplib::Response& response) {
        plan_->reset();
        response.set_content("{}", "application/json");
    });
    http_->set_keep_alive_max_count(1);
}

}  // namespace catalogue
