#include "platform/net/SCNetworkReachability.h"

#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/net/LoopThread.h"
#include "platform/net/SCNetworkReachabilityNetlink.h"

namespace {

constexpr double kPollInterval = 0.25;

// Where targets scheduled on a dispatch queue are watched.
std::shared_ptr<NSRunLoop> watchingLoop() {
    static const std::shared_ptr<NSRunLoop> loop = startLoopThread("com.quorvane.reachability.watching");
    return loop;
}

}  // namespace

class SCNetworkReachability : public NSObject {
public:
    struct Watch {
        std::weak_ptr<NSRunLoop> loop;
        NSRunLoopMode mode;
        dispatch_queue_t queue;  // where callbacks go; null: the loop's thread
        int fd = -1;
        NSRunLoop::SourceId source = 0;
        std::shared_ptr<NSTimer> timer;
        std::string method;
        std::uint64_t generation = 0;
    };

    ~SCNetworkReachability() override { stopWatching(); }

    std::optional<SCNetworkReachabilityFlags> read() const;
    void evaluate();
    void report(std::uint64_t generation, std::optional<SCNetworkReachabilityFlags> flags);
    bool startWatching(const std::shared_ptr<NSRunLoop>& loop, const NSRunLoopMode& mode, dispatch_queue_t queue);
    void stopWatching();
    void onWatchLoop(std::function<void()> block);
    static std::optional<SCNetworkReachabilityFlags> flagsFor(const std::vector<sockaddr_storage>& addresses);

    bool isName = false;
    sockaddr_storage address{};
    socklen_t length = 0;
    std::string name;

    mutable std::mutex mutex;  // guards everything below
    SCNetworkReachabilityCallBack callback;
    std::optional<SCNetworkReachabilityFlags> testFlags;
    bool unreadable = false;
    bool polling = false;
    std::shared_ptr<Watch> watch;
    std::optional<SCNetworkReachabilityFlags> lastReported;
    std::uint64_t generation = 0;
    bool resolving = false, resolveAgain = false;
};

std::optional<SCNetworkReachabilityFlags> SCNetworkReachability::flagsFor(
    const std::vector<sockaddr_storage>& addresses) {
    std::optional<SCNetworkReachabilityFlags> result;
    for (const auto& a : addresses) {
        const socklen_t size = a.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        auto flags = reachability::flagsForAddress(reinterpret_cast<const sockaddr*>(&a), size);
        if (flags && (*flags & kSCNetworkReachabilityFlagsReachable)) return flags;
        if (flags) result = 0u;
    }
    // A name without addresses is read: it cannot be reached.
    return addresses.empty() ? std::optional<SCNetworkReachabilityFlags>(0u) : result;
}

std::optional<SCNetworkReachabilityFlags> SCNetworkReachability::read() const {
    {
        std::lock_guard lock(mutex);
        if (unreadable) return std::nullopt;
        if (testFlags) return testFlags;
    }
    if (isName) return flagsFor(reachability::resolve(name));
    return reachability::flagsForAddress(reinterpret_cast<const sockaddr*>(&address), length);
}

void SCNetworkReachability::onWatchLoop(std::function<void()> block) {
    std::shared_ptr<NSRunLoop> loop;
    NSRunLoopMode mode;
    {
        std::lock_guard lock(mutex);
        if (!watch) return;
        loop = watch->loop.lock();
        mode = watch->mode;
    }
    if (loop) loop->performBlock(std::move(block), {mode});
}

// On the watch loop's thread.
void SCNetworkReachability::evaluate() {
    std::uint64_t current;
    bool resolveHere;
    {
        std::lock_guard lock(mutex);
        if (!watch) return;
        current = generation;
        resolveHere = isName && !testFlags && !unreadable;
        if (resolveHere && resolving) {
            resolveAgain = true;  // asked again once this lookup is in
            return;
        }
        if (resolveHere) resolving = true;
    }
    if (!resolveHere) return report(current, read());
    // Names are looked up off the watching thread.
    std::weak_ptr<SCNetworkReachability> weak = self<SCNetworkReachability>();
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [weak, current, name = name] {
        auto flags = flagsFor(reachability::resolve(name));
        auto target = weak.lock();
        if (!target) return;
        target->onWatchLoop([weak, current, flags] {
            auto t = weak.lock();
            if (!t) return;
            bool again;
            {
                std::lock_guard lock(t->mutex);
                t->resolving = false;
                again = std::exchange(t->resolveAgain, false);
            }
            t->report(current, flags);
            if (again) t->evaluate();
        });
    });
}

void SCNetworkReachability::report(std::uint64_t current, std::optional<SCNetworkReachabilityFlags> flags) {
    if (!flags) return;  // an unreadable state reports nothing
    SCNetworkReachabilityCallBack call;
    dispatch_queue_t queue;
    {
        std::lock_guard lock(mutex);
        if (!watch || generation != current || lastReported == flags) return;
        lastReported = flags;
        call = callback;
        queue = watch->queue;
    }
    if (!call) return;
    auto self = this->self<SCNetworkReachability>();
    if (queue) dispatch_async(queue, [self, call, f = *flags] { call(self, f); });
    else call(self, *flags);
}

