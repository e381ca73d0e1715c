#include "platform/foundation/NSObject.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "platform/foundation/ClassRegistry.h"

ObservationToken& ObservationToken::operator=(ObservationToken&& other) noexcept {
    if (this != &other) {
        disconnect();
        disconnect_ = std::move(other.disconnect_);
        other.disconnect_ = nullptr;
    }
    return *this;
}

void ObservationToken::disconnect() {
    if (disconnect_) {
        auto d = std::move(disconnect_);
        disconnect_ = nullptr;
        d();
    }
}

std::string demangledClassName(const std::type_info& type) {
    int status = 0;
    char* raw = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = (status == 0 && raw) ? raw : type.name();
    std::free(raw);
    // Drop namespaces and template arguments.
    auto lt = name.find('<');
    std::string head = lt == std::string::npos ? name : name.substr(0, lt);
    auto colon = head.rfind("::");
    if (colon != std::string::npos) name = name.substr(colon + 2);
    return name;
}

NSObject::NSObject() : alive_(std::make_shared<bool>(true)) {}

NSObject::~NSObject() { *alive_ = false; }

std::string NSObject::className() const { return demangledClassName(typeid(*this)); }

std::string NSObject::description() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, ": %p>", static_cast<const void*>(this));
    return "<" + className() + buf;
}

bool NSObject::isKindOf(const std::string& name) const {
    if (name == "NSObject") return true;
    auto own = className();
    return own == name || ClassRegistry::isSubclass(own, name);
}

void NSObject::setAssociatedObject(const void* key, std::shared_ptr<void> value) {
    std::shared_ptr<void> old;
    {
        std::lock_guard lock(mutex_);
        auto& slot = associated_[key];
        old = std::move(slot);
        if (value) slot = std::move(value);
        else associated_.erase(key);
    }
    // `old` is released outside the lock: its destructor may touch this object.
}

std::shared_ptr<void> NSObject::associatedObject(const void* key) const {
    std::lock_guard lock(mutex_);
    auto it = associated_.find(key);
    return it == associated_.end() ? nullptr : it->second;
}

ObservationToken NSObject::observeValueForKey(const std::string& key, KeyObserver observer, bool prior) {
    std::uint64_t id;
    {
        std::lock_guard lock(mutex_);
        id = nextObserverId_++;
        observers_[key].push_back({id, prior, std::make_shared<KeyObserver>(std::move(observer))});
    }
    std::weak_ptr<bool> alive = alive_;
    return ObservationToken([this, alive, key, id] {
        auto a = alive.lock();
        if (!a || !*a) return;
        std::lock_guard lock(mutex_);
        auto it = observers_.find(key);
        if (it == observers_.end()) return;
        std::erase_if(it->second, [id](const Observer& o) { return o.id == id; });
        if (it->second.empty()) observers_.erase(it);
    });
}

void NSObject::notify(const std::string& key, bool prior) {
    std::vector<std::shared_ptr<KeyObserver>> handlers;
    {
        std::lock_guard lock(mutex_);
        auto it = observers_.find(key);
        if (it == observers_.end()) return;
        for (const auto& o : it->second)
            if (o.prior == prior) handlers.push_back(o.handler);
    }
    for (const auto& h : handlers) (*h)(key);
}

void NSObject::willChangeValueForKey(const std::string& key) { notify(key, true); }
void NSObject::didChangeValueForKey(const std::string& key) { notify(key, false); }

std::size_t NSObject::observerCount(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = observers_.find(key);
    return it == observers_.end() ? 0 : it->second.size();
}
