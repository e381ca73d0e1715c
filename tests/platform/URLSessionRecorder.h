#pragma once
// What the URL-session tests share: a delegate that records every event of a
// session (and checks they come one at a time, off the main thread), a
// session with a temporary home, and byte helpers.
#include <doctest/doctest.h>
#include <openssl/evp.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/NSThread.h"
#include "platform/net/NSURLSession.h"
#include "support/TestEnvironment.h"

namespace sessiontest {

inline std::string sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::ostringstream hex;
    for (unsigned i = 0; i < length; ++i) hex << std::hex << (digest[i] >> 4) << (digest[i] & 15);
    return hex.str();
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool exists(const std::string& path) { return std::ifstream(path).good(); }

inline std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (auto& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<char>(x);
    }
    return bytes;
}

// Records every delegate event of a session; checks they come one at a time,
// off the main thread. Behaviour is set through the std::function members.
class Recorder : public NSURLSessionDataDelegate, public NSURLSessionDownloadDelegate {
public:
    struct Outcome {
        std::string body;
        std::string downloaded;      // the file's bytes when the download finished
        std::string location;        // where it was
        NSErrorPtr error;
        bool done = false;
        std::vector<std::int64_t> resumedAt;
        std::int64_t written = 0;
    };
    std::function<std::shared_ptr<NSURLRequest>(const std::shared_ptr<NSURLRequest>&)> redirect;
    std::function<void(const std::shared_ptr<NSURLSessionTask>&, std::int64_t)> onBytes;
    std::function<NSURLSessionResponseDisposition(const std::shared_ptr<NSURLResponse>&)> disposition;
    bool answersSessionTrust = false, answersTaskTrust = false, acceptsTrust = false, cancelsTrust = false;

    Outcome outcome(unsigned long id) {
        std::lock_guard lock(mutex);
        return outcomes[id];
    }
    bool done(unsigned long id) {
        std::lock_guard lock(mutex);
        return outcomes[id].done;
    }

    bool respondsToWillPerformHTTPRedirection() const override { return static_cast<bool>(redirect); }
    void URLSessionTaskWillPerformHTTPRedirection(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionTask>&,
                                                  const std::shared_ptr<NSHTTPURLResponse>&,
                                                  const std::shared_ptr<NSURLRequest>& request,
                                                  const std::function<void(std::shared_ptr<NSURLRequest>)>& completion) override {
        Call call(*this);
        auto chosen = redirect(request);
        if (holdsRedirects) {
            // Answered by the test when it wants to.
            std::lock_guard lock(mutex);
            heldRedirect = [completion, chosen] { completion(chosen); };
            return;
        }
        // Answered later, from another thread.
        std::thread([completion, chosen] { completion(chosen); }).detach();
    }
    bool respondsToDidReceiveResponse() const override { return static_cast<bool>(disposition); }
    void URLSessionDataTaskDidReceiveResponse(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>&,
                                              const std::shared_ptr<NSURLResponse>& response,
                                              const std::function<void(NSURLSessionResponseDisposition)>& completion) override {
        Call call(*this);
        auto answer = disposition(response);
        std::thread([completion, answer] { completion(answer); }).detach();
    }
    void URLSessionDataTaskDidBecomeDownloadTask(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>& from,
                                                 const std::shared_ptr<NSURLSessionDownloadTask>& to) override {
        Call call(*this);
        CHECK(from->state() == NSURLSessionTaskStateCompleted);
        std::lock_guard lock(mutex);
        becameDownload[from->taskIdentifier()] = to;
    }
    void URLSessionTaskNeedNewBodyStream(const NSURLSessionPtr& session, const std::shared_ptr<NSURLSessionTask>& task,
                                         const std::function<void(std::shared_ptr<NSInputStream>)>& completion) override {
        Call call(*this);
        newStreams++;
        NSURLSessionDataDelegate::URLSessionTaskNeedNewBodyStream(session, task, completion);
    }
    bool respondsToDidReceiveChallenge() const override { return answersSessionTrust; }
    void URLSessionDidReceiveChallenge(const NSURLSessionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>& ch,
                                       const NSURLSessionChallengeCompletion& completion) override {
        Call call(*this);
        sessionChallenges++;
        answer(ch, completion);
    }
    bool respondsToTaskDidReceiveChallenge() const override { return answersTaskTrust; }
    void URLSessionTaskDidReceiveChallenge(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionTask>&,
                                           const std::shared_ptr<NSURLAuthenticationChallenge>& ch,
                                           const NSURLSessionChallengeCompletion& completion) override {
        Call call(*this);
        taskChallenges++;
        answer(ch, completion);
    }
    void URLSessionDataTaskDidReceiveData(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>& task,
                                          const Data& data) override {
        Call call(*this);
        std::int64_t total;
        {
            std::lock_guard lock(mutex);
            auto& body = outcomes[task->taskIdentifier()].body;
            body.append(data.begin(), data.end());
            total = static_cast<std::int64_t>(body.size());
        }
        if (onBytes) onBytes(task, total);
    }
    void URLSessionDownloadTaskDidWriteData(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                            std::int64_t, std::int64_t total, std::int64_t) override {
        Call call(*this);
        {
            std::lock_guard lock(mutex);
            outcomes[task->taskIdentifier()].written = total;
        }
        if (onBytes) onBytes(task, total);
    }
    void URLSessionDownloadTaskDidResumeAtOffset(const NSURLSessionPtr&,
                                                 const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                                 std::int64_t offset, std::int64_t) override {
        Call call(*this);
        std::lock_guard lock(mutex);
        outcomes[task->taskIdentifier()].resumedAt.push_back(offset);
    }
    void URLSessionDownloadTaskDidFinishDownloadingToURL(const NSURLSessionPtr&,
                                                         const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                                         const std::string& location) override {
        Call call(*this);
        std::lock_guard lock(mutex);
        outcomes[task->taskIdentifier()].downloaded = readFile(location);
        outcomes[task->taskIdentifier()].location = location;
    }
    void URLSessionTaskDidCompleteWithError(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionTask>& task,
                                            const NSErrorPtr& error) override {
        Call call(*this);
        CHECK(task->state() == NSURLSessionTaskStateCompleted);
        std::lock_guard lock(mutex);
        outcomes[task->taskIdentifier()].error = error;
        outcomes[task->taskIdentifier()].done = true;
    }
    void URLSessionDidBecomeInvalidWithError(const NSURLSessionPtr&, const NSErrorPtr&) override { invalid = true; }

