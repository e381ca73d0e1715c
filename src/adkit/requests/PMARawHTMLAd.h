#pragma once
// The raw ad handed to a publisher that renders an ad's HTML itself: the HTML
// and its base URL, and the three reports the publisher makes back, each
// forwarded to the format that made it (its delegate, held weakly):
// recordClick pings the click URLs, recordImpression records the impression
// and pings the manual impression URLs, finishedRenderingAdView makes the ad
// valid (no did-receive call follows from it). Main thread.
#include <memory>
#include <string>

#include "adkit/requests/PMADelegates.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class PMARawHTMLAd : public NSObject {
public:
    // initWithAdHTML:adBaseURL: (there is no plain init).
    static std::shared_ptr<PMARawHTMLAd> make(const std::string& adHTML, const NSURLPtr& adBaseURL);

    std::string className() const override { return "PMARawHTMLAd"; }
    const std::string& adHTML() const { return adHTML_; }
    const NSURLPtr& adBaseURL() const { return adBaseURL_; }
    std::shared_ptr<PMARawHTMLAdDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<PMARawHTMLAdDelegate>& delegate) { delegate_ = delegate; }

    void recordClick();
    void recordImpression();
    void finishedRenderingAdView(const std::shared_ptr<UIView>& view);

    PMARawHTMLAd(std::string adHTML, NSURLPtr adBaseURL) : adHTML_(std::move(adHTML)), adBaseURL_(std::move(adBaseURL)) {}

private:
    std::string adHTML_;
    NSURLPtr adBaseURL_;
    std::weak_ptr<PMARawHTMLAdDelegate> delegate_;
};
