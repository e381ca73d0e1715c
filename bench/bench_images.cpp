// The image library's figures, in one run:
// - peak memory while 1,000 distinct posters (300 x 450) load through a grid of
//   24 reused image views from a loopback server, with a memory-cache cost
//   limit of 13,107,200 (cost is height x width in points x scale, so at scale
//   1 that is 50 MiB of 4-byte pixels); the goal: a peak under the bitmaps the
//   cache holds plus 30 MiB;
// - memory-hit latency (goal under 0.5 us, in one pass with the CPU caches
//   cold: between storing the posters and reading them back, a buffer of twice
//   the last-level cache, at least 64 MiB, is written and read through; the
//   median of five such passes) and
//   disk-hit latency over 1,000 cached posters; every hit must hand back the
//   image stored under its key (memory) or one of its size (disk);
// - decoding a 1000 x 1500 JPEG poster through the image pipeline (decode,
//   rescale by key, forced decompression) next to libjpeg decoding the same
//   bytes directly, runs alternating; the figure to read is the time ratio
//   ours/libjpeg (lower is better; goal 1.10). The pipeline's pixels must be
//   libjpeg's (each channel within 2), else the run fails. Timing misses are
//   reported but do not fail the run (the machine may be shared); memory
//   misses do.
//
// Three runs, Release build, 8 December 2026, on a machine shared with seven
// other jobs (load average 35-50; the timings are noisy):
//   peak resident memory:            75.6, 77.2, 76.8 MiB (goal under 80.0: met)
//   memory hit, CPU caches cold:     0.64, 0.73, 0.60 us (goal under 0.50: missed)
//   disk hit:                        574.0, 543.1, 356.8 us
//   1000 x 1500 poster, ours/libjpeg: 6.86/6.42 ms = 1.07, 10.53/7.92 ms = 1.33, 9.33/5.73 ms = 1.63
//                                    (goal 1.10); the pixels equal libjpeg's in every run (difference 0)
#include <unistd.h>

#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "imagecache/RIImageCache.h"
#include "imagecache/RIWebImageManager.h"
#include "imagecache/UIImageForceDecode.h"
#include "imagecache/UIImageMultiFormat.h"
#include "imagecache/UIImageViewWebCache.h"
#include "support/LoopbackHttpServer.h"
#include "support/SampleImages.h"
#include "support/TestEnvironment.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using clock_type = std::chrono::steady_clock;

double seconds(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Peak resident set of the process so far, in MiB.
double peakResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

sampleimages::PixelFn posterPixels(int seed) {
    return [seed](std::size_t x, std::size_t y) {
        return CGPixel{static_cast<std::uint8_t>((x * 3 + static_cast<std::size_t>(seed) * 11) % 256),
                       static_cast<std::uint8_t>((y * 2 + static_cast<std::size_t>(seed) * 5) % 256),
                       static_cast<std::uint8_t>((x + y + static_cast<std::size_t>(seed)) % 256), 255};
    };
}

Data posterJpeg(std::size_t w, std::size_t h, int seed) {
    sampleimages::JpegOptions options;
    options.quality = 85;
    return sampleimages::jpeg(w, h, posterPixels(seed), options);
}

// libjpeg straight into packed RGB rows.
std::size_t decodeWithLibjpeg(const Data& data, std::vector<std::uint8_t>& out) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
    out.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out.size();
}

