#pragma once
// One part of a multipart body, read in phases: its opening boundary, its
// header lines, its body (data, a file URL or an input stream) and, for the last
// part, the closing boundary. Each read copies straight into the caller's buffer.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Value.h"

// Header lines of a part, written in this order.
using NLPartHeaders = std::vector<std::pair<std::string, std::string>>;

inline constexpr const char* kNLMultipartFormCRLF = "\r\n";

class NLHTTPBodyPart : public NSObject {
public:
    enum Phase : std::int32_t {
        NLEncapsulationBoundaryPhase = 1,
        NLHeaderPhase = 2,
        NLBodyPhase = 3,
        NLFinalBoundaryPhase = 4,
    };

    NLHTTPBodyPart();  // in the opening-boundary phase
    ~NLHTTPBodyPart() override;

    NSStringEncoding stringEncoding = NSUTF8StringEncoding;
    NLPartHeaders headers;
    std::string boundary;
    // Data, a file URL (NSURL) or an input stream; anything else reads as empty.
    Value body;
    std::uint64_t bodyContentLength = 0;
    bool hasInitialBoundary = false;
    bool hasFinalBoundary = false;

    // The stream over the body, made on first use.
    std::shared_ptr<NSInputStream> inputStream();
    // "Field: value" lines, each ended by CRLF, then one more CRLF. CR and LF
    // inside a field or value are written as "%0D" and "%0A", so that no text
    // can end a header line or start a new one.
    std::string stringForHeaders() const;
    // Opening boundary + header text + body length + closing boundary (when last).
    std::uint64_t contentLength() const;
    // True in the closing-boundary phase, else while the body stream has not ended.
    bool hasBytesAvailable();
    // Reads through the phases into the buffer; the count copied, or -1 when the
    // body stream fails.
    long read(std::uint8_t* buffer, std::size_t length);
    // Copies what is left of the current phase's data; moves on when it is all read.
    std::size_t readData(const Data& data, std::uint8_t* buffer, std::size_t length);
    // Moves to the next phase on the main thread (synchronously from other threads),
    // opening the body stream before the body and closing it after.
    bool transitionToNextPhase();
    Phase phase() const { return phase_; }

    // A new part in the opening-boundary phase with the same encoding, headers,
    // body, length and boundary; a stream body that can make a fresh stream over
    // the same bytes gives the copy that fresh stream.
    std::shared_ptr<NLHTTPBodyPart> copy() const;

    Data encapsulationBoundaryData() const;
    Data finalBoundaryData() const;

private:
    Data encoded(const std::string& text) const;

    std::shared_ptr<NSInputStream> inputStream_;
    Phase phase_ = static_cast<Phase>(0);
    std::uint64_t phaseReadOffset_ = 0;
};
