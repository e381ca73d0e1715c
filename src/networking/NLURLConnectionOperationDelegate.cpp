// NLURLConnectionOperation: the connection's delegate calls, on the network
// thread (receiving the response and the body, the memory limit, the end of
// the load, challenges, caching, redirects).
#include <chrono>
#include <thread>

#include "networking/NLSecurityPolicy.h"
#include "networking/NLURLConnectionOperation.h"
#include "platform/foundation/FoundationErrors.h"
#include "platform/net/NSURLError.h"

namespace {

NSErrorPtr streamFailure(const std::string& description) {
    return NSError::make(NSCocoaErrorDomain, NSFileWriteUnknownError, description);
}

}  // namespace

// ---------------------------------------------------------------- connection delegate

std::shared_ptr<NSURLRequest> NLURLConnectionOperation::connectionWillSendRequest(
    const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLRequest>& request,
    const std::shared_ptr<NSURLResponse>& redirectResponse) {
    RedirectResponseBlock hook;
    {
        std::lock_guard guard(*lock_);
        hook = redirectResponse_;
    }
    if (hook) return hook(connection, request, redirectResponse);
    return request;
}

void NLURLConnectionOperation::connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                                            const std::shared_ptr<NSURLResponse>& response) {
    bool tooLarge = false;
    {
        std::lock_guard guard(*lock_);
        if (!isCurrentConnection(connection)) return;
        response_ = response;
        const std::int64_t announced = response ? response->expectedContentLength() : NSURLResponseUnknownLength;
        const bool capped = ownStream_ || !outputStream_;
        if (capped && announced > 0 && static_cast<std::uint64_t>(announced) > maximumResponseSize_) {
            tooLarge = true;
        } else if (!resumed_) {
            if (auto* own = dynamic_cast<NSMemoryOutputStream*>(outputStream_.get()); own && ownStream_)
                own->reserveTotal(announced);
            return;
        }
    }
    if (tooLarge) {
        failTooLarge();
        return;
    }
    {
        std::lock_guard guard(*lock_);
        resumed_ = false;
        if (continuesKeptBody(response) || restartBody()) return;
    }
    Value info = Value::dictionary();
    info.setObject(NSLocalizedDescriptionKey,
                   "The server sent the whole body again, and the output stream cannot be rewound.");
    if (response) info.setObject(NSURLErrorFailingURLErrorKey, response->URL());
    failConnection(NSError::errorWithDomain(NSCocoaErrorDomain, NSFileWriteUnknownError, info));
}

