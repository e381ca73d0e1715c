#pragma once
// The memory behind a bitmap's pixels.
//
// A buffer of at least kPixelBufferMappingThreshold bytes is a memory mapping
// of its own: when the bitmap goes, its pages go back to the system at once
// instead of staying behind in the allocator's per-thread arenas (a grid of
// posters otherwise leaves tens of MiB of freed bitmaps resident). Smaller
// buffers come from the ordinary heap.
//
// allocate() does not clear the memory: a decoder that writes every byte pays
// for no fill it would overwrite. zeroed() gives cleared memory (fresh
// mappings are cleared by the system, so large ones cost no extra pass).
// A buffer can also take over a byte vector without copying it.
//
// Move-only; not thread-safe, like any value (bitmaps never change theirs).
#include <cstddef>
#include <cstdint>

#include "platform/foundation/Data.h"

inline constexpr std::size_t kPixelBufferMappingThreshold = std::size_t(128) * 1024;

class PixelBuffer {
public:
    PixelBuffer() = default;
    // Takes over the vector's bytes (no copy).
    PixelBuffer(Data&& bytes) noexcept;  // NOLINT: implicit, so bitmaps still take plain vectors
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    ~PixelBuffer();

    // size bytes, not cleared; empty() when the memory cannot be had.
    [[nodiscard]] static PixelBuffer allocate(std::size_t size);
    // size cleared bytes; empty() when the memory cannot be had.
    [[nodiscard]] static PixelBuffer zeroed(std::size_t size);
    // A copy of the bytes in a buffer of its own.
    [[nodiscard]] static PixelBuffer copyOf(const std::uint8_t* bytes, std::size_t size);

    std::uint8_t* data() { return bytes_; }
    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::uint8_t* begin() const { return bytes_; }
    const std::uint8_t* end() const { return bytes_ + size_; }
    // Whether the bytes live in a mapping of their own.
    bool isMapping() const { return mapped_; }

private:
    enum class Fill { None, Zero };
    static PixelBuffer make(std::size_t size, Fill fill);
    void release() noexcept;

    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;  // bytes_ is a mapping of size_ bytes
    bool heap_ = false;    // bytes_ came from operator new[]
    Data vector_;          // the adopted vector, when bytes_ points into it
};
