// NSURLConnection::sendAsynchronousRequest: one load on a loop thread of its
// own, the body gathered (up to an optional limit) and handed with the response
// or the error to an operation queue.
#include <utility>

#include "platform/dispatch/NSOperation.h"
#include "platform/net/LoopThread.h"
#include "platform/net/NSURLConnection.h"

namespace {

std::shared_ptr<NSRunLoop> asynchronousLoop() {
    static const std::shared_ptr<NSRunLoop> loop = startLoopThread("com.quorvane.urlconnection.asynchronous");
    return loop;
}

// Gathers one load; every call comes on the loop thread, so no lock is needed.
class AsynchronousCollector final : public NSURLConnectionDelegate {
public:
    AsynchronousCollector(std::shared_ptr<NSOperationQueue> queue, NSURLConnection::AsynchronousCompletion handler,
                          std::int64_t maximumBodyBytes)
        : queue_(std::move(queue)), handler_(std::move(handler)), maximumBodyBytes_(maximumBodyBytes) {}

    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override {
        response_ = response;
        data_.clear();  // a new response (after a refused redirect's body, say) starts the body again
        const std::int64_t announced = response ? response->expectedContentLength() : -1;
        if (announced >= 0 && exceeds(announced)) tooLong(connection);
    }
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override {
        if (exceeds(static_cast<std::int64_t>(data_.size() + data.size()))) return tooLong(connection);
        data_.insert(data_.end(), data.begin(), data.end());
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override { complete(std::move(data_), nullptr); }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& error) override {
        complete({}, error);
    }

private:
    bool exceeds(std::int64_t bytes) const { return maximumBodyBytes_ >= 0 && bytes > maximumBodyBytes_; }
    void tooLong(const NSURLConnectionPtr& connection) {
        // cancel() ends the delegate calls; the failure is this collector's own.
        connection->cancel();
        const std::string url = connection->currentRequest() ? connection->currentRequest()->URL() : std::string();
        complete({}, NSURLErrorMake(NSURLErrorDataLengthExceedsMaximum, url));
    }
    void complete(Data data, const NSErrorPtr& error) {
        if (!handler_) return;
        auto handler = std::exchange(handler_, nullptr);
        queue_->addOperationWithBlock([handler = std::move(handler), response = response_, data = std::move(data),
                                       error] { handler(response, data, error); });
    }

    std::shared_ptr<NSOperationQueue> queue_;
    NSURLConnection::AsynchronousCompletion handler_;  // null once handed on
    const std::int64_t maximumBodyBytes_;
    std::shared_ptr<NSURLResponse> response_;
    Data data_;
};

}  // namespace

void NSURLConnection::sendAsynchronousRequest(const std::shared_ptr<NSURLRequest>& request,
                                              const std::shared_ptr<NSOperationQueue>& queue,
                                              AsynchronousCompletion completionHandler, std::int64_t maximumBodyBytes) {
    if (!request || !queue || !completionHandler) return;
    auto collector = std::make_shared<AsynchronousCollector>(queue, std::move(completionHandler), maximumBodyBytes);
    auto connection = initWithRequest(request, collector, false);
    connection->scheduleInRunLoop(asynchronousLoop(), NSDefaultRunLoopMode);
    connection->start();  // the run loop holds the connection and its collector while it loads
}
