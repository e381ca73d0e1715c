#include "platform/webkit/UIWebViewRecorder.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/net/NSURLError.h"

UIWebView::BackingFactory UIWebViewRecorder::factory() {
    return [](UIWebViewBackingClient& client) { return std::make_unique<UIWebViewRecorder>(client); };
}

UIWebViewRecorder& UIWebViewRecorder::of(const UIWebView& view) {
    return dynamic_cast<UIWebViewRecorder&>(view.backing());
}

void UIWebViewRecorder::hostLoad(const std::string& URL) {
    navigate(URL, UIWebViewNavigationTypeOther, true);
}

bool UIWebViewRecorder::navigate(const std::string& URL, UIWebViewNavigationType type, bool mainFrame) {
    QV_ASSERT_MAIN_THREAD();
    auto request = NSURLRequest::requestWithURL(URL);
    if (!client_.backingShouldStartLoad(request, type)) return false;
    if (!mainFrame) return true;
    if (loading_) {
        client_.backingDidFailLoad(*NSError::make(NSURLErrorDomain, NSURLErrorCancelled, "cancelled"));
    }
    request_ = request;
    loading_ = true;
    client_.backingDidStartLoad();
    return true;
}

void UIWebViewRecorder::finishLoad(std::optional<long> statusCode) {
    QV_ASSERT_MAIN_THREAD();
    if (!loading_) return;
    loading_ = false;
    statusCode_ = statusCode;
    client_.backingDidFinishLoad();
}

void UIWebViewRecorder::failLoad(const NSError& error) {
    QV_ASSERT_MAIN_THREAD();
    if (!loading_) return;
    loading_ = false;
    client_.backingDidFailLoad(error);
}

void UIWebViewRecorder::loadHTMLString(const std::string&, const std::string& baseURL) {
    hostLoad(baseURL.empty() ? "about:blank" : baseURL);
}

void UIWebViewRecorder::loadData(const Data&, const std::string&, const std::string&, const std::string& baseURL) {
    hostLoad(baseURL.empty() ? "about:blank" : baseURL);
}

void UIWebViewRecorder::loadRequest(const std::shared_ptr<NSURLRequest>& request) {
    if (request) hostLoad(request->URL());
}

void UIWebViewRecorder::reload() {
    if (request_) navigate(request_->URL(), UIWebViewNavigationTypeReload, true);
}

std::string UIWebViewRecorder::evaluateJavaScript(const std::string& script) {
    QV_ASSERT_MAIN_THREAD();
    scripts_.push_back(script);
    return scriptAnswer_ ? scriptAnswer_(script) : std::string();
}
