#pragma once
// The whole server's mode, switched through the control endpoint at any time (POST /control/mode):
//
//   {"mode": "healthy"}                       every answer as usual
//   {"mode": "down"}                          both ad ports closed (connections refused); any other mode
//                                             opens them again on the same ports
//   {"mode": "slow", "hold_ms": N,            every answer held N ms (0-600000, default 0), then its body
//    "trickle_bytes": B, "every_ms": T}       sent B bytes at a time (0: whole; default 64), T ms before
//                                             each piece after the first (0-600000, default 100); a change
//                                             of mode lets every held or trickling answer go at once
//   {"mode": "garbage", "item": "<item>"}     one kind of garbage (below)
//
// Garbage items, on every path of both ad ports:
//   "random"          200, the usual headers, `bytes` (default 65536) random bytes as body
//   "huge"            200, the usual headers, a body of `bytes` (default 52428800, 50 MiB) announced and sent
//   "redirect-loop"   302 to the very URL asked
//   "5xx"             `status` (500-599, default 500), a plain text body
// and on the ad endpoint (/adnet/ad) alone, everything else answering as usual:
//   "mediation-json"  200 with "X-Adnet-Mediation: 1" and a JSON body that ends midway
//   "script-loop", "alert-loop", "self-navigate", "message-flood", "open-windows"
//                     a hostile creative (HostileCreatives.h) instead of the unit's answer
#include <cstddef>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "UnitTable.h"

namespace adserver {

struct ServerMode {
    enum class Kind { Healthy, Down, Slow, Garbage };
    Kind kind = Kind::Healthy;
    long holdMs = 0;                   // Slow
    std::size_t trickleBytes = 64;     // Slow; 0: the body in one piece
    long everyMs = 100;                // Slow
    std::string item;                  // Garbage
    std::size_t bytes = 0;             // Garbage "random" and "huge"
    int status = 500;                  // Garbage "5xx"

    bool trickles() const { return kind == Kind::Slow && trickleBytes > 0; }
};

// The mode a control body asks for; null with `error` set when it is not one.
std::optional<ServerMode> serverModeOf(const nlohmann::json& body, std::string& error);
// The mode as the control endpoint reports it (the members that apply).
nlohmann::json describeMode(const ServerMode& mode);

// Whether the garbage item replaces the answer of this path.
bool garbageApplies(const ServerMode& mode, const std::string& path);
// The garbage answer for a request (`target` the path and query asked) instead of `usual`. A "huge" answer keeps a
// short body and sets `Answer::repeatTo`.
Answer garbageAnswer(const ServerMode& mode, Answer usual, const std::string& origin, const std::string& target);

}  // namespace adserver
