#include "platform/foundation/NSStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

Value NSStream::propertyForKey(const std::string&) const { return {}; }
bool NSStream::setPropertyForKey(const Value&, const std::string&) { return false; }
void NSStream::scheduleInRunLoop(const std::shared_ptr<NSRunLoop>&, const std::string&) {}
void NSStream::removeFromRunLoop(const std::shared_ptr<NSRunLoop>&, const std::string&) {}

namespace {

class DataInputStream final : public NSInputStream {
public:
    explicit DataInputStream(Data data) : data_(std::move(data)) {}
    void open() override {
        std::lock_guard l(m_);
        if (status_ == NSStreamStatusNotOpen) status_ = data_.empty() ? NSStreamStatusAtEnd : NSStreamStatusOpen;
    }
    void close() override {
        std::lock_guard l(m_);
        status_ = NSStreamStatusClosed;
    }
    NSStreamStatus streamStatus() const override {
        std::lock_guard l(m_);
        return status_;
    }
    NSErrorPtr streamError() const override { return nullptr; }
    long read(std::uint8_t* buffer, std::size_t maxLength) override {
        std::lock_guard l(m_);
        if (status_ != NSStreamStatusOpen && status_ != NSStreamStatusAtEnd) return status_ == NSStreamStatusNotOpen ? -1 : 0;
        std::size_t n = std::min(maxLength, data_.size() - offset_);
        if (n) std::memcpy(buffer, data_.data() + offset_, n);
        offset_ += n;
        if (offset_ >= data_.size()) status_ = NSStreamStatusAtEnd;
        return static_cast<long>(n);
    }
    bool hasBytesAvailable() const override {
        std::lock_guard l(m_);
        return status_ == NSStreamStatusOpen && offset_ < data_.size();
    }
    std::shared_ptr<NSInputStream> copyStream() const override { return std::make_shared<DataInputStream>(data_); }

private:
    mutable std::mutex m_;
    Data data_;
    std::size_t offset_ = 0;
    NSStreamStatus status_ = NSStreamStatusNotOpen;
};

class FileInputStream final : public NSInputStream {
public:
    explicit FileInputStream(std::string path) : path_(std::move(path)) {}
    ~FileInputStream() override {
        if (fd_ >= 0) ::close(fd_);
    }
    void open() override {
        std::lock_guard l(m_);
        if (status_ != NSStreamStatusNotOpen) return;
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error_ = NSError::posix(errno, path_);
            status_ = NSStreamStatusError;
            return;
        }
        status_ = NSStreamStatusOpen;
    }
    void close() override {
        std::lock_guard l(m_);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        status_ = NSStreamStatusClosed;
    }
    NSStreamStatus streamStatus() const override {
        std::lock_guard l(m_);
        return status_;
    }
    NSErrorPtr streamError() const override {
        std::lock_guard l(m_);
        return error_;
    }
    long read(std::uint8_t* buffer, std::size_t maxLength) override {
        std::lock_guard l(m_);
        if (status_ == NSStreamStatusAtEnd || status_ == NSStreamStatusClosed) return 0;
        if (status_ != NSStreamStatusOpen) return -1;
        ssize_t n;
        do n = ::read(fd_, buffer, maxLength);
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            error_ = NSError::posix(errno, path_);
            status_ = NSStreamStatusError;
            return -1;
        }
        if (n == 0 && maxLength > 0) status_ = NSStreamStatusAtEnd;
        return static_cast<long>(n);
    }
    bool hasBytesAvailable() const override {
        std::lock_guard l(m_);
        return status_ == NSStreamStatusOpen;
    }
    std::shared_ptr<NSInputStream> copyStream() const override { return std::make_shared<FileInputStream>(path_); }

private:
    mutable std::mutex m_;
    std::string path_;
    int fd_ = -1;
    NSStreamStatus status_ = NSStreamStatusNotOpen;
    NSErrorPtr error_;
};

