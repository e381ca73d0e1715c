#include "platform/net/NSURLProtocol.h"

#include <mutex>

#include "platform/foundation/ProcessLifetime.h"

namespace {
struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<const NSURLProtocol::Class>> classes;  // oldest first
    std::vector<std::shared_ptr<const std::function<void()>>> observers;
};

Registry& registry() {
    static ProcessLifetime<Registry> instance;  // asked from loading threads until the process ends
    return *instance;
}

void notifyObservers() {
    std::vector<std::shared_ptr<const std::function<void()>>> observers;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        observers = r.observers;
    }
    for (const auto& observer : observers) (*observer)();
}
}  // namespace

NSURLProtocol::NSURLProtocol(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSCachedURLResponse> cachedResponse,
                             std::shared_ptr<NSURLProtocolClient> client)
    : request_(std::move(request)), cachedResponse_(std::move(cachedResponse)), client_(std::move(client)) {}

bool NSURLProtocol::registerClass(Class protocolClass) {
    if (protocolClass.name.empty() || !protocolClass.canInitWithRequest || !protocolClass.make) return false;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        std::erase_if(r.classes, [&](const auto& c) { return c->name == protocolClass.name; });
        r.classes.push_back(std::make_shared<const Class>(std::move(protocolClass)));
    }
    notifyObservers();
    return true;
}

void NSURLProtocol::unregisterClass(const std::string& name) {
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        std::erase_if(r.classes, [&](const auto& c) { return c->name == name; });
    }
    notifyObservers();
}

void NSURLProtocol::addRegistrationObserver(std::function<void()> observer) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.observers.push_back(std::make_shared<const std::function<void()>>(std::move(observer)));
}

std::shared_ptr<const NSURLProtocol::Class> NSURLProtocol::classForRequest(const NSURLRequest& request) {
    std::vector<std::shared_ptr<const Class>> classes;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        classes = r.classes;
    }
    // Asked outside the lock: a class may look at its own state under its own lock.
    for (auto it = classes.rbegin(); it != classes.rend(); ++it) {
        if ((*it)->canInitWithRequest(request)) return *it;
    }
    return nullptr;
}

std::set<std::string> NSURLProtocol::claimedLastPathComponents() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::set<std::string> names;
    for (const auto& c : r.classes) names.insert(c->claimedLastPathComponents.begin(), c->claimedLastPathComponents.end());
    return names;
}
