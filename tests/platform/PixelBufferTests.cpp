// Protects the pixel memory of bitmaps: large buffers are mappings of their own
// whose memory leaves the process when freed (beyond a small reuse budget),
// reused memory is cleared when asked, and decoded posters live in such buffers.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/graphics/PixelBuffer.h"
#include "platform/imageio/CGImageSource.h"
#include "support/SampleImages.h"

#if defined(__SANITIZE_THREAD__)
#define QUORVANE_SHADOW_KEEPS_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUORVANE_SHADOW_KEEPS_MEMORY 1
#endif
#endif

namespace {

// Resident memory of the process in bytes.
std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * 4096;
}

}  // namespace

TEST_SUITE("graphics") {

TEST_CASE("large bitmaps live in mappings of their own whose memory leaves the process when freed") {
    PixelBuffer::releaseKeptMemory();
    CHECK(PixelBuffer::keptBytes() == 0);
    auto small = PixelBuffer::allocate(1000);
    CHECK(small.size() == 1000);
    CHECK_FALSE(small.isMapping());

    // A decoded 300 x 450 poster.
    Data jpeg = sampleimages::jpeg(300, 450, sampleimages::pattern);
    auto poster = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(jpeg), 0);
    REQUIRE(poster);
    CHECK(poster->data().isMapping());

    // 80 posters' worth written and freed: all but the reuse budget goes back
    // (a quarter of the total allows for the bookkeeping of checking builds).
    const std::size_t kBitmap = 300 * 450 * 4;
    std::size_t before = residentBytes();
    {
        std::vector<PixelBuffer> bitmaps;
        for (int i = 0; i < 80; ++i) {
            bitmaps.push_back(PixelBuffer::allocate(kBitmap));
            REQUIRE(bitmaps.back().size() == kBitmap);
            std::fill(bitmaps.back().data(), bitmaps.back().data() + kBitmap, std::uint8_t(i));
        }
        CHECK(residentBytes() >= before + 70 * kBitmap);
    }
    CHECK(PixelBuffer::keptBytes() > 0);
    CHECK(PixelBuffer::keptBytes() <= kPixelBufferReuseBudget);
#ifndef QUORVANE_SHADOW_KEEPS_MEMORY  // the thread checker keeps shadow pages of unmapped memory
    CHECK(residentBytes() <= before + kPixelBufferReuseBudget + 20 * kBitmap);
#endif

    // The next bitmap of that size takes a kept mapping; cleared memory is
    // cleared even then.
    std::size_t kept = PixelBuffer::keptBytes();
    auto reused = PixelBuffer::zeroed(kBitmap);
    REQUIRE(reused.size() == kBitmap);
    CHECK(PixelBuffer::keptBytes() < kept);
    CHECK(std::all_of(reused.begin(), reused.end(), [](std::uint8_t b) { return b == 0; }));

    PixelBuffer::releaseKeptMemory();
    CHECK(PixelBuffer::keptBytes() == 0);
}

TEST_CASE("a pixel buffer takes over a vector and moves without copying") {
    Data bytes = {1, 2, 3, 4};
    const std::uint8_t* address = bytes.data();
    PixelBuffer buffer(std::move(bytes));
    CHECK(buffer.data() == address);
    PixelBuffer moved(std::move(buffer));
    CHECK(moved.data() == address);
    CHECK(moved.size() == 4);
    CHECK(buffer.empty());
    auto copy = PixelBuffer::copyOf(moved.data(), moved.size());
    CHECK(copy.data() != address);
    CHECK(std::equal(copy.begin(), copy.end(), moved.begin(), moved.end()));
    CHECK(PixelBuffer::allocate(0).empty());
}

}  // TEST_SUITE