bool NLURLConnectionOperation::writeChunk(const Data& data, NSErrorPtr* error) {
    auto stream = outputStream();
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + std::chrono::duration<double>(NLOutputStreamWriteTimeout);
    std::size_t written = 0;
    while (written < data.size()) {
        if (stream->hasSpaceAvailable()) {
            long n = stream->write(data.data() + written, data.size() - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0) {
                *error = stream->streamError();
                if (!*error) *error = streamFailure("The output stream refused the body bytes.");
                return false;
            }
        } else {
            if (auto streamError = stream->streamError()) {
                *error = streamError;
                return false;
            }
            auto status = stream->streamStatus();
            if (status != NSStreamStatusOpen && status != NSStreamStatusWriting && status != NSStreamStatusOpening) {
                *error = streamFailure("The output stream is not open.");
                return false;
            }
        }
        // A full stream: wait a little, but not for ever.
        if (SteadyClock::now() >= deadline) {
            *error = streamFailure("The output stream had no space for the body bytes.");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void NLURLConnectionOperation::failConnection(const NSErrorPtr& error) {
    NSURLConnectionPtr connection;
    {
        std::lock_guard guard(*lock_);
        connection = connection_;
    }
    if (connection) connection->cancel();
    connectionDidFailWithError(connection, error);
}

void NLURLConnectionOperation::connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) {
    NSErrorPtr streamError;
    bool tooLarge = false;
    {
        // Written under the lock: a pause that let this connection go has
        // counted every byte written before it, and none comes after.
        std::lock_guard guard(*lock_);
        if (!isCurrentConnection(connection)) return;
        outputStream();
        if (ownStream_ && bytesInOwnStream_ + data.size() > maximumResponseSize_) {
            tooLarge = true;
        } else if (writeChunk(data, &streamError)) {
            if (ownStream_) bytesInOwnStream_ += data.size();
        }
    }
    if (tooLarge) {
        failTooLarge();
        return;
    }
    if (streamError) {
        failConnection(streamError);
        return;
    }
    const std::uint64_t length = data.size();
    std::int64_t expected = NSURLResponseUnknownLength;
    if (auto r = response()) expected = r->expectedContentLength();
    auto self = this->self<NLURLConnectionOperation>();
    postToMainQueue(
        [self, length, expected] {
            const std::int64_t total = self->totalBytesRead_ += static_cast<std::int64_t>(length);
            ProgressBlock progress;
            {
                std::lock_guard guard(*self->lock_);
                progress = self->downloadProgress_;
            }
            // Nothing is reported once the operation was cancelled.
            if (progress && !self->isCancelled()) progress(length, total, expected);
        },
        true);
}

void NLURLConnectionOperation::connectionDidSendBodyData(const NSURLConnectionPtr& connection, std::int64_t bytesWritten,
                                                         std::int64_t totalBytesWritten,
                                                         std::int64_t totalBytesExpectedToWrite) {
    if (!isCurrentConnection(connection)) return;
    auto self = this->self<NLURLConnectionOperation>();
    postToMainQueue(
        [self, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite] {
            ProgressBlock progress;
            {
                std::lock_guard guard(*self->lock_);
                progress = self->uploadProgress_;
            }
            if (progress && !self->isCancelled())
                progress(static_cast<std::uint64_t>(bytesWritten), totalBytesWritten, totalBytesExpectedToWrite);
        },
        true);
}

std::shared_ptr<NSCachedURLResponse> NLURLConnectionOperation::connectionWillCacheResponse(
    const NSURLConnectionPtr& connection, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) {
    CacheResponseBlock hook;
    {
        std::lock_guard guard(*lock_);
        hook = cacheResponse_;
    }
    if (hook) return hook(connection, cachedResponse);
    if (isCancelled()) return nullptr;
    return cachedResponse;
}

void NLURLConnectionOperation::connectionDidFinishLoading(const NSURLConnectionPtr& connection) {
    if (!isCurrentConnection(connection)) return;
    if (!response()) {
        // A load that ended before any response came has no result.
        connectionDidFailWithError(connection,
                                   NSURLErrorMake(NSURLErrorBadServerResponse, request() ? request()->URL() : ""));
        return;
    }
    {
        std::lock_guard guard(*lock_);
        if (!isCurrentConnection(connection)) return;  // let go by a pause meanwhile
        if (auto* own = dynamic_cast<NSMemoryOutputStream*>(outputStream_.get()); own && outputStream_.use_count() == 1) {
            // Nobody else can read the stream any more: its bytes are moved, not copied.
            responseData_ = std::make_shared<const Value>(own->take());
            outputStream_->close();
            outputStream_.reset();
        } else if (outputStream_) {
            Value written = outputStream_->propertyForKey(NSStreamDataWrittenToMemoryStreamKey);
            // The stream's property is already a copy of its bytes, owned here: move it.
            if (const auto* bytes = written.data())
                responseData_ = std::make_shared<const Value>(std::move(*const_cast<Data*>(bytes)));
            else
                responseData_.reset();
            outputStream_->close();
            if (responseData_) outputStream_.reset();
        }
        connection_.reset();
        // A load that completed while a cancel was on its way ends as cancelled, so
        // that no success is reported after cancel returned.
        if (isCancelled() && !error_) {
            const std::string url = request_ ? request_->URL() : std::string();
            Value info;
            if (!url.empty()) info = Value{{NSURLErrorFailingURLErrorKey, url}};
            error_ = NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorCancelled, info);
        }
    }
    // Outside the lock: the finishing completion serializes the body here.
    finish();
}

void NLURLConnectionOperation::connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) {
    {
        std::lock_guard guard(*lock_);
        if (!isCurrentConnection(connection)) return;
        error_ = error;
        if (outputStream_) {
            outputStream_->close();
            if (responseData_) outputStream_.reset();
        }
        connection_.reset();
    }
    finish();
}

bool NLURLConnectionOperation::connectionShouldUseCredentialStorage(const NSURLConnectionPtr&) {
    return shouldUseCredentialStorage_;
}

void NLURLConnectionOperation::connectionWillSendRequestForAuthenticationChallenge(
    const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    ChallengeBlock hook;
    std::shared_ptr<NLSecurityPolicy> policy;
    std::shared_ptr<NSURLCredential> ownCredential;
    {
        std::lock_guard guard(*lock_);
        hook = authenticationChallenge_;
        policy = securityPolicy_;
        ownCredential = credential_;
    }
    if (hook) {
        hook(connection, challenge);
        return;
    }
    if (!challenge) return;
    auto sender = challenge->sender();
    if (!sender) return;
    const auto& space = challenge->protectionSpace();
    if (space && space->authenticationMethod() == NSURLAuthenticationMethodServerTrust) {
        const auto& trust = space->serverTrust();
        if (trust && policy && policy->evaluateServerTrust(trust, space->host())) {
            sender->useCredential(NSURLCredential::credentialForTrust(trust), challenge);
        } else {
            sender->cancelAuthenticationChallenge(challenge);
        }
        return;
    }
    if (challenge->previousFailureCount() == 0 && ownCredential) {
        sender->useCredential(ownCredential, challenge);
    } else {
        sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
    }
}
