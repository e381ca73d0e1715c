// Protects the tests of local servers: a blocking HTTP GET over libcurl.
#include "support/HttpFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>

namespace testtools {

namespace {

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

size_t recordHeader(char* data, size_t size, size_t count, void* target) {
    const std::string line(data, size * count);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        std::string value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) value.pop_back();
        auto* reply = static_cast<HttpReply*>(target);
        reply->headerNames.push_back(line.substr(0, colon));
        reply->headers[name] = value;
    }
    return size * count;
}

}  // namespace

std::string HttpReply::header(const std::string& lowerCaseName) const {
    const auto found = headers.find(lowerCaseName);
    return found == headers.end() ? std::string() : found->second;
}

namespace {

HttpReply perform(const std::string& url, const std::vector<std::string>& headers, long timeoutMs,
                  const std::string* postBody, const std::string* caFile = nullptr) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (!curl) {
        reply.curlCode = CURLE_FAILED_INIT;
        return reply;
    }
    curl_slist* headerList = nullptr;
    for (const auto& header : headers) headerList = curl_slist_append(headerList, header.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, recordHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    if (caFile) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!caFile->empty()) {
            curl_easy_setopt(curl, CURLOPT_CAINFO, caFile->c_str());
            curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
        }
    }
    if (postBody) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody->size()));
    }
    reply.curlCode = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(headerList);
    curl_easy_cleanup(curl);
    return reply;
}

}  // namespace

HttpReply httpGet(const std::string& url, const std::vector<std::string>& headers, long timeoutMs) {
    return perform(url, headers, timeoutMs, nullptr);
}

HttpReply httpsGet(const std::string& url, const std::string& caFile, long timeoutMs) {
    return perform(url, {}, timeoutMs, nullptr, &caFile);
}

HttpReply httpPostJson(const std::string& url, const std::string& body, long timeoutMs) {
    return perform(url, {"Content-Type: application/json"}, timeoutMs, &body);
}

}  // namespace testtools
