#include "networking/NLMultipartBodyStream.h"

#include <algorithm>

#include "networking/NLLocalizedString.h"
#include "networking/NLURLRequestSerialization.h"
#include "platform/runloop/NSThread.h"

NLMultipartBodyStream::NLMultipartBodyStream(NSStringEncoding encoding) : stringEncoding(encoding) {}

void NLMultipartBodyStream::appendHTTPBodyPart(std::shared_ptr<NLHTTPBodyPart> part) {
    HTTPBodyParts_.push_back(std::move(part));
}

std::uint64_t NLMultipartBodyStream::contentLength() const {
    std::uint64_t length = 0;
    for (const auto& part : HTTPBodyParts_) length += part->contentLength();
    return length;
}

void NLMultipartBodyStream::setInitialAndFinalBoundaries() {
    if (HTTPBodyParts_.empty()) return;
    for (const auto& part : HTTPBodyParts_) {
        part->hasInitialBoundary = false;
        part->hasFinalBoundary = false;
    }
    HTTPBodyParts_.front()->hasInitialBoundary = true;
    HTTPBodyParts_.back()->hasFinalBoundary = true;
}

void NLMultipartBodyStream::open() {
    if (status_.load() == NSStreamStatusOpen) return;
    status_ = NSStreamStatusOpen;
    setInitialAndFinalBoundaries();
    nextPart_ = 0;
    currentHTTPBodyPart_.reset();
}

void NLMultipartBodyStream::close() { status_ = NSStreamStatusClosed; }

NSErrorPtr NLMultipartBodyStream::streamError() const {
    std::lock_guard lock(errorMutex_);
    return streamError_;
}

long NLMultipartBodyStream::read(std::uint8_t* buffer, std::size_t maxLength) {
    auto status = status_.load();
    if (status == NSStreamStatusClosed) return 0;
    if (status == NSStreamStatusError) return -1;
    if (status != NSStreamStatusOpen) return -1;  // read before open
    std::size_t total = 0;
    std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(maxLength, numberOfBytesInPacket));
    while (total < limit) {
        if (!currentHTTPBodyPart_ || !currentHTTPBodyPart_->hasBytesAvailable()) {
            if (nextPart_ >= HTTPBodyParts_.size()) break;
            currentHTTPBodyPart_ = HTTPBodyParts_[nextPart_++];
            continue;
        }
        long n = currentHTTPBodyPart_->read(buffer + total, maxLength - total);
        if (n < 0) {
            {
                std::lock_guard lock(errorMutex_);
                streamError_ = currentHTTPBodyPart_->inputStream()->streamError();
                // A stream that fails without naming why still leaves an error to report.
                if (!streamError_)
                    streamError_ = NSError::errorWithDomain(
                        NLURLRequestSerializationErrorDomain, NLURLRequestSerializationErrorCode,
                        Value{{NSLocalizedDescriptionKey, Value(NLLocalizedString("The body stream of a part failed."))}});
            }
            // Without this the next read would step over the failed part and go
            // on with the next one, sending a body with a hole in it.
            status_ = NSStreamStatusError;
            return total > 0 ? static_cast<long>(total) : -1;
        }
        total += static_cast<std::size_t>(n);
        if (delay > 0) NSThread::sleepForTimeInterval(delay);
    }
    return static_cast<long>(total);
}

std::shared_ptr<NLMultipartBodyStream> NLMultipartBodyStream::copy() const {
    auto stream = std::make_shared<NLMultipartBodyStream>(stringEncoding);
    stream->numberOfBytesInPacket = numberOfBytesInPacket;
    stream->delay = delay;
    for (const auto& part : HTTPBodyParts_) stream->appendHTTPBodyPart(part->copy());
    stream->setInitialAndFinalBoundaries();
    return stream;
}