// Bytes of the last-level CPU cache as the kernel reports it (the largest
// cache of cpu0), else as sysconf does; 0 when neither says.
std::size_t lastLevelCacheBytes() {
    std::size_t largest = 0;
    for (int index = 0; index < 8; ++index) {
        std::ifstream in("/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(index) + "/size");
        std::size_t value = 0;
        char unit = 0;
        if (in >> value >> unit) largest = std::max(largest, value * (unit == 'M' ? 1048576 : unit == 'K' ? 1024 : 1));
    }
    if (largest > 0) return largest;
    for (int level : {_SC_LEVEL2_CACHE_SIZE, _SC_LEVEL3_CACHE_SIZE, _SC_LEVEL4_CACHE_SIZE}) {
        const long bytes = sysconf(level);
        if (bytes > 0) largest = std::max(largest, static_cast<std::size_t>(bytes));
    }
    return largest;
}

// Writes and reads back every cache line of a buffer of twice the last-level
// cache (at least 64 MiB), so that what was touched before is out of the CPU
// caches; answers the buffer's size.
std::size_t evictCpuCaches() {
    const std::size_t bytes = std::max<std::size_t>(2 * lastLevelCacheBytes(), 64u << 20);
    std::vector<std::uint8_t> buffer(bytes);
    for (std::size_t i = 0; i < bytes; i += 64) buffer[i] = static_cast<std::uint8_t>(i >> 6);
    volatile std::uint64_t sum = 0;
    std::uint64_t local = 0;
    for (std::size_t i = 0; i < bytes; i += 64) local += buffer[i];
    sum = local;
    (void)sum;
    return bytes;
}

// Median seconds per run of two blocks, run alternately `runs` times each so
// that a change in the machine's load touches both alike.
std::pair<double, double> medianSeconds(int runs, const std::function<void()>& ours,
                                        const std::function<void()>& reference) {
    std::vector<double> a, b;
    ours();  // warm up
    reference();
    auto timed = [](const std::function<void()>& block) {
        auto start = clock_type::now();
        block();
        return seconds(start);
    };
    for (int i = 0; i < runs; ++i) {
        a.push_back(timed(ours));
        b.push_back(timed(reference));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
}

// Bytes of the bitmaps behind an image (all frames of an animation).
std::uint64_t bitmapBytes(const UIImagePtr& image) {
    if (!image) return 0;
    auto bytesOf = [](const UIImagePtr& i) -> std::uint64_t {
        const auto& bitmap = i->CGImage();
        return bitmap ? std::uint64_t(bitmap->bytesPerRow()) * bitmap->height() : 0;
    };
    if (image->images().empty()) return bytesOf(image);
    std::uint64_t total = 0;
    for (const auto& frame : image->images()) total += bytesOf(frame);
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    testsupport::TempHome home;
    std::printf("image library benchmark (%s build)\n", QUORVANE_BUILD_TYPE);
    int failures = 0;

    // 1. Peak memory: 1,000 posters through reused image views.
    {
        const int kPosters = 1000, kViews = 24;
        const std::uint64_t kCostLimit = 50ull * 1024 * 1024 / 4;  // points at scale 1: 50 MiB of pixels
        testsupport::LoopbackHttpServer server;
        server.setHandler([](const testsupport::RecordedRequest& request) {
            int seed = std::atoi(request.path().c_str() + std::string("/poster/").size());
            Data jpeg = posterJpeg(300, 450, seed);
            return testsupport::Reply::text(std::string(jpeg.begin(), jpeg.end()), "image/jpeg");
        });
        auto manager = RIWebImageManager::sharedManager();
        manager->imageCache()->setMaxMemoryCost(kCostLimit);
        std::vector<std::shared_ptr<UIImageView>> views;
        for (int i = 0; i < kViews; ++i) views.push_back(std::make_shared<UIImageView>());
        int loaded = 0, failed = 0;
        std::uint64_t posterBytes = 0;
        double before = peakResidentMiB();
        auto start = clock_type::now();
        for (int first = 0; first < kPosters; first += kViews) {
            int pending = 0;
            for (int v = 0; v < kViews && first + v < kPosters; ++v) {
                ++pending;
                auto url = NSURL::URLWithString(server.url("/poster/" + std::to_string(first + v)));
                ri_setImageWithURL(views[static_cast<std::size_t>(v)], url, nullptr, 0,
                                   [&](UIImagePtr image, NSErrorPtr, RIImageCacheType, NSURLPtr) {
                                       --pending;
                                       (image ? loaded : failed)++;
                                       posterBytes = std::max(posterBytes, bitmapBytes(image));
                                   });
            }
            if (!testsupport::runMainUntil([&] { return pending == 0; }, 60)) {
                std::printf("  loads stalled\n");
                return 1;
            }
        }
        double elapsed = seconds(start);
        double peak = peakResidentMiB();
        auto cache = manager->imageCache()->memCache();
        double held = static_cast<double>(cache->count() * posterBytes) / 1048576.0;
        std::printf("1,000 posters (300x450) through %d reused image views, memory-cost limit %llu (points x scale):\n",
                    kViews, static_cast<unsigned long long>(kCostLimit));
        std::printf("  loaded %d, failed %d, %.2f s\n", loaded, failed, elapsed);
        std::printf("  memory cache: cost %llu in %zu images, bitmaps held %.1f MiB\n",
                    static_cast<unsigned long long>(cache->totalCost()), cache->count(), held);
        std::printf("  peak resident memory %.1f MiB (%.1f MiB before the posters); goal under bitmaps held + 30 MiB "
                    "= %.1f MiB: %s\n",
                    peak, before, held + 30, peak < held + 30 ? "met" : "MISSED");
        if (peak >= held + 30 || loaded != kPosters) ++failures;
    }

    // 2. Memory-hit and disk-hit latency over 1,000 posters.
    {
        const int kPosters = 1000;
        auto cache = RIImageCache::initWithNamespace("bench");
        std::vector<UIImagePtr> stored;
        std::vector<std::string> keys;
        for (int i = 0; i < kPosters; ++i) {
            Data jpeg = posterJpeg(120, 180, i);
            stored.push_back(ri_imageWithData(jpeg));
            keys.push_back("poster-" + std::to_string(i));
            cache->storeImage(stored.back(), false, jpeg, keys.back(), true);
        }
        cache->getDiskCount();  // waits for the queue: every file is written
        // Five passes, each after the caches were evicted; the median pass counts
        // (a pass the scheduler interrupted on a busy machine does not).
        constexpr int kPasses = 5;
        std::size_t evicted = 0, memoryHits = 0;
        std::vector<double> passes;
        for (int pass = 0; pass < kPasses; ++pass) {
            evicted = evictCpuCaches();
            const auto start = clock_type::now();
            for (int i = 0; i < kPosters; ++i)
                cache->queryDiskCacheForKey(keys[static_cast<std::size_t>(i)],
                                            [&, i](UIImagePtr image, RIImageCacheType type) {
                                                memoryHits += image == stored[static_cast<std::size_t>(i)] &&
                                                              type == RIImageCacheTypeMemory;
                                            });
            passes.push_back(seconds(start) / kPosters);
        }
        std::sort(passes.begin(), passes.end());
        const double memory = passes[kPasses / 2];
        std::size_t hits = memoryHits / kPasses;
        if (memoryHits != std::size_t(kPasses) * kPosters) hits = 0;
        cache->clearMemory();
        auto start = clock_type::now();
        for (int i = 0; i < kPosters; ++i) {
            const UIImagePtr image = cache->imageFromDiskCacheForKey(keys[static_cast<std::size_t>(i)]);
            hits += image && image->size().width == 120 && image->size().height == 180;
        }
        double disk = seconds(start) / kPosters;
        std::printf("1,000 posters (120x180 JPEG) in the cache (memory hits: median of %d passes, the CPU caches "
                    "evicted with %.0f MiB before each):\n",
                    kPasses,
                    static_cast<double>(evicted) / 1048576.0);
        std::printf("  memory hit %.2f us (goal under 0.50 with the CPU caches cold: %s), disk hit (read, decode, "
                    "decompress) %.1f us  [%zu/2000 hits]\n",
                    memory * 1e6, memory * 1e6 < 0.5 ? "met" : "missed", disk * 1e6, hits);
        if (hits != 2 * kPosters) {
            std::printf("  FAIL: a hit missed or handed back another image\n");
            ++failures;
        }
    }

    // 3. A 1000 x 1500 poster through the pipeline next to libjpeg.
    {
        Data jpeg = posterJpeg(1000, 1500, 7);
        std::vector<std::uint8_t> rgb;
        UIImagePtr result;
        auto [pipeline, direct] = medianSeconds(
            21,
            [&] {
                result = decodedImageWithImage(RIScaledImageForKey("http://host/poster.jpg", ri_imageWithData(jpeg)));
            },
            [&] { decodeWithLibjpeg(jpeg, rgb); });
        double ratio = pipeline / direct;
        std::printf("1000x1500 JPEG poster (%zu bytes):\n", jpeg.size());
        std::printf("  image pipeline %.2f ms, libjpeg direct %.2f ms, ours/libjpeg %.2f (goal 1.10: %s)\n",
                    pipeline * 1e3, direct * 1e3, ratio, ratio <= 1.10 ? "met" : "missed");
        // The pipeline's pixels against libjpeg's.
        int worst = 255;
        const CGImageRef bitmap = result ? result->CGImage() : nullptr;
        if (bitmap && bitmap->width() == 1000 && bitmap->height() == 1500 && rgb.size() == 1000 * 1500 * 3) {
            worst = 0;
            for (std::size_t y = 0; y < 1500; ++y)
                for (std::size_t x = 0; x < 1000; ++x) {
                    const CGPixel p = bitmap->pixelAt(x, y);
                    const std::uint8_t* q = &rgb[(y * 1000 + x) * 3];
                    worst = std::max({worst, std::abs(p.r - q[0]), std::abs(p.g - q[1]), std::abs(p.b - q[2])});
                }
        }
        std::printf("  largest channel difference from libjpeg's pixels: %d (at most 2)\n", worst);
        if (!result || result->size().width != 1000 || worst > 2) {
            std::printf("  FAIL: the pipeline's image differs from libjpeg's\n");
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
