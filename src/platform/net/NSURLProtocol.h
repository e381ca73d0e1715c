#pragma once
// URL protocols: classes registered with the URL loading system that may claim
// a request and answer it themselves. NSURLConnection asks every registered
// class, newest first, before it goes to the network; web views ask them for
// the sub-resources of their pages (see the web view's backing for which
// requests reach them: those whose last path component a class names in
// claimedLastPathComponents).
//
// Threads: canInitWithRequest may be asked on any loading thread; an instance
// is made, started and stopped on one loading thread, and reports to its
// client on that thread.
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSCachedURLResponse.h"
#include "platform/net/NSURLRequest.h"
#include "platform/net/NSURLResponse.h"

class NSURLProtocol;

// What a protocol instance reports (URLProtocol:didReceiveResponse:... and the rest).
class NSURLProtocolClient {
public:
    virtual ~NSURLProtocolClient() = default;
    virtual void didReceiveResponse(NSURLProtocol& protocol, const std::shared_ptr<NSURLResponse>& response,
                                    NSURLCacheStoragePolicy policy) = 0;
    virtual void didLoadData(NSURLProtocol& protocol, const Data& data) = 0;
    virtual void didFinishLoading(NSURLProtocol& protocol) = 0;
    virtual void didFailWithError(NSURLProtocol& protocol, const NSError& error) = 0;
};

class NSURLProtocol : public NSObject {
public:
    // A registered protocol class.
    struct Class {
        std::string name;
        // canInitWithRequest:
        std::function<bool(const NSURLRequest& request)> canInitWithRequest;
        // initWithRequest:cachedResponse:client:
        std::function<std::shared_ptr<NSURLProtocol>(const std::shared_ptr<NSURLRequest>& request,
                                                     const std::shared_ptr<NSCachedURLResponse>& cachedResponse,
                                                     const std::shared_ptr<NSURLProtocolClient>& client)>
            make;
        // The last path components of the sub-resources this class may claim
        // in web pages ("mraid.js"); web views divert only those to it.
        std::set<std::string> claimedLastPathComponents;
    };

    NSURLProtocol(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSCachedURLResponse> cachedResponse,
                  std::shared_ptr<NSURLProtocolClient> client);
    ~NSURLProtocol() override = default;

    // registerClass: (a class of the same name is replaced) and unregisterClass:.
    static bool registerClass(Class protocolClass);
    static void unregisterClass(const std::string& name);
    // The first registered class (newest first) that claims the request.
    static std::shared_ptr<const Class> classForRequest(const NSURLRequest& request);
    // Every claimed last path component of the registered classes.
    static std::set<std::string> claimedLastPathComponents();
    // Called after every registerClass and unregisterClass, on the calling
    // thread, outside the registry's lock (web views pass the claimed names on
    // to their pages). Observers stay for the rest of the process.
    static void addRegistrationObserver(std::function<void()> observer);

    virtual void startLoading() = 0;
    virtual void stopLoading() = 0;

    const std::shared_ptr<NSURLRequest>& request() const { return request_; }
    const std::shared_ptr<NSCachedURLResponse>& cachedResponse() const { return cachedResponse_; }
    const std::shared_ptr<NSURLProtocolClient>& client() const { return client_; }

private:
    std::shared_ptr<NSURLRequest> request_;
    std::shared_ptr<NSCachedURLResponse> cachedResponse_;
    std::shared_ptr<NSURLProtocolClient> client_;
};
