#pragma once
// A web view that records what it was asked to show: the last
// loadData:MIMEType:textEncodingName:baseURL: (data, MIME type, encoding name,
// base URL) and the last loadRequest:, with a count of loads. It renders
// nothing. Main thread only.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIView.h"

class UIWebView : public UIView {
public:
    struct LoadedData {
        Data data;
        std::string MIMEType;
        std::string textEncodingName;
        std::string baseURL;
    };

    using UIView::UIView;
    void loadData(Data data, std::string MIMEType, std::string textEncodingName, std::string baseURL);
    void loadRequest(std::shared_ptr<NSURLRequest> request);

    const std::optional<LoadedData>& loadedData() const { return loadedData_; }
    const std::shared_ptr<NSURLRequest>& loadedRequest() const { return loadedRequest_; }
    std::size_t loadCount() const { return loads_; }

private:
    std::optional<LoadedData> loadedData_;
    std::shared_ptr<NSURLRequest> loadedRequest_;
    std::size_t loads_ = 0;
};
