#include "platform/uikit/UIWebView.h"

#include "platform/base/ThreadAssertions.h"

void UIWebView::loadData(Data data, std::string MIMEType, std::string textEncodingName, std::string baseURL) {
    QV_ASSERT_MAIN_THREAD();
    loadedData_ = LoadedData{std::move(data), std::move(MIMEType), std::move(textEncodingName), std::move(baseURL)};
    loadedRequest_.reset();
    ++loads_;
}

void UIWebView::loadRequest(std::shared_ptr<NSURLRequest> request) {
    QV_ASSERT_MAIN_THREAD();
    loadedRequest_ = std::move(request);
    loadedData_.reset();
    ++loads_;
}
