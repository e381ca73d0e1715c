#include "platform/graphics/PixelBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <new>
#include <utility>
#include <vector>

#include "platform/foundation/NSLog.h"

namespace {

struct Mapping {
    void* address;
    std::size_t length;
};

void unmap(const Mapping& m) {
    // Failing to unmap a range we mapped means the range is wrong: nothing to
    // do but say so.
    if (::munmap(m.address, m.length) != 0)
        NSLog("PixelBuffer: munmap of %zu bytes failed (errno %d)", m.length, errno);
}

std::size_t pageRounded(std::size_t size) {
    static const std::size_t page = [] {
        long p = ::sysconf(_SC_PAGESIZE);
        return p > 0 ? static_cast<std::size_t>(p) : std::size_t(4096);
    }();
    return (size + page - 1) / page * page;
}

// Freed mappings kept for reuse, the most recent last; at most
// kPixelBufferReuseBudget bytes together.
class KeptMappings {
public:
    static KeptMappings& shared() {
        // Never destroyed: bitmaps may be freed while the process exits.
        static auto* kept = new KeptMappings;
        return *kept;
    }

    // A kept mapping of at least length bytes and not much more, or none.
    std::optional<Mapping> take(std::size_t length) {
        std::lock_guard lock(mutex_);
        auto best = mappings_.end();
        for (auto it = mappings_.begin(); it != mappings_.end(); ++it)
            if (it->length >= length && it->length <= length + length / 4 &&
                (best == mappings_.end() || it->length < best->length))
                best = it;
        if (best == mappings_.end()) return std::nullopt;
        Mapping m = *best;
        mappings_.erase(best);
        total_ -= m.length;
        return m;
    }

    void give(const Mapping& m) {
        std::vector<Mapping> dropped;
        {
            std::lock_guard lock(mutex_);
            if (m.length > kPixelBufferReuseBudget) {
                dropped.push_back(m);
            } else {
                mappings_.push_back(m);
                total_ += m.length;
                while (total_ > kPixelBufferReuseBudget) {
                    dropped.push_back(mappings_.front());
                    total_ -= mappings_.front().length;
                    mappings_.erase(mappings_.begin());
                }
            }
        }
        for (const auto& d : dropped) unmap(d);
    }

    void releaseAll() {
        std::vector<Mapping> dropped;
        {
            std::lock_guard lock(mutex_);
            dropped.swap(mappings_);
            total_ = 0;
        }
        for (const auto& d : dropped) unmap(d);
    }

    std::size_t total() {
        std::lock_guard lock(mutex_);
        return total_;
    }

private:
    std::mutex mutex_;
    std::vector<Mapping> mappings_;
    std::size_t total_ = 0;
};

}  // namespace

PixelBuffer::PixelBuffer(Data&& bytes) noexcept : vector_(std::move(bytes)) {
    bytes_ = vector_.data();
    size_ = vector_.size();
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept { *this = std::move(other); }

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept {
    if (this == &other) return *this;
    release();
    // A vector's bytes stay where they are when the vector moves.
    vector_ = std::move(other.vector_);
    bytes_ = std::exchange(other.bytes_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
    heap_ = std::exchange(other.heap_, false);
    other.vector_.clear();
    return *this;
}

PixelBuffer::~PixelBuffer() { release(); }

void PixelBuffer::release() noexcept {
    if (mapped_) KeptMappings::shared().give(Mapping{bytes_, mapped_});
    else if (heap_) ::operator delete[](bytes_);
    vector_ = Data();
    bytes_ = nullptr;
    size_ = mapped_ = 0;
    heap_ = false;
}

PixelBuffer PixelBuffer::allocate(std::size_t size) {
    PixelBuffer buffer;
    if (size == 0) return buffer;
    if (size < kPixelBufferMappingThreshold) {
        auto* p = static_cast<std::uint8_t*>(::operator new[](size, std::nothrow));
        if (!p) {
            NSLog("PixelBuffer: cannot allocate %zu bytes", size);
            return buffer;
        }
        buffer.bytes_ = p;
        buffer.heap_ = true;
        buffer.size_ = size;
        return buffer;
    }
    std::size_t length = pageRounded(size);
    Mapping m{nullptr, 0};
    if (auto kept = KeptMappings::shared().take(length)) {
        m = *kept;
    } else {
        void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            NSLog("PixelBuffer: cannot map %zu bytes (errno %d)", length, errno);
            return buffer;
        }
        m = Mapping{p, length};
    }
    buffer.bytes_ = static_cast<std::uint8_t*>(m.address);
    buffer.mapped_ = m.length;
    buffer.size_ = size;
    return buffer;
}

PixelBuffer PixelBuffer::zeroed(std::size_t size) {
    PixelBuffer buffer = allocate(size);
    if (!buffer.empty()) std::memset(buffer.data(), 0, buffer.size());
    return buffer;
}

PixelBuffer PixelBuffer::copyOf(const std::uint8_t* bytes, std::size_t size) {
    PixelBuffer buffer = allocate(size);
    if (!buffer.empty()) std::memcpy(buffer.data(), bytes, size);
    return buffer;
}

void PixelBuffer::releaseKeptMemory() { KeptMappings::shared().releaseAll(); }

std::size_t PixelBuffer::keptBytes() { return KeptMappings::shared().total(); }
