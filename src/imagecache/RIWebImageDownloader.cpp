#include "imagecache/RIWebImageDownloader.h"

#include <algorithm>

#include "platform/foundation/ProcessLifetime.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/base/ThreadAssertions.h"

// One caller's hold on a URL's transfer.
class RIWebImageDownloader::Token : public NSObject, public RIWebImageOperation {
public:
    Token(std::weak_ptr<RIWebImageDownloader> downloader, std::string url, std::uint64_t generation,
          std::uint64_t caller)
        : downloader_(std::move(downloader)), url_(std::move(url)), generation_(generation), caller_(caller) {}

    void cancel() override {
        if (cancelled_.exchange(true)) return;
        if (auto downloader = downloader_.lock()) downloader->detachCaller(url_, generation_, caller_);
    }

private:
    std::weak_ptr<RIWebImageDownloader> downloader_;
    std::string url_;
    std::uint64_t generation_;
    std::uint64_t caller_;
    std::atomic<bool> cancelled_{false};
};

std::shared_ptr<RIWebImageDownloader> RIWebImageDownloader::sharedDownloader() {
    static ProcessLifetime<std::shared_ptr<RIWebImageDownloader>> instance(init());
    return *instance;
}

std::shared_ptr<RIWebImageDownloader> RIWebImageDownloader::init() { return std::make_shared<RIWebImageDownloader>(); }

RIWebImageDownloader::RIWebImageDownloader()
    : downloadQueue_(std::make_shared<NSOperationQueue>()),
      barrierQueue_(dispatch_queue_create("com.plinketor.RIWebImageDownloaderBarrierQueue", DISPATCH_QUEUE_CONCURRENT)) {
    downloadQueue_->setMaxConcurrentOperationCount(2);
    downloadQueue_->setName("com.plinketor.RIWebImageDownloader");
    HTTPHeaders_["Accept"] = "image/webp,image/*;q=0.8";
}

RIWebImageDownloader::~RIWebImageDownloader() { downloadQueue_->cancelAllOperations(); }

void RIWebImageDownloader::setValue(const std::optional<std::string>& value, const std::string& field) {
    std::lock_guard lock(mutex_);
    if (value) HTTPHeaders_[field] = *value;
    else HTTPHeaders_.erase(field);
}

std::optional<std::string> RIWebImageDownloader::valueForHTTPHeaderField(const std::string& field) const {
    std::lock_guard lock(mutex_);
    return headerValue(HTTPHeaders_, field);
}

void RIWebImageDownloader::setMaxConcurrentDownloads(long count) { downloadQueue_->setMaxConcurrentOperationCount(count); }

long RIWebImageDownloader::maxConcurrentDownloads() const { return downloadQueue_->maxConcurrentOperationCount(); }

std::size_t RIWebImageDownloader::currentDownloadCount() const { return downloadQueue_->operationCount(); }

void RIWebImageDownloader::setSuspended(bool suspended) { downloadQueue_->setSuspended(suspended); }

double RIWebImageDownloader::downloadTimeout() const {
    std::lock_guard lock(mutex_);
    return downloadTimeout_;
}

void RIWebImageDownloader::setDownloadTimeout(double seconds) {
    std::lock_guard lock(mutex_);
    downloadTimeout_ = seconds;
}

RIWebImageDownloaderExecutionOrder RIWebImageDownloader::executionOrder() const {
    std::lock_guard lock(mutex_);
    return executionOrder_;
}

void RIWebImageDownloader::setExecutionOrder(RIWebImageDownloaderExecutionOrder order) {
    std::lock_guard lock(mutex_);
    executionOrder_ = order;
}

std::string RIWebImageDownloader::username() const {
    std::lock_guard lock(mutex_);
    return username_;
}

void RIWebImageDownloader::setUsername(std::string username) {
    std::lock_guard lock(mutex_);
    username_ = std::move(username);
}

std::string RIWebImageDownloader::password() const {
    std::lock_guard lock(mutex_);
    return password_;
}

void RIWebImageDownloader::setPassword(std::string password) {
    std::lock_guard lock(mutex_);
    password_ = std::move(password);
}

void RIWebImageDownloader::setHeadersFilter(RIWebImageDownloaderHeadersFilterBlock filter) {
    std::lock_guard lock(mutex_);
    headersFilter_ = std::move(filter);
}

