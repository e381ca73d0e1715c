// HTTP answers as the URL loading reads them off the wire: the input is the raw
// reply of a loopback server (status line, header lines, body) to a GET. Header
// lines, continuation lines, challenges, redirects (refused here, so no load
// leaves the machine), framing and charsets all come from the input.
// The load must end exactly once: with a response and its body, or with an
// error; never "finished" without a response.
#include <string>

#include "Harnesses.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLRequest.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/FuzzSupport.h"
#include "support/HTTPResponseChecks.h"
#include "support/RawReplyServer.h"

namespace fuzz::http_loopback {
namespace {

// Replies past this are not read: the header block and a few framing steps are
// what this harness is about.
constexpr std::size_t kMaxReply = 64 * 1024;

class Recorder : public NSURLConnectionDelegate {
public:
    std::shared_ptr<NSURLRequest> connectionWillSendRequest(const NSURLConnectionPtr&,
                                                            const std::shared_ptr<NSURLRequest>& request,
                                                            const std::shared_ptr<NSURLResponse>& redirect) override {
        return redirect ? nullptr : request;
    }
    void connectionDidReceiveResponse(const NSURLConnectionPtr&, const std::shared_ptr<NSURLResponse>& r) override {
        check(!ended, "a response came after the load ended");
        check(r != nullptr, "a null response was delivered");
        response = r;
        body.clear();
    }
    void connectionDidReceiveData(const NSURLConnectionPtr&, const Data& data) override {
        check(!ended, "data came after the load ended");
        check(response != nullptr, "data came before any response");
        body.insert(body.end(), data.begin(), data.end());
    }
    std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(
        const NSURLConnectionPtr&, const std::shared_ptr<NSCachedURLResponse>&) override {
        return nullptr;  // nothing is kept for the next input
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr&) override {
        check(!ended, "the load ended twice");
        check(response != nullptr, "a load finished without a response");
        ended = true;
    }
    void connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& error) override {
        check(!ended, "the load ended twice");
        check(error != nullptr, "a load failed without an error");
        ended = true;
    }
    std::shared_ptr<NSURLResponse> response;
    Data body;
    bool ended = false;
};

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxReply) return 0;
    auto& server = RawReplyServer::shared();
    server.setReply(std::string(reinterpret_cast<const char*>(data), size));
    auto request = NSMutableURLRequest::requestWithURL(server.url("/reply"));
    request->setCachePolicy(NSURLRequestReloadIgnoringLocalCacheData);
    request->setTimeoutInterval(5);
    request->setValue(std::string("close"), "Connection");
    auto recorder = std::make_shared<Recorder>();
    auto connection = NSURLConnection::connectionWithRequest(request, recorder);
    check(connection != nullptr, "no connection for a loopback request");
    bool ended = NSRunLoop::currentRunLoop()->runUntil([&] { return recorder->ended; }, 20);
    if (!ended) connection->cancel();
    check(ended, "a load from a server that closed did not end");
    if (auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(recorder->response)) checkHTTPResponse(*http);
    return 0;
}

}  // namespace fuzz::http_loopback
