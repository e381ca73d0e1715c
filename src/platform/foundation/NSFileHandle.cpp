#include "platform/foundation/NSFileHandle.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/foundation/NSFileManager.h"

namespace {
NSFileHandlePtr openHandle(const std::string& path, int flags, NSErrorPtr* error) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = NSFileErrorFromErrno(errno, path, flags == O_RDONLY);
        return nullptr;
    }
    return std::make_shared<NSFileHandle>(fd, true, path);
}
constexpr std::uint64_t kFailedOffset = std::numeric_limits<std::uint64_t>::max();
}  // namespace

NSFileHandlePtr NSFileHandle::fileHandleForReadingAtPath(const std::string& path) {
    return openHandle(path, O_RDONLY, nullptr);
}
NSFileHandlePtr NSFileHandle::fileHandleForWritingAtPath(const std::string& path) {
    return openHandle(path, O_WRONLY, nullptr);
}
NSFileHandlePtr NSFileHandle::fileHandleForUpdatingAtPath(const std::string& path) {
    return openHandle(path, O_RDWR, nullptr);
}
NSFileHandlePtr NSFileHandle::fileHandleForReadingAtPath(const std::string& path, NSErrorPtr* error) {
    return openHandle(path, O_RDONLY, error);
}
NSFileHandlePtr NSFileHandle::fileHandleForWritingAtPath(const std::string& path, NSErrorPtr* error) {
    return openHandle(path, O_WRONLY, error);
}

NSFileHandle::NSFileHandle(int fd, bool closeOnDealloc, std::string path)
    : fd_(fd), closeOnDealloc_(closeOnDealloc), path_(std::move(path)) {}

NSFileHandle::~NSFileHandle() {
    if (closeOnDealloc_ && fd_ >= 0) ::close(fd_);
}

NSErrorPtr NSFileHandle::closedError() const { return NSFileErrorFromErrno(EBADF, path_, false); }

std::uint64_t NSFileHandle::seekToEndOfFile() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return kFailedOffset;
    off_t end = ::lseek(fd_, 0, SEEK_END);
    return end < 0 ? kFailedOffset : static_cast<std::uint64_t>(end);
}

bool NSFileHandle::seekToFileOffset(std::uint64_t offset) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0 || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::uint64_t NSFileHandle::offsetInFile() const {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return kFailedOffset;
    off_t at = ::lseek(fd_, 0, SEEK_CUR);
    return at < 0 ? kFailedOffset : static_cast<std::uint64_t>(at);
}

bool NSFileHandle::writeData(const Data& data, NSErrorPtr* error) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) {
        if (error) *error = closedError();
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = NSFileErrorFromErrno(errno, path_, false);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

Data NSFileHandle::readDataOfLength(std::size_t length) {
    std::lock_guard lock(mutex_);
    Data out;
    if (fd_ < 0) return out;
    std::uint8_t buf[65536];
    while (out.size() < length) {
        std::size_t want = std::min(sizeof buf, length - out.size());
        ssize_t n = ::read(fd_, buf, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

Data NSFileHandle::readDataToEndOfFile() { return readDataOfLength(std::numeric_limits<std::size_t>::max()); }

bool NSFileHandle::truncateFileAtOffset(std::uint64_t offset) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return false;
    if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0) return false;
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool NSFileHandle::synchronizeFile() {
    std::lock_guard lock(mutex_);
    return fd_ >= 0 && ::fsync(fd_) == 0;
}

void NSFileHandle::closeFile() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}
