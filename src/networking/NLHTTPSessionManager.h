#pragma once
// An HTTP client on a URL-session manager: resolves the URL strings of its
// verbs against a base URL (NLBaseURL.h), builds each request with its request
// serializer, runs it as a session data task (a multipart POST as a streamed
// upload task), and hands the serialized response object or the error to a
// success or failure callback.
//
// The verbs return the task already resumed. Callbacks run where the session
// manager delivers completions (completionQueue, the main queue when none).
// A request the serializer cannot build gets no task: the verb returns null
// and failure(null, error) runs afterwards on completionQueue (as a member of
// completionGroup when one is set), never before the verb returns.
//
// The base URL and request serializer have no lock: set them before handing
// the manager to other threads (the inherited settings may change any time).
//
// Archiving writes "sessionConfiguration", "baseURL", "requestSerializer" and
// "responseSerializer" (serializers with "$class"); an archive holding only an
// "identifier" gives a manager on a background configuration of that
// identifier. A copy has the same base URL and session configuration and
// copies of both serializers; everything else is at its defaults.
#include <functional>
#include <memory>
#include <string>

#include "networking/NLURLRequestSerialization.h"
#include "networking/NLURLSessionManager.h"
#include "platform/foundation/NSURL.h"

class NLHTTPSessionManager : public NLURLSessionManager {
public:
    using SuccessBlock = std::function<void(const DataTaskPtr& task, const Value& responseObject)>;
    using FailureBlock = std::function<void(const DataTaskPtr& task, const NSErrorPtr& error)>;
    using HeadSuccessBlock = std::function<void(const DataTaskPtr& task)>;

    explicit NLHTTPSessionManager(Token token) : NLURLSessionManager(token) {}
    // manager: no base URL, the default configuration.
    static std::shared_ptr<NLHTTPSessionManager> manager();
    static std::shared_ptr<NLHTTPSessionManager> initWithBaseURL(NSURLPtr baseURL);
    static std::shared_ptr<NLHTTPSessionManager> initWithSessionConfiguration(NSURLSessionConfigurationPtr configuration);
    // Every initialiser ends here: the session, then the base URL rule, then the default serializers.
    static std::shared_ptr<NLHTTPSessionManager> initWithBaseURL(NSURLPtr baseURL,
                                                                 NSURLSessionConfigurationPtr sessionConfiguration);

    const NSURLPtr& baseURL() const { return baseURL_; }
    const std::shared_ptr<NLHTTPRequestSerializer>& requestSerializer() const { return requestSerializer_; }
    // Null keeps the current one.
    void setRequestSerializer(std::shared_ptr<NLHTTPRequestSerializer> serializer);

    // The verbs: the resumed data task, or null when the request could not be built.
    DataTaskPtr GET(const std::string& URLString, const Value& parameters, SuccessBlock success, FailureBlock failure);
    DataTaskPtr HEAD(const std::string& URLString, const Value& parameters, HeadSuccessBlock success,
                     FailureBlock failure);
    DataTaskPtr POST(const std::string& URLString, const Value& parameters, SuccessBlock success, FailureBlock failure);
    // The multipart POST: the parameters as form fields, then what the block appends, streamed.
    UploadTaskPtr POST(const std::string& URLString, const Value& parameters,
                       const NLMultipartConstructingBlock& constructingBodyWithBlock, SuccessBlock success,
                       FailureBlock failure);
    DataTaskPtr PUT(const std::string& URLString, const Value& parameters, SuccessBlock success, FailureBlock failure);
    DataTaskPtr PATCH(const std::string& URLString, const Value& parameters, SuccessBlock success,
                      FailureBlock failure);
    DataTaskPtr DELETE(const std::string& URLString, const Value& parameters, SuccessBlock success,
                       FailureBlock failure);

    // The data task for the method, not resumed; null when the request could not be built.
    DataTaskPtr dataTaskWithHTTPMethod(const std::string& method, const std::string& URLString,
                                       const Value& parameters, SuccessBlock success, FailureBlock failure);

    // "<NLHTTPSessionManager: 0x..., baseURL: ..., session: ..., operationQueue: ...>"
    std::string description() const override;

    Value encodeWithCoder() const override;
    // Null when the archive is not a dictionary.
    static std::shared_ptr<NLHTTPSessionManager> initWithCoder(const Value& archive);
    std::shared_ptr<NLURLSessionManager> copy() const override;

private:
    // The completion of a verb's task: failure with the error, else success.
    NLURLSessionCompletionHandler completionFor(std::shared_ptr<DataTaskPtr> task,
                                                SuccessBlock success, FailureBlock failure) const;
    void reportNotBuilt(FailureBlock failure, const NSErrorPtr& error) const;

    NSURLPtr baseURL_;
    std::shared_ptr<NLHTTPRequestSerializer> requestSerializer_;
};
