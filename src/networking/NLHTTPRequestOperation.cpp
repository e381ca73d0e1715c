#include "networking/NLHTTPRequestOperation.h"

#include <cstdlib>

#include "networking/FDPartialFile.h"
#include "platform/foundation/FoundationErrors.h"
#include "platform/net/NSURLError.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

dispatch_group_t defaultGroup() {
    static ProcessLifetime<dispatch_group_t> group(dispatch_group_create());
    return *group;
}

// The first byte of "bytes a-b/c"; nullopt when the field does not have that form.
std::optional<std::uint64_t> contentRangeStart(const std::string& field) {
    const std::string prefix = "bytes ";
    if (field.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    const char* begin = field.c_str() + prefix.size();
    char* end = nullptr;
    unsigned long long start = std::strtoull(begin, &end, 10);
    if (end == begin || *end != '-') return std::nullopt;
    return start;
}

}  // namespace

NLHTTPRequestOperation::NLHTTPRequestOperation(std::shared_ptr<NSURLRequest> request)
    : NLURLConnectionOperation(std::move(request)), responseSerializer_(NLHTTPResponseSerializer::serializer()) {}

std::shared_ptr<NLHTTPRequestOperation> NLHTTPRequestOperation::initWithRequest(std::shared_ptr<NSURLRequest> request) {
    return std::make_shared<NLHTTPRequestOperation>(std::move(request));
}

std::shared_ptr<NSHTTPURLResponse> NLHTTPRequestOperation::response() const {
    return std::dynamic_pointer_cast<NSHTTPURLResponse>(NLURLConnectionOperation::response());
}

std::shared_ptr<NLHTTPResponseSerializer> NLHTTPRequestOperation::responseSerializer() const {
    std::lock_guard guard(*lock());
    return responseSerializer_;
}

void NLHTTPRequestOperation::setResponseSerializer(std::shared_ptr<NLHTTPResponseSerializer> serializer) {
    std::lock_guard guard(*lock());
    responseSerializer_ = std::move(serializer);
    responseObject_.reset();
    responseSerializationError_.reset();
}

NSErrorPtr NLHTTPRequestOperation::responseSerializationError() const {
    std::lock_guard guard(*lock());
    return responseSerializationError_;
}

NSErrorPtr NLHTTPRequestOperation::error() const {
    std::lock_guard guard(*lock());
    if (responseSerializationError_) return responseSerializationError_;
    return NLURLConnectionOperation::error();
}

Value NLHTTPRequestOperation::responseObject() {
    auto object = sharedResponseObject();
    return object ? *object : Value();
}

std::shared_ptr<const Value> NLHTTPRequestOperation::sharedResponseObject() {
    std::lock_guard guard(*lock());
    if ((!responseObject_ || !*responseObject_) && isFinished() && !error() && responseSerializer_) {
        NSErrorPtr serializationError;
        // The base serializer's object is the body itself, shared and not copied.
        responseObject_ = responseSerializer_->responseObjectSharingBody(response(), sharedResponseData(),
                                                                         &serializationError);
        if (serializationError) responseSerializationError_ = serializationError;
    }
    return responseObject_;
}

void NLHTTPRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure) {
    // Serializes on the thread that finished the operation (the network thread
    // for a load) and hops once, to the completion queue; on the main queue the
    // finish notification rides in the same block. The operation and the
    // callbacks are held until the operation finished.
    auto self = this->self<NLHTTPRequestOperation>();
    setFinishingCompletion([self, success, failure] {
        dispatch_group_t group = self->completionGroup();
        if (group) dispatch_group_enter(group);
        dispatch_queue_t queue = self->completionQueue();
        if (!queue) queue = dispatch_get_main_queue();
        dispatch_group_t memberOf = group ? group : defaultGroup();
        std::function<void()> callback;
        if (NSErrorPtr failed = self->error()) {
            if (failure) callback = [self, failure, failed] { failure(self, failed); };
        } else {
            // Shared: the object (for the base serializer, the body itself) is not copied.
            auto object = self->sharedResponseObject();
            if (!object) object = std::make_shared<const Value>();
            if (NSErrorPtr serializationFailed = self->error()) {
                if (failure) callback = [self, failure, serializationFailed] { failure(self, serializationFailed); };
            } else if (success) {
                callback = [self, success, object] { success(self, *object); };
            }
        }
        const bool notify = queue == dispatch_get_main_queue() && self->takeFinishNotification();
        if (callback || notify)
            self->dispatchCompletion(memberOf, queue, [self, notify, callback = std::move(callback)] {
                if (notify)
                    NSNotificationCenter::defaultCenter()->postNotificationName(NLNetworkingOperationDidFinishNotification,
                                                                                self);
                if (callback) callback();
            });
        if (group) dispatch_group_leave(group);
    });
}

