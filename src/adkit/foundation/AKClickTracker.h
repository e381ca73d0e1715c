#pragma once
// Follows one click or tracking URL through all its HTTP redirects, inside a
// background task so that the ping survives the application leaving the
// foreground, and reports once where it ended: the last URL reached (a
// redirect to a scheme that is not http(s), such as a store link, ends the
// tracking there and counts as a redirect) or the failure. Main thread only.
#include <memory>

#include "adkit/foundation/AKCachedFile.h"
#include "platform/uikit/UIApplication.h"

class AKClickTracker;

class AKClickTrackerDelegate {
public:
    virtual ~AKClickTrackerDelegate() = default;
    virtual void trackerDidRedirect(AKClickTracker& tracker, const NSURLPtr& url) {
        (void)tracker;
        (void)url;
    }
    virtual void trackerDidFailWithError(AKClickTracker& tracker, const NSErrorPtr& error) {
        (void)tracker;
        (void)error;
    }
};

class AKClickTracker : public NSObject, public AKCachedFileDelegate {
public:
    AKClickTracker() = default;
    ~AKClickTracker() override;

    void trackURL(const NSURLPtr& url);
    void reset();

    bool hasTracked() const { return hasTracked_; }
    bool isCacheEnabled() const { return cacheEnabled_; }
    void setCacheEnabled(bool enabled) { cacheEnabled_ = enabled; }
    std::shared_ptr<AKClickTrackerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKClickTrackerDelegate>& delegate) { delegate_ = delegate; }
    NSURLPtr trackingURL() const { return nullptr; }  // never set by the tracker
    UIBackgroundTaskIdentifier backgroundTask() const { return backgroundTask_; }

    void beginBackgroundTask();
    void endBackgroundTask();

    NSErrorPtr cachedFileShouldRedirectToURL(AKCachedFile& file, const NSURLPtr& url) override;
    void cachedFileDownloadDidEnd(AKCachedFile& file) override;
    void cachedFileDownloadDidFail(AKCachedFile& file, const NSErrorPtr& error) override;

private:
    void dropFile();
    std::weak_ptr<AKClickTrackerDelegate> delegate_;
    std::shared_ptr<AKCachedFile> file_;
    bool hasTracked_ = false;
    bool cacheEnabled_ = true;
    UIBackgroundTaskIdentifier backgroundTask_ = UIBackgroundTaskInvalid;
};