bool SCNetworkReachability::startWatching(const std::shared_ptr<NSRunLoop>& loop, const NSRunLoopMode& mode,
                                          dispatch_queue_t queue) {
    // Addresses start from what they read now: only changes are reported.
    std::optional<SCNetworkReachabilityFlags> baseline = isName ? std::nullopt : read();
    auto w = std::make_shared<Watch>();
    w->loop = loop;
    w->mode = mode;
    w->queue = std::move(queue);
    bool poll;
    {
        std::lock_guard lock(mutex);
        if (watch) return false;
        poll = polling;
    }
    std::weak_ptr<SCNetworkReachability> weak = self<SCNetworkReachability>();
    w->fd = poll ? -1 : reachability::openChangeSocket();
    if (w->fd >= 0) {
        w->method = "netlink";
        w->source = loop->addFileDescriptor(
            w->fd, POLLIN,
            [weak](int fd, short) {
                reachability::drainChangeSocket(fd);
                if (auto target = weak.lock()) target->evaluate();
            },
            mode);
    } else {
        // No netlink here (or polling was asked for): the interfaces are read on a timer.
        w->method = "polling";
        w->timer = NSTimer::timerWithTimeInterval(
            kPollInterval,
            [weak](NSTimer&) {
                if (auto target = weak.lock()) target->evaluate();
            },
            true);
        loop->addTimer(w->timer, mode);
    }
    {
        std::lock_guard lock(mutex);
        w->generation = ++generation;
        lastReported = baseline;
        watch = w;
    }
    if (isName) onWatchLoop([weak] {
            if (auto target = weak.lock()) target->evaluate();
        });
    return true;
}

void SCNetworkReachability::stopWatching() {
    std::shared_ptr<Watch> w;
    {
        std::lock_guard lock(mutex);
        w = std::move(watch);
        watch.reset();
        ++generation;
        resolving = resolveAgain = false;
    }
    if (!w) return;
    if (w->timer) w->timer->invalidate();
    auto loop = w->loop.lock();
    if (loop && w->source) loop->removeFileDescriptor(w->source);
    if (w->fd < 0) return;
    // Closed on the loop's thread, after any read of it there.
    const int fd = w->fd;
    if (!loop || NSRunLoop::currentRunLoop() == loop) ::close(fd);
    else loop->performBlock([fd] { ::close(fd); }, {NSRunLoopCommonModes, NSDefaultRunLoopMode, w->mode});
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address) {
    if (!address || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) return nullptr;
    auto target = std::make_shared<SCNetworkReachability>();
    target->length = address->sa_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    std::memcpy(&target->address, address, target->length);
    return target;
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const char* nodename) {
    if (!nodename || !*nodename) return nullptr;
    auto target = std::make_shared<SCNetworkReachability>();
    target->isName = true;
    target->name = nodename;
    return target;
}

bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags* flags) {
    if (!target || !flags) return false;
    auto read = target->read();
    if (!read) return false;
    *flags = *read;
    return true;
}

bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callback) {
    if (!target) return false;
    std::lock_guard lock(target->mutex);
    target->callback = std::move(callback);
    return true;
}

bool SCNetworkReachabilityScheduleWithRunLoop(const SCNetworkReachabilityRef& target,
                                              const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    return target && runLoop && target->startWatching(runLoop, mode, nullptr);
}

bool SCNetworkReachabilityUnscheduleFromRunLoop(const SCNetworkReachabilityRef& target,
                                                const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    if (!target || !runLoop) return false;
    {
        std::lock_guard lock(target->mutex);
        if (!target->watch || target->watch->queue || target->watch->loop.lock() != runLoop ||
            target->watch->mode != mode)
            return false;
    }
    target->stopWatching();
    return true;
}

bool SCNetworkReachabilitySetDispatchQueue(const SCNetworkReachabilityRef& target, const dispatch_queue_t& queue) {
    if (!target) return false;
    if (queue) return target->startWatching(watchingLoop(), NSDefaultRunLoopMode, queue);
    {
        std::lock_guard lock(target->mutex);
        if (!target->watch || !target->watch->queue) return false;
    }
    target->stopWatching();
    return true;
}

void SCNetworkReachabilitySetTestFlags(const SCNetworkReachabilityRef& target,
                                       std::optional<SCNetworkReachabilityFlags> flags) {
    if (!target) return;
    {
        std::lock_guard lock(target->mutex);
        target->testFlags = flags;
    }
    std::weak_ptr<SCNetworkReachability> weak = target;
    target->onWatchLoop([weak] {
        if (auto t = weak.lock()) t->evaluate();
    });
}

void SCNetworkReachabilitySetTestUnreadable(const SCNetworkReachabilityRef& target, bool unreadable) {
    if (!target) return;
    std::lock_guard lock(target->mutex);
    target->unreadable = unreadable;
}

void SCNetworkReachabilitySetTestPolling(const SCNetworkReachabilityRef& target, bool polling) {
    if (!target) return;
    std::lock_guard lock(target->mutex);
    target->polling = polling;
}

std::string SCNetworkReachabilityWatchMethod(const SCNetworkReachabilityRef& target) {
    if (!target) return {};
    std::lock_guard lock(target->mutex);
    return target->watch ? target->watch->method : std::string();
}
