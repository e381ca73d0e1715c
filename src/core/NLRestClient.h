#pragma once
// The client of the catalogue backend: six signed GET calls whose encrypted
// replies are decoded (Base64, AES-256, JSON) and unwrapped on the main queue
// (asserted in debug builds), and PUT, DELETE and POST routines that pass JSON
// through.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/CatalogueReplies.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NLHTTPRequestOperation;

class NLRestClient : public NSObject {
public:
    using Success = std::function<void(const Value& data)>;
    using Failure = std::function<void(const NSErrorPtr& error)>;

    static constexpr int kPageSize = 30;
    static constexpr int kRetry = 3;
    // The most a catalogue reply may hold; a longer one fails its call
    // (NSURLErrorDomain, -1103) instead of filling memory.
    static constexpr std::uint64_t kMaximumReplySize = 16ull * 1024 * 1024;

    NLRestClient();
    static std::shared_ptr<NLRestClient> sharedClient();

    // "http://<catalogue host>/admin/index.php/apiios_final", without a trailing
    // slash: from QUORVANE_CATALOGUE_URL, else the bundle's "QuorvaneCatalogueURL".
    const std::string& baseURL() const { return baseURL_; }
    void setBaseURL(std::string url);

    // The six catalogue calls. Callbacks run on the main queue, at most one, once.
    void getListMoviesWithType(const std::string& type, std::int32_t genres, std::int32_t page, Success success,
                               Failure failure);
    void getListTVShowWithType(const std::string& type, std::int32_t genres, std::int32_t page, Success success,
                               Failure failure);
    void searchMoviesWithKey(const std::string& keyword, std::int32_t page, Success success, Failure failure);
    void getDetailMovies(std::int32_t movieID, Success success, Failure failure);
    void getListStreamOfChapter(std::int32_t chapterID, Success success, Failure failure);
    void getConfigVersionSuccess(Success success, Failure failure);

    // The request routines. `retry` is a gate, not a count of attempts: below 1 the
    // call fails at once (synchronously, with `error`; the form POST with its own
    // code-401 error) and sends nothing; otherwise exactly one request is sent and
    // a transport failure goes to `failure` as it comes, never repeated (a repeat
    // is the screen's, by pull-to-refresh or a new page request).
    // `kind` names the reply's call: its "data" is readied by
    // CatalogueReply::prepareReplyData and refused only for a container of the
    // wrong shape (code-0 error under the base URL).
    void getPath(const std::string& path, const Value& arguments, std::int32_t retry, NSErrorPtr error,
                 Success success, Failure failure, std::optional<CatalogueReplyKind> kind = std::nullopt);
    void putPath(const std::string& path, const Value& arguments, std::int32_t retry, NSErrorPtr error,
                 Success success, Failure failure);
    void deletedWithPath(const std::string& path, const Value& arguments, std::int32_t retry, NSErrorPtr error,
                         Success success, Failure failure);
    void postPath(const std::string& path, const Value& arguments, std::int32_t retry, NSErrorPtr error,
                  Success success, Failure failure);
    void postPathPayload(const std::string& path, const Value& payload, std::int32_t retry, NSErrorPtr error,
                         Success success, Failure failure);
    void postTo(const std::string& path, const Data& requestData, Failure failure, Success success);

    // The URL with "?", the escaped parameters and the signed suffix.
    std::string buildRESTFULLUrlWithURL(const std::string& url, const Value& arguments) const;
    // "&os=ios&version=..&deviceid=..&token=..&time=.." for the current time.
    std::string exeLink() const;
    // Base64 text to the decrypted reply bytes; nullopt when either step fails.
    static std::optional<Data> decodeDataWithKey(const std::string& text);

    // The client's own error: the base URL as domain.
    NSErrorPtr clientError(long code, Value userInfo) const;

private:
    std::string resolvedURL(const std::string& path) const;
    void handleReply(const std::shared_ptr<NLHTTPRequestOperation>& operation, const Value& responseObject,
                     const Success& success, const Failure& failure, std::optional<CatalogueReplyKind> kind) const;
    std::string baseURL_;
};
