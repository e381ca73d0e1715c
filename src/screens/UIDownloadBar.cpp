#include "screens/UIDownloadBar.h"

#include <algorithm>
#include <cassert>
#include <string_view>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/uikit/UIColor.h"

namespace {

// The connection keeps its delegate alive while it loads. It gets this relay,
// which reaches the bar weakly, so a bar that goes away is destroyed (and cancels
// the load) instead of being kept alive by its own connection.
class BarConnectionRelay : public NSURLConnectionDelegate {
public:
    explicit BarConnectionRelay(std::weak_ptr<UIDownloadBar> bar) : bar_(std::move(bar)) {}

    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override {
        if (auto bar = bar_.lock()) bar->connectionDidReceiveResponse(connection, response);
    }
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override {
        if (auto bar = bar_.lock()) bar->connectionDidReceiveData(connection, data);
    }
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override {
        if (auto bar = bar_.lock()) bar->connectionDidFailWithError(connection, error);
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override {
        if (auto bar = bar_.lock()) bar->connectionDidFinishLoading(connection);
    }

private:
    std::weak_ptr<UIDownloadBar> bar_;
};

NSErrorPtr barError(long code, const std::string& description, Value extra = Value::dictionary()) {
    extra.setObject(NSLocalizedDescriptionKey, description);
    return NSError::errorWithDomain(UIDownloadBarErrorDomain, code, extra);
}

// A decimal count of bytes (up to 18 digits, so it fits in 64 bits signed).
std::optional<std::int64_t> byteCount(std::string_view text) {
    text = trimmedHTTPWhitespace(text);
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "bytes <first>-<last>/<total>", the total "*" when unknown.
struct ContentRange {
    std::int64_t first = 0;
    std::optional<std::int64_t> total;
};

std::optional<ContentRange> parseContentRange(std::string_view value) {
    value = trimmedHTTPWhitespace(value);
    constexpr std::string_view kUnit = "bytes ";
    if (value.size() <= kUnit.size() || !equalsIgnoringASCIICase(value.substr(0, kUnit.size()), kUnit))
        return std::nullopt;
    value.remove_prefix(kUnit.size());
    const auto dash = value.find('-');
    const auto slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
    auto first = byteCount(value.substr(0, dash));
    auto last = byteCount(value.substr(dash + 1, slash - dash - 1));
    if (!first || !last || *last < *first) return std::nullopt;
    ContentRange range{*first, std::nullopt};
    std::string_view total = trimmedHTTPWhitespace(value.substr(slash + 1));
    if (total != "*") {
        range.total = byteCount(total);
        if (!range.total || *range.total <= *last) return std::nullopt;
    }
    return range;
}

std::string headersText(const HTTPHeaderFields& fields) {
    std::string text = "{";
    for (const auto& [name, value] : fields) text += "\n    \"" + name + "\" = \"" + value + "\";";
    return text + "\n}";
}

}  // namespace

// ------------------------------------------------------------------ life

UIDownloadBar::UIDownloadBar(CGRect frame) : UIProgressView(frame) {}

UIDownloadBar::~UIDownloadBar() {
    if (downloadConnection_) downloadConnection_->cancel();
}

std::shared_ptr<UIDownloadBar> UIDownloadBar::initWithURL(const NSURLPtr& url, CGRect frame, std::int64_t timeout,
                                                          const std::shared_ptr<UIDownloadBarDelegate>& delegate) {
    QV_ASSERT_MAIN_THREAD();
    if (!url) return nullptr;
    auto bar = std::make_shared<UIDownloadBar>(frame);
    bar->delegate_ = delegate;
    bar->timeOut_ = timeout;
    bar->downloadUrl_ = url;
    bar->linkDownload_ = url->absoluteString();
    bar->localFilename_ = lastPathComponent(url->absoluteString());
    bar->setProgress(0);
    bar->setBackgroundColor(UIColor::clearColor()->CGColor());
    return bar;
}

void UIDownloadBar::setMaximumDataLength(std::int64_t bytes) { maximumDataLength_ = std::max<std::int64_t>(1, bytes); }

void UIDownloadBar::moveTo(Phase next) {
    [[maybe_unused]] const bool allowed =
        next == Phase::Loading || (next == Phase::Paused && phase_ != Phase::Finished && phase_ != Phase::Paused) ||
        ((next == Phase::Finished || next == Phase::Failed) && phase_ == Phase::Loading);
    assert(allowed && "the download bar's phase moves only along its transitions");
    phase_ = next;
}

// ------------------------------------------------------------------ operations

std::shared_ptr<NSMutableURLRequest> UIDownloadBar::makeRequest() const {
    return NSMutableURLRequest::requestWithURL(downloadUrl_->absoluteString(),
                                               NSURLRequestReloadIgnoringLocalCacheData,
                                               static_cast<double>(timeOut_));
}

bool UIDownloadBar::connect(const std::shared_ptr<NSURLRequest>& request) {
    if (!NSURLConnection::canHandleRequest(request)) return false;
    auto relay = std::make_shared<BarConnectionRelay>(weakSelf<UIDownloadBar>());
    auto connection = NSURLConnection::initWithRequest(request, relay, false);
    if (!connection) return false;
    downloadConnection_ = connection;
    connection->start();
    return true;
}

void UIDownloadBar::stopConnection() {
    // Cleared first: nothing the cancel may still deliver counts as this download's.
    auto connection = std::move(downloadConnection_);
    downloadConnection_ = nullptr;
    if (connection) connection->cancel();
}

void UIDownloadBar::startDownload() {
    QV_ASSERT_MAIN_THREAD();
    stopConnection();
    // The request asks for the whole resource: what an earlier start held goes.
    receivedData_.clear();
    bytesReceived_ = 0;
    expectedBytes_ = -1;
    validator_.reset();
    rangeAsked_ = false;
    setCounts();
    auto request = makeRequest();
    downloadRequest_ = request;
    moveTo(Phase::Loading);
    statusDownload_ = UIDownloadBarStatusStarting;
    if (!connect(request)) fail(barError(UIDownloadBarErrorConnectionFailed, "NSURLConnection Failed"));
}

void UIDownloadBar::forceStop() {
    QV_ASSERT_MAIN_THREAD();
    if (phase_ == Phase::Finished || phase_ == Phase::Paused) return;
    statusDownload_ = UIDownloadBarStatusPause;
    stopConnection();
    moveTo(Phase::Paused);
}

void UIDownloadBar::forceContinue() {
    QV_ASSERT_MAIN_THREAD();
    if (phase_ != Phase::Paused || downloadConnection_) return;
    statusDownload_ = percentComplete_ > 0 ? UIDownloadBarStatusDownloading : UIDownloadBarStatusStarting;
    auto request = makeRequest();
    // The held bytes are continued only while the resource is the one they came
    // from. Without a validator that cannot be checked: the whole resource is
    // asked for again, and its answer replaces the bytes held.
    rangeAsked_ = validator_ && bytesReceived_ > 0;
    if (rangeAsked_) {
        request->setValue(format("bytes=%lld-", static_cast<long long>(bytesReceived_)), "Range");
        request->setValue(*validator_, "If-Range");
    }
    moveTo(Phase::Loading);
    if (!connect(request)) fail(barError(UIDownloadBarErrorConnectionFailed, "NSURLConnection Failed"));
}

// ------------------------------------------------------------------ progress and endings

void UIDownloadBar::setCounts() {
    if (expectedBytes_ > 0) {
        setProgress(static_cast<float>(static_cast<double>(bytesReceived_) / static_cast<double>(expectedBytes_)));
    } else if (bytesReceived_ == 0) {
        setProgress(0);
    }
    percentComplete_ = progress() * 100.0f;
}

void UIDownloadBar::fail(const NSErrorPtr& error) {
    stopConnection();
    moveTo(Phase::Failed);
    auto delegate = delegate_.lock();
    if (!delegate || !delegate->respondsToDidFailWithError()) return;
    statusDownload_ = UIDownloadBarStatusFailed;
    delegate->downloadBarDidFailWithError(self<UIDownloadBar>(), error);
}

bool UIDownloadBar::acceptAnswer(const NSHTTPURLResponse& response, NSErrorPtr& error) {
    const long status = response.statusCode();
    const auto contentRange = response.valueForHTTPHeaderField("Content-Range");
    const auto contentLength = response.valueForHTTPHeaderField("Content-Length");
    NSLog("[DO::didReceiveResponse] response headers: %@", headersText(response.allHeaderFields()));
    if (contentRange) NSLog("Content-Range: %@", *contentRange);
    if (contentLength) NSLog("Content-Length: %@", *contentLength);

    const auto refuse = [&](const std::string& why) {
        error = barError(UIDownloadBarErrorUnusableAnswer, why, Value{{"httpStatus", Value(status)}});
        return false;
    };
    const auto tooLarge = [&](std::int64_t total) {
        error = barError(UIDownloadBarErrorTooLarge,
                         format("The download of %lld bytes does not fit in %lld bytes of memory",
                                static_cast<long long>(total), static_cast<long long>(maximumDataLength_)));
        return false;
    };
    std::optional<ContentRange> range = contentRange ? parseContentRange(*contentRange) : std::nullopt;
    if (status == 206) {
        // A part continues the bytes held, or it is of no use.
        if (!rangeAsked_ || !range || range->first != bytesReceived_)
            return refuse(format("The server sent a part that does not start at byte %lld",
                                 static_cast<long long>(bytesReceived_)));
        expectedBytes_ = range->total.value_or(-1);
    } else if (status == 200 || (status > 200 && status < 300 && !rangeAsked_)) {
        // -1 when no length is known (counts are never negative).
        std::int64_t total = range ? range->total.value_or(-1) : -1;
        if (total < 0 && contentLength) total = byteCount(*contentLength).value_or(-1);
        if (total > maximumDataLength_) return tooLarge(total);
        // The whole resource: it starts over.
        receivedData_.clear();
        bytesReceived_ = 0;
        expectedBytes_ = total;
        const auto etag = response.valueForHTTPHeaderField("ETag");
        if (etag && etag->rfind("W/", 0) != 0) validator_ = etag;
        else validator_ = response.valueForHTTPHeaderField("Last-Modified");
    } else {
        return refuse(format("The server answered %ld: %@", status,
                             NSHTTPURLResponse::localizedStringForStatusCode(status)));
    }
    if (expectedBytes_ > maximumDataLength_) return tooLarge(expectedBytes_);
    setCounts();
    return true;
}

void UIDownloadBar::connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                                 const std::shared_ptr<NSURLResponse>& response) {
    QV_ASSERT_MAIN_THREAD();
    if (!connection || connection != downloadConnection_) return;
    NSErrorPtr error;
    if (auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response)) {
        if (!acceptAnswer(*http, error)) fail(error);
    } else if (response) {
        expectedBytes_ = response->expectedContentLength();
        setCounts();
    }
}

