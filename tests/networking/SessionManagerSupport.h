#pragma once
// What the session-manager tests share: completions recorded by task, the
// completion notifications seen on the main thread, and byte helpers.
#include <doctest/doctest.h>
#include <openssl/evp.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "networking/NLSessionTaskNotifications.h"
#include "networking/NLURLSessionManager.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"
#include "support/TestEnvironment.h"

namespace managertest {

inline std::string pattern(std::size_t size, std::uint32_t seed = 2463534242u) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed;
    for (auto& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<char>(x);
    }
    return bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline Data data(const std::string& s) { return Data(s.begin(), s.end()); }
inline std::string text(const Data& d) { return std::string(d.begin(), d.end()); }

inline std::shared_ptr<NSMutableURLRequest> post(const std::string& url) {
    auto request = NSMutableURLRequest::requestWithURL(url);
    request->setHTTPMethod("POST");
    return request;
}

// One task's completion as its callback saw it.
struct Completion {
    bool done = false;
    bool onMain = false;
    std::shared_ptr<NSURLResponse> response;
    Value object;
    NSErrorPtr error;
};

// Completions by name, and the completion notifications by task.
class Completions {
public:
    Completions() {
        token_ = NSNotificationCenter::defaultCenter()->addObserverForName(
            NLNetworkingTaskDidCompleteNotification, nullptr, nullptr, [this](const NSNotification& note) {
                std::lock_guard lock(mutex_);
                notified_[note.object().get()] = note.userInfo();
                if (!NSThread::isMainThread()) notifiedOffMain_ = true;
            });
    }
    ~Completions() { NSNotificationCenter::defaultCenter()->removeObserver(token_.get()); }

    NLURLSessionCompletionHandler handler(const std::string& name) {
        return [this, name](const std::shared_ptr<NSURLResponse>& response, const Value& object, const NSErrorPtr& error) {
            std::lock_guard lock(mutex_);
            completions_[name] = {true, NSThread::isMainThread(), response, object, error};
        };
    }
    Completion operator[](const std::string& name) {
        std::lock_guard lock(mutex_);
        return completions_[name];
    }
    // Waits on the main run loop for the completion and its notification.
    Completion wait(const std::string& name, const std::shared_ptr<NSObject>& task, double timeout = 30) {
        INFO("waiting for the completion and notification of " << name);
        REQUIRE(testsupport::runMainUntil(
            [&] {
                std::lock_guard lock(mutex_);
                return completions_[name].done && notified_.count(task.get()) == 1;
            },
            timeout));
        return (*this)[name];
    }
    Value userInfo(const std::shared_ptr<NSObject>& task) {
        std::lock_guard lock(mutex_);
        return notified_[task.get()];
    }
    bool notifiedOffMain() {
        std::lock_guard lock(mutex_);
        return notifiedOffMain_;
    }

private:
    std::mutex mutex_;
    std::map<std::string, Completion> completions_;
    std::map<const NSObject*, Value> notified_;
    bool notifiedOffMain_ = false;
    std::shared_ptr<NSObject> token_;
};

// Counts calls that overlap or come on the main thread.
struct CallChecker {
    std::atomic<int> inCall{0}, overlaps{0}, onMain{0}, calls{0};
    struct Scope {
        explicit Scope(CallChecker& c) : c_(c) {
            if (c_.inCall++ != 0) c_.overlaps++;
            if (NSThread::isMainThread()) c_.onMain++;
            c_.calls++;
        }
        ~Scope() { c_.inCall--; }
        CallChecker& c_;
    };
};

}  // namespace managertest
