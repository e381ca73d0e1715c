#pragma once
// A URL protocol class for the tests: registered for a test's lifetime, it
// claims the requests whose URL path has a plan and answers each as planned
// (kScript in two pieces as text/javascript, an error, or nothing until
// stopped). Every instance logs what it saw, from whatever thread it ran on.
#include <doctest/doctest.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLProtocol.h"
#include "platform/runloop/NSThread.h"

namespace protocoltest {

inline const std::string kScript = "results.push('protocol');";
inline const std::string kErrorDomain = "ScriptedProtocol";
enum class Plan { Answer, Fail, Hang };

inline std::string pathOf(const std::string& url) {
    auto parsed = NSURL::URLWithString(url);
    return parsed ? parsed->path() : url;
}

struct Log {
    std::mutex mutex;
    std::vector<std::string> events;  // "start <URL> referer <referer or (none)>", "stop <path>"
    std::vector<std::shared_ptr<NSThread>> threads;
    std::shared_ptr<NSURLProtocolClient> client;  // the last instance's

    void note(std::string event, const std::shared_ptr<NSURLProtocolClient>& by = nullptr) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
        threads.push_back(NSThread::currentThread());
        if (by) client = by;
    }
    std::vector<std::string> copy() {
        std::lock_guard lock(mutex);
        return events;
    }
};

class ScriptedProtocol : public NSURLProtocol {
public:
    ScriptedProtocol(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSURLProtocolClient> client,
                     std::shared_ptr<Log> log, Plan plan)
        : NSURLProtocol(std::move(request), nullptr, std::move(client)), log_(std::move(log)), plan_(plan) {}

    void startLoading() override {
        log_->note("start " + request()->URL() + " referer " +
                       request()->valueForHTTPHeaderField("referer").value_or("(none)"),
                   client());
        if (plan_ == Plan::Fail) return client()->didFailWithError(*this, *NSError::make(kErrorDomain, 7, "no script"));
        if (plan_ == Plan::Hang) return;
        const auto length = static_cast<std::int64_t>(kScript.size());
        client()->didReceiveResponse(
            *this, std::make_shared<NSURLResponse>(request()->URL(), "text/javascript", length, "utf-8"),
            NSURLCacheStorageNotAllowed);
        client()->didLoadData(*this, Data(kScript.begin(), kScript.begin() + 10));
        client()->didLoadData(*this, Data(kScript.begin() + 10, kScript.end()));
        client()->didFinishLoading(*this);
    }
    void stopLoading() override { log_->note("stop " + pathOf(request()->URL())); }

private:
    std::shared_ptr<Log> log_;
    Plan plan_;
};

// Registers the class "ScriptedProtocol" (claiming `claimedNames` in web
// pages) until the end of the scope.
struct Registered {
    std::shared_ptr<Log> log = std::make_shared<Log>();

    Registered(std::map<std::string, Plan> plans, std::set<std::string> claimedNames) {
        auto log = this->log;
        auto byPath = std::make_shared<const std::map<std::string, Plan>>(std::move(plans));
        NSURLProtocol::Class protocolClass{
            "ScriptedProtocol",
            [byPath](const NSURLRequest& request) { return byPath->count(pathOf(request.URL())) == 1; },
            [log, byPath](const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSCachedURLResponse>&,
                          const std::shared_ptr<NSURLProtocolClient>& client) {
                return std::make_shared<ScriptedProtocol>(request, client, log, byPath->at(pathOf(request->URL())));
            },
            std::move(claimedNames)};
        REQUIRE(NSURLProtocol::registerClass(std::move(protocolClass)));
    }
    ~Registered() { NSURLProtocol::unregisterClass("ScriptedProtocol"); }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;
};

}  // namespace protocoltest
