// NLHTTPRequestOperationManager: building, queueing, archiving and copying.
#include "networking/NLHTTPRequestOperationManager.h"

#include "networking/NLBaseURL.h"
#include "networking/NLRequestSerializerSupport.h"
#include "networking/NLSecurityPolicy.h"
#include "platform/foundation/NSLog.h"

NLHTTPRequestOperationManager::NLHTTPRequestOperationManager(NSURLPtr baseURL)
    : baseURL_(NLNormalizedBaseURL(baseURL)),
      requestSerializer_(NLHTTPRequestSerializer::serializer()),
      responseSerializer_(NLJSONResponseSerializer::serializer()),
      operationQueue_(std::make_shared<NSOperationQueue>()),
      securityPolicy_(NLSecurityPolicy::defaultPolicy()),
      reachabilityManager_(NLSharedNetworkReachabilityManager()) {}

NLHTTPRequestOperationManager::~NLHTTPRequestOperationManager() = default;

std::shared_ptr<NLHTTPRequestOperationManager> NLHTTPRequestOperationManager::manager() {
    return initWithBaseURL(nullptr);
}

std::shared_ptr<NLHTTPRequestOperationManager> NLHTTPRequestOperationManager::initWithBaseURL(NSURLPtr baseURL) {
    return std::make_shared<NLHTTPRequestOperationManager>(std::move(baseURL));
}

void NLHTTPRequestOperationManager::setRequestSerializer(std::shared_ptr<NLHTTPRequestSerializer> serializer) {
    // A manager without a serializer could build nothing; null keeps the current one.
    if (serializer) requestSerializer_ = std::move(serializer);
}

void NLHTTPRequestOperationManager::setResponseSerializer(std::shared_ptr<NLHTTPResponseSerializer> serializer) {
    if (serializer) responseSerializer_ = std::move(serializer);
}

// ---------------------------------------------------------------- operations

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::HTTPRequestOperationWithRequest(
    const std::shared_ptr<NSURLRequest>& request, SuccessBlock success, FailureBlock failure) {
    auto operation = NLHTTPRequestOperation::initWithRequest(request);
    operation->setResponseSerializer(responseSerializer_);
    operation->setShouldUseCredentialStorage(shouldUseCredentialStorage_);
    operation->setCredential(credential_);
    operation->setSecurityPolicy(securityPolicy_);
    operation->setCompletionBlockWithSuccess(std::move(success), std::move(failure));
    operation->setCompletionQueue(completionQueue_);
    operation->setCompletionGroup(completionGroup_);
    return operation;
}