RIWebImageOperationPtr RIWebImageDownloader::downloadImageWithURL(const NSURLPtr& url,
                                                                  RIWebImageDownloaderOptions options,
                                                                  RIWebImageDownloaderProgressBlock progressBlock,
                                                                  RIWebImageDownloaderCompletedBlock completedBlock) {
    if (!url) {
        if (completedBlock) completedBlock(nullptr, std::nullopt, nullptr, false);
        return nullptr;
    }
    return attach(url, options, true, std::move(progressBlock), std::move(completedBlock));
}

RIWebImageOperationPtr RIWebImageDownloader::attachToDownloadWithURL(const NSURLPtr& url,
                                                                     RIWebImageDownloaderProgressBlock progressBlock,
                                                                     RIWebImageDownloaderCompletedBlock completedBlock) {
    if (!url) return nullptr;
    return attach(url, 0, false, std::move(progressBlock), std::move(completedBlock));
}

RIWebImageOperationPtr RIWebImageDownloader::attach(const NSURLPtr& url, RIWebImageDownloaderOptions options,
                                                    bool mayStart, RIWebImageDownloaderProgressBlock progressBlock,
                                                    RIWebImageDownloaderCompletedBlock completedBlock) {
    const std::string key = url->absoluteString();
    std::uint64_t generation = 0, callerId = 0;
    std::shared_ptr<RIWebImageDownloaderOperation> created;
    dispatch_barrier_sync(barrierQueue_, [&] {
        auto it = URLCallbacks_.find(key);
        bool isNew = it == URLCallbacks_.end();
        if (isNew && !mayStart) return;
        if (isNew) it = URLCallbacks_.emplace(key, Entry{nextGeneration_++, {}, {}}).first;
        callerId = nextCaller_++;
        generation = it->second.generation;
        // A finished transfer still handing out its result calls this caller back too.
        it->second.callers.push_back(Caller{callerId, std::move(progressBlock), std::move(completedBlock)});
        if (isNew) {
            // Built and queued inside the barrier: two callers of one URL can
            // never both create a transfer.
            created = makeOperation(url, generation, options);
            it->second.operation = created;
        }
    });
    if (callerId == 0) return nullptr;
    if (created) downloadQueue_->addOperation(created);
    return std::make_shared<Token>(weakSelf<RIWebImageDownloader>(), key, generation, callerId);
}

RIWebImageDownloader::Settings RIWebImageDownloader::settings() const {
    std::lock_guard lock(mutex_);
    return Settings{HTTPHeaders_, downloadTimeout_ == 0 ? 15.0 : downloadTimeout_, executionOrder_, username_,
                    password_, headersFilter_};
}

std::shared_ptr<RIWebImageDownloaderOperation> RIWebImageDownloader::makeOperation(const NSURLPtr& url,
                                                                                   std::uint64_t generation,
                                                                                   RIWebImageDownloaderOptions options) {
    QV_ASSERT_ON_QUEUE(barrierQueue_);
    // The filter runs without the settings lock: it may read the downloader.
    const Settings current = settings();
    auto request = NSMutableURLRequest::requestWithURL(
        url->absoluteString(),
        (options & RIWebImageDownloaderUseNSURLCache) ? NSURLRequestUseProtocolCachePolicy
                                                      : NSURLRequestReloadIgnoringLocalCacheData,
        current.timeout);
    request->setHTTPShouldHandleCookies((options & RIWebImageDownloaderHandleCookies) != 0);
    request->setAllHTTPHeaderFields(current.headersFilter ? current.headersFilter(url, current.headers)
                                                          : current.headers);

    std::weak_ptr<RIWebImageDownloader> weak = weakSelf<RIWebImageDownloader>();
    const std::string key = url->absoluteString();
    auto operation = RIWebImageDownloaderOperation::initWithRequest(
        request, options,
        [weak, key, generation](std::int64_t received, std::int64_t expected) {
            auto self = weak.lock();
            if (!self) return;
            for (const auto& caller : self->callersForURL(key, generation))
                if (caller.progress) caller.progress(received, expected);
        },
        [weak, key, generation](UIImagePtr image, std::optional<Data> data, NSErrorPtr error, bool finished) {
            auto self = weak.lock();
            if (!self) return;
            if (finished) {
                self->finishURL(key, generation, image, data, error);
                return;
            }
            for (const auto& caller : self->callersForURL(key, generation))
                if (caller.completed) caller.completed(image, data, error, false);
        },
        [weak, key, generation] {
            if (auto self = weak.lock()) self->removeCallbacksForURL(key, generation);
        });
    if (!current.username.empty() && !current.password.empty())
        operation->setCredential(NSURLCredential::credentialWithUser(current.username, current.password,
                                                                     NSURLCredentialPersistenceForSession));
    if (options & RIWebImageDownloaderHighPriority) operation->setQueuePriority(NSOperationQueuePriority::High);
    else if (options & RIWebImageDownloaderLowPriority) operation->setQueuePriority(NSOperationQueuePriority::Low);
    if (current.executionOrder == RIWebImageDownloaderLIFOExecutionOrder) {
        std::lock_guard lock(mutex_);
        if (auto last = lastAddedOperation_.lock()) last->addDependency(operation);
        lastAddedOperation_ = operation;
    }
    return operation;
}

