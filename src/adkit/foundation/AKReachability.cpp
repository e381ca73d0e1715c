#include "adkit/foundation/AKReachability.h"

#include <netinet/in.h>

#include <atomic>
#include <mutex>
#include <set>

#include "platform/foundation/ProcessLifetime.h"
#include "platform/net/SCNetworkReachability.h"

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
    static ProcessLifetime<Network> n;  // outlives monitors that static objects may still hold
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

// A host watched by the platform's reachability, reporting on the monitor's queue.
class PlatformMonitor final : public AKReachabilityMonitor {
public:
    explicit PlatformMonitor(SCNetworkReachabilityRef target) : target_(std::move(target)) {}
    ~PlatformMonitor() override { stop(); }
    bool start(const dispatch_queue_t& queue, std::function<void(std::uint32_t)> callback) override {
        if (!queue || !callback || stopped_) return false;  // one start at a time
        auto stopped = std::make_shared<std::atomic<bool>>(false);
        if (!SCNetworkReachabilitySetCallback(target_, [callback, stopped](const SCNetworkReachabilityRef&,
                                                                            SCNetworkReachabilityFlags flags) {
                if (!stopped->load()) callback(flags);
            }))
            return false;
        if (!SCNetworkReachabilitySetDispatchQueue(target_, queue)) return false;
        stopped_ = std::move(stopped);
        return true;
    }
    void stop() override {
        if (!stopped_) return;
        stopped_->store(true);  // a report already queued is not delivered
        stopped_.reset();
        (void)SCNetworkReachabilitySetDispatchQueue(target_, nullptr);  // false: was not watching
        (void)SCNetworkReachabilitySetCallback(target_, nullptr);
    }

private:
    SCNetworkReachabilityRef target_;
    std::shared_ptr<std::atomic<bool>> stopped_;
};

}  // namespace

namespace AKReachability {

void connectPlatform() {
    setFactory([](const std::string& host) -> std::unique_ptr<AKReachabilityMonitor> {
        auto target = SCNetworkReachabilityCreateWithName(host.c_str());
        if (!target) return nullptr;
        return std::make_unique<PlatformMonitor>(std::move(target));
    });
    setDefaultRouteReader([]() -> std::optional<std::uint32_t> {
        sockaddr_in any{};
        any.sin_family = AF_INET;
        auto target = SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&any));
        SCNetworkReachabilityFlags flags = 0;
        if (!target || !SCNetworkReachabilityGetFlags(target, &flags)) return std::nullopt;
        return flags;
    });
}


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
