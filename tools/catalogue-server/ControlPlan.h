#pragma once
// What a test told the server through the control endpoint, and what the server
// reports back: the log of catalogue requests received (action and parameters,
// in order), and per action queues of faults, replacement data and delays, each
// for the next N replies of that action; for stream files, a pace per file and a
// one-time cut of the connection at a chosen byte, and the log of the files asked
// for. Any thread.
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "FaultMode.h"

namespace catalogue {

// What the control endpoint adds to one reply.
struct ControlledReply {
    FaultPlan fault;                     // Fault::None and no delay when nothing is ordered
    std::optional<nlohmann::json> data;  // replaces the envelope's "data"
};

// What the control endpoint does to one reply of a stream file.
struct MediaPlan {
    std::uint64_t bytesPerSecond = 0;     // 0: as fast as it goes
    std::optional<std::uint64_t> dropAt;  // the connection closes before this byte of the file
};

// Orders for stream files name one file, or "*" for every file without an order of its own.
inline constexpr const char* kEveryMediaFile = "*";

class ControlPlan {
public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;

    // Logs a catalogue request as it arrives and, when it is to be answered (not
    // refused as malformed or unsigned), takes one reply's worth of the orders for
    // its action under the same lock: orders go to requests in the log's order,
    // however the threads answering them are scheduled.
    ControlledReply arrive(const std::string& action, const Parameters& parameters, bool answered);
    // Every catalogue request that arrived.
    nlohmann::json log() const;  // [{"action": ..., "parameters": {name: value, ...}}, ...]

    // Orders for the next `count` replies of the action; a later order of the same
    // kind replaces what is left of an earlier one.
    void orderFault(const std::string& action, int count, FaultPlan fault);
    void orderData(const std::string& action, int count, nlohmann::json data);
    void orderDelay(const std::string& action, int count, std::chrono::milliseconds delay);
    // Paces every later reply of the file; 0 lifts the pace.
    void setMediaRate(const std::string& file, std::uint64_t bytesPerSecond);
    // The next reply of the file that carries byte `at` closes its connection
    // after the bytes before it; replies that do not carry it leave the order waiting.
    void orderMediaDrop(const std::string& file, std::uint64_t at);
    // Forgets the logs and every order.
    void reset();

    // Logs a request of a stream file (its Range header, empty for none) and takes
    // the plan of its reply, which carries the bytes from `first` up to `end`.
    MediaPlan takeMedia(const std::string& file, const std::string& range, std::uint64_t first, std::uint64_t end);
    nlohmann::json mediaLog() const;  // [{"file": ..., "range": ... or null}, ...]

private:
    template <class T>
    struct Order {
        int remaining = 0;
        T value;
    };
    mutable std::mutex mutex_;
    nlohmann::json log_ = nlohmann::json::array();
    std::map<std::string, Order<FaultPlan>> faults_;
    std::map<std::string, Order<nlohmann::json>> data_;
    std::map<std::string, Order<std::chrono::milliseconds>> delays_;
    nlohmann::json mediaLog_ = nlohmann::json::array();
    std::map<std::string, std::uint64_t> mediaRates_;
    std::map<std::string, std::uint64_t> mediaDrops_;
};

}  // namespace catalogue
