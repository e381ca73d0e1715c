#include "adkit/foundation/AKCachedFile.h"

#include <cassert>
#include <cmath>

#include "adkit/foundation/AKConnectionForwarder.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKHeaderParser.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "adkit/foundation/AKURLConnection.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/FileTimes.h"
#include "platform/foundation/HTTPDate.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSHTTPCookieStorage.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/runloop/NSThread.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"

namespace {

constexpr double kSecondsFrom1970To2001 = 978307200.0;

// The host as one folder name that cannot step out of the caches directory.
std::string folderForHost(const std::optional<std::string>& host) {
    if (!host || host->empty()) return "@local";
    std::string allowed(URLUnreservedCharacters());
    allowed += "!$&'()*+,;=:@";
    std::string folder = stringByAddingPercentEncodingWithAllowedCharacters(*host, allowed);
    if (folder.find_first_not_of('.') == std::string::npos) folder = stringByReplacingOccurrencesOfString(folder, ".", "%2E");
    return folder;
}

void applyCookies(NSMutableURLRequest& request) {
    if (request.valueForHTTPHeaderField("Cookie")) return;  // the loading layer already set them
    if (auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookieHeaderForURL(request.URL())) {
        request.setValue(*cookies, "Cookie");
    }
}

void storeCookies(const std::shared_ptr<NSURLResponse>& response) {
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    if (!http) return;
    if (auto setCookie = http->valueForHTTPHeaderField("Set-Cookie")) {
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->setCookiesFromHeaderValue(*setCookie, http->URL());
    }
}

}  // namespace

std::shared_ptr<AKCachedFile> AKCachedFile::initWithURL(const NSURLPtr& url) { return std::make_shared<AKCachedFile>(url); }

AKCachedFile::~AKCachedFile() {
    if (connection_) connection_->cancel();
}

std::optional<std::string> AKCachedFile::filePath() {
    if (filePath_) return filePath_;
    if (!source_) return std::nullopt;
    const auto caches = NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
    if (caches.empty()) return std::nullopt;
    const std::string name = ak_MD5String(source_->absoluteString()).value_or("");
    filePath_ = stringByAppendingPathComponent(stringByAppendingPathComponent(caches.front(), folderForHost(source_->host())), name);
    return filePath_;
}

bool AKCachedFile::fileExists() {
    auto path = filePath();
    return path && NSFileManager::defaultManager()->fileExistsAtPath(*path);
}

std::optional<std::string> AKCachedFile::fileModificationDate() {
    auto path = filePath();
    if (!path) return std::nullopt;
    const Value attributes = NSFileManager::defaultManager()->attributesOfItemAtPath(*path);
    auto date = attributes[NSFileModificationDate].date();
    if (!date) return std::nullopt;
    return HTTPDate::formatRFC1123(*date);
}

void AKCachedFile::validate() {
    if (!connection_) beginFetch(false);
}

void AKCachedFile::validateWithCacheBuster() {
    if (!connection_) beginFetch(true);
}

void AKCachedFile::validateWithDelegate(const std::shared_ptr<AKCachedFileDelegate>& delegate, const NSURLPtr& url) {
    invalidate();
    clear();
    source_ = url;
    destination_ = url;
    delegate_ = delegate;
    validate();
}

void AKCachedFile::cancel() { cleanUpConnection(); }

void AKCachedFile::invalidate() {
    cleanUpConnection();
    if (auto path = filePath()) {
        NSErrorPtr ignored;  // a missing file is no error
        [[maybe_unused]] const bool removed = NSFileManager::defaultManager()->removeItemAtPath(*path, &ignored);
    }
}

void AKCachedFile::clear() {
    cleanUpConnection();
    source_.reset();
    destination_.reset();
    filePath_.reset();
    headers_ = HTTPHeaderFields();
}

std::optional<Data> AKCachedFile::contentAsData() {
    auto path = filePath();
    return path ? NSFileManager::defaultManager()->contentsAtPath(*path) : std::nullopt;
}

std::optional<std::string> AKCachedFile::contentAsString() {
    auto data = contentAsData();
    if (!data) return std::nullopt;
    std::string text = stringFromData(*data);
    if (!isValidUTF8(text)) return std::nullopt;
    return text;
}

