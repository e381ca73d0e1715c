#include "platform/net/NSURLResponse.h"

#include <cstdio>

NSURLResponse::NSURLResponse(std::string URL, std::optional<std::string> MIMEType, std::int64_t expectedContentLength,
                             std::optional<std::string> textEncodingName)
    : URL_(std::move(URL)),
      MIMEType_(std::move(MIMEType)),
      expectedContentLength_(expectedContentLength),
      textEncodingName_(std::move(textEncodingName)) {}

std::string NSURLResponse::suggestedFilename() const {
    std::string path = URL_;
    auto scheme = path.find("://");
    if (scheme != std::string::npos) {
        auto slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? std::string() : path.substr(slash);
    }
    path = path.substr(0, path.find_first_of("?#"));
    auto last = path.find_last_of('/');
    std::string name = last == std::string::npos ? path : path.substr(last + 1);
    return name.empty() ? "index.html" : name;
}

std::string NSURLResponse::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + className() + ": " + address + "> { URL: " + URL_ + " }";
}
