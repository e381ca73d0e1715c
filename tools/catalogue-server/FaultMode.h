#pragma once
// Faults a test can ask the server to commit on one reply. A request names them by a
// query parameter, a header or a path prefix (see README.md); several may be joined by
// commas, at most one of them changing the reply itself, plus an optional delay.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace catalogue {

enum class Fault {
    None,
    Http500,    // HTTP 500 with a plain text body
    BadBase64,  // a body that is not Base64 of whole cipher blocks
    WrongKey,   // the envelope encrypted under another key
    LowerCase,  // the envelope's "msg" in lower case
    Scalar,     // a bare JSON string encrypted instead of the envelope
    Empty,      // an empty body with status 200
    Wrapped,    // the Base64 text broken into 76-column lines with CRLF
};

struct FaultPlan {
    Fault fault = Fault::None;
    std::chrono::milliseconds delay{0};
};

inline constexpr std::chrono::milliseconds kDefaultFaultDelay{1000};

// Parses a fault list such as "wrapped", "delay:250" or "lowercase,delay".
// `delayMs` (may be empty) sets the delay of a bare "delay". Empty optional with
// `error` set for an unknown name or two reply faults at once.
std::optional<FaultPlan> parseFaultPlan(std::string_view list, std::string_view delayMs, std::string& error);

std::string_view faultName(Fault fault);

}  // namespace catalogue