std::vector<RIWebImageDownloader::Caller> RIWebImageDownloader::callersForURL(const std::string& url,
                                                                             std::uint64_t generation) const {
    std::vector<Caller> callers;
    dispatch_sync(barrierQueue_, [&] {
        auto it = URLCallbacks_.find(url);
        if (it != URLCallbacks_.end() && it->second.generation == generation) callers = it->second.callers;
    });
    return callers;
}

void RIWebImageDownloader::finishURL(const std::string& url, std::uint64_t generation, const UIImagePtr& image,
                                     const std::optional<Data>& data, const NSErrorPtr& error) {
    // An image stays on offer, the entry marked finished, while its callers are
    // called back: a caller attaching meanwhile joins the next round instead of
    // starting a second transfer, and the entry leaves only once a round finds
    // nobody. A failure leaves at once: whoever comes later tries again.
    const bool offered = image && !error;
    for (;;) {
        std::vector<Caller> callers;
        dispatch_barrier_sync(barrierQueue_, [&] {
            auto it = URLCallbacks_.find(url);
            if (it == URLCallbacks_.end() || it->second.generation != generation) return;
            it->second.finished = true;
            callers.swap(it->second.callers);
            if (callers.empty() || !offered) URLCallbacks_.erase(it);
        });
        for (const auto& caller : callers)
            if (caller.completed) caller.completed(image, data, error, true);
        if (callers.empty() || !offered) return;
    }
}

void RIWebImageDownloader::removeCallbacksForURL(const std::string& url, std::uint64_t generation) {
    std::weak_ptr<RIWebImageDownloader> weak = weakSelf<RIWebImageDownloader>();
    dispatch_barrier_async(barrierQueue_, [weak, url, generation] {
        auto self = weak.lock();
        if (!self) return;
        auto it = self->URLCallbacks_.find(url);
        // A finished transfer's entry is removed by the transfer once its callers are served.
        if (it != self->URLCallbacks_.end() && it->second.generation == generation && !it->second.finished)
            self->URLCallbacks_.erase(it);
    });
}

void RIWebImageDownloader::detachCaller(const std::string& url, std::uint64_t generation, std::uint64_t callerId) {
    std::shared_ptr<RIWebImageDownloaderOperation> orphaned;
    dispatch_barrier_sync(barrierQueue_, [&] {
        auto it = URLCallbacks_.find(url);
        if (it == URLCallbacks_.end() || it->second.generation != generation) return;
        auto& callers = it->second.callers;
        callers.erase(std::remove_if(callers.begin(), callers.end(), [&](const Caller& c) { return c.id == callerId; }),
                      callers.end());
        if (callers.empty() && !it->second.finished) {
            orphaned = it->second.operation.lock();
            URLCallbacks_.erase(it);
        }
    });
    // The last caller gone: the transfer has nobody left to serve.
    if (orphaned) orphaned->cancel();
}

std::shared_ptr<RIWebImageDownloaderOperation> RIWebImageDownloader::operationForURL(const NSURLPtr& url) const {
    if (!url) return nullptr;
    std::shared_ptr<RIWebImageDownloaderOperation> op;
    dispatch_sync(barrierQueue_, [&] {
        auto it = URLCallbacks_.find(url->absoluteString());
        if (it != URLCallbacks_.end()) op = it->second.operation.lock();
    });
    return op;
}

std::size_t RIWebImageDownloader::callbackCountForURL(const NSURLPtr& url) const {
    if (!url) return 0;
    std::size_t count = 0;
    dispatch_sync(barrierQueue_, [&] {
        auto it = URLCallbacks_.find(url->absoluteString());
        if (it != URLCallbacks_.end()) count = it->second.callers.size();
    });
    return count;
}
