// The per-request side of the rich-media script interceptor: choosing the
// script on the main thread and downloading it on the loading thread.
#include "adkit/rendering/AKAdURLStash.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLError.h"

// Collects the script's bytes and reports the outcome to the interceptor, on
// the loading thread.
class AKMRAIDInterceptor::ScriptDownload : public NSURLConnectionDelegate {
public:
    explicit ScriptDownload(std::weak_ptr<AKMRAIDInterceptor> interceptor) : interceptor_(std::move(interceptor)) {}

    void connectionDidReceiveResponse(const NSURLConnectionPtr& /*connection*/,
                                      const std::shared_ptr<NSURLResponse>& response) override {
        const auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
        statusCode_ = http ? http->statusCode() : 200;
        script_.clear();  // a body of an earlier response (an answer to a challenge) is not the script
    }
    void connectionDidReceiveData(const NSURLConnectionPtr& /*connection*/, const Data& data) override {
        script_.insert(script_.end(), data.begin(), data.end());
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override {
        const auto interceptor = interceptor_.lock();
        if (!interceptor) return;
        if (statusCode_ < 200 || statusCode_ > 299) {
            interceptor->fail(NSURLErrorMake(NSURLErrorBadServerResponse, connection->originalRequest()->URL(),
                                             "the script answered status " + std::to_string(statusCode_)));
            return;
        }
        interceptor->downloadFinished(script_);
    }
    void connectionDidFailWithError(const NSURLConnectionPtr& /*connection*/, const NSErrorPtr& error) override {
        if (const auto interceptor = interceptor_.lock()) interceptor->fail(error);
    }

private:
    std::weak_ptr<AKMRAIDInterceptor> interceptor_;
    long statusCode_ = 0;
    Data script_;
};

AKMRAIDInterceptor::AKMRAIDInterceptor(std::shared_ptr<NSURLRequest> request,
                                       std::shared_ptr<NSCachedURLResponse> cachedResponse,
                                       std::shared_ptr<NSURLProtocolClient> client)
    : NSURLProtocol(request, std::move(cachedResponse), std::move(client)),
      refererURL_(request ? refererURLFromRequest(*request) : nullptr) {}

AKMRAIDInterceptor::~AKMRAIDInterceptor() {
    // Dropped without stopLoading: the download and its limit go with it.
    std::lock_guard guard(mutex_);
    if (download_) download_->cancel();
    if (limit_) limit_->invalidate();
}

std::optional<std::string> AKMRAIDInterceptor::mraidLocationToLoad() const {
    std::lock_guard guard(mutex_);
    return mraidLocationToLoad_;
}

void AKMRAIDInterceptor::startLoading() {
    loadingRunLoop_ = NSRunLoop::currentRunLoop();
    const auto weak = weakSelf<AKMRAIDInterceptor>();
    const auto loop = loadingRunLoop_;
    dispatch_main_async_safe([weak, loop] {
        const auto interceptor = weak.lock();
        if (!interceptor) return;
        interceptor->chooseScript();
        if (NSRunLoop::currentRunLoop() == loop) return interceptor->beginDownload();
        loop->performBlock([weak] {
            if (const auto later = weak.lock()) later->beginDownload();
        });
    });
}

void AKMRAIDInterceptor::stopLoading() { (void)end(); }

void AKMRAIDInterceptor::chooseScript() {
    QV_ASSERT_MAIN_THREAD();
    if (!refererURL_) return;  // no page, no script
    std::shared_ptr<AKSlot> slot;
    bool fromBanner = false;
    if (const auto view = AKAdURLStash::viewForURL(refererURL_->absoluteString())) {
        if (const auto source = std::dynamic_pointer_cast<AKMRAIDSlotSource>(view->delegate())) {
            fromBanner = true;
            slot = source->slotForMRAID();
        }
    }
    std::optional<std::string> script;
    if (!fromBanner) {
        script = expandedBannerImplementationPath();
    } else if (slot && slot->isInterstitial()) {
        script = interstitialImplementationPath();
    } else {
        script = bannerImplementationPath();
    }
    {
        std::lock_guard guard(mutex_);
        mraidLocationToLoad_ = script;
    }
    if (slot) slot->willLoadMRAIDAd();
}

void AKMRAIDInterceptor::beginDownload() {
    QV_ASSERT_ON_RUN_LOOP(loadingRunLoop_);
    std::unique_lock guard(mutex_);
    if (ended_) return;
    if (!mraidLocationToLoad_) {
        guard.unlock();
        fail(NSError::errorWithDomain(NSCocoaErrorDomain, -1000));
        return;
    }
    const auto request = NSURLRequest::requestWithURL(*mraidLocationToLoad_);
    const auto weak = weakSelf<AKMRAIDInterceptor>();
    download_ = NSURLConnection::initWithRequest(request, std::make_shared<ScriptDownload>(weak), false);
    limit_ = NSTimer::timerWithTimeInterval(
        kScriptDownloadLimit,
        [weak, URL = *mraidLocationToLoad_](NSTimer&) {
            if (const auto interceptor = weak.lock()) {
                interceptor->fail(NSURLErrorMake(NSURLErrorTimedOut, URL, "the script took too long"));
            }
        },
        false);
    const auto download = download_;
    const auto limit = limit_;
    guard.unlock();
    loadingRunLoop_->addTimer(limit, NSRunLoopCommonModes);
    download->scheduleInRunLoop(loadingRunLoop_, NSRunLoopCommonModes);
    download->start();
}

void AKMRAIDInterceptor::downloadFinished(const Data& script) {
    const auto URL = mraidLocationToLoad();
    if (!URL || !end() || !client()) return;
    const auto response = std::make_shared<NSURLResponse>(*URL, std::string(kScriptMIMEType),
                                                          static_cast<std::int64_t>(script.size()), std::nullopt);
    client()->didReceiveResponse(*this, response, NSURLCacheStorageAllowed);
    client()->didLoadData(*this, script);
    client()->didFinishLoading(*this);
}

void AKMRAIDInterceptor::fail(const NSErrorPtr& error) {
    if (!end() || !client()) return;
    client()->didFailWithError(*this, *error);
}

bool AKMRAIDInterceptor::end() {
    NSURLConnectionPtr download;
    std::shared_ptr<NSTimer> limit;
    {
        std::lock_guard guard(mutex_);
        if (ended_) return false;
        ended_ = true;
        download = std::move(download_);
        limit = std::move(limit_);
    }
    if (download) download->cancel();  // from a delegate call of its own, cancel only marks it
    if (limit) limit->invalidate();
    return true;
}
