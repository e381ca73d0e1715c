#pragma once
// The memory behind a bitmap's pixels.
//
// A buffer of at least kPixelBufferMappingThreshold bytes is a memory mapping
// of its own, so the memory of a freed bitmap leaves the process instead of
// staying behind in the allocator's per-thread arenas (a grid of posters
// otherwise keeps tens of MiB of freed bitmaps resident). The most recently
// freed mappings, up to kPixelBufferReuseBudget bytes in all, are kept for the
// next bitmaps of about their size: their pages are already in place, where a
// fresh mapping pays one page fault per 4 KiB (as much as decoding a JPEG).
// Smaller buffers come from the ordinary heap.
//
// allocate() does not clear the memory: a decoder that writes every byte pays
// for no fill it would overwrite. zeroed() gives cleared memory. A buffer can
// also take over a byte vector without copying it.
//
// Move-only. Buffers may be made and freed on any thread.
#include <cstddef>
#include <cstdint>

#include "platform/foundation/Data.h"

inline constexpr std::size_t kPixelBufferMappingThreshold = std::size_t(128) * 1024;
inline constexpr std::size_t kPixelBufferReuseBudget = std::size_t(8) * 1024 * 1024;

class PixelBuffer {
public:
    PixelBuffer() = default;
    // Takes over the vector's bytes (no copy).
    PixelBuffer(Data&& bytes) noexcept;  // implicit: bitmaps still take plain vectors
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

    // Unmaps the freed mappings kept for reuse (on a memory warning).
    static void releaseKeptMemory();
    // Bytes of freed mappings kept for reuse right now.
    static std::size_t keptBytes();

    std::uint8_t* data() { return bytes_; }
    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::uint8_t* begin() const { return bytes_; }
    const std::uint8_t* end() const { return bytes_ + size_; }
    // Whether the bytes live in a mapping of their own.
    bool isMapping() const { return mapped_ != 0; }

private:
    void release() noexcept;

    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;  // length of the mapping at bytes_, 0 when not a mapping
    bool heap_ = false;       // bytes_ came from operator new[]
    Data vector_;             // the adopted vector, when bytes_ points into it
};
