// NLURLConnectionOperation: archiving, copying and the description.
#include <cinttypes>
#include <cstdio>

#include "networking/NLURLConnectionOperation.h"
#include "platform/foundation/NSLog.h"
#include "platform/net/NSHTTPURLResponse.h"

// ---------------------------------------------------------------- archiving and copying

Value NLURLConnectionOperation::encodeWithCoder() {
    pause();
    std::lock_guard guard(*lock_);
    std::int64_t state = state_;
    if (state == NLOperationPausedState || state == NLOperationExecutingState) state = NLOperationReadyState;
    Value archive = Value::dictionary();
    archive.setObject("$class", className());
    archive.setObject("request", Value(request_));
    archive.setObject("state", Value(static_cast<long long>(state)));
    archive.setObject("response", Value(response_));
    archive.setObject("error", Value(error_));
    archive.setObject("responseData", responseData_ ? *responseData_ : Value());
    archive.setObject("totalBytesRead", Value(static_cast<long long>(totalBytesRead_.load())));
    return archive;
}

void NLURLConnectionOperation::decodeBase(const Value& archive) {
    if (archive["state"].isNumber()) setState(archive["state"].integerValue());
    std::lock_guard guard(*lock_);
    response_ = archive["response"].objectAs<NSHTTPURLResponse>();
    error_ = archive["error"].objectAs<NSError>();
    const Value body = archive["responseData"];
    if (body.isData()) responseData_ = std::make_shared<const Value>(body);
    totalBytesRead_ = archive["totalBytesRead"].integerValue();
}

std::shared_ptr<NLURLConnectionOperation> NLURLConnectionOperation::initWithCoder(const Value& archive) {
    if (!archive.isDictionary()) return nullptr;
    auto op = initWithRequest(archive["request"].objectAs<NSURLRequest>());
    op->decodeBase(archive);
    return op;
}

void NLURLConnectionOperation::copyInto(NLURLConnectionOperation& copy) const {
    // The copy is new and not shared yet, so the two locks cannot be taken in the other order.
    std::lock_guard guard(*lock_);
    std::lock_guard copyGuard(*copy.lock_);
    copy.uploadProgress_ = uploadProgress_;
    copy.downloadProgress_ = downloadProgress_;
    copy.authenticationChallenge_ = authenticationChallenge_;
    copy.cacheResponse_ = cacheResponse_;
    copy.redirectResponse_ = redirectResponse_;
    copy.completionQueue_ = completionQueue_;
    copy.completionGroup_ = completionGroup_;
}

std::shared_ptr<NLURLConnectionOperation> NLURLConnectionOperation::copy() const {
    auto copy = initWithRequest(request());
    copyInto(*copy);
    return copy;
}

std::string NLURLConnectionOperation::description() const {
    std::lock_guard guard(*lock_);
    char address[32];
    std::snprintf(address, sizeof address, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(this));
    return format("<%@: %@, state: %@, cancelled: %@ request: %@, response: %@>", className(), address,
                  keyPathFromOperationState(state_), isCancelled() ? "YES" : "NO", request_, response_);
}