    std::mutex mutex;
    std::map<unsigned long, Outcome> outcomes;
    std::atomic<int> inCall{0}, overlaps{0}, onMain{0}, sessionChallenges{0}, taskChallenges{0};
    std::atomic<bool> invalid{false};
    std::atomic<int> newStreams{0};
    bool holdsRedirects = false;
    std::function<void()> heldRedirect;
    std::map<unsigned long, std::shared_ptr<NSURLSessionDownloadTask>> becameDownload;

private:
    struct Call {
        explicit Call(Recorder& r) : r_(r) {
            if (r_.inCall++ != 0) r_.overlaps++;
            if (NSThread::isMainThread()) r_.onMain++;
        }
        ~Call() { r_.inCall--; }
        Recorder& r_;
    };
    void answer(const std::shared_ptr<NSURLAuthenticationChallenge>& ch, const NSURLSessionChallengeCompletion& done) {
        if (cancelsTrust)
            done(NSURLSessionAuthChallengeCancelAuthenticationChallenge, nullptr);
        else if (acceptsTrust)
            done(NSURLSessionAuthChallengeUseCredential,
                 NSURLCredential::credentialForTrust(ch->protectionSpace()->serverTrust()));
        else
            done(NSURLSessionAuthChallengePerformDefaultHandling, nullptr);
    }
};

struct SessionFixture {
    testsupport::TempHome home;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    NSURLSessionPtr session = NSURLSession::sessionWithConfiguration(nullptr, recorder);

    ~SessionFixture() { session->invalidateAndCancel(); }
    void finish(const std::shared_ptr<NSURLSessionTask>& task, double timeout = 30) {
        REQUIRE(task);
        INFO("waiting for task " << task->taskIdentifier() << " to complete");
        REQUIRE(testsupport::runMainUntil([&] { return recorder->done(task->taskIdentifier()); }, timeout));
    }
    void checkCalls() {
        CHECK(recorder->overlaps == 0);
        CHECK(recorder->onMain == 0);
    }
};

inline std::shared_ptr<NSMutableURLRequest> post(const std::string& url) {
    auto request = NSMutableURLRequest::requestWithURL(url);
    request->setHTTPMethod("POST");
    return request;
}

inline Data dataOf(const std::string& s) { return Data(s.begin(), s.end()); }

}  // namespace sessiontest
