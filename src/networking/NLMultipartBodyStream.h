#pragma once
// The body stream of a multipart request: reads its parts one after the other
// straight into the reader's buffer. It raises no events; its reader calls
// read() while hasBytesAvailable() holds.
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "networking/NLHTTPBodyPart.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/NSString.h"

class NLMultipartBodyStream : public NSInputStream {
public:
    explicit NLMultipartBodyStream(NSStringEncoding encoding);
    static std::shared_ptr<NLMultipartBodyStream> initWithStringEncoding(NSStringEncoding encoding) {
        return std::make_shared<NLMultipartBodyStream>(encoding);
    }

    // Throttling: a read returns once it has brought at least this many bytes
    // (the default, the largest signed 64-bit value, means no limit)...
    std::uint64_t numberOfBytesInPacket = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    // ...and the reading thread pauses this long after each part read.
    double delay = 0;
    NSStringEncoding stringEncoding;

    void appendHTTPBodyPart(std::shared_ptr<NLHTTPBodyPart> part);
    const std::vector<std::shared_ptr<NLHTTPBodyPart>>& HTTPBodyParts() const { return HTTPBodyParts_; }
    bool isEmpty() const { return HTTPBodyParts_.empty(); }
    std::uint64_t contentLength() const;
    // The first part opens with the initial boundary, the last closes the body.
    void setInitialAndFinalBoundaries();

    // NSInputStream. Status: not open (0), open (2), closed (6), and error (7)
    // once a part's stream failed: from then on reads answer -1.
    void open() override;
    void close() override;
    NSStreamStatus streamStatus() const override { return status_.load(); }
    NSErrorPtr streamError() const override;
    // The bytes read; when a part's stream fails, the bytes read before it in
    // this call, or -1 when there were none.
    long read(std::uint8_t* buffer, std::size_t maxLength) override;
    bool hasBytesAvailable() const override { return status_.load() == NSStreamStatusOpen; }
    bool getBuffer(std::uint8_t**, std::size_t*) override { return false; }
    Value propertyForKey(const std::string&) const override { return {}; }
    bool setPropertyForKey(const Value&, const std::string&) override { return false; }
    void scheduleInRunLoop(const std::shared_ptr<NSRunLoop>&, const std::string&) override {}
    void removeFromRunLoop(const std::shared_ptr<NSRunLoop>&, const std::string&) override {}

    // A new stream with the same encoding and throttling and a copy of every part.
    std::shared_ptr<NLMultipartBodyStream> copy() const;
    std::shared_ptr<NSInputStream> copyStream() const override { return copy(); }

private:
    std::vector<std::shared_ptr<NLHTTPBodyPart>> HTTPBodyParts_;
    std::size_t nextPart_ = 0;  // the part enumerator
    std::shared_ptr<NLHTTPBodyPart> currentHTTPBodyPart_;
    std::atomic<NSStreamStatus> status_{NSStreamStatusNotOpen};
    mutable std::mutex errorMutex_;
    NSErrorPtr streamError_;
};
