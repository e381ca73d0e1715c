#pragma once
// Helpers shared by the request-operation tests.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "networking/NLHTTPRequestOperation.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"

namespace optest {

inline std::string sample(std::size_t size) {
    std::string s;
    s.reserve(size);
    for (std::size_t i = 0; i < size; ++i) s += static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return s;
}

inline Data bytes(const std::string& s) { return Data(s.begin(), s.end()); }

inline std::shared_ptr<NLHTTPRequestOperation> get(const std::string& url) {
    return NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(url));
}

// What the success and failure callbacks saw.
struct Outcome {
    std::atomic<int> successes{0}, failures{0};
    std::atomic<bool> offMain{false};
    std::mutex mutex;
    Value object;
    NSErrorPtr error;

    bool done() const { return successes + failures > 0; }

    void install(const std::shared_ptr<NLHTTPRequestOperation>& op) {
        op->setCompletionBlockWithSuccess(
            [this](const std::shared_ptr<NLHTTPRequestOperation>&, const Value& v) {
                if (!NSThread::isMainThread()) offMain = true;
                std::lock_guard lock(mutex);
                object = v;
                ++successes;
            },
            [this](const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr& e) {
                if (!NSThread::isMainThread()) offMain = true;
                std::lock_guard lock(mutex);
                error = e;
                ++failures;
            });
    }
};

// Counts the start and finish notifications of one operation (on the main thread).
class NotificationCounter {
public:
    explicit NotificationCounter(std::shared_ptr<NSObject> op) {
        auto center = NSNotificationCenter::defaultCenter();
        startToken_ = center->addObserverForName(NLNetworkingOperationDidStartNotification, op, nullptr,
                                                 [this](const NSNotification& n) { note(n, starts); });
        finishToken_ = center->addObserverForName(NLNetworkingOperationDidFinishNotification, op, nullptr,
                                                  [this](const NSNotification& n) { note(n, finishes); });
    }
    ~NotificationCounter() {
        NSNotificationCenter::defaultCenter()->removeObserver(startToken_.get());
        NSNotificationCenter::defaultCenter()->removeObserver(finishToken_.get());
    }
    std::atomic<int> starts{0}, finishes{0};
    std::atomic<bool> offMain{false};

private:
    void note(const NSNotification& n, std::atomic<int>& counter) {
        if (!NSThread::isMainThread() || !n.userInfo().isNull()) offMain = true;
        ++counter;
    }
    std::shared_ptr<NSObject> startToken_, finishToken_;
};

}  // namespace optest
