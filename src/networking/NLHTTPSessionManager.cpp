// NLHTTPSessionManager: the verbs as session tasks, archiving and copying.
#include "networking/NLHTTPSessionManager.h"

#include "networking/NLBaseURL.h"
#include "networking/NLRequestSerializerSupport.h"
#include "platform/foundation/NSLog.h"

std::shared_ptr<NLHTTPSessionManager> NLHTTPSessionManager::manager() { return initWithBaseURL(nullptr, nullptr); }

std::shared_ptr<NLHTTPSessionManager> NLHTTPSessionManager::initWithBaseURL(NSURLPtr baseURL) {
    return initWithBaseURL(std::move(baseURL), nullptr);
}

std::shared_ptr<NLHTTPSessionManager> NLHTTPSessionManager::initWithSessionConfiguration(
    NSURLSessionConfigurationPtr configuration) {
    return initWithBaseURL(nullptr, std::move(configuration));
}

std::shared_ptr<NLHTTPSessionManager> NLHTTPSessionManager::initWithBaseURL(
    NSURLPtr baseURL, NSURLSessionConfigurationPtr sessionConfiguration) {
    auto manager = std::make_shared<NLHTTPSessionManager>(Token{});
    manager->setUpWithSessionConfiguration(std::move(sessionConfiguration));
    manager->baseURL_ = NLNormalizedBaseURL(baseURL);
    manager->requestSerializer_ = NLHTTPRequestSerializer::serializer();
    manager->setResponseSerializer(NLJSONResponseSerializer::serializer());
    return manager;
}

void NLHTTPSessionManager::setRequestSerializer(std::shared_ptr<NLHTTPRequestSerializer> serializer) {
    if (serializer) requestSerializer_ = std::move(serializer);
}

// ---------------------------------------------------------------- verbs

void NLHTTPSessionManager::reportNotBuilt(FailureBlock failure, const NSErrorPtr& error) const {
    if (!failure) return;
    NLReportRequestNotBuilt(completionQueue(), completionGroup(),
                            [failure = std::move(failure), error] { failure(nullptr, error); });
}

NLURLSessionCompletionHandler NLHTTPSessionManager::completionFor(std::shared_ptr<DataTaskPtr> task,
                                                                  SuccessBlock success, FailureBlock failure) const {
    // The holder keeps the task for its callbacks after the session let it go.
    return [task = std::move(task), success = std::move(success), failure = std::move(failure)](
               const std::shared_ptr<NSURLResponse>&, const Value& responseObject, const NSErrorPtr& error) {
        if (error) {
            if (failure) failure(*task, error);
        } else if (success) {
            success(*task, responseObject);
        }
    };
}

NLHTTPSessionManager::DataTaskPtr NLHTTPSessionManager::dataTaskWithHTTPMethod(const std::string& method,
                                                                               const std::string& URLString,
                                                                               const Value& parameters,
                                                                               SuccessBlock success,
                                                                               FailureBlock failure) {
    const std::string absolute = NLURLStringRelativeToBaseURL(URLString, baseURL_);
    NSErrorPtr error;
    auto request = requestSerializer_->requestWithMethod(method, absolute, parameters, &error);
    if (!request) {
        reportNotBuilt(std::move(failure), error ? error : NLRequestNotBuiltError(absolute));
        return nullptr;
    }
    auto holder = std::make_shared<DataTaskPtr>();
    auto task = dataTaskWithRequest(request, completionFor(holder, std::move(success), std::move(failure)));
    *holder = task;
    return task;
}

namespace {

template <class Task>
Task resumed(Task task) {
    if (task) task->resume();
    return task;
}

}  // namespace

NLHTTPSessionManager::DataTaskPtr NLHTTPSessionManager::GET(const std::string& URLString, const Value& parameters,
                                                            SuccessBlock success, FailureBlock failure) {
    return resumed(dataTaskWithHTTPMethod("GET", URLString, parameters, std::move(success), std::move(failure)));
}

NLHTTPSessionManager::DataTaskPtr NLHTTPSessionManager::HEAD(const std::string& URLString, const Value& parameters,
                                                             HeadSuccessBlock success, FailureBlock failure) {
    SuccessBlock taskOnly;
    if (success) taskOnly = [success = std::move(success)](const DataTaskPtr& task, const Value&) { success(task); };
    return resumed(dataTaskWithHTTPMethod("HEAD", URLString, parameters, std::move(taskOnly), std::move(failure)));
}

