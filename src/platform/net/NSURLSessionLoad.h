#pragma once
// The transfer behind one URL-session task: an NSURLConnection on the shared
// session loading thread, whose events are turned into the session delegate's
// calls (through NSURLSession::enqueueDelegateCall) and, for downloads, into a
// temporary file. Internal to the URL session.
//
// Threads: the public operations may be called from any thread and post to the
// loading thread; every field below is that thread's, except `undelivered_`.
// The load holds its connection (and is held by it as its delegate) until the
// task finished; it is held for a while longer by the calls still queued.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLSession.h"

struct NSURLSessionLoad : public NSURLConnectionDelegate, public std::enable_shared_from_this<NSURLSessionLoad> {
    // What a download from resume data goes on from.
    struct Resume {
        std::string URL;
        HTTPHeaderFields headers;  // of the original request
        std::string validator;     // a strong ETag or a Last-Modified date
        std::int64_t offset = 0;
        std::string file;
    };
    static std::optional<Resume> parseResumeData(const Data& data);

    NSURLSessionLoad(NSURLSessionPtr session, std::shared_ptr<NSURLSessionTask> task,
                     std::shared_ptr<NSURLRequest> request);
    // A file to send as the body (read again when the body must be sent again).
    void setBodyFile(std::string path) { bodyFile_ = std::move(path); }
    void setResume(Resume resume) { resume_ = std::move(resume); }

    // Any thread.
    void start();
    void setSuspended(bool suspended);
    // `resumeData`, when given, gets what to go on from and the partial file stays.
    void cancel(std::function<void(std::optional<Data>)> resumeData = {});

    // NSURLConnectionDelegate, on the loading thread.
    bool respondsToDeferredDecisions() const override { return true; }
    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return true; }
    void connectionWillRedirectRequest(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLRequest>& request,
                                       const std::shared_ptr<NSURLResponse>& redirectResponse) override;
    void connectionNeedNewBodyStreamLater(const NSURLConnectionPtr& connection,
                                          const std::shared_ptr<NSURLRequest>& request) override;
    void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override;
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override;
    void connectionDidSendBodyData(const NSURLConnectionPtr& connection, std::int64_t bytesWritten,
                                   std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) override;
    std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) override;
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override;
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override;

private:
    // Why the connection is held; it moves while none is set.
    enum Hold : unsigned { Suspended = 1, Backlog = 2, Decision = 4 };
    bool isDownload() const { return task_ && task_->kind() == NSURLSessionTask::Kind::Download; }
    void hold(Hold reason, bool on);
    void startConnection();
    void finish(NSErrorPtr error);
    // Any thread: a refusal cancels `task`.
    static void answerChallenge(const std::shared_ptr<NSURLSessionTask>& task, const NSURLConnectionPtr& connection,
                                const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                NSURLSessionAuthChallengeDisposition disposition,
                                const std::shared_ptr<NSURLCredential>& credential);
    void applyDisposition(const NSURLConnectionPtr& connection, NSURLSessionResponseDisposition disposition);
    void becomeDownload();
    void cancelled(std::function<void(std::optional<Data>)> resumeData);
    // Counts bytes handed to the delegate queue; holds the load past the bound.
    void queued(std::int64_t bytes);
    void delivered(std::int64_t bytes);
    // Downloads (NSURLSessionLoadFile.cpp).
    [[nodiscard]] bool openFile();
    void downloadResponse(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLResponse>& response);
    void restartWithoutRange();
    [[nodiscard]] bool write(const Data& data);
    void closeFile(bool keep);
    std::optional<Data> makeResumeData() const;

    NSURLSessionPtr session_;
    std::shared_ptr<NSURLSessionTask> task_;
    std::shared_ptr<NSURLRequest> request_;
    std::string bodyFile_;
    NSURLConnectionPtr connection_;
    unsigned holds_ = 0;
    bool started_ = false;
    bool finished_ = false;
    std::shared_ptr<NSTimer> resourceTimer_;
    std::int64_t received_ = 0;
    std::int64_t expectedReceive_ = NSURLSessionTransferSizeUnknown;
    std::atomic<std::int64_t> undelivered_{0};
    std::atomic<bool> backlogHeld_{false};
    std::atomic<bool> releasePosted_{false};
    // Downloads.
    std::optional<Resume> resume_;
    bool resumeAnswered_ = true;  // the first response after a resume was looked at
    std::FILE* file_ = nullptr;
    std::string path_;
    std::int64_t written_ = 0;
    std::int64_t expectedTotal_ = NSURLSessionTransferSizeUnknown;
    std::string validator_;
    std::string responseURL_;  // of the answer being written
};

// The shared session loading thread's run loop (started on first use).
std::shared_ptr<NSRunLoop> NSURLSessionLoadingLoop();
