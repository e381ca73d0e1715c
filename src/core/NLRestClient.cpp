#include "core/NLRestClient.h"

#include <cstdlib>

#include "core/AESAdditions.h"
#include "core/Base64.h"
#include "core/Digest.h"
#include "core/UIDeviceIdentifierAddition.h"
#include "networking/NLHTTPRequestOperation.h"
#include "networking/NLURLRequestSerialization.h"
#include "networking/NLURLResponseSerialization.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIDevice.h"

namespace {

// The reply key and the token secret the backend shares with the application.
constexpr const char* kReplyKey = "wqle#*!408mzbrt5kc&e(7xy)26fhu0v";
constexpr const char* kTokenSecret = "rivo718#pelmarq642";
constexpr const char* kPlatformWord = "ios";
constexpr const char* kDefaultBaseURL = "http://127.0.0.1:8080/admin/index.php/apiios_final";

std::string withoutTrailingSlash(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

// A parameter's text: numbers in decimal, strings unchanged.
std::string parameterText(const Value& v) { return v.isString() ? *v.string() : v.stringValue(); }

// Query keys and values travel as UTF-8 with everything but the unreserved
// characters escaped, so "&", "=", "+" and non-ASCII text arrive intact.
std::string escapeQueryComponent(const std::string& text) {
    return stringByAddingPercentEncodingWithAllowedCharacters(text, URLUnreservedCharacters());
}

}  // namespace

NLRestClient::NLRestClient() {
    std::string url;
    if (const char* env = std::getenv("QUORVANE_CATALOGUE_URL"); env && *env) url = env;
    if (url.empty()) {
        auto configured = NSBundle::mainBundle()->objectForInfoDictionaryKey("QuorvaneCatalogueURL");
        url = configured.isString() ? *configured.string() : kDefaultBaseURL;
    }
    baseURL_ = withoutTrailingSlash(url);
}

std::shared_ptr<NLRestClient> NLRestClient::sharedClient() {
    static ProcessLifetime<std::shared_ptr<NLRestClient>> client(std::make_shared<NLRestClient>());
    return *client;
}

void NLRestClient::setBaseURL(std::string url) { baseURL_ = withoutTrailingSlash(std::move(url)); }

NSErrorPtr NLRestClient::clientError(long code, Value userInfo) const {
    return NSError::errorWithDomain(baseURL_, code, std::move(userInfo));
}

// ---------------------------------------------------------------- the six calls

void NLRestClient::getListMoviesWithType(const std::string& type, std::int32_t genres, std::int32_t page,
                                         Success success, Failure failure) {
    getPath("movies", Value{{"type", type}, {"genres", genres}, {"page", page}, {"count", kPageSize}}, kRetry, nullptr,
            std::move(success), std::move(failure), CatalogueReplyKind::List);
}

void NLRestClient::getListTVShowWithType(const std::string& type, std::int32_t genres, std::int32_t page,
                                         Success success, Failure failure) {
    getPath("tvshow", Value{{"type", type}, {"genres", genres}, {"page", page}, {"count", kPageSize}}, kRetry, nullptr,
            std::move(success), std::move(failure), CatalogueReplyKind::List);
}

void NLRestClient::searchMoviesWithKey(const std::string& keyword, std::int32_t page, Success success,
                                       Failure failure) {
    getPath("search", Value{{"keyword", keyword}, {"page", page}, {"count", kPageSize}}, kRetry, nullptr,
            std::move(success), std::move(failure), CatalogueReplyKind::List);
}

void NLRestClient::getDetailMovies(std::int32_t movieID, Success success, Failure failure) {
    getPath("detail", Value{{"id", movieID}}, kRetry, nullptr, std::move(success), std::move(failure),
            CatalogueReplyKind::Detail);
}

void NLRestClient::getListStreamOfChapter(std::int32_t chapterID, Success success, Failure failure) {
    getPath("stream", Value{{"chapterid", chapterID}}, kRetry, nullptr, std::move(success), std::move(failure),
            CatalogueReplyKind::Streams);
}

void NLRestClient::getConfigVersionSuccess(Success success, Failure failure) {
    getPath("getversion", Value{{"os", kPlatformWord}}, kRetry, nullptr, std::move(success), std::move(failure),
            CatalogueReplyKind::Configuration);
}

// ---------------------------------------------------------------- URLs

std::string NLRestClient::exeLink() const {
    auto t = static_cast<std::int64_t>(Clock::now());
    std::string deviceID = uniqueGlobalDeviceIdentifier(*UIDevice::currentDevice());
    std::string timeText = std::to_string(t);
    std::string token = md5(std::string(kTokenSecret) + timeText);
    NSLog("---- %@", timeText.substr(0, 7));
    auto version = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleVersion");
    // "time" carries the same 64-bit value the token digests.
    return format("&os=%@&version=%@&deviceid=%@&token=%@&time=%@", kPlatformWord, version.stringValue(),
                  escapeQueryComponent(deviceID), token, timeText);
}

std::string NLRestClient::buildRESTFULLUrlWithURL(const std::string& url, const Value& arguments) const {
    std::vector<std::string> pairs;
    if (auto dict = arguments.dictionaryRef())
        for (const auto& [key, value] : *dict)
            pairs.push_back(escapeQueryComponent(key) + "=" + escapeQueryComponent(parameterText(value)));
    return url + "?" + componentsJoinedByString(pairs, "&") + exeLink();
}

// Paths resolve under the base path ("<base>/<path>"), never replacing its last segment.
std::string NLRestClient::resolvedURL(const std::string& path) const {
    std::string p = path;
    while (!p.empty() && p.front() == '/') p.erase(p.begin());
    return baseURL_ + "/" + p;
}

// ---------------------------------------------------------------- transport

void NLRestClient::getPath(const std::string& path, const Value& arguments, std::int32_t retry, NSErrorPtr error,
                           Success success, Failure failure, std::optional<CatalogueReplyKind> kind) {
    if (retry < 1) {
        if (failure) failure(error);
        return;
    }
    std::string url = buildRESTFULLUrlWithURL(resolvedURL(path), arguments);
    if (!NSURL::URLWithString(url)) {
        if (failure)
            dispatch_main_async_safe([failure, e = clientError(0, Value{{NSLocalizedDescriptionKey, "Bad URL: " + url}})] {
                failure(e);
            });
        return;
    }
    auto request = NSMutableURLRequest::requestWithURL(url);
    request->setHTTPMethod("GET");
    request->addValue("text/html", "Content-Type");
    auto operation = NLHTTPRequestOperation::initWithRequest(request);
    operation->setMaximumResponseSize(NLRestClient::kMaximumReplySize);
    auto self = std::static_pointer_cast<const NLRestClient>(shared_from_this());
    operation->setCompletionBlockWithSuccess(
        [self, success, failure, kind](const std::shared_ptr<NLHTTPRequestOperation>& op, const Value& responseObject) {
            self->handleReply(op, responseObject, success, failure, kind);
        },
        [failure](const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr& e) {
            if (failure) failure(e);
        });
    operation->start();
}

void NLRestClient::handleReply(const std::shared_ptr<NLHTTPRequestOperation>& operation, const Value& responseObject,
                               const Success& success, const Failure& failure,
                               std::optional<CatalogueReplyKind> kind) const {
    QV_ASSERT_MAIN_THREAD();  // replies are decoded and unwrapped on the main queue
    // The body is read as text in its charset (UTF-8 when none is named); bytes
    // that are no text there fail as a serialization error.
    std::optional<Data> plain;
    if (responseObject.isData()) {
        auto text = operation->responseString();
        if (!text) {
            if (failure) failure(NLUndecodableBodyError(operation->response(), operation->responseData()));
            return;
        }
        plain = decodeDataWithKey(*text);
    } else if (const auto* text = responseObject.string()) {
        plain = decodeDataWithKey(*text);
    }
    Value r = plain ? Value(std::move(*plain)) : Value();
    if (!r.isData()) {
        if (failure) failure(clientError(0, Value{{NSLocalizedDescriptionKey, "The reply could not be decoded."}}));
        return;
    }
    NSErrorPtr parseError;
    auto envelope = NSJSONSerialization::JSONObjectWithData(*r.data(), 0, &parseError);
    if (!envelope) {
        if (failure) failure(parseError);
        return;
    }
    const Value msg = (*envelope)["msg"];
    if (!envelope->isDictionary() || !msg.isString() || *msg.string() != "Success") {
        if (failure)
            failure(clientError(0, Value{{NSLocalizedDescriptionKey, "The reply is not a successful envelope."},
                                         {"reply", r}}));
        return;
    }
    // A missing "data" hands over null, as an explicit null does.
    Value data = (*envelope)["data"];
    std::string problem;
    if (kind && !CatalogueReply::prepareReplyData(*kind, data, &problem)) {
        if (failure)
            failure(clientError(0, Value{{NSLocalizedDescriptionKey, "The reply's data has the wrong shape: " + problem},
                                         {"reply", r}}));
        return;
    }
    if (success) success(data);
}

std::optional<Data> NLRestClient::decodeDataWithKey(const std::string& text) {
    auto bytes = base64DecodedData(text);
    if (!bytes) return std::nullopt;
    return AES256DecryptWithKey(*bytes, kReplyKey);
}

// ---------------------------------------------------------------- routines with JSON replies

namespace {
void runJSONOperation(const std::shared_ptr<NSMutableURLRequest>& request, NLRestClient::Success success,
                      NLRestClient::Failure failure) {
    auto operation = NLHTTPRequestOperation::initWithRequest(request);
    operation->setMaximumResponseSize(NLRestClient::kMaximumReplySize);
    operation->setResponseSerializer(NLJSONResponseSerializer::serializer());
    operation->setCompletionBlockWithSuccess(
        [success](const std::shared_ptr<NLHTTPRequestOperation>&, const Value& object) {
            if (success) success(object);
        },
        [failure](const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr& e) {
            if (failure) failure(e);
        });
    operation->start();
}

void failLater(const NLRestClient::Failure& failure, NSErrorPtr error) {
    if (failure) dispatch_main_async_safe([failure, error] { failure(error); });
}
}  // namespace

void NLRestClient::putPath(const std::string& path, const Value& arguments, std::int32_t retry, NSErrorPtr error,
                           Success success, Failure failure) {
    if (retry < 1) {
        if (failure) failure(error);
        return;
    }
    NSErrorPtr jsonError;
    auto body = NSJSONSerialization::dataWithJSONObject(arguments, 0, &jsonError);
    if (!body) return failLater(failure, jsonError);
    auto request = NSMutableURLRequest::requestWithURL(resolvedURL(path));
    request->setHTTPMethod("PUT");
    request->addValue("application/json", "Content-Type");
    request->setHTTPBody(*body);
    runJSONOperation(request, std::move(success), std::move(failure));
}

void NLRestClient::deletedWithPath(const std::string& path, const Value& arguments, std::int32_t retry,
                                   NSErrorPtr error, Success success, Failure failure) {
    if (retry < 1) {
        if (failure) failure(error);
        return;
    }
    auto request = NSMutableURLRequest::requestWithURL(buildRESTFULLUrlWithURL(resolvedURL(path), arguments));
    request->setHTTPMethod("DELETE");
    runJSONOperation(request, std::move(success), std::move(failure));
}

void NLRestClient::postPath(const std::string& path, const Value& arguments, std::int32_t retry, NSErrorPtr,
                            Success success, Failure failure) {
    if (retry < 1) {
        if (failure) failure(clientError(401, Value{{"Error", "Retry has invalid values. It should be 1 at least"}}));
        return;
    }
    NSErrorPtr serializationError;
    auto request = NLHTTPRequestSerializer::serializer()->requestWithMethod("POST", resolvedURL(path), arguments,
                                                                           &serializationError);
    if (!request) return failLater(failure, serializationError);
    runJSONOperation(request, std::move(success), std::move(failure));
}

void NLRestClient::postPathPayload(const std::string& path, const Value& payload, std::int32_t retry,
                                   NSErrorPtr error, Success success, Failure failure) {
    if (retry < 1) {
        if (failure) failure(error);
        return;
    }
    NSErrorPtr jsonError;
    auto body = NSJSONSerialization::dataWithJSONObject(payload, 0, &jsonError);
    if (!body) return failLater(failure, jsonError);
    auto request = NSMutableURLRequest::requestWithURL(resolvedURL(path));
    request->setHTTPMethod("POST");
    request->addValue("application/json", "Content-Type");
    request->setHTTPBody(*body);
    runJSONOperation(request, std::move(success), std::move(failure));
}

void NLRestClient::postTo(const std::string& path, const Data& requestData, Failure failure, Success success) {
    NSErrorPtr serializationError;
    auto request =
        NLHTTPRequestSerializer::serializer()->requestWithMethod("POST", resolvedURL(path), Value(), &serializationError);
    if (!request) return failLater(failure, serializationError);
    request->setValue(std::string("application/json"), "Accept");
    request->setValue(std::string("application/json"), "Content-Type");
    request->setHTTPBody(requestData);
    runJSONOperation(request, std::move(success), std::move(failure));
}
