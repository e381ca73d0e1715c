#include "adkit/requests/PMARawHTMLAd.h"

std::shared_ptr<PMARawHTMLAd> PMARawHTMLAd::make(const std::string& adHTML, const NSURLPtr& adBaseURL) {
    return std::make_shared<PMARawHTMLAd>(adHTML, adBaseURL);
}

void PMARawHTMLAd::recordClick() {
    if (const auto d = delegate()) d->recordClick();
}

void PMARawHTMLAd::recordImpression() {
    if (const auto d = delegate()) d->recordCustomAdImpression();
}

void PMARawHTMLAd::finishedRenderingAdView(const std::shared_ptr<UIView>& view) {
    if (const auto d = delegate()) d->finishedRenderingAdView(view);
}