void NLHTTPRequestOperationManager::reportBuildFailure(FailureBlock failure, const NSErrorPtr& error) const {
    if (!failure) return;
    NLReportRequestNotBuilt(completionQueue_, completionGroup_,
                            [failure = std::move(failure), error] { failure(nullptr, error); });
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::queueOperation(
    const std::string& URLString,
    const std::function<std::shared_ptr<NSMutableURLRequest>(const std::string&, NSErrorPtr*)>& build,
    SuccessBlock success, FailureBlock failure) {
    const std::string absolute = NLURLStringRelativeToBaseURL(URLString, baseURL_);
    NSErrorPtr error;
    auto request = build(absolute, &error);
    if (!request) {
        reportBuildFailure(std::move(failure), error ? error : NLRequestNotBuiltError(absolute));
        return nullptr;
    }
    auto operation = HTTPRequestOperationWithRequest(request, std::move(success), std::move(failure));
    operationQueue_->addOperation(operation);
    return operation;
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::verb(const std::string& method,
                                                                                const std::string& URLString,
                                                                                const Value& parameters,
                                                                                SuccessBlock success,
                                                                                FailureBlock failure) {
    auto serializer = requestSerializer_;
    return queueOperation(
        URLString,
        [&](const std::string& absolute, NSErrorPtr* error) {
            return serializer->requestWithMethod(method, absolute, parameters, error);
        },
        std::move(success), std::move(failure));
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::GET(const std::string& URLString,
                                                                               const Value& parameters,
                                                                               SuccessBlock success,
                                                                               FailureBlock failure) {
    return verb("GET", URLString, parameters, std::move(success), std::move(failure));
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::HEAD(const std::string& URLString,
                                                                                const Value& parameters,
                                                                                HeadSuccessBlock success,
                                                                                FailureBlock failure) {
    SuccessBlock operationOnly;
    if (success)
        operationOnly = [success = std::move(success)](const OperationPtr& operation, const Value&) {
            success(operation);
        };
    return verb("HEAD", URLString, parameters, std::move(operationOnly), std::move(failure));
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::POST(const std::string& URLString,
                                                                                const Value& parameters,
                                                                                SuccessBlock success,
                                                                                FailureBlock failure) {
    return verb("POST", URLString, parameters, std::move(success), std::move(failure));
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::POST(
    const std::string& URLString, const Value& parameters, const NLMultipartConstructingBlock& constructingBodyWithBlock,
    SuccessBlock success, FailureBlock failure) {
    auto serializer = requestSerializer_;
    return queueOperation(
        URLString,
        [&](const std::string& absolute, NSErrorPtr* error) {
            return serializer->multipartFormRequestWithMethod("POST", absolute, parameters, constructingBodyWithBlock,
                                                              error);
        },
        std::move(success), std::move(failure));
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::PUT(const std::string& URLString,
                                                                               const Value& parameters,
                                                                               SuccessBlock success,
                                                                               FailureBlock failure) {
    return verb("PUT", URLString, parameters, std::move(success), std::move(failure));
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::PATCH(const std::string& URLString,
                                                                                 const Value& parameters,
                                                                                 SuccessBlock success,
                                                                                 FailureBlock failure) {
    return verb("PATCH", URLString, parameters, std::move(success), std::move(failure));
}

NLHTTPRequestOperationManager::OperationPtr NLHTTPRequestOperationManager::DELETE(const std::string& URLString,
                                                                                  const Value& parameters,
                                                                                  SuccessBlock success,
                                                                                  FailureBlock failure) {
    return verb("DELETE", URLString, parameters, std::move(success), std::move(failure));
}

// ---------------------------------------------------------------- description, archiving, copying

std::string NLHTTPRequestOperationManager::description() const {
    auto self = std::const_pointer_cast<NSObject>(weak_from_this().lock());
    return format("<%@: %p, baseURL: %@, operationQueue: %@>", className(), self,
                  baseURL_ ? Value(baseURL_->absoluteString()) : Value(), operationQueue_);
}

Value NLHTTPRequestOperationManager::encodeWithCoder() const {
    Value archive = Value::dictionary();
    archive.setObject("$class", className());
    archive.setObject("baseURL", Value(baseURL_));
    archive.setObject("requestSerializer", NLArchiveRequestSerializer(*requestSerializer_));
    archive.setObject("responseSerializer", responseSerializer_->encodeWithCoder());
    return archive;
}

std::shared_ptr<NLHTTPRequestOperationManager> NLHTTPRequestOperationManager::initWithCoder(const Value& archive) {
    if (!archive.isDictionary()) return nullptr;
    auto manager = initWithBaseURL(archive["baseURL"].objectAs<NSURL>());
    manager->setRequestSerializer(NLRequestSerializerWithCoder(archive["requestSerializer"]));
    manager->setResponseSerializer(NLResponseSerializerWithCoder(archive["responseSerializer"]));
    return manager;
}

std::shared_ptr<NLHTTPRequestOperationManager> NLHTTPRequestOperationManager::copy() const {
    auto copy = initWithBaseURL(baseURL_);
    copy->setRequestSerializer(requestSerializer_->copy());
    copy->setResponseSerializer(responseSerializer_->copy());
    return copy;
}
