#pragma once
// Blocking HTTP GET over libcurl's easy interface, for tests of local servers.
#include <map>
#include <string>
#include <vector>

namespace testtools {

struct HttpReply {
    int curlCode = 0;  // CURLE_OK when a reply arrived
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers;  // names in lower case
    std::vector<std::string> headerNames;         // the names as sent, in order

    std::string header(const std::string& lowerCaseName) const;
};

// `headers` are "Name: value" lines. The timeout covers the whole transfer.
HttpReply httpGet(const std::string& url, const std::vector<std::string>& headers = {}, long timeoutMs = 20000);
// A GET whose HTTPS peer is verified (chain and name) against the authority in `caFile` alone,
// or against the system's authorities when it is empty.
HttpReply httpsGet(const std::string& url, const std::string& caFile, long timeoutMs = 20000);
// POSTs the body as application/json.
HttpReply httpPostJson(const std::string& url, const std::string& body, long timeoutMs = 20000);

}  // namespace testtools
