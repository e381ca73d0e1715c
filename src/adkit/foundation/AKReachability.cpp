#include "adkit/foundation/AKReachability.h"

#include <mutex>
#include <set>

namespace {

class SimulatedMonitor;

struct Network {
    std::mutex mutex;
    std::uint32_t flags = kAKReachabilityFlagsReachable;
    std::set<SimulatedMonitor*> running;
    AKReachability::Factory factory;
    AKReachability::DefaultRouteReader reader;
};

Network& network() {
    static Network* n = new Network;  // outlives monitors that static objects may still hold
    return *n;
}

class SimulatedMonitor final : public AKReachabilityMonitor {
public:
    ~SimulatedMonitor() override { stop(); }
    bool start(const dispatch_queue_t& queue, std::function<void(std::uint32_t)> callback) override {
        if (!queue || !callback) return false;
        std::lock_guard<std::mutex> lock(network().mutex);
        state_ = std::make_shared<State>();
        state_->queue = queue;
        state_->callback = std::move(callback);
        network().running.insert(this);
        report(network().flags);
        return true;
    }
    void stop() override {
        std::lock_guard<std::mutex> lock(network().mutex);
        network().running.erase(this);
        if (state_) {
            std::lock_guard<std::mutex> stateLock(state_->mutex);
            state_->stopped = true;
        }
        state_.reset();
    }
    // Under the network's lock.
    void report(std::uint32_t flags) {
        auto state = state_;
        if (!state) return;
        dispatch_async(state->queue, [state, flags] {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (!state->stopped) state->callback(flags);
        });
    }

private:
    struct State {
        dispatch_queue_t queue;
        std::function<void(std::uint32_t)> callback;
        std::mutex mutex;
        bool stopped = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace

namespace AKReachability {

std::unique_ptr<AKReachabilityMonitor> monitorForHost(const std::string& host) {
    Factory factory;
    {
        std::lock_guard<std::mutex> lock(network().mutex);
        factory = network().factory;
    }
    if (factory) return factory(host);
    if (host.empty()) return nullptr;
    return std::make_unique<SimulatedMonitor>();
}

std::optional<std::uint32_t> defaultRouteFlags() {
    DefaultRouteReader reader;
    {
        std::lock_guard<std::mutex> lock(network().mutex);
        if (!network().reader) return network().flags;
        reader = network().reader;
    }
    return reader();
}

void setFactory(Factory factory) {
    std::lock_guard<std::mutex> lock(network().mutex);
    network().factory = std::move(factory);
}

void setDefaultRouteReader(DefaultRouteReader reader) {
    std::lock_guard<std::mutex> lock(network().mutex);
    network().reader = std::move(reader);
}

void setSimulatedFlags(std::uint32_t flags) {
    std::lock_guard<std::mutex> lock(network().mutex);
    network().flags = flags;
    for (SimulatedMonitor* monitor : network().running) monitor->report(flags);
}

}  // namespace AKReachability
