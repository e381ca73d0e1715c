#include "platform/graphics/PixelBuffer.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "platform/foundation/NSLog.h"

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
    mapped_ = std::exchange(other.mapped_, false);
    heap_ = std::exchange(other.heap_, false);
    other.vector_.clear();
    return *this;
}

PixelBuffer::~PixelBuffer() { release(); }

void PixelBuffer::release() noexcept {
    if (mapped_) {
        // Failing to unmap a range we mapped means the range is wrong: nothing
        // to do but say so.
        if (::munmap(bytes_, size_) != 0) NSLog("PixelBuffer: munmap of %zu bytes failed (errno %d)", size_, errno);
    } else if (heap_) {
        ::operator delete[](bytes_);
    }
    vector_ = Data();
    bytes_ = nullptr;
    size_ = 0;
    mapped_ = heap_ = false;
}

PixelBuffer PixelBuffer::make(std::size_t size, Fill fill) {
    PixelBuffer buffer;
    if (size == 0) return buffer;
    if (size >= kPixelBufferMappingThreshold) {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            NSLog("PixelBuffer: cannot map %zu bytes (errno %d)", size, errno);
            return buffer;
        }
        buffer.bytes_ = static_cast<std::uint8_t*>(p);
        buffer.mapped_ = true;
        buffer.size_ = size;
        return buffer;  // fresh anonymous pages read as zero
    }
    auto* p = static_cast<std::uint8_t*>(::operator new[](size, std::nothrow));
    if (!p) {
        NSLog("PixelBuffer: cannot allocate %zu bytes", size);
        return buffer;
    }
    if (fill == Fill::Zero) std::memset(p, 0, size);
    buffer.bytes_ = p;
    buffer.heap_ = true;
    buffer.size_ = size;
    return buffer;
}

PixelBuffer PixelBuffer::allocate(std::size_t size) { return make(size, Fill::None); }

PixelBuffer PixelBuffer::zeroed(std::size_t size) { return make(size, Fill::Zero); }

PixelBuffer PixelBuffer::copyOf(const std::uint8_t* bytes, std::size_t size) {
    PixelBuffer buffer = allocate(size);
    if (!buffer.empty()) std::memcpy(buffer.data(), bytes, size);
    return buffer;
}
