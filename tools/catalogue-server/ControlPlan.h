#pragma once
// What a test told the server through the control endpoint, and what the server
// reports back: the log of catalogue requests received (action and parameters,
// in order), and per action queues of faults, replacement data and delays, each
// for the next N replies of that action. Any thread.
#include <chrono>
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

class ControlPlan {
public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;

    // Every catalogue request that arrived, before anything is checked.
    void record(const std::string& action, const Parameters& parameters);
    nlohmann::json log() const;  // [{"action": ..., "parameters": {name: value, ...}}, ...]

    // Orders for the next `count` replies of the action; a later order of the same
    // kind replaces what is left of an earlier one.
    void orderFault(const std::string& action, int count, FaultPlan fault);
    void orderData(const std::string& action, int count, nlohmann::json data);
    void orderDelay(const std::string& action, int count, std::chrono::milliseconds delay);
    // Forgets the log and every order.
    void reset();

    // Takes one reply's worth of the orders for the action.
    ControlledReply take(const std::string& action);

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
};

}  // namespace catalogue
