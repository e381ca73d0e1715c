#pragma once
// A handle on an open file: sequential reads and writes at a movable offset.
// Failures (writes after closeFile, a full disk, ...) are answered with false and
// an error, never thrown.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class NSFileHandle;
using NSFileHandlePtr = std::shared_ptr<NSFileHandle>;

class NSFileHandle : public NSObject {
public:
    // nullptr when the file cannot be opened; the file must already exist.
    static NSFileHandlePtr fileHandleForReadingAtPath(const std::string& path);
    static NSFileHandlePtr fileHandleForWritingAtPath(const std::string& path);
    static NSFileHandlePtr fileHandleForUpdatingAtPath(const std::string& path);
    // The same with the reason of a failure.
    static NSFileHandlePtr fileHandleForReadingAtPath(const std::string& path, NSErrorPtr* error);
    static NSFileHandlePtr fileHandleForWritingAtPath(const std::string& path, NSErrorPtr* error);

    // Takes ownership of the descriptor (closed with the handle when asked).
    NSFileHandle(int fd, bool closeOnDealloc, std::string path = {});
    ~NSFileHandle() override;

    int fileDescriptor() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }

    // Offset after the move; UINT64_MAX when the handle is closed or the seek failed.
    std::uint64_t seekToEndOfFile();
    bool seekToFileOffset(std::uint64_t offset);
    std::uint64_t offsetInFile() const;

    // Writes all of the bytes at the current offset.
    bool writeData(const Data& data, NSErrorPtr* error = nullptr);
    // Up to length bytes from the offset; fewer at the end of the file, empty when
    // the handle is closed or a read fails.
    Data readDataOfLength(std::size_t length);
    Data readDataToEndOfFile();
    bool truncateFileAtOffset(std::uint64_t offset);
    bool synchronizeFile();
    void closeFile();

private:
    NSErrorPtr closedError() const;
    mutable std::mutex mutex_;
    int fd_;
    bool closeOnDealloc_;
    std::string path_;
};