void UIDownloadBar::connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) {
    QV_ASSERT_MAIN_THREAD();
    if (!connection || connection != downloadConnection_) return;
    if (phase_ == Phase::Paused) {
        stopConnection();
        NSLog(" STOP !!!!  Receiving data was stoped");
        return;
    }
    const auto length = static_cast<std::int64_t>(data.size());
    if (bytesReceived_ + length > maximumDataLength_) {
        fail(barError(UIDownloadBarErrorTooLarge,
                      format("The download passed %lld bytes of memory", static_cast<long long>(maximumDataLength_))));
        return;
    }
    receivedData_.insert(receivedData_.end(), data.begin(), data.end());
    bytesReceived_ += length;
    setCounts();
#ifndef NDEBUG
    const double received = static_cast<double>(bytesReceived_);
    const double expected = static_cast<double>(expectedBytes_);
    NSLog("[DO::didReceiveData] ddb: %.2f, wdb: %.2f, ratio: %.2f", received, expected,
          expected > 0 ? received / expected : 0.0);
#endif
    auto delegate = delegate_.lock();
    if (!delegate || !delegate->respondsToDownloadBarUpdated()) return;
    if (percentComplete_ > 0) statusDownload_ = UIDownloadBarStatusDownloading;
    if (percentComplete_ > 98) statusDownload_ = UIDownloadBarStatusPrepareFinish;
    delegate->downloadBarUpdated(self<UIDownloadBar>());
}

void UIDownloadBar::connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) {
    QV_ASSERT_MAIN_THREAD();
    if (!connection || connection != downloadConnection_) return;
    downloadConnection_ = nullptr;  // it has ended
    fail(error);
}

void UIDownloadBar::connectionDidFinishLoading(const NSURLConnectionPtr& connection) {
    QV_ASSERT_MAIN_THREAD();
    if (!connection || connection != downloadConnection_) return;
    downloadConnection_ = nullptr;  // it has ended
    if (expectedBytes_ >= 0 && bytesReceived_ != expectedBytes_) {
        fail(barError(UIDownloadBarErrorUnusableAnswer,
                      format("The download ended at byte %lld of %lld", static_cast<long long>(bytesReceived_),
                             static_cast<long long>(expectedBytes_))));
        return;
    }
    moveTo(Phase::Finished);
    auto delegate = delegate_.lock();
    if (!delegate || !delegate->respondsToDidFinishWithData()) return;
    statusDownload_ = UIDownloadBarStatusFinish;
    delegate->downloadBarDidFinishWithData(self<UIDownloadBar>(), receivedData_, localFilename_);
}
