#pragma once
// The root of every object with identity: shared ownership, associated objects,
// key-value observation and the class name. (Delayed performs and performs on
// a thread belong to the run loop a layer up: NSRunLoop::schedulePerform and
// cancelPerforms, NSThread::perform.)
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class NSObject;

// Disconnects its observation when destroyed (or when disconnect() is called).
class ObservationToken {
public:
    ObservationToken() = default;
    ObservationToken(ObservationToken&&) noexcept = default;
    ObservationToken& operator=(ObservationToken&& other) noexcept;
    ObservationToken(const ObservationToken&) = delete;
    ObservationToken& operator=(const ObservationToken&) = delete;
    ~ObservationToken() { disconnect(); }
    void disconnect();
    bool connected() const { return static_cast<bool>(disconnect_); }

private:
    friend class NSObject;
    explicit ObservationToken(std::function<void()> d) : disconnect_(std::move(d)) {}
    std::function<void()> disconnect_;
};

class NSObject : public std::enable_shared_from_this<NSObject> {
public:
    NSObject();
    virtual ~NSObject();
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    // The class name as the program declares it (without namespaces).
    virtual std::string className() const;
    virtual std::string description() const;
    // True for the object's own class and, through the class registry, its ancestors.
    bool isKindOf(const std::string& name) const;

    template <class T = NSObject>
    std::shared_ptr<T> self() {
        return std::dynamic_pointer_cast<T>(shared_from_this());
    }
    template <class T = NSObject>
    std::shared_ptr<const T> self() const {
        return std::dynamic_pointer_cast<const T>(shared_from_this());
    }
    template <class T = NSObject>
    std::weak_ptr<T> weakSelf() {
        return std::weak_ptr<T>(self<T>());
    }

    // Associated objects: state an extension keeps on an object it does not own.
    void setAssociatedObject(const void* key, std::shared_ptr<void> value);
    std::shared_ptr<void> associatedObject(const void* key) const;
    template <class T>
    std::shared_ptr<T> associated(const void* key) const {
        return std::static_pointer_cast<T>(associatedObject(key));
    }

    // Key-value observation of named properties. Observers run synchronously on
    // the thread that changes the value; prior observers run before the change.
    using KeyObserver = std::function<void(const std::string& key)>;
    [[nodiscard]] ObservationToken observeValueForKey(const std::string& key, KeyObserver observer,
                                                      bool prior = false);
    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);
    std::size_t observerCount(const std::string& key) const;

private:
    struct Observer {
        std::uint64_t id;
        bool prior;
        std::shared_ptr<KeyObserver> handler;
    };
    void notify(const std::string& key, bool prior);
    mutable std::mutex mutex_;
    std::map<const void*, std::shared_ptr<void>> associated_;
    std::map<std::string, std::vector<Observer>> observers_;
    std::uint64_t nextObserverId_ = 1;
    std::shared_ptr<bool> alive_;
};

// Demangled, namespace-free name of a C++ type.
std::string demangledClassName(const std::type_info& type);
template <class T>
std::string NSStringFromClass() {
    return demangledClassName(typeid(T));
}
