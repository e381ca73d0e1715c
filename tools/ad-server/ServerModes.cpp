#include "ServerModes.h"

#include <algorithm>
#include <random>

#include "HostileCreatives.h"

namespace adserver {

namespace {

using Json = nlohmann::json;

constexpr long long kLongestMs = 600000;
constexpr long long kLargestBody = 1ll << 30;
constexpr std::size_t kRandomBytes = 65536;
constexpr std::size_t kHugeBytes = 50u << 20;
// A mediation answer cut off midway: no JSON reader accepts it.
constexpr const char* kBrokenMediation = R"({"ad_networks": [{"id": "n0", "adapters": ["AKMAdapterHTML"], "data": {)";

const char* const kEverywhereItems[] = {"random", "huge", "redirect-loop", "5xx"};

bool isEverywhereItem(const std::string& item) {
    for (const char* name : kEverywhereItems)
        if (item == name) return true;
    return false;
}

// The member as a whole number in [low, high], `fallback` when absent; null when it is neither.
std::optional<long long> number(const Json& body, const char* key, long long low, long long high, long long fallback) {
    if (!body.contains(key)) return fallback;
    const Json& value = body[key];
    if (!value.is_number_integer() || value.get<long long>() < low || value.get<long long>() > high)
        return std::nullopt;
    return value.get<long long>();
}

std::string randomBytes(std::size_t count) {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

}  // namespace

std::optional<ServerMode> serverModeOf(const Json& body, std::string& error) {
    ServerMode mode;
    const std::string name = body.contains("mode") && body["mode"].is_string() ? body["mode"].get<std::string>() : "";
    if (name == "healthy" || name == "down") {
        mode.kind = name == "down" ? ServerMode::Kind::Down : ServerMode::Kind::Healthy;
        return mode;
    }
    if (name == "slow") {
        const auto hold = number(body, "hold_ms", 0, kLongestMs, 0);
        const auto bytes = number(body, "trickle_bytes", 0, kLargestBody, 64);
        const auto every = number(body, "every_ms", 0, kLongestMs, 100);
        if (!hold || !bytes || !every) {
            error = "\"hold_ms\" and \"every_ms\" (0-600000) and \"trickle_bytes\" must be whole numbers";
            return std::nullopt;
        }
        mode.kind = ServerMode::Kind::Slow;
        mode.holdMs = static_cast<long>(*hold);
        mode.trickleBytes = static_cast<std::size_t>(*bytes);
        mode.everyMs = static_cast<long>(*every);
        return mode;
    }
    if (name == "garbage") {
        mode.kind = ServerMode::Kind::Garbage;
        mode.item = body.contains("item") && body["item"].is_string() ? body["item"].get<std::string>() : "";
        const auto bytes = number(body, "bytes", 0, kLargestBody, mode.item == "huge" ? kHugeBytes : kRandomBytes);
        const auto status = number(body, "status", 500, 599, 500);
        if (!isEverywhereItem(mode.item) && mode.item != "mediation-json" && !isHostileItem(mode.item)) {
            error = "\"item\" must be random, huge, redirect-loop, 5xx, mediation-json, script-loop, alert-loop, "
                    "self-navigate, message-flood or open-windows";
        } else if (!bytes || !status) {
            error = "\"bytes\" must be a whole number and \"status\" one from 500 to 599";
        } else {
            mode.bytes = static_cast<std::size_t>(*bytes);
            mode.status = static_cast<int>(*status);
            return mode;
        }
        return std::nullopt;
    }
    error = "\"mode\" must be healthy, down, slow or garbage";
    return std::nullopt;
}

Json describeMode(const ServerMode& mode) {
    switch (mode.kind) {
    case ServerMode::Kind::Healthy: return {{"mode", "healthy"}};
    case ServerMode::Kind::Down: return {{"mode", "down"}};
    case ServerMode::Kind::Slow:
        return {{"mode", "slow"}, {"hold_ms", mode.holdMs}, {"trickle_bytes", mode.trickleBytes}, {"every_ms", mode.everyMs}};
    case ServerMode::Kind::Garbage: break;
    }
    Json out = {{"mode", "garbage"}, {"item", mode.item}};
    if (mode.item == "random" || mode.item == "huge") out["bytes"] = mode.bytes;
    if (mode.item == "5xx") out["status"] = mode.status;
    return out;
}

bool garbageApplies(const ServerMode& mode, const std::string& path) {
    if (mode.kind != ServerMode::Kind::Garbage) return false;
    return isEverywhereItem(mode.item) || path == "/adnet/ad";
}

Answer garbageAnswer(const ServerMode& mode, Answer usual, const std::string& origin, const std::string& target) {
    Answer answer;
    if (mode.item == "random" || mode.item == "huge") {
        answer.headers = usual.headers;
        answer.contentType = usual.contentType;
        answer.body = randomBytes(mode.item == "random" ? mode.bytes : std::min<std::size_t>(mode.bytes, 65536));
        if (mode.item == "huge") answer.repeatTo = mode.bytes;
    } else if (mode.item == "redirect-loop") {
        answer.status = 302;
        answer.headers.push_back(nlohmann::json::array({"Location", origin + target}));
    } else if (mode.item == "5xx") {
        answer.status = mode.status;
        answer.contentType = "text/plain; charset=utf-8";
        answer.body = "garbage: status " + std::to_string(mode.status) + "\n";
    } else if (mode.item == "mediation-json") {
        answer.headers.push_back(nlohmann::json::array({"X-Adnet-Mediation", "1"}));
        answer.contentType = "application/json";
        answer.body = kBrokenMediation;
    } else {
        answer.contentType = "text/html; charset=utf-8";
        answer.body = hostileCreative(mode.item, origin).value_or("");
    }
    return answer;
}

}  // namespace adserver