std::shared_ptr<UIImage> AKCachedFile::contentAsImage() {
    auto data = contentAsData();
    if (!data) return nullptr;
    const bool doubled = source_ && source_->lastPathComponent().find("@2x") != std::string::npos;
    return UIImage::imageWithData(*data, doubled ? 2.0 : 1.0);
}

std::string AKCachedFile::description() const {
    return format("<%@: %p> HTTP code: %ld\n\turl: %@\n\tfile: %@", className(),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this)), status_,
                  source_ ? source_->absoluteString() : std::string(), filePath_.value_or(""));
}

void AKCachedFile::beginFetch(bool cacheBuster) {
    QV_ASSERT_MAIN_THREAD();
    if (!source_) return;
    NSURLPtr url = source_;
    if (cacheBuster) {
        char unique[32];
        std::snprintf(unique, sizeof unique, "%.0f", Clock::now() - kSecondsFrom1970To2001);
        if (auto busted = ak_appendQueryValue(*source_, std::string(unique), "unique")) url = busted;
        cachePolicy_ = NSURLRequestReloadIgnoringLocalCacheData;
    }
    auto request = NSMutableURLRequest::requestWithURL(url->absoluteString(), cachePolicy_, NSURLRequestDefaultTimeoutInterval);
    request->setHTTPShouldHandleCookies(true);
    if (auto agent = AKDevice::currentDevice()->userAgentString(); agent && !agent->empty()) request->setValue(*agent, "User-Agent");
    if (fileExists()) {
        if (auto since = fileModificationDate()) request->setValue(*since, "If-Modified-Since");
    }
    applyCookies(*request);
    connection_ = AKMNSURLConnectionFactory::sharedFactory()->connectionWithRequest(
        request, std::make_shared<AKConnectionForwarder<AKCachedFile>>(self<AKCachedFile>()), false);
    if (!connection_) {
        fail(nullptr);
        return;
    }
    received_.clear();
    connection_->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
    connection_->start();
}

void AKCachedFile::cleanUpConnection() {
    if (connection_) connection_->cancel();
    connection_.reset();
    received_.clear();
    receivedModificationDate_.reset();
}

void AKCachedFile::fail(const NSErrorPtr& error) {
    auto keepAlive = self<AKCachedFile>();
    if (auto d = delegate_.lock()) d->cachedFileDownloadDidFail(*this, error);
}

std::shared_ptr<NSURLRequest> AKCachedFile::loadWillSendRequest(const std::shared_ptr<NSURLRequest>& request,
                                                            const std::shared_ptr<NSURLResponse>& redirect) {
    auto keepAlive = self<AKCachedFile>();
    destination_ = NSURL::URLWithString(request->URL());
    if (!redirect) return request;
    if (auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(redirect)) headers_ = http->allHeaderFields();
    storeCookies(redirect);
    NSErrorPtr refusal;
    if (auto d = delegate_.lock()) refusal = d->cachedFileShouldRedirectToURL(*this, destination_);
    if (refusal) {
        cleanUpConnection();
        fail(refusal);
        return nullptr;
    }
    if (!connection_) return nullptr;  // the delegate ended the fetch
    auto next = request->mutableCopy();
    next->setValue(std::nullopt, "Cookie");
    applyCookies(*next);
    return next;
}

void AKCachedFile::processResponse(const std::shared_ptr<NSURLResponse>& response) {
    auto keepAlive = self<AKCachedFile>();
    received_.clear();
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    if (!http) return;  // not HTTP: the body is saved when it finishes
    storeCookies(response);
    status_ = http->statusCode();
    headers_ = http->allHeaderFields();
    if (status_ == 200) {
        receivedModificationDate_ = http->valueForHTTPHeaderField("Last-Modified");
    } else if (status_ == 304) {
        cleanUpConnection();
        if (auto d = delegate_.lock()) d->cachedFileDownloadDidEnd(*this);
    } else {
        cleanUpConnection();
        fail(nullptr);
    }
}

