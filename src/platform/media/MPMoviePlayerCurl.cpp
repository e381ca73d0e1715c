// The movie player's HTTP(S) source, through libcurl: one GET for the first bytes
// of the movie ("Range: bytes=0-"), closed as soon as they arrive.
#include <curl/curl.h>

#include <mutex>

#include "platform/foundation/NSLog.h"
#include "platform/media/MPMoviePlayerController.h"

namespace {
struct FirstBytes {
    std::size_t received = 0;
};

std::size_t onBody(char*, std::size_t size, std::size_t count, void* user) {
    static_cast<FirstBytes*>(user)->received += size * count;
    return 0;  // enough: ends the transfer (reported as a write error)
}

long urlErrorCode(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_CONNECT: return -1004;         // cannot connect to host
    case CURLE_OPERATION_TIMEDOUT: return -1001;      // timed out
    case CURLE_COULDNT_RESOLVE_HOST: return -1003;    // cannot find host
    case CURLE_URL_MALFORMAT: return -1000;           // bad URL
    case CURLE_UNSUPPORTED_PROTOCOL: return -1002;    // unsupported URL
    case CURLE_TOO_MANY_REDIRECTS: return -1007;      // too many redirects
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: return -1005;            // connection lost
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE: return -1200;       // secure connection failed
    default: return -1;                               // unknown
    }
}

NSErrorPtr failure(long code, const std::string& description, const std::string& url) {
    return NSError::errorWithDomain(NSURLErrorDomain, code,
                                    Value{{NSLocalizedDescriptionKey, description},
                                          {NSURLErrorFailingURLStringErrorKey, url}});
}
}  // namespace

NSErrorPtr MPMoviePlayerController::openHTTPSource(const std::string& url, double connectTimeout) {
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    CURL* curl = curl_easy_init();
    if (!curl) return failure(-1, "the movie source could not be set up", url);
    FirstBytes body;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_RANGE, "0-");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout * 1000));
    // A host that connects but then sends nothing for as long is given up on.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(connectTimeout * 3));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Quorvane movie player");

    CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);

    bool stoppedAfterFirstBytes = code == CURLE_WRITE_ERROR && body.received > 0;
    if (code != CURLE_OK && !stoppedAfterFirstBytes)
        return failure(urlErrorCode(code), errorText[0] ? errorText : curl_easy_strerror(code), url);
    if (status >= 400)
        return failure(-1011, format("the server answered with status %ld", status), url);  // bad server response
    if (body.received == 0) return failure(-1014, "zero byte resource", url);
    return nullptr;
}
