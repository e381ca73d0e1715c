#pragma once
// Byte streams: input streams over data or files (and subclasses that produce
// their own bytes), output streams to memory or to files.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSRunLoop;
class NSStream;

enum NSStreamStatus : unsigned long {
    NSStreamStatusNotOpen = 0,
    NSStreamStatusOpening = 1,
    NSStreamStatusOpen = 2,
    NSStreamStatusReading = 3,
    NSStreamStatusWriting = 4,
    NSStreamStatusAtEnd = 5,
    NSStreamStatusClosed = 6,
    NSStreamStatusError = 7,
};

enum NSStreamEvent : unsigned long {
    NSStreamEventNone = 0,
    NSStreamEventOpenCompleted = 1,
    NSStreamEventHasBytesAvailable = 2,
    NSStreamEventHasSpaceAvailable = 4,
    NSStreamEventErrorOccurred = 8,
    NSStreamEventEndEncountered = 16,
};

inline constexpr const char* NSStreamDataWrittenToMemoryStreamKey = "kCFStreamPropertyDataWritten";
inline constexpr const char* NSStreamFileCurrentOffsetKey = "kCFStreamPropertyFileCurrentOffset";

class NSStreamDelegate {
public:
    virtual ~NSStreamDelegate() = default;
    virtual void streamHandleEvent(NSStream& stream, NSStreamEvent event) { (void)stream, (void)event; }
};

class NSStream : public NSObject {
public:
    virtual void open() = 0;
    virtual void close() = 0;
    virtual NSStreamStatus streamStatus() const = 0;
    virtual NSErrorPtr streamError() const = 0;
    virtual Value propertyForKey(const std::string& key) const;
    virtual bool setPropertyForKey(const Value& value, const std::string& key);
    // Scheduling records where events would go; these streams complete their work
    // synchronously and raise no run-loop events.
    virtual void scheduleInRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
    virtual void removeFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
    void setDelegate(std::weak_ptr<NSStreamDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<NSStreamDelegate> delegate() const { return delegate_.lock(); }

private:
    std::weak_ptr<NSStreamDelegate> delegate_;
};

class NSInputStream : public NSStream {
public:
    static std::shared_ptr<NSInputStream> inputStreamWithData(Data data);
    static std::shared_ptr<NSInputStream> inputStreamWithFileAtPath(const std::string& path);

    // Reads up to maxLength bytes; 0 at the end, -1 on error.
    virtual long read(std::uint8_t* buffer, std::size_t maxLength) = 0;
    virtual bool hasBytesAvailable() const = 0;
    virtual bool getBuffer(std::uint8_t** buffer, std::size_t* length) {
        (void)buffer, (void)length;
        return false;
    }
    // A fresh stream over the same bytes when the stream knows how to make one.
    virtual std::shared_ptr<NSInputStream> copyStream() const { return nullptr; }
};

class NSOutputStream : public NSStream {
public:
    static std::shared_ptr<NSOutputStream> outputStreamToMemory();
    static std::shared_ptr<NSOutputStream> outputStreamToFileAtPath(const std::string& path, bool append);

    // Writes up to length bytes; the count written, 0 when full, -1 on error.
    virtual long write(const std::uint8_t* buffer, std::size_t length) = 0;
    virtual bool hasSpaceAvailable() const = 0;
};

// The stream outputStreamToMemory makes: room can be made ahead from an announced
// length (no regrowing copies of a large body), and the bytes can be handed over
// without a copy.
class NSMemoryOutputStream final : public NSOutputStream {
public:
    void open() override;
    void close() override;
    NSStreamStatus streamStatus() const override;
    NSErrorPtr streamError() const override { return nullptr; }
    long write(const std::uint8_t* buffer, std::size_t length) override;
    bool hasSpaceAvailable() const override;
    Value propertyForKey(const std::string& key) const override;
    // Room for `total` bytes in all (at most 512 MiB: an announced length is not
    // trusted further); only address space until written.
    void reserveTotal(std::int64_t total);
    // The bytes written, moved out; the stream is empty afterwards.
    Data take();

private:
    mutable std::mutex m_;
    Data data_;
    NSStreamStatus status_ = NSStreamStatusNotOpen;
};
