#include "networking/NLHTTPBodyPart.h"

#include <algorithm>
#include <cstring>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSURL.h"
#include "platform/runloop/NSRunLoop.h"

namespace {
std::string withoutLineBreaks(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "%0D";
        else if (c == '\n') out += "%0A";
        else out += c;
    }
    return out;
}
}  // namespace

// A new part starts at its opening boundary (the step from the initial phase 0,
// taken here without the trip to the main thread: nothing is open yet).
NLHTTPBodyPart::NLHTTPBodyPart() : phase_(NLEncapsulationBoundaryPhase) {}

NLHTTPBodyPart::~NLHTTPBodyPart() {
    if (inputStream_) inputStream_->close();
}

std::shared_ptr<NSInputStream> NLHTTPBodyPart::inputStream() {
    if (inputStream_) return inputStream_;
    if (const Data* data = body.data()) {
        inputStream_ = NSInputStream::inputStreamWithData(*data);
    } else if (auto url = body.objectAs<NSURL>()) {
        inputStream_ = NSInputStream::inputStreamWithFileAtPath(url->path());
    } else if (auto stream = body.objectAs<NSInputStream>()) {
        inputStream_ = stream;
    } else {
        inputStream_ = NSInputStream::inputStreamWithData(Data());
    }
    return inputStream_;
}

Data NLHTTPBodyPart::encoded(const std::string& text) const {
    // Boundaries and header text are ASCII after escaping unless a caller put
    // other characters in a header; those fall back to UTF-8.
    auto data = dataUsingEncoding(text, stringEncoding);
    if (!data) data = Data(text.begin(), text.end());
    return *data;
}

std::string NLHTTPBodyPart::stringForHeaders() const {
    std::string text;
    for (const auto& [field, value] : headers)
        text += withoutLineBreaks(field) + ": " + withoutLineBreaks(value) + kNLMultipartFormCRLF;
    text += kNLMultipartFormCRLF;
    return text;
}

Data NLHTTPBodyPart::encapsulationBoundaryData() const {
    return encoded(hasInitialBoundary ? "--" + boundary + kNLMultipartFormCRLF
                                      : std::string(kNLMultipartFormCRLF) + "--" + boundary + kNLMultipartFormCRLF);
}

Data NLHTTPBodyPart::finalBoundaryData() const {
    return encoded(std::string(kNLMultipartFormCRLF) + "--" + boundary + "--" + kNLMultipartFormCRLF);
}

std::uint64_t NLHTTPBodyPart::contentLength() const {
    std::uint64_t length = encapsulationBoundaryData().size();
    length += encoded(stringForHeaders()).size();
    length += bodyContentLength;
    length += hasFinalBoundary ? finalBoundaryData().size() : 0;
    return length;
}

bool NLHTTPBodyPart::hasBytesAvailable() {
    if (phase_ == NLFinalBoundaryPhase) return true;
    return inputStream()->streamStatus() < NSStreamStatusAtEnd;
}

long NLHTTPBodyPart::read(std::uint8_t* buffer, std::size_t length) {
    std::size_t total = 0;
    if (phase_ == NLEncapsulationBoundaryPhase)
        total += readData(encapsulationBoundaryData(), buffer + total, length - total);
    if (phase_ == NLHeaderPhase) total += readData(encoded(stringForHeaders()), buffer + total, length - total);
    if (phase_ == NLBodyPhase) {
        auto stream = inputStream();
        long n = stream->read(buffer + total, length - total);
        if (n < 0) return -1;
        total += static_cast<std::size_t>(n);
        if (stream->streamStatus() >= NSStreamStatusAtEnd) transitionToNextPhase();
    }
    if (phase_ == NLFinalBoundaryPhase)
        total += readData(hasFinalBoundary ? finalBoundaryData() : Data(), buffer + total, length - total);
    return static_cast<long>(total);
}

std::size_t NLHTTPBodyPart::readData(const Data& data, std::uint8_t* buffer, std::size_t length) {
    std::size_t offset = static_cast<std::size_t>(std::min<std::uint64_t>(phaseReadOffset_, data.size()));
    std::size_t count = std::min(data.size() - offset, length);
    if (count) std::memcpy(buffer, data.data() + offset, count);
    phaseReadOffset_ += count;
    if (phaseReadOffset_ >= data.size()) transitionToNextPhase();
    return count;
}

bool NLHTTPBodyPart::transitionToNextPhase() {
    dispatch_main_sync_safe([this] {
        switch (phase_) {
        case NLEncapsulationBoundaryPhase: phase_ = NLHeaderPhase; break;
        case NLHeaderPhase: {
            auto stream = inputStream();
            stream->scheduleInRunLoop(NSRunLoop::currentRunLoop(), NSRunLoopCommonModes);
            stream->open();
            phase_ = NLBodyPhase;
            break;
        }
        case NLBodyPhase: inputStream()->close(); phase_ = NLFinalBoundaryPhase; break;
        default: phase_ = NLEncapsulationBoundaryPhase; break;
        }
        phaseReadOffset_ = 0;
    });
    return true;
}

std::shared_ptr<NLHTTPBodyPart> NLHTTPBodyPart::copy() const {
    auto part = std::make_shared<NLHTTPBodyPart>();
    part->stringEncoding = stringEncoding;
    part->headers = headers;
    part->bodyContentLength = bodyContentLength;
    part->body = body;
    if (auto stream = body.objectAs<NSInputStream>())
        if (auto fresh = stream->copyStream()) part->body = Value(fresh);
    part->boundary = boundary;
    return part;
}
