#include "support/HTTPResponseChecks.h"

#include "support/FuzzSupport.h"

namespace fuzz {

void checkHTTPResponse(const NSHTTPURLResponse& response) {
    check(response.expectedContentLength() >= NSURLResponseUnknownLength, "an expected length below -1");
    for (const char* field : {"Content-Type", "Content-Length", "Content-Range", "Location", "WWW-Authenticate",
                              "ETag", "Last-Modified", "Cache-Control"})
        (void)response.valueForHTTPHeaderField(field);
    if (auto type = response.MIMEType())
        for (char c : *type) check(!(c >= 'A' && c <= 'Z'), "a MIME type that is not lower case");
    (void)response.textEncodingName();
    (void)response.suggestedFilename();
    (void)response.description();
    (void)NSHTTPURLResponse::localizedStringForStatusCode(response.statusCode());
}

}  // namespace fuzz
