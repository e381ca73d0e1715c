#include "ServerState.h"

#include <algorithm>
#include <utility>

namespace adserver {

std::optional<Fault::Kind> faultKindNamed(const std::string& name) {
    using K = Fault::Kind;
    static const std::pair<const char*, K> kNames[] = {
        {"status", K::Status}, {"delay", K::Delay},         {"hang", K::Hang},
        {"close", K::Close},   {"empty", K::Empty},         {"oversized", K::Oversized},
        {"invalid-utf8", K::InvalidUtf8},
    };
    for (const auto& [n, kind] : kNames)
        if (name == n) return kind;
    return std::nullopt;
}

ServerState::ServerState(nlohmann::json units, nlohmann::json constants)
    : initialUnits_(units), initialConstants_(constants), units_(std::move(units)), constants_(std::move(constants)) {}

std::optional<Fault> ServerState::arrive(nlohmann::json entry, const std::string& path) {
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(entry));
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (!path.starts_with(it->pathPrefix)) continue;
        Fault taken = *it;
        if (--it->remaining <= 0) faults_.erase(it);
        return taken;
    }
    return std::nullopt;
}

nlohmann::json ServerState::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void ServerState::setPorts(int httpPort, int httpsPort) {
    std::lock_guard lock(mutex_);
    httpPort_ = httpPort;
    httpsPort_ = httpsPort;
}

int ServerState::port(const std::string& scheme) const {
    std::lock_guard lock(mutex_);
    return scheme == "https" ? httpsPort_ : httpPort_;
}

nlohmann::json ServerState::units() const {
    std::lock_guard lock(mutex_);
    return units_;
}

nlohmann::json ServerState::constants() const {
    std::lock_guard lock(mutex_);
    return constants_;
}

void ServerState::setUnits(nlohmann::json units) {
    std::lock_guard lock(mutex_);
    units_ = std::move(units);
    sequenceCounts_.clear();
}

std::size_t ServerState::sequenceIndex(const std::string& unit, std::size_t length, bool next) {
    std::lock_guard lock(mutex_);
    std::size_t& count = sequenceCounts_[unit];
    const std::size_t taken = next ? count++ : (count > 0 ? count - 1 : 0);
    return std::min(taken, length - 1);
}

void ServerState::setConstants(nlohmann::json constants) {
    std::lock_guard lock(mutex_);
    constants_ = std::move(constants);
}

void ServerState::addFault(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void ServerState::reset() {
    std::lock_guard lock(mutex_);
    log_ = nlohmann::json::array();
    faults_.clear();
    sequenceCounts_.clear();
    units_ = initialUnits_;
    constants_ = initialConstants_;
}

bool ServerState::waitUnlessStopping(std::optional<std::chrono::milliseconds> duration) {
    std::unique_lock lock(mutex_);
    const std::size_t downs = downs_;
    const auto ended = [&] { return stopping_ || downs_ != downs; };
    if (duration)
        stopped_.wait_for(lock, *duration, ended);
    else
        stopped_.wait(lock, ended);
    return !ended();
}

ServerMode ServerState::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

std::size_t ServerState::modeChanges() const {
    std::lock_guard lock(mutex_);
    return modeChanges_;
}

void ServerState::setMode(ServerMode mode) {
    {
        std::lock_guard lock(mutex_);
        if (mode.kind == ServerMode::Kind::Down) ++downs_;
        mode_ = std::move(mode);
        ++modeChanges_;
    }
    stopped_.notify_all();
}

bool ServerState::holdWhileMode(std::size_t changes, std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    stopped_.wait_for(lock, duration, [&] { return stopping_ || modeChanges_ != changes; });
    return !stopping_;
}

void ServerState::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
}

}  // namespace adserver
