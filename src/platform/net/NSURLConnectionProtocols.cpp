// NSURLConnection answered by a URL protocol instance: the load logic's side
// of URLProtocolLoad.h. The instance's client only queues what it reports;
// the delegate hears it here, on the loading thread, outside the instance.
#include <utility>

#include "platform/net/CurlTransfer.h"
#include "platform/net/NSURLConnectionBacking.h"
#include "platform/net/URLProtocolLoad.h"

using curlbacking::LoadState;
using Report = URLProtocolLoad::Report;

namespace {

// What an instance reports to, on any thread.
class ConnectionProtocolClient final : public NSURLProtocolClient {
public:
    explicit ConnectionProtocolClient(std::weak_ptr<URLProtocolLoad> load) : load_(std::move(load)) {}

    void didReceiveResponse(NSURLProtocol&, const std::shared_ptr<NSURLResponse>& response,
                            NSURLCacheStoragePolicy) override {
        report({Report::Kind::Response, response, {}, nullptr});
    }
    void didLoadData(NSURLProtocol&, const Data& data) override {
        report({Report::Kind::Data, nullptr, data, nullptr});
    }
    void didFinishLoading(NSURLProtocol&) override { report({Report::Kind::Finish, nullptr, {}, nullptr}); }
    void didFailWithError(NSURLProtocol&, const NSError& error) override {
        report({Report::Kind::Fail, nullptr, {},
                NSError::errorWithDomain(error.domain(), error.code(), error.userInfo())});
    }

private:
    void report(Report report) {
        auto load = load_.lock();
        if (!load) return;  // the load ended
        if (auto connection = load->add(std::move(report))) NSURLConnectionBacking::protocolReported(connection, load);
    }

    std::weak_ptr<URLProtocolLoad> load_;
};

}  // namespace

std::shared_ptr<NSURLConnection> URLProtocolLoad::add(Report report) {
    AnnotatedLock lock(mutex);
    if (!connection) return nullptr;
    reports.push_back(std::move(report));
    if (std::exchange(drainPosted, true)) return nullptr;
    return connection;
}

bool URLProtocolLoad::next(Report& report) {
    AnnotatedLock lock(mutex);
    if (reports.empty()) {
        drainPosted = false;
        return false;
    }
    report = std::move(reports.front());
    reports.pop_front();
    return true;
}

void URLProtocolLoad::stop() {
    if (stopped) return;
    stopped = true;
    std::shared_ptr<NSURLConnection> released;
    {
        AnnotatedLock lock(mutex);
        released = std::move(connection);  // reports from here on are dropped
        reports.clear();
    }
    if (protocol) protocol->stopLoading();
    protocol.reset();
}

void NSURLConnectionBacking::answerWithProtocol(const NSURLConnectionPtr& c,
                                                const std::shared_ptr<const NSURLProtocol::Class>& protocolClass,
                                                const std::shared_ptr<NSURLRequest>& request) {
    auto& t = *c->transfer_;
    t.detach();
    if (t.idleTimer) t.idleTimer->invalidate();  // the instance keeps its own time
    t.idleTimer.reset();
    t.request = request;
    t.restart();
    t.moveTo(LoadState::Answering);
    auto load = std::make_shared<URLProtocolLoad>();
    auto client = std::make_shared<ConnectionProtocolClient>(load);
    load->protocol = protocolClass->make(request, nullptr, client);
    if (!load->protocol)
        return fail(c, NSURLErrorUnknown,
                    "The URL protocol " + protocolClass->name + " made no instance for the request.");
    {
        AnnotatedLock lock(load->mutex);
        load->connection = c;
    }
    t.protocolLoad = load;
    load->protocol->startLoading();
}

void NSURLConnectionBacking::protocolReported(const NSURLConnectionPtr& c,
                                              const std::shared_ptr<URLProtocolLoad>& load) {
    // Always a later pass of the loop, so no delegate call runs inside the instance.
    c->onLoop([c, load] { drainProtocol(c, load); }, false);
}

void NSURLConnectionBacking::drainProtocol(const NSURLConnectionPtr& c, const std::shared_ptr<URLProtocolLoad>& load) {
    assertOnLoopThread(c);
    Report report;
    // A held load keeps its reports (and its posted drain) until it is let go.
    while (c->transfer_ && c->transfer_->protocolLoad == load && !c->transfer_->held && !c->cancelled_ &&
           load->next(report)) {
        switch (report.kind) {
            case Report::Kind::Response:
                c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveResponse(c, report.response); });
                break;
            case Report::Kind::Data:
                c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveData(c, report.data); });
                break;
            case Report::Kind::Finish:
                c->ended_ = true;
                c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidFinishLoading(c); });
                return c->release();
            case Report::Kind::Fail:
                if (!report.error) report.error = NSURLErrorMake(NSURLErrorUnknown, c->transfer_->request->URL());
                return c->fail(report.error);
        }
    }
    if (c->cancelled_ && c->transfer_) stop(c);
}
