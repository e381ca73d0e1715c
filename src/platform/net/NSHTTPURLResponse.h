#pragma once
// The response to an HTTP request: status code, header fields and the
// metadata derived from them.
#include <memory>
#include <string>

#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/NSURLResponse.h"

class NSHTTPURLResponse : public NSURLResponse {
public:
    // MIME type, text encoding name and expected length come from the header fields.
    NSHTTPURLResponse(std::string URL, long statusCode, std::string HTTPVersion, HTTPHeaderFields headerFields);
    static std::shared_ptr<NSHTTPURLResponse> initWithURL(std::string URL, long statusCode, std::string HTTPVersion,
                                                          HTTPHeaderFields headerFields);

    long statusCode() const { return statusCode_; }
    const std::string& HTTPVersion() const { return HTTPVersion_; }
    // Fields of the same name are joined with ", "; lookup ignores case.
    const HTTPHeaderFields& allHeaderFields() const { return headerFields_; }
    std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;

    // The standard text of a status code, lower case as the platform gives it
    // ("not found"); "server error" style texts for unknown codes of a class.
    static std::string localizedStringForStatusCode(long statusCode);

    std::string description() const override;

private:
    long statusCode_;
    std::string HTTPVersion_;
    HTTPHeaderFields headerFields_;
};
