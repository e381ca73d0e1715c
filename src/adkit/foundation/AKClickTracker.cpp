#include "adkit/foundation/AKClickTracker.h"

#include "adkit/foundation/AKRequestError.h"
#include "platform/foundation/NSString.h"

AKClickTracker::~AKClickTracker() {
    dropFile();
    endBackgroundTask();
}

void AKClickTracker::dropFile() {
    if (!file_) return;
    file_->setDelegate(nullptr);
    file_->invalidate();
    file_.reset();
}

void AKClickTracker::trackURL(const NSURLPtr& url) {
    reset();
    if (!url) return;
    beginBackgroundTask();
    file_ = AKCachedFile::initWithURL(url);
    file_->setDelegate(self<AKClickTracker>());
    if (!cacheEnabled_) file_->setCachePolicy(NSURLRequestReloadIgnoringLocalCacheData);
    file_->validate();
}

void AKClickTracker::reset() {
    hasTracked_ = false;
    dropFile();
    endBackgroundTask();
}

void AKClickTracker::beginBackgroundTask() {
    if (backgroundTask_ != UIBackgroundTaskInvalid) return;
    std::weak_ptr<AKClickTracker> weak = self<AKClickTracker>();
    backgroundTask_ = UIApplication::sharedApplication()->beginBackgroundTaskWithExpirationHandler([weak] {
        if (auto tracker = weak.lock()) tracker->reset();
    });
}

void AKClickTracker::endBackgroundTask() {
    if (backgroundTask_ == UIBackgroundTaskInvalid) return;
    UIApplication::sharedApplication()->endBackgroundTask(backgroundTask_);
    backgroundTask_ = UIBackgroundTaskInvalid;
}

NSErrorPtr AKClickTracker::cachedFileShouldRedirectToURL(AKCachedFile& file, const NSURLPtr& url) {
    const std::string scheme = url && url->scheme() ? lowercaseString(*url->scheme()) : std::string();
    if (hasPrefix(scheme, "http")) return nullptr;
    // An application or store link: the tracking ends at it.
    cachedFileDownloadDidEnd(file);
    return NSError::errorWithDomain(AKErrorDomain, 0);
}

void AKClickTracker::cachedFileDownloadDidEnd(AKCachedFile& file) {
    if (hasTracked_) return;
    hasTracked_ = true;
    auto keepAlive = self<AKClickTracker>();
    if (auto d = delegate_.lock()) d->trackerDidRedirect(*this, file.HTTPDestinationURL());
    endBackgroundTask();
}

void AKClickTracker::cachedFileDownloadDidFail(AKCachedFile& file, const NSErrorPtr& error) {
    (void)file;
    if (hasTracked_) return;
    hasTracked_ = true;
    auto keepAlive = self<AKClickTracker>();
    if (auto d = delegate_.lock()) d->trackerDidFailWithError(*this, error);
    endBackgroundTask();
}
