#include "platform/net/CurlEasySetup.h"

#include <algorithm>
#include <cstdlib>

#include "platform/net/CurlMulti.h"
#include "platform/net/CurlTLSCapture.h"
#include "platform/net/CurlURL.h"

namespace curlbacking {

namespace {

// Receive buffer: larger reads mean fewer callbacks and deliveries per body.
constexpr long kReceiveBuffer = 256 * 1024;

// Sets options in turn; the first refusal is kept and later ones are skipped.
class Options {
public:
    explicit Options(CURL* easy) : easy_(easy) {}

    template <class V>
    void set(CURLoption option, V value, const char* name) {
        if (failure_) return;
        CURLcode code = curl_easy_setopt(easy_, option, value);
        if (code != CURLE_OK) failure_ = std::string("libcurl refused ") + name + ": " + curl_easy_strerror(code);
    }
    // Appends a header line to `list`.
    void append(curl_slist*& list, const std::string& line) {
        if (failure_) return;
        curl_slist* longer = curl_slist_append(list, line.c_str());
        if (!longer) failure_ = "libcurl could not extend the header list";
        else list = longer;
    }
    const std::optional<std::string>& failure() const { return failure_; }

private:
    CURL* easy_;
    std::optional<std::string> failure_;
};

#define SET(options, option, value) (options).set(option, value, #option)

// The length a streamed body announces in its request's Content-Length; -1 when none.
std::int64_t announcedLength(const NSURLRequest& request) {
    auto length = request.valueForHTTPHeaderField("Content-Length");
    if (!length) return -1;
    std::string_view digits = trimmedHTTPWhitespace(*length);
    if (digits.empty() || digits.size() >= 19 ||
        !std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return -1;
    return std::strtoll(std::string(digits).c_str(), nullptr, 10);
}

void setCallbacks(Options& o, NSURLConnection::Transfer& t) {
    SET(o, CURLOPT_PRIVATE, static_cast<void*>(&t));
    SET(o, CURLOPT_NOSIGNAL, 1L);
    SET(o, CURLOPT_FOLLOWLOCATION, 0L);
    SET(o, CURLOPT_PROTOCOLS_STR, "http,https");
    SET(o, CURLOPT_ERRORBUFFER, t.errorText);
    SET(o, CURLOPT_HEADERFUNCTION, &onHeader);
    SET(o, CURLOPT_HEADERDATA, static_cast<void*>(&t));
    SET(o, CURLOPT_WRITEFUNCTION, &onBody);
    SET(o, CURLOPT_WRITEDATA, static_cast<void*>(&t));
    SET(o, CURLOPT_XFERINFOFUNCTION, &onProgress);
    SET(o, CURLOPT_XFERINFODATA, static_cast<void*>(&t));
    SET(o, CURLOPT_NOPROGRESS, 0L);
    SET(o, CURLOPT_BUFFERSIZE, kReceiveBuffer);
}

void setTLS(Options& o, NSURLConnection::Transfer& t) {
    SET(o, CURLOPT_SSL_VERIFYPEER, 0L);  // verified by onSslContext's hook and the challenge
    SET(o, CURLOPT_SSL_VERIFYHOST, 0L);
    SET(o, CURLOPT_SSL_CTX_FUNCTION, &onSslContext);
    SET(o, CURLOPT_SSL_CTX_DATA, static_cast<void*>(&t));
    // A resumed session shows no certificates, and a kept connection was
    // accepted by another load's delegate.
    SET(o, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    SET(o, CURLOPT_FORBID_REUSE, 1L);
    SET(o, CURLOPT_FRESH_CONNECT, 1L);
}

// The method and body; whether a body goes out.
bool setMethodAndBody(Options& o, NSURLConnection::Transfer& t) {
    const NSURLRequest& request = *t.request;
    const std::string& method = request.HTTPMethod();
    t.body = request.HTTPBody().value_or(Data());
    t.bodyStream = method == "HEAD" ? nullptr : request.HTTPBodyStream();
    t.bodyStreamRead = 0;
    t.bodyStreamLength = -1;
    bool sendsBody = request.HTTPBody().has_value() || method == "POST";
    t.expectedUpload = static_cast<std::int64_t>(t.body.size());
    if (t.bodyStream) {
        t.bodyStreamLength = announcedLength(request);
        t.expectedUpload = t.bodyStreamLength;
        SET(o, CURLOPT_POST, 1L);
        SET(o, CURLOPT_READFUNCTION, &onReadBody);
        SET(o, CURLOPT_READDATA, static_cast<void*>(&t));
        SET(o, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.bodyStreamLength));
        if (method != "POST") SET(o, CURLOPT_CUSTOMREQUEST, method.c_str());
        return true;
    }
    if (method == "HEAD") {
        SET(o, CURLOPT_NOBODY, 1L);
    } else if (sendsBody) {
        SET(o, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.body.size()));
        SET(o, CURLOPT_POSTFIELDS, t.body.empty() ? "" : reinterpret_cast<const char*>(t.body.data()));
        if (method != "POST") SET(o, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        SET(o, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    return sendsBody;
}

void setHeaderFields(Options& o, NSURLConnection::Transfer& t, bool sendsBody) {
    const NSURLRequest& request = *t.request;
    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        // A streamed body's framing is curl's, from the length found above.
        if (t.bodyStream &&
            (equalsIgnoringASCIICase(name, "Content-Length") || equalsIgnoringASCIICase(name, "Transfer-Encoding")))
            continue;
        o.append(t.headerList, value.empty() ? name + ";" : name + ": " + value);
    }
    // Only what the request names is sent: no implicit form type, no waiting for 100-continue.
    if (sendsBody && !request.valueForHTTPHeaderField("Content-Type")) o.append(t.headerList, "Content-Type:");
    if (!request.valueForHTTPHeaderField("Expect")) o.append(t.headerList, "Expect:");
    SET(o, CURLOPT_HTTPHEADER, t.headerList);
    if (t.credential && !request.valueForHTTPHeaderField("Authorization")) {
        SET(o, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        SET(o, CURLOPT_USERNAME, t.credential->user().c_str());
        SET(o, CURLOPT_PASSWORD, t.credential->password().c_str());
    }
}

}  // namespace

std::optional<std::string> configure(NSURLConnection::Transfer& t) {
    auto multi = t.multi.lock();
    t.easy = multi ? multi->takeHandle() : curl_easy_init();
    if (!t.easy) return std::string("libcurl could not make a transfer handle");
    if (!t.url) return std::string("the request's URL was not parsed");
    Options options(t.easy);
    SET(options, CURLOPT_CURLU, t.url.get());
    setCallbacks(options, t);
    if (schemeOf(t.url.get()) == "https") setTLS(options, t);
    bool sendsBody = setMethodAndBody(options, t);
    setHeaderFields(options, t, sendsBody);
    return options.failure();
}

#undef SET

}  // namespace curlbacking
