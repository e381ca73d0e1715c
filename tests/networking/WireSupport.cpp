// Protects the serializer tests' wire helper: a request sent through the URL loading system and its end awaited on the main run loop.
#include "WireSupport.h"

#include <vector>

#include "platform/net/NSURLConnection.h"
#include "support/TestEnvironment.h"

namespace wiretest {

namespace {
class Collector : public NSURLConnectionDelegate {
public:
    explicit Collector(std::shared_ptr<Result> result) : result_(std::move(result)) {}
    void connectionDidReceiveResponse(const NSURLConnectionPtr&, const std::shared_ptr<NSURLResponse>& r) override {
        result_->response = std::dynamic_pointer_cast<NSHTTPURLResponse>(r);
    }
    void connectionDidReceiveData(const NSURLConnectionPtr&, const Data& d) override {
        result_->body.insert(result_->body.end(), d.begin(), d.end());
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override { result_->finished = true; }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& e) override {
        result_->error = e;
        result_->finished = true;
    }

private:
    std::shared_ptr<Result> result_;
};
}  // namespace

Result send(const std::shared_ptr<NSURLRequest>& request, double timeoutSeconds) {
    auto result = std::make_shared<Result>();
    auto connection = NSURLConnection::connectionWithRequest(request, std::make_shared<Collector>(result));
    testsupport::runMainUntil([&] { return result->finished; }, timeoutSeconds);
    if (!result->finished && connection) connection->cancel();
    return *result;
}

Data readAll(NSInputStream& stream, std::size_t bufferSize, long* lastCount) {
    if (stream.streamStatus() == NSStreamStatusNotOpen) stream.open();
    Data out;
    std::vector<std::uint8_t> buffer(bufferSize);
    long n = 0;
    while (stream.hasBytesAvailable()) {
        n = stream.read(buffer.data(), buffer.size());
        if (n <= 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    if (lastCount) *lastCount = n;
    return out;
}

}  // namespace wiretest
