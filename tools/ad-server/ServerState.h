#pragma once
// What both listening ports (HTTP and HTTPS) and the control endpoint share: the one
// request log, the unit table and constants in force, the faults ordered for coming
// requests, how far each unit's sequence of answers has gone, the whole server's mode (ServerModes.h), and the stop
// that releases every reply held back by a delay, a hang or the slow mode (going down releases the faults' too).
// Every method is safe from any thread (one mutex guards everything).
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ServerModes.h"

namespace adserver {

// A fault for the next `remaining` requests whose path begins with `pathPrefix`.
struct Fault {
    enum class Kind { Status, Delay, Hang, Close, Empty, Oversized, InvalidUtf8 };
    std::string pathPrefix;
    int remaining = 1;
    Kind kind = Kind::Status;
    int status = 500;               // Status: the status answered
    bool usualBody = false;         // Status: with the usual headers and body, not a plain text
    long delayMs = 0;               // Delay: the pause before the usual answer
    std::size_t bytes = 16u << 20;  // Oversized: the body's length
};

// "status", "delay", "hang", "close", "empty", "oversized", "invalid-utf8".
std::optional<Fault::Kind> faultKindNamed(const std::string& name);

class ServerState {
public:
    // The table and constants a reset returns to (those of --units, or the defaults).
    ServerState(nlohmann::json units, nlohmann::json constants);

    // Logs a request as it arrives and takes the first fault whose prefix begins its path, counted down (gone at
    // zero), under one lock: faults go to requests in the log's order, however their threads are scheduled.
    std::optional<Fault> arrive(nlohmann::json entry, const std::string& path);
    nlohmann::json log() const;

    nlohmann::json units() const;
    nlohmann::json constants() const;
    void setUnits(nlohmann::json units);
    void setConstants(nlohmann::json constants);

    // The ports of both schemes, set once both are bound, so either names the other's origin.
    void setPorts(int httpPort, int httpsPort);
    int port(const std::string& scheme) const;

    // Which element of a unit's "sequence" (of `length` answers) a request gets: with `next` (the first request
    // of a chain) the unit's k-th such request gets element k, the last repeating; otherwise the element the
    // unit's latest first request got. Replacing the units or a reset starts every unit at element 0 again.
    std::size_t sequenceIndex(const std::string& unit, std::size_t length, bool next);

    void addFault(Fault fault);

    // Forgets the log and every fault; the start-up units and constants come back.
    void reset();

    // The whole server's mode and how many times it has been set (a count a held answer waits on).
    ServerMode mode() const;
    std::size_t modeChanges() const;
    void setMode(ServerMode mode);

    // Waits up to `duration` (forever when null); false when the server is stopping or goes down meanwhile.
    bool waitUnlessStopping(std::optional<std::chrono::milliseconds> duration);
    // Waits up to `duration` unless the mode is set again after `changes` modes; false when the server is stopping.
    bool holdWhileMode(std::size_t changes, std::chrono::milliseconds duration);
    void stop();

private:
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    nlohmann::json log_ = nlohmann::json::array();
    const nlohmann::json initialUnits_;
    const nlohmann::json initialConstants_;
    nlohmann::json units_;
    nlohmann::json constants_;
    std::vector<Fault> faults_;
    std::map<std::string, std::size_t> sequenceCounts_;  // first requests per unit since the units were set
    ServerMode mode_;
    std::size_t modeChanges_ = 0;
    std::size_t downs_ = 0;  // switches to "down": they end every fault's hold
    int httpPort_ = 0;
    int httpsPort_ = 0;
};

}  // namespace adserver
