#include "ControlPlan.h"

namespace catalogue {

namespace {

// One use of an order: its value while some remain.
template <class Map, class T>
bool takeOne(Map& orders, const std::string& action, T& out) {
    auto found = orders.find(action);
    if (found == orders.end()) return false;
    out = found->second.value;
    if (--found->second.remaining <= 0) orders.erase(found);
    return true;
}

}  // namespace

ControlledReply ControlPlan::arrive(const std::string& action, const Parameters& parameters, bool answered) {
    nlohmann::json named = nlohmann::json::object();
    for (const auto& [name, value] : parameters) named[name] = value;
    ControlledReply reply;
    std::lock_guard lock(mutex_);
    log_.push_back({{"action", action}, {"parameters", std::move(named)}});
    if (!answered) return reply;
    takeOne(faults_, action, reply.fault);
    nlohmann::json data;
    if (takeOne(data_, action, data)) reply.data = std::move(data);
    std::chrono::milliseconds delay{0};
    if (takeOne(delays_, action, delay)) reply.fault.delay += delay;
    return reply;
}

nlohmann::json ControlPlan::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void ControlPlan::orderFault(const std::string& action, int count, FaultPlan fault) {
    std::lock_guard lock(mutex_);
    faults_[action] = {count, fault};
}

void ControlPlan::orderData(const std::string& action, int count, nlohmann::json data) {
    std::lock_guard lock(mutex_);
    data_[action] = {count, std::move(data)};
}

void ControlPlan::orderDelay(const std::string& action, int count, std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    delays_[action] = {count, delay};
}

void ControlPlan::reset() {
    std::lock_guard lock(mutex_);
    log_ = nlohmann::json::array();
    faults_.clear();
    data_.clear();
    delays_.clear();
    mediaLog_ = nlohmann::json::array();
    mediaRates_.clear();
    mediaDrops_.clear();
}

void ControlPlan::setMediaRate(const std::string& file, std::uint64_t bytesPerSecond) {
    std::lock_guard lock(mutex_);
    if (bytesPerSecond == 0) mediaRates_.erase(file);
    else mediaRates_[file] = bytesPerSecond;
}

void ControlPlan::orderMediaDrop(const std::string& file, std::uint64_t at) {
    std::lock_guard lock(mutex_);
    mediaDrops_[file] = at;
}

MediaPlan ControlPlan::takeMedia(const std::string& file, const std::string& range, std::uint64_t first,
                                 std::uint64_t end) {
    MediaPlan plan;
    std::lock_guard lock(mutex_);
    mediaLog_.push_back({{"file", file}, {"range", range.empty() ? nlohmann::json() : nlohmann::json(range)}});
    auto rate = mediaRates_.find(file);
    if (rate == mediaRates_.end()) rate = mediaRates_.find(kEveryMediaFile);
    if (rate != mediaRates_.end()) plan.bytesPerSecond = rate->second;
    auto drop = mediaDrops_.find(file);
    if (drop == mediaDrops_.end()) drop = mediaDrops_.find(kEveryMediaFile);
    if (drop != mediaDrops_.end() && drop->second >= first && drop->second < end) {
        plan.dropAt = drop->second;
        mediaDrops_.erase(drop);
    }
    return plan;
}

nlohmann::json ControlPlan::mediaLog() const {
    std::lock_guard lock(mutex_);
    return mediaLog_;
}

}  // namespace catalogue