NLHTTPSessionManager::DataTaskPtr NLHTTPSessionManager::POST(const std::string& URLString, const Value& parameters,
                                                             SuccessBlock success, FailureBlock failure) {
    return resumed(dataTaskWithHTTPMethod("POST", URLString, parameters, std::move(success), std::move(failure)));
}

NLHTTPSessionManager::UploadTaskPtr NLHTTPSessionManager::POST(
    const std::string& URLString, const Value& parameters, const NLMultipartConstructingBlock& constructingBodyWithBlock,
    SuccessBlock success, FailureBlock failure) {
    const std::string absolute = NLURLStringRelativeToBaseURL(URLString, baseURL_);
    NSErrorPtr error;
    auto request =
        requestSerializer_->multipartFormRequestWithMethod("POST", absolute, parameters, constructingBodyWithBlock, &error);
    if (!request) {
        reportNotBuilt(std::move(failure), error ? error : NLRequestNotBuiltError(absolute));
        return nullptr;
    }
    auto holder = std::make_shared<DataTaskPtr>();
    auto task = uploadTaskWithStreamedRequest(request, nullptr,
                                              completionFor(holder, std::move(success), std::move(failure)));
    *holder = task;
    return resumed(task);
}

NLHTTPSessionManager::DataTaskPtr NLHTTPSessionManager::PUT(const std::string& URLString, const Value& parameters,
                                                            SuccessBlock success, FailureBlock failure) {
    return resumed(dataTaskWithHTTPMethod("PUT", URLString, parameters, std::move(success), std::move(failure)));
}

NLHTTPSessionManager::DataTaskPtr NLHTTPSessionManager::PATCH(const std::string& URLString, const Value& parameters,
                                                              SuccessBlock success, FailureBlock failure) {
    return resumed(dataTaskWithHTTPMethod("PATCH", URLString, parameters, std::move(success), std::move(failure)));
}

NLHTTPSessionManager::DataTaskPtr NLHTTPSessionManager::DELETE(const std::string& URLString, const Value& parameters,
                                                               SuccessBlock success, FailureBlock failure) {
    return resumed(dataTaskWithHTTPMethod("DELETE", URLString, parameters, std::move(success), std::move(failure)));
}

// ---------------------------------------------------------------- description, archiving, copying

std::string NLHTTPSessionManager::description() const {
    auto self = std::const_pointer_cast<NSObject>(weak_from_this().lock());
    return format("<%@: %p, baseURL: %@, session: %@, operationQueue: %@>", className(), self,
                  baseURL_ ? Value(baseURL_->absoluteString()) : Value(), session(), operationQueue());
}

Value NLHTTPSessionManager::encodeWithCoder() const {
    // Every configuration here is archivable, so it is written whole (its
    // identifier travels inside it); "identifier" alone is only read.
    Value archive = NLURLSessionManager::encodeWithCoder();
    archive.setObject("baseURL", Value(baseURL_));
    archive.setObject("requestSerializer", NLArchiveRequestSerializer(*requestSerializer_));
    archive.setObject("responseSerializer", responseSerializer()->encodeWithCoder());
    return archive;
}

std::shared_ptr<NLHTTPSessionManager> NLHTTPSessionManager::initWithCoder(const Value& archive) {
    if (!archive.isDictionary()) return nullptr;
    auto configuration = NSURLSessionConfiguration::initWithCoder(archive["sessionConfiguration"]);
    if (!configuration) {
        const Value identifier = archive["identifier"];
        if (const std::string* name = identifier.string())
            configuration = NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(*name);
    }
    auto manager = initWithBaseURL(archive["baseURL"].objectAs<NSURL>(), std::move(configuration));
    manager->setRequestSerializer(NLRequestSerializerWithCoder(archive["requestSerializer"]));
    manager->setResponseSerializer(NLResponseSerializerWithCoder(archive["responseSerializer"]));
    return manager;
}

std::shared_ptr<NLURLSessionManager> NLHTTPSessionManager::copy() const {
    auto copy = initWithBaseURL(baseURL_, session()->configuration());
    copy->setRequestSerializer(requestSerializer_->copy());
    copy->setResponseSerializer(responseSerializer()->copy());
    return copy;
}
