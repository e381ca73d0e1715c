#pragma once
// One remote resource kept as a file in the caches directory and refreshed
// with conditional requests: the file's modification time is the server's
// "Last-Modified", sent back as "If-Modified-Since" (an HTTP date ending in
// " GMT"), so an unchanged resource costs a 304. It also follows a URL through
// its redirects (the click tracker relies on that).
//
// The file is <Caches>/<host, made safe as one folder name, "@local" without
// host>/<MD5 hex of the URL>. Cookies: requests carry the process cookie
// store's "Cookie" header and answers (redirects included) fill it.
//
// Each fetch ends in exactly one of did-end (written, or confirmed by 304) and
// did-fail (a status other than 200/304, a network error, a refused redirect,
// a body over 16 MiB, a write error), except that a cancel reports nothing.
// Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLConnection.h"

class AKCachedFile;
class UIImage;

class AKCachedFileDelegate {
public:
    virtual ~AKCachedFileDelegate() = default;
    virtual NSErrorPtr cachedFileShouldRedirectToURL(AKCachedFile& file, const NSURLPtr& url) = 0;
    virtual void cachedFileDownloadDidEnd(AKCachedFile& file) = 0;
    virtual void cachedFileDownloadDidFail(AKCachedFile& file, const NSErrorPtr& error) = 0;
};

class AKCachedFile : public NSObject {
public:
    static std::shared_ptr<AKCachedFile> initWithURL(const NSURLPtr& url);
    ~AKCachedFile() override;

    std::shared_ptr<AKCachedFileDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKCachedFileDelegate>& delegate) { delegate_ = delegate; }
    const NSURLPtr& sourceURL() const { return source_; }
    const NSURLPtr& HTTPDestinationURL() const { return destination_; }
    long HTTPStatusCode() const { return status_; }
    const HTTPHeaderFields& HTTPHeaders() const { return headers_; }
    NSURLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(NSURLRequestCachePolicy policy) { cachePolicy_ = policy; }
    bool isFetching() const { return connection_ != nullptr; }

    // nullopt when there is no caches directory or no source URL.
    std::optional<std::string> filePath();
    void setFilePath(std::optional<std::string> path) { filePath_ = std::move(path); }
    bool fileExists();
    // The file's modification time as an HTTP date ("... GMT"), or nullopt.
    std::optional<std::string> fileModificationDate();

    void validate();
    void validateWithCacheBuster();
    void validateWithDelegate(const std::shared_ptr<AKCachedFileDelegate>& delegate, const NSURLPtr& url);
    void cancel();
    void invalidate();  // ends the fetch and deletes the file
    void clear();       // ends the fetch and forgets URL, path and headers

    std::optional<Data> contentAsData();
    std::optional<std::string> contentAsString();
    // The file decoded as an image; at scale 2 when the URL's last path component holds "@2x".
    std::shared_ptr<UIImage> contentAsImage();

    std::string description() const override;

    explicit AKCachedFile(NSURLPtr url) : source_(url), destination_(std::move(url)) {}

private:
    template <class>
    friend struct AKConnectionForwarder;
    bool isCurrentConnection(const NSURLConnectionPtr& connection) const { return connection_ == connection; }
    void beginFetch(bool cacheBuster);
    void cleanUpConnection();
    void saveDataToFile();
    void fail(const NSErrorPtr& error);
    std::shared_ptr<NSURLRequest> loadWillSendRequest(const std::shared_ptr<NSURLRequest>& request,
                                                      const std::shared_ptr<NSURLResponse>& redirect);
    void loadDidReceiveResponse(const std::shared_ptr<NSURLResponse>& response) { processResponse(response); }
    void processResponse(const std::shared_ptr<NSURLResponse>& response);
    void loadDidReceiveData(const Data& data);
    void loadDidFinish();
    void loadDidFail(const NSErrorPtr& error);

    std::weak_ptr<AKCachedFileDelegate> delegate_;
    NSURLPtr source_;
    NSURLPtr destination_;
    NSURLRequestCachePolicy cachePolicy_ = NSURLRequestUseProtocolCachePolicy;
    std::optional<std::string> filePath_;
    long status_ = 0;
    HTTPHeaderFields headers_;
    NSURLConnectionPtr connection_;
    Data received_;
    std::optional<std::string> receivedModificationDate_;
};

// A capacity-bounded pool of reusable objects that empties itself at a memory
// warning. Any thread: additions are asynchronous, takes and removals wait.
// What the pool lets go (an addition to a full pool, a removal, the pool's end)
// is released on the main thread, as its views and web views must be.
class AKCacheSet : public NSObject {
public:
    static std::shared_ptr<AKCacheSet> initWithMaxCapacity(std::size_t capacity);
    explicit AKCacheSet(std::size_t capacity);
    ~AKCacheSet() override;

    std::size_t maxCapacity() const { return capacity_; }
    void addObject(const std::shared_ptr<NSObject>& object);
    std::shared_ptr<NSObject> anyObject();
    void removeAllObjects();
    std::size_t count();

private:
    std::size_t capacity_;
    dispatch_queue_t queue_;
    std::set<std::shared_ptr<NSObject>> objects_;  // on queue_
    std::shared_ptr<NSObject> observer_;
};
