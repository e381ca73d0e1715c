// Responses built from header lines, as the URL loading builds them once a
// header block is read: the first two bytes give the status, the rest is
// "Name: value" lines (fields of one name joined with ", "). The derived
// metadata must hold for any header text.
#include <string>

#include "Harnesses.h"
#include "platform/foundation/NSString.h"
#include "support/FuzzSupport.h"
#include "support/HTTPResponseChecks.h"

namespace fuzz::http_response {

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    long status = 100 + (input.take() * 256 + input.take()) % 900;
    HTTPHeaderFields fields;
    for (const auto& line : componentsSeparatedByString(input.rest(), "\n")) {
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = stringByTrimmingWhitespace(line.substr(0, colon));
        std::string value = stringByTrimmingWhitespaceAndNewlines(line.substr(colon + 1));
        auto [it, added] = fields.emplace(name, value);
        if (!added) it->second += ", " + value;
    }
    auto response = NSHTTPURLResponse::initWithURL("http://127.0.0.1/a/b.txt?q", status, "HTTP/1.1", fields);
    check(response != nullptr, "no response for header fields");
    check(response->statusCode() == status, "the response has another status");
    checkHTTPResponse(*response);
    return 0;
}

}  // namespace fuzz::http_response
