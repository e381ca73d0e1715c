#pragma once
// The ad library's HTTP client for ad fetches and reports: one load at a time
// (a GET, or a POST of a body with its content type), the web view's user
// agent, the delegate asked about redirects and cached copies, and the body
// handed back as text with the final URL.
//
// Cacheable 2xx answers are kept in a class-wide memory cache of 25 entries
// (`AKCachedURLResponse`) under the MD5 of the URL (of host, path and
// "slotname" for ad requests), replayed until their expiry.
//
// Every outcome reaches the delegate exactly once per load: a finish, or one
// failure (no connection, a network error, a refused redirect, a non-2xx
// answer with its status, a body over 16 MiB). Main thread only: platform
// callbacks and delegate calls run on the main run loop in the common modes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSCache.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLConnection.h"

class AKURLConnection;

inline constexpr std::size_t kAKMaximumBodyLength = 16u * 1024u * 1024u;

class AKURLConnectionDelegate {
public:
    virtual ~AKURLConnectionDelegate() = default;
    // An error stops the load with it; nullptr lets the redirect proceed.
    virtual NSErrorPtr connectionShouldRedirectToURL(AKURLConnection& connection, const NSURLPtr& url) = 0;
    virtual void connectionLoadDidReceiveRedirectResponse(AKURLConnection& connection,
                                                          const std::shared_ptr<NSURLResponse>& response) = 0;
    virtual bool connectionLoadShouldUseCachedResponse(AKURLConnection& connection,
                                                       const std::shared_ptr<NSURLResponse>& response) = 0;
    virtual void connectionLoadDidReceiveCachedResponse(AKURLConnection& connection,
                                                        const std::shared_ptr<NSURLResponse>& response) = 0;
    // `text` is nullopt for a body that is not UTF-8.
    virtual void connectionLoadDidFinish(AKURLConnection& connection, const std::optional<std::string>& text,
                                         const NSURLPtr& baseURL) = 0;
    // `statusCode` is -1 when there is no HTTP status.
    virtual void connectionLoadDidFail(AKURLConnection& connection, const NSErrorPtr& error, long statusCode) = 0;
};

class AKCachedURLResponse : public NSObject {
public:
    static std::shared_ptr<AKCachedURLResponse> initWithResponse(std::shared_ptr<NSURLResponse> response,
                                                                 std::optional<Data> data,
                                                                 std::optional<Date> expirationDate,
                                                                 NSURLPtr destinationURL);
    const std::shared_ptr<NSURLResponse>& response() const { return response_; }
    const Data& data() const { return data_; }
    Date expirationDate() const { return expiration_; }
    const NSURLPtr& destinationURL() const { return destination_; }

    AKCachedURLResponse(std::shared_ptr<NSURLResponse> response, Data data, Date expiration, NSURLPtr destination)
        : response_(std::move(response)), data_(std::move(data)), expiration_(expiration), destination_(std::move(destination)) {}

private:
    std::shared_ptr<NSURLResponse> response_;
    Data data_;
    Date expiration_;
    NSURLPtr destination_;
};

// Makes the platform connections (replaceable, e.g. to substitute connections).
class AKMConnectionFactory {
public:
    virtual ~AKMConnectionFactory() = default;
    virtual NSURLConnectionPtr connectionWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                     const std::shared_ptr<NSURLConnectionDelegate>& delegate,
                                                     bool startImmediately) = 0;
};

class AKMNSURLConnectionFactory : public AKMConnectionFactory {
public:
    static std::shared_ptr<AKMConnectionFactory> sharedFactory();
    static void setSharedFactory(std::shared_ptr<AKMConnectionFactory> factory);  // before use
    NSURLConnectionPtr connectionWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                             const std::shared_ptr<NSURLConnectionDelegate>& delegate,
                                             bool startImmediately) override;
};

class AKURLConnection : public NSObject {
public:
    AKURLConnection() = default;
    ~AKURLConnection() override;

    [[nodiscard]] bool startWithURL(const NSURLPtr& url, const std::shared_ptr<AKURLConnectionDelegate>& delegate,
                                    NSErrorPtr* error = nullptr);
    // A POST when both data and type are given, else a GET.
    [[nodiscard]] bool startWithURL(const NSURLPtr& url, const std::optional<Data>& data,
                                    const std::optional<std::string>& type,
                                    const std::shared_ptr<AKURLConnectionDelegate>& delegate, NSErrorPtr* error = nullptr);
    void stop();
    void cancel();  // forgets the delegate, then stops

    bool isInProgress() const { return inProgress_; }
    const NSURLPtr& sourceURL() const { return source_; }
    const NSURLPtr& destinationURL() const { return destination_; }
    bool allowCache() const { return allowCache_; }
    void setAllowCache(bool allow) { allowCache_ = allow; }
    std::shared_ptr<AKURLConnectionDelegate> delegate() const { return delegate_.lock(); }
    // Detaches the delegate and lets the load go on, unheard.
    void clearDelegate() { delegate_.reset(); }
    static std::shared_ptr<AKMConnectionFactory> connectionFactory() { return AKMNSURLConnectionFactory::sharedFactory(); }

    static std::shared_ptr<NSCache> memoryCache();
    static std::string cacheKeyForURL(const NSURL& url);
    static void clearCache();
    static std::string defaultCachePath();

private:
    // The platform connection's callbacks arrive through a forwarder that holds this object weakly.
    template <class>
    friend struct AKConnectionForwarder;
    bool isCurrentConnection(const NSURLConnectionPtr& connection) const { return connection_ == connection; }
    std::shared_ptr<NSMutableURLRequest> requestForURL(const NSURLPtr& url, const std::optional<Data>& data,
                                                       const std::optional<std::string>& type) const;
    std::shared_ptr<AKCachedURLResponse> cachedResponseForURL(const NSURL& url) const;
    bool tryToStoreResponseAndData();
    void deliverCached(const std::shared_ptr<AKCachedURLResponse>& cached);
    void failLoad(const NSErrorPtr& error, long status);

    std::shared_ptr<NSURLRequest> loadWillSendRequest(const std::shared_ptr<NSURLRequest>& request,
                                                      const std::shared_ptr<NSURLResponse>& redirect);
    void loadDidReceiveResponse(const std::shared_ptr<NSURLResponse>& response);
    void loadDidReceiveData(const Data& data);
    void loadDidFinish();
    void loadDidFail(const NSErrorPtr& error);

    bool inProgress_ = false;
    bool allowCache_ = false;
    NSURLPtr source_;
    NSURLPtr destination_;
    std::weak_ptr<AKURLConnectionDelegate> delegate_;
    NSURLConnectionPtr connection_;
    std::shared_ptr<NSURLResponse> response_;
    Data received_;
};
