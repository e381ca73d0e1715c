#pragma once
// A client of one web service over HTTP request operations: resolves the URL
// strings of its verbs against a base URL (NLBaseURL.h), builds each request
// with its request serializer, wraps it in an NLHTTPRequestOperation set up with
// its response serializer, credentials, security policy, completion queue and
// group, and runs the operation on its own operation queue.
//
// Callbacks run on completionQueue (the main queue when none), as the
// operations deliver them. A request the serializer cannot build gets no
// operation: the verb returns null and failure(null, error) runs afterwards on
// completionQueue (as a member of completionGroup when one is set), never
// before the verb returns.
//
// The manager holds the shared reachability manager (NLNetworkReachabilityManagerFwd.h)
// and never starts it. It has no lock: set its properties before handing it to
// other threads.
//
// Archiving writes "baseURL", "requestSerializer" and "responseSerializer"
// (each serializer with "$class" naming its class); decoding builds the manager
// from the base URL and then sets the two serializers. A copy has the same base
// URL and copies of both serializers; everything else is at its defaults.
#include <functional>
#include <memory>
#include <string>

#include "networking/NLHTTPRequestOperation.h"
#include "networking/NLNetworkReachabilityManagerFwd.h"
#include "networking/NLURLRequestSerialization.h"
#include "networking/NLURLResponseSerialization.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSObject.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/net/NSURLCredential.h"

class NLSecurityPolicy;

class NLHTTPRequestOperationManager : public NSObject {
public:
    using OperationPtr = std::shared_ptr<NLHTTPRequestOperation>;
    using SuccessBlock = NLHTTPRequestOperation::SuccessBlock;
    using FailureBlock = NLHTTPRequestOperation::FailureBlock;
    using HeadSuccessBlock = std::function<void(const OperationPtr&)>;

    // initWithBaseURL: the base URL normalised, the default serializers, a new
    // queue with the default concurrency, the default security policy and the
    // shared reachability manager.
    explicit NLHTTPRequestOperationManager(NSURLPtr baseURL = nullptr);
    ~NLHTTPRequestOperationManager() override;
    static std::shared_ptr<NLHTTPRequestOperationManager> manager();
    static std::shared_ptr<NLHTTPRequestOperationManager> initWithBaseURL(NSURLPtr baseURL);

    const NSURLPtr& baseURL() const { return baseURL_; }
    const std::shared_ptr<NLHTTPRequestSerializer>& requestSerializer() const { return requestSerializer_; }
    void setRequestSerializer(std::shared_ptr<NLHTTPRequestSerializer> serializer);
    const std::shared_ptr<NLHTTPResponseSerializer>& responseSerializer() const { return responseSerializer_; }
    void setResponseSerializer(std::shared_ptr<NLHTTPResponseSerializer> serializer);
    const std::shared_ptr<NSOperationQueue>& operationQueue() const { return operationQueue_; }
    void setOperationQueue(std::shared_ptr<NSOperationQueue> queue) { operationQueue_ = std::move(queue); }
    bool shouldUseCredentialStorage() const { return shouldUseCredentialStorage_; }
    void setShouldUseCredentialStorage(bool use) { shouldUseCredentialStorage_ = use; }
    const std::shared_ptr<NSURLCredential>& credential() const { return credential_; }
    void setCredential(std::shared_ptr<NSURLCredential> credential) { credential_ = std::move(credential); }
    const std::shared_ptr<NLSecurityPolicy>& securityPolicy() const { return securityPolicy_; }
    void setSecurityPolicy(std::shared_ptr<NLSecurityPolicy> policy) { securityPolicy_ = std::move(policy); }
    const std::shared_ptr<NLNetworkReachabilityManager>& reachabilityManager() const { return reachabilityManager_; }
    void setReachabilityManager(std::shared_ptr<NLNetworkReachabilityManager> manager) {
        reachabilityManager_ = std::move(manager);
    }
    const dispatch_queue_t& completionQueue() const { return completionQueue_; }
    void setCompletionQueue(dispatch_queue_t queue) { completionQueue_ = std::move(queue); }
    const dispatch_group_t& completionGroup() const { return completionGroup_; }
    void setCompletionGroup(dispatch_group_t group) { completionGroup_ = std::move(group); }

    // A new operation for the request, not queued, set up with the response
    // serializer, shouldUseCredentialStorage, credential, security policy, the
    // callbacks, completion queue and completion group (in this order).
    OperationPtr HTTPRequestOperationWithRequest(const std::shared_ptr<NSURLRequest>& request, SuccessBlock success,
                                                 FailureBlock failure);

    // The verbs: the queued operation, or null when the request could not be built.
    OperationPtr GET(const std::string& URLString, const Value& parameters, SuccessBlock success,
                     FailureBlock failure);
    OperationPtr HEAD(const std::string& URLString, const Value& parameters, HeadSuccessBlock success,
                      FailureBlock failure);
    OperationPtr POST(const std::string& URLString, const Value& parameters, SuccessBlock success,
                      FailureBlock failure);
    // The multipart POST: the parameters as form fields, then what the block appends.
    OperationPtr POST(const std::string& URLString, const Value& parameters,
                      const NLMultipartConstructingBlock& constructingBodyWithBlock, SuccessBlock success,
                      FailureBlock failure);
    OperationPtr PUT(const std::string& URLString, const Value& parameters, SuccessBlock success,
                     FailureBlock failure);
    OperationPtr PATCH(const std::string& URLString, const Value& parameters, SuccessBlock success,
                       FailureBlock failure);
    OperationPtr DELETE(const std::string& URLString, const Value& parameters, SuccessBlock success,
                        FailureBlock failure);

    // "<NLHTTPRequestOperationManager: 0x..., baseURL: ..., operationQueue: ...>"
    std::string description() const override;

    static bool supportsSecureCoding() { return true; }
    virtual Value encodeWithCoder() const;
    // Null when the archive is not a dictionary.
    static std::shared_ptr<NLHTTPRequestOperationManager> initWithCoder(const Value& archive);
    virtual std::shared_ptr<NLHTTPRequestOperationManager> copy() const;

protected:
    // Resolves, builds with `build` and queues; reports a build failure later.
    OperationPtr queueOperation(
        const std::string& URLString,
        const std::function<std::shared_ptr<NSMutableURLRequest>(const std::string&, NSErrorPtr*)>& build,
        SuccessBlock success, FailureBlock failure);
    OperationPtr verb(const std::string& method, const std::string& URLString, const Value& parameters,
                      SuccessBlock success, FailureBlock failure);
    // Runs failure(null, error) on the completion queue, within the completion group when set.
    void reportBuildFailure(FailureBlock failure, const NSErrorPtr& error) const;

private:
    NSURLPtr baseURL_;
    std::shared_ptr<NLHTTPRequestSerializer> requestSerializer_;
    std::shared_ptr<NLHTTPResponseSerializer> responseSerializer_;
    std::shared_ptr<NSOperationQueue> operationQueue_;
    bool shouldUseCredentialStorage_ = true;
    std::shared_ptr<NSURLCredential> credential_;
    std::shared_ptr<NLSecurityPolicy> securityPolicy_;
    std::shared_ptr<NLNetworkReachabilityManager> reachabilityManager_;
    dispatch_queue_t completionQueue_;
    dispatch_group_t completionGroup_;
};