void NLHTTPRequestOperation::pause() {
    // One lock around the pause and the count: the body is written under the
    // same lock, so the count is final once the connection was let go, and the
    // request carries its range when pause returns.
    std::lock_guard guard(*lock());
    if (isPaused() || isFinished() || isCancelled()) return;
    NLURLConnectionOperation::pause();
    prepareResume();
}

void NLHTTPRequestOperation::prepareResume() {
    std::lock_guard guard(*lock());
    auto stream = outputStream();
    std::uint64_t kept = 0;
    Value offset = stream->propertyForKey(NSStreamFileCurrentOffsetKey);
    if (offset.isNumber()) {
        kept = offset.unsignedLongLongValue();
    } else {
        Value written = stream->propertyForKey(NSStreamDataWrittenToMemoryStreamKey);
        if (const auto* bytes = written.data()) kept = bytes->size();
    }
    auto current = request();
    if (!current) return;
    auto next = current->mutableCopy();
    std::optional<std::string> ifRange;
    if (auto http = response(); http && kept > 0)
        if (auto validators = FDResumeValidators::fromResponse(http->URL(), *http)) ifRange = validators->ifRange();
    next->setValue(ifRange, "If-Range");
    // Nothing kept: the whole resource again, without a range.
    next->setValue(kept > 0 ? std::optional<std::string>(format("bytes=%llu-", static_cast<unsigned long long>(kept)))
                            : std::nullopt,
                   "Range");
    setRequest(next);
    resumeOffset_ = kept;
}

bool NLHTTPRequestOperation::continuesKeptBody(const std::shared_ptr<NSURLResponse>& response) {
    std::lock_guard guard(*lock());
    if (!resumeOffset_) return false;
    const std::uint64_t kept = *resumeOffset_;
    resumeOffset_.reset();
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    if (!http || http->statusCode() != 206) return kept == 0;
    auto range = http->valueForHTTPHeaderField("Content-Range");
    auto start = range ? contentRangeStart(*range) : std::nullopt;
    return start && *start == kept;
}

bool NLHTTPRequestOperation::answerIsUsable(const NSHTTPURLResponse& http) const {
    const long status = http.statusCode();
    const std::uint64_t kept = resumeOffset_.value_or(0);
    auto current = request();
    const bool askedRange = kept > 0 || (current && current->valueForHTTPHeaderField("Range"));
    if (status == 206) {
        if (!askedRange) return false;
        if (kept == 0) return true;
        auto range = http.valueForHTTPHeaderField("Content-Range");
        auto start = range ? contentRangeStart(*range) : std::nullopt;
        return start && *start == kept;
    }
    // A resumed request with bytes kept: only the whole resource (200) or an
    // error status may follow; anything else (3xx, another 2xx) holds nothing
    // to continue or replace them with.
    if (kept > 0) return status == 200 || status >= 400;
    return true;
}

void NLHTTPRequestOperation::connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                                          const std::shared_ptr<NSURLResponse>& response) {
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    bool usable;
    {
        std::lock_guard guard(*lock());
        if (!isCurrentConnection(connection)) return;
        usable = !http || answerIsUsable(*http);
        if (!usable) setResponse(response);
    }
    // The connection is never called with the operation's lock held.
    if (usable) {
        NLURLConnectionOperation::connectionDidReceiveResponse(connection, response);
        return;
    }
    // The body kept so far stays as it was.
    failConnection(NSURLErrorMake(NSURLErrorBadServerResponse, http->URL()));
}

std::shared_ptr<NLHTTPRequestOperation> NLHTTPRequestOperation::initWithCoder(const Value& archive) {
    if (!archive.isDictionary()) return nullptr;
    auto op = initWithRequest(archive["request"].objectAs<NSURLRequest>());
    op->decodeBase(archive);
    if (auto serializer = NLResponseSerializerWithCoder(archive["responseSerializer"]))
        op->setResponseSerializer(serializer);
    return op;
}

Value NLHTTPRequestOperation::encodeWithCoder() {
    Value archive = NLURLConnectionOperation::encodeWithCoder();
    if (auto serializer = responseSerializer()) archive.setObject("responseSerializer", serializer->encodeWithCoder());
    return archive;
}

std::shared_ptr<NLURLConnectionOperation> NLHTTPRequestOperation::copy() const {
    auto copy = initWithRequest(request());
    copyInto(*copy);
    if (auto serializer = responseSerializer()) copy->setResponseSerializer(serializer->copy());
    copy->setCompletionQueue(completionQueue());
    copy->setCompletionGroup(completionGroup());
    return copy;
}
