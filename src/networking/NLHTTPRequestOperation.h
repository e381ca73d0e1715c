#pragma once
// An HTTP request operation: the connection operation plus a response serializer,
// success and failure callbacks that run after serialization, and a pause that
// turns the next start into a byte-range request.
//
// Serialization runs on the thread that finished the operation (the network
// thread for a load, the caller's for a cancel before start), right after the
// finish; success and failure then run on completionQueue (main queue when
// none), at most one of them, once: one hop from the network thread to the
// callback. An installed completion block of the caller replaces this path.
//
// pause() takes the count of bytes kept before it returns, and the request then
// asks for "Range: bytes=<kept>-" (no range when nothing was kept), with
// "If-Range" naming the version the earlier response had (its strong ETag,
// else its Last-Modified date). The answer is appended to the kept bytes only
// when it is a 206 whose Content-Range starts at the kept count; a 200 restarts
// the body from zero in an in-memory stream and fails the load for a stream
// that cannot be rewound (a file). A 206 for another range, a 206 that no
// range asked for, and any other answer below 400 to a resume with bytes kept
// (3xx, 204, ...) fail the load (NSURLErrorDomain, NSURLErrorBadServerResponse)
// and leave the kept bytes as they were.
#include <functional>
#include <memory>
#include <optional>

#include "networking/NLURLConnectionOperation.h"
#include "networking/NLURLResponseSerialization.h"

class NLHTTPRequestOperation : public NLURLConnectionOperation {
public:
    using SuccessBlock = std::function<void(const std::shared_ptr<NLHTTPRequestOperation>&, const Value&)>;
    using FailureBlock = std::function<void(const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr&)>;

    explicit NLHTTPRequestOperation(std::shared_ptr<NSURLRequest> request);
    static std::shared_ptr<NLHTTPRequestOperation> initWithRequest(std::shared_ptr<NSURLRequest> request);

    std::shared_ptr<NSHTTPURLResponse> response() const;
    std::shared_ptr<NLHTTPResponseSerializer> responseSerializer() const;
    // Clears the response object and the serializer's error, so that the next
    // read serializes again.
    void setResponseSerializer(std::shared_ptr<NLHTTPResponseSerializer> serializer);
    // The serialized response, once the operation finished without an error.
    Value responseObject();
    NSErrorPtr responseSerializationError() const;
    // The serializer's error when there is one, else the connection's (or the cancellation).
    NSErrorPtr error() const override;

    void setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure);
    void pause() override;

    static std::shared_ptr<NLHTTPRequestOperation> initWithCoder(const Value& archive);
    Value encodeWithCoder() override;
    std::shared_ptr<NLURLConnectionOperation> copy() const override;

    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override;

protected:
    bool continuesKeptBody(const std::shared_ptr<NSURLResponse>& response) override;

private:
    // Under the lock, once the connection was let go: the bytes kept and the
    // range request that continues them.
    void prepareResume();
    // Whether the answer may go into the body: a 206 only when a range was
    // asked and it starts at the bytes kept; after a resume with bytes kept only
    // 200 (a restart) or an error status. Under the lock.
    bool answerIsUsable(const NSHTTPURLResponse& http) const;
    // The serialized response, made once and shared (a large body is not copied
    // on its way to the completion block); null until made.
    std::shared_ptr<const Value> sharedResponseObject();

    std::shared_ptr<NLHTTPResponseSerializer> responseSerializer_;
    std::shared_ptr<const Value> responseObject_;
    NSErrorPtr responseSerializationError_;
    std::optional<std::uint64_t> resumeOffset_;  // under the lock
};