void AKCachedFile::loadDidReceiveData(const Data& data) {
    if (received_.size() + data.size() > kAKMaximumBodyLength) {
        cleanUpConnection();
        fail(AKRequestError::errorWithCode(13, std::optional<std::string>("The response body is over 16 MiB.")));
        return;
    }
    received_.insert(received_.end(), data.begin(), data.end());
}

void AKCachedFile::loadDidFail(const NSErrorPtr& error) {
    cleanUpConnection();
    fail(error);
}

void AKCachedFile::loadDidFinish() {
    auto keepAlive = self<AKCachedFile>();
    saveDataToFile();
    cleanUpConnection();
}

void AKCachedFile::saveDataToFile() {
    auto path = filePath();
    if (!path) {
        fail(AKRequestError::errorWithCode(11));
        return;
    }
    auto manager = NSFileManager::defaultManager();
    NSErrorPtr error;
    if (!manager->createDirectoryAtPath(stringByDeletingLastPathComponent(*path), true, {}, &error) ||
        !manager->createFileAtPath(*path, received_)) {
        fail(error ? error : NSError::posix(EIO, *path));
        return;
    }
    // The time is set before anyone hears of the file, so the next fetch sends it.
    if (receivedModificationDate_) {
        if (auto date = ak_dateFromHttpDateString(*receivedModificationDate_)) {
            [[maybe_unused]] const bool set = FileTimes::setAccessAndModificationDate(*path, *date);  // else the write time stays
        }
    }
    receivedModificationDate_.reset();
    if (auto d = delegate_.lock()) d->cachedFileDownloadDidEnd(*this);
}

// ---- AKCacheSet -------------------------------------------------------------------------------

namespace {

// The pooled objects are views and web views, which must be released on the main
// thread: the last references the queue holds go there instead of ending on it.
template <typename Objects>
void releaseOnMainThread(Objects objects) {
    if (NSThread::isMainThread()) return;  // released here, on leaving
    // Moved, never copied: no reference stays behind on this thread.
    dispatch_async(dispatch_get_main_queue(), [objects = std::move(objects)]() mutable { Objects gone = std::move(objects); });
}

}  // namespace

std::shared_ptr<AKCacheSet> AKCacheSet::initWithMaxCapacity(std::size_t capacity) {
    auto set = std::make_shared<AKCacheSet>(capacity);
    std::weak_ptr<AKCacheSet> weak = set;
    set->observer_ = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr, dispatch_get_main_queue(), [weak](const NSNotification&) {
            if (auto me = weak.lock()) me->removeAllObjects();
        });
    return set;
}

AKCacheSet::AKCacheSet(std::size_t capacity) : capacity_(capacity), queue_(dispatch_queue_create("com.adkit.adnet.cache-set")) {}

AKCacheSet::~AKCacheSet() {
    if (observer_) NSNotificationCenter::defaultCenter()->removeObserver(observer_.get());
    releaseOnMainThread(std::move(objects_));
}

void AKCacheSet::addObject(const std::shared_ptr<NSObject>& object) {
    if (!object) return;
    std::weak_ptr<AKCacheSet> weak = self<AKCacheSet>();
    dispatch_async(queue_, [weak, object]() mutable {
        auto me = weak.lock();
        if (me && me->objects_.size() < me->capacity_) {
            me->objects_.insert(std::move(object));
            return;
        }
        // Dropped (the set is full or gone): this may be its last reference.
        releaseOnMainThread(std::move(object));
    });
}

std::shared_ptr<NSObject> AKCacheSet::anyObject() {
    std::shared_ptr<NSObject> taken;
    dispatch_sync(queue_, [&] {
        if (objects_.empty()) return;
        taken = *objects_.begin();
        objects_.erase(objects_.begin());
    });
    return taken;
}

void AKCacheSet::removeAllObjects() {
    std::set<std::shared_ptr<NSObject>> removed;
    dispatch_sync(queue_, [&] { removed.swap(objects_); });
    releaseOnMainThread(std::move(removed));
}

std::size_t AKCacheSet::count() {
    std::size_t n = 0;
    dispatch_sync(queue_, [&] { n = objects_.size(); });
    return n;
}
