#pragma once
// The metadata of a loaded URL: its URL, MIME type, text encoding name and
// expected length.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"

inline constexpr std::int64_t NSURLResponseUnknownLength = -1;

class NSURLResponse : public NSObject {
public:
    NSURLResponse(std::string URL, std::optional<std::string> MIMEType, std::int64_t expectedContentLength,
                  std::optional<std::string> textEncodingName);

    const std::string& URL() const { return URL_; }
    // Lower case, without parameters ("text/html"); absent when unknown.
    const std::optional<std::string>& MIMEType() const { return MIMEType_; }
    // The length announced by the peer, or NSURLResponseUnknownLength.
    std::int64_t expectedContentLength() const { return expectedContentLength_; }
    // The charset named by the peer, lower case ("utf-8"); absent when none was named.
    const std::optional<std::string>& textEncodingName() const { return textEncodingName_; }
    // The last path component of the URL, "index.html" for none.
    std::string suggestedFilename() const;

    std::string description() const override;

protected:
    std::string URL_;
    std::optional<std::string> MIMEType_;
    std::int64_t expectedContentLength_;
    std::optional<std::string> textEncodingName_;
};