class FileOutputStream final : public NSOutputStream {
public:
    FileOutputStream(std::string path, bool append) : path_(std::move(path)), append_(append) {}
    ~FileOutputStream() override {
        if (fd_ >= 0) ::close(fd_);
    }
    void open() override {
        std::lock_guard l(m_);
        if (status_ != NSStreamStatusNotOpen) return;
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append_ ? O_APPEND : O_TRUNC), 0644);
        if (fd_ < 0) {
            error_ = NSError::posix(errno, path_);
            status_ = NSStreamStatusError;
            return;
        }
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && append_) offset_ = static_cast<std::uint64_t>(st.st_size);
        status_ = NSStreamStatusOpen;
    }
    void close() override {
        std::lock_guard l(m_);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (status_ != NSStreamStatusError) status_ = NSStreamStatusClosed;
    }
    NSStreamStatus streamStatus() const override {
        std::lock_guard l(m_);
        return status_;
    }
    NSErrorPtr streamError() const override {
        std::lock_guard l(m_);
        return error_;
    }
    long write(const std::uint8_t* buffer, std::size_t length) override {
        std::lock_guard l(m_);
        if (status_ != NSStreamStatusOpen) return -1;
        ssize_t n;
        do n = ::write(fd_, buffer, length);
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            error_ = NSError::posix(errno, path_);
            status_ = NSStreamStatusError;
            return -1;
        }
        offset_ += static_cast<std::uint64_t>(n);
        return static_cast<long>(n);
    }
    bool hasSpaceAvailable() const override {
        std::lock_guard l(m_);
        return status_ == NSStreamStatusOpen;
    }
    Value propertyForKey(const std::string& key) const override {
        std::lock_guard l(m_);
        if (key == NSStreamFileCurrentOffsetKey) return Value(static_cast<unsigned long long>(offset_));
        return {};
    }

private:
    mutable std::mutex m_;
    std::string path_;
    bool append_;
    int fd_ = -1;
    std::uint64_t offset_ = 0;
    NSStreamStatus status_ = NSStreamStatusNotOpen;
    NSErrorPtr error_;
};

}  // namespace

std::shared_ptr<NSInputStream> NSInputStream::inputStreamWithData(Data data) {
    return std::make_shared<DataInputStream>(std::move(data));
}

std::shared_ptr<NSInputStream> NSInputStream::inputStreamWithFileAtPath(const std::string& path) {
    return std::make_shared<FileInputStream>(path);
}

std::shared_ptr<NSOutputStream> NSOutputStream::outputStreamToMemory() { return std::make_shared<NSMemoryOutputStream>(); }

std::shared_ptr<NSOutputStream> NSOutputStream::outputStreamToFileAtPath(const std::string& path, bool append) {
    return std::make_shared<FileOutputStream>(path, append);
}

void NSMemoryOutputStream::open() {
    std::lock_guard l(m_);
    if (status_ == NSStreamStatusNotOpen) status_ = NSStreamStatusOpen;
}

void NSMemoryOutputStream::close() {
    std::lock_guard l(m_);
    status_ = NSStreamStatusClosed;
}

NSStreamStatus NSMemoryOutputStream::streamStatus() const {
    std::lock_guard l(m_);
    return status_;
}

long NSMemoryOutputStream::write(const std::uint8_t* buffer, std::size_t length) {
    std::lock_guard l(m_);
    if (status_ != NSStreamStatusOpen) return -1;
    data_.insert(data_.end(), buffer, buffer + length);
    return static_cast<long>(length);
}

bool NSMemoryOutputStream::hasSpaceAvailable() const {
    std::lock_guard l(m_);
    return status_ == NSStreamStatusOpen;
}

Value NSMemoryOutputStream::propertyForKey(const std::string& key) const {
    std::lock_guard l(m_);
    if (key == NSStreamDataWrittenToMemoryStreamKey) return Value(data_);
    return {};
}

void NSMemoryOutputStream::reserveTotal(std::int64_t total) {
    constexpr std::int64_t kMaxReserve = std::int64_t(512) << 20;
    if (total <= 0) return;
    std::lock_guard l(m_);
    data_.reserve(static_cast<std::size_t>(std::min(total, kMaxReserve)));
}

Data NSMemoryOutputStream::take() {
    std::lock_guard l(m_);
    Data out = std::move(data_);
    data_ = Data();
    return out;
}
