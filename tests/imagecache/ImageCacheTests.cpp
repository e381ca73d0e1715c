// Protects the image cache: MD5 file names, namespaces, stored and re-encoded bytes, queries on the main queue, sizes, counts and clean-up by age.
#include <doctest/doctest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ImageFixtures.h"
#include "imagecache/RIImageCache.h"
#include "imagecache/RIWebImageManager.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSLog.h"
#include "platform/imageio/ExifOrientation.h"
#include "platform/uikit/UIApplication.h"

using namespace imagetests;

namespace {

UIImagePtr poster(int seed = 0, std::size_t w = 20, std::size_t h = 30) {
    return UIImage::imageWithData(posterJpeg(w, h, seed));
}

// Waits until every disk operation submitted so far has run.
void drain(const std::shared_ptr<RIImageCache>& cache) {
    bool done = false;
    cache->diskImageExistsWithKey("drain", [&](bool) { done = true; });
    REQUIRE(waitFor([&] { return done; }));
}

std::optional<Data> fileOf(const std::shared_ptr<RIImageCache>& cache, const std::string& key) {
    return dataWithContentsOfFile(cache->defaultCachePathForKey(key));
}

bool startsWith(const Data& data, std::initializer_list<std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

void setModified(const std::string& path, double seconds) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    REQUIRE(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
}

std::uint64_t allocatedSize(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

struct VirtualTime {
    explicit VirtualTime(double start) { Clock::useVirtualTime(start); }
    ~VirtualTime() { Clock::useRealTime(); }
};

}  // namespace

TEST_CASE("file names are the lower-case MD5 of the key's own bytes") {
    CHECK(RIImageCache::cachedFileNameForKey("") == "d41d8cd98f00b204e9800998ecf8427e");
    CHECK(RIImageCache::cachedFileNameForKey("abc") == "900150983cd24fb0d6963f7d28e17f72");
    std::string key = "http://127.0.0.1/poster.jpg";
    CHECK(RIImageCache::cachedFileNameForKey(key) == RIImageCache::cachedFileNameForKey(key));
    CHECK(RIImageCache::cachedFileNameForKey(key).size() == 32);
    // Bytes that are not UTF-8 still name their own file.
    CHECK(RIImageCache::cachedFileNameForKey("\xff\xfe") != RIImageCache::cachedFileNameForKey(""));
    CHECK(RIImageCache::cachedFileNameForKey("\xff\xfe") != RIImageCache::cachedFileNameForKey("\xff\xfd"));
}

TEST_CASE("a cache lives in its namespace folder of the caches directory") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    CHECK(cache->diskCachePath() == AppHome::caches() + "/com.plinketor.RIWebImageCache.default");
    CHECK(cache->memCache()->name() == "com.plinketor.RIWebImageCache.default");
    CHECK(dispatch_queue_get_label(cache->ioQueue()) == "com.plinketor.RIWebImageCache");
    CHECK(cache->maxCacheAge() == 604800);
    CHECK(cache->maxCacheSize() == 0);
    auto other = RIImageCache::initWithNamespace("thumbs");
    CHECK(other->diskCachePath() == AppHome::caches() + "/com.plinketor.RIWebImageCache.thumbs");
    CHECK(cache->defaultCachePathForKey("abc") ==
          cache->diskCachePath() + "/900150983cd24fb0d6963f7d28e17f72");
    // Nothing is created before the first store.
    CHECK_FALSE(std::filesystem::exists(cache->diskCachePath()));
}

TEST_CASE("stored bytes are kept as given or re-encoded as PNG or JPEG") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    auto image = poster();
    Data jpeg = posterJpeg(20, 30);
    Data png = posterPng(20, 30);

    cache->storeImage(image, false, jpeg, "as-given", true);
    cache->storeImage(image, false, std::nullopt, "no-bytes", true);
    cache->storeImage(image, true, jpeg, "jpeg-recalculated", true);
    cache->storeImage(image, true, png, "png-recalculated", true);
    cache->storeImage(image, true, Data{1, 2, 3}, "short-bytes", true);
    cache->storeImage(image, "convenience");
    cache->storeImage(image, "memory-only", false);
    cache->storeImage(nullptr, "no-image");
    cache->storeImage(image, false, jpeg, "", true);  // the empty key names a file like any other
    drain(cache);

    CHECK(fileOf(cache, "as-given") == jpeg);
    auto noBytes = fileOf(cache, "no-bytes");
    REQUIRE(noBytes);
    CHECK(RIImageDataHasPNGPrefix(*noBytes));
    auto recalculated = fileOf(cache, "jpeg-recalculated");
    REQUIRE(recalculated);
    CHECK(startsWith(*recalculated, {0xFF, 0xD8, 0xFF}));
    CHECK(*recalculated != jpeg);  // a fresh encoding at full quality
    auto decoded = UIImage::imageWithData(*recalculated);
    REQUIRE(decoded);
    CHECK(sampleimages::maxDifference(decoded->CGImage(), image->CGImage()) < 12);
    auto pngRecalculated = fileOf(cache, "png-recalculated");
    REQUIRE(pngRecalculated);
    CHECK(RIImageDataHasPNGPrefix(*pngRecalculated));
    CHECK(RIImageDataHasPNGPrefix(*fileOf(cache, "short-bytes")));
    CHECK(RIImageDataHasPNGPrefix(*fileOf(cache, "convenience")));
    CHECK_FALSE(fileOf(cache, "memory-only"));
    CHECK(cache->imageFromMemoryCacheForKey("memory-only") == image);
    CHECK_FALSE(cache->imageFromMemoryCacheForKey("no-image"));
    CHECK_FALSE(fileOf(cache, "no-image"));
    CHECK(fileOf(cache, "") == jpeg);
    CHECK(cache->diskImageExistsWithKey(""));
    CHECK(cache->imageFromMemoryCacheForKey("") == image);
    cache->clearMemory();
    CHECK(cache->imageFromDiskCacheForKey(""));
}

TEST_CASE("a disk write that fails is logged and the image stays in memory") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    std::vector<std::string> lines;
    std::mutex linesMutex;
    setLogHook([&](const std::string& line) {
        std::lock_guard lock(linesMutex);
        lines.push_back(line);
    });
    // A file where the caches folder belongs: neither the cache's folder nor its file can be made.
    std::string caches = std::filesystem::path(cache->diskCachePath()).parent_path().string();
    std::filesystem::remove_all(caches);
    REQUIRE(writeToFile(Data{1}, caches, false));
    auto image = poster();
    cache->storeImage(image, false, posterJpeg(20, 30), "unwritable", true);
    drain(cache);
    setLogHook(nullptr);
    CHECK(cache->imageFromMemoryCacheForKey("unwritable") == image);
    std::lock_guard lock(linesMutex);
    auto logged = [&](const std::string& what) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(what) != std::string::npos && l.find("RIImageCache") != std::string::npos;
        });
    };
    CHECK(logged("cannot create " + cache->diskCachePath()));
    CHECK(logged("cannot write " + cache->defaultCachePathForKey("unwritable")));
}

TEST_CASE("an EXIF-rotated JPEG keeps its orientation through a re-encoding") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    sampleimages::JpegOptions options;
    options.app1 = makeExifOrientationAPP1(6);
    Data rotated = sampleimages::jpeg(30, 20, smooth(), options);
    auto image = UIImage::imageWithCGImage(UIImage::imageWithData(rotated)->CGImage(), 1, UIImageOrientationRight);
    cache->storeImage(image, true, rotated, "rotated", true);
    drain(cache);
    cache->clearMemory();
    auto back = cache->imageFromDiskCacheForKey("rotated");
    REQUIRE(back);
    CHECK(back->imageOrientation() == UIImageOrientationRight);
    CHECK(back->size() == CGSizeMake(20, 30));
}

TEST_CASE("a disk query answers on the main queue and then the key is a memory hit") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    auto image = poster();
    cache->storeImage(image, "key");
    drain(cache);
    cache->clearMemory();

    UIImagePtr found;
    RIImageCacheType type = RIImageCacheTypeMemory;
    bool answered = false;
    auto operation = cache->queryDiskCacheForKey(std::string("key"), [&](UIImagePtr i, RIImageCacheType t) {
        CHECK(NSThread::isMainThread());
        found = i;
        type = t;
        answered = true;
    });
    CHECK(operation);
    CHECK_FALSE(answered);
    REQUIRE(waitFor([&] { return answered; }));
    REQUIRE(found);
    CHECK(type == RIImageCacheTypeDisk);
    CHECK(found->size() == image->size());
    // Decompressed on the way in.
    CHECK(found->CGImage()->alphaInfo() == kCGImageAlphaNoneSkipFirst);

    bool again = false;
    CHECK_FALSE(cache->queryDiskCacheForKey(std::string("key"), [&](UIImagePtr i, RIImageCacheType t) {
        again = true;
        CHECK(i == found);
        CHECK(t == RIImageCacheTypeMemory);
    }));
    CHECK(again);  // before the call returned

    // A miss is (nil, disk); a missing key (nil, none) at once; no callback, nothing.
    bool missed = false;
    cache->queryDiskCacheForKey(std::string("absent"), [&](UIImagePtr i, RIImageCacheType t) {
        missed = !i && t == RIImageCacheTypeDisk;
    });
    REQUIRE(waitFor([&] { return missed; }));
    bool noKey = false;
    CHECK_FALSE(cache->queryDiskCacheForKey(std::nullopt, [&](UIImagePtr i, RIImageCacheType t) {
        noKey = !i && t == RIImageCacheTypeNone;
    }));
    CHECK(noKey);
    CHECK_FALSE(cache->queryDiskCacheForKey(std::string("key"), nullptr));
}

TEST_CASE("a disk query cancelled before the queue reaches it never answers") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    cache->storeImage(poster(), "key");
    drain(cache);
    cache->clearMemory();
    auto gate = dispatch_semaphore_create(0);
    dispatch_async(cache->ioQueue(), [gate] { dispatch_semaphore_wait(gate, DISPATCH_TIME_FOREVER); });
    bool answered = false;
    auto operation = cache->queryDiskCacheForKey(std::string("key"), [&](UIImagePtr, RIImageCacheType) { answered = true; });
    REQUIRE(operation);
    operation->cancel();
    dispatch_semaphore_signal(gate);
    drain(cache);
    // The answer would have been queued to the main queue before the drain's.
    CHECK_FALSE(answered);
    CHECK_FALSE(cache->imageFromMemoryCacheForKey("key"));
}

TEST_CASE("synchronous disk reads fill the memory cache and search the read-only folders") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    CHECK_FALSE(cache->imageFromDiskCacheForKey("nothing"));
    std::string extra = home.path() + "/bundled";
    std::filesystem::create_directories(extra);
    Data bytes = posterPng(6, 4);
    REQUIRE(writeToFile(bytes, extra + "/" + RIImageCache::cachedFileNameForKey("bundled-key"), true));
    CHECK_FALSE(cache->diskImageDataBySearchingAllPathsForKey("bundled-key"));
    cache->addReadOnlyCachePath(extra);
    cache->addReadOnlyCachePath(extra);
    CHECK(cache->diskImageDataBySearchingAllPathsForKey("bundled-key") == bytes);
    CHECK_FALSE(cache->diskImageExistsWithKey("bundled-key"));  // only the own folder counts
    auto image = cache->imageFromDiskCacheForKey("bundled-key");
    REQUIRE(image);
    CHECK(image->size() == CGSizeMake(6, 4));
    CHECK(cache->imageFromMemoryCacheForKey("bundled-key") == image);
    // Removing never touches the read-only folders.
    bool removed = false;
    cache->removeImageForKeyWithCompletion(std::string("bundled-key"), [&] { removed = true; });
    REQUIRE(waitFor([&] { return removed; }));
    CHECK(std::filesystem::exists(extra + "/" + RIImageCache::cachedFileNameForKey("bundled-key")));
    CHECK_FALSE(cache->imageFromMemoryCacheForKey("bundled-key"));
}

TEST_CASE("removing answers on the main queue or at once and never for a missing key") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    cache->storeImage(poster(), "a");
    cache->storeImage(poster(1), "b");
    drain(cache);
    bool nilCalled = false;
    cache->removeImageForKey(std::nullopt, true, [&] { nilCalled = true; });
    bool memoryOnly = false;
    cache->removeImageForKey(std::string("b"), false, [&] { memoryOnly = true; });
    CHECK(memoryOnly);
    CHECK_FALSE(cache->imageFromMemoryCacheForKey("b"));
    CHECK(cache->diskImageExistsWithKey("b"));
    bool fromDisk = false;
    cache->removeImageForKey(std::string("a"), true, [&] {
        CHECK(NSThread::isMainThread());
        fromDisk = true;
    });
    CHECK_FALSE(fromDisk);
    REQUIRE(waitFor([&] { return fromDisk; }));
    CHECK_FALSE(cache->diskImageExistsWithKey("a"));
    drain(cache);
    CHECK_FALSE(nilCalled);

    bool cleared = false;
    cache->clearDiskOnCompletion([&] { cleared = true; });
    REQUIRE(waitFor([&] { return cleared; }));
    CHECK(cache->getDiskCount() == 0);
    CHECK(std::filesystem::is_directory(cache->diskCachePath()));
}

TEST_CASE("sizes and counts are right and never wait for themselves on the cache queue") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    std::vector<Data> files = {posterJpeg(10, 10, 1), posterJpeg(20, 20, 2), posterJpeg(30, 30, 3)};
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        cache->storeImage(UIImage::imageWithData(files[i]), false, files[i], "k" + std::to_string(i), true);
        total += files[i].size();
    }
    drain(cache);
    CHECK(cache->getSize() == total);
    CHECK(cache->getDiskCount() == 3);

    std::uint64_t fromQueue = 0, countFromQueue = 0;
    std::atomic<bool> done{false};
    dispatch_async(cache->ioQueue(), [&] {
        fromQueue = cache->getSize();
        countFromQueue = cache->getDiskCount();
        done = true;
    });
    REQUIRE(waitFor([&] { return done.load(); }));
    CHECK(fromQueue == total);
    CHECK(countFromQueue == 3);

    std::uint64_t count = 0, size = 0;
    bool calculated = false;
    cache->calculateSizeWithCompletionBlock([&](std::uint64_t c, std::uint64_t s) {
        count = c;
        size = s;
        calculated = true;
    });
    REQUIRE(waitFor([&] { return calculated; }));
    CHECK(count == 3);
    CHECK(size == total);
}

TEST_CASE("leftovers of interrupted writes are never counted and the clean-up removes them") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    Data jpeg = posterJpeg(10, 10, 1);
    cache->storeImage(UIImage::imageWithData(jpeg), false, jpeg, "kept", true);
    drain(cache);
    // What a crash between writing and renaming leaves: a hidden temporary
    // beside the file; one is old, the other may still be in the making.
    std::string name = RIImageCache::cachedFileNameForKey("crashed");
    std::string old = cache->diskCachePath() + "/." + name + ".tmp-a1B2c3";
    std::string fresh = cache->diskCachePath() + "/." + name + ".tmp-d4E5f6";
    REQUIRE(writeToFile(Data(5000, 7), old, false));
    REQUIRE(writeToFile(Data(3000, 7), fresh, false));
    setModified(old, Clock::now() - 3600);
    CHECK(cache->getDiskCount() == 1);
    CHECK(cache->getSize() == jpeg.size());
    bool cleaned = false;
    cache->cleanDiskWithCompletionBlock([&] { cleaned = true; });
    REQUIRE(waitFor([&] { return cleaned; }));
    CHECK_FALSE(std::filesystem::exists(old));
    CHECK(std::filesystem::exists(fresh));
    CHECK(cache->diskImageExistsWithKey("kept"));
    CHECK(cache->getDiskCount() == 1);
}

TEST_CASE("clean-up deletes files at or before the expiration date and keeps younger ones") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    for (const char* key : {"expired", "exact", "young"}) cache->storeImage(poster(), key);
    drain(cache);
    double now = std::floor(Clock::now());
    VirtualTime time(now);
    setModified(cache->defaultCachePathForKey("expired"), now - 604800 - 50);
    setModified(cache->defaultCachePathForKey("exact"), now - 604800);
    setModified(cache->defaultCachePathForKey("young"), now - 604799);
    bool cleaned = false;
    cache->cleanDiskWithCompletionBlock([&] { cleaned = true; });
    REQUIRE(waitFor([&] { return cleaned; }));
    CHECK_FALSE(cache->diskImageExistsWithKey("expired"));
    CHECK_FALSE(cache->diskImageExistsWithKey("exact"));
    CHECK(cache->diskImageExistsWithKey("young"));
}

TEST_CASE("without a size limit the clean-up keeps every unexpired file") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    for (int i = 0; i < 12; ++i) cache->storeImage(poster(i, 200, 300), "big" + std::to_string(i));
    drain(cache);
    bool cleaned = false;
    cache->cleanDiskWithCompletionBlock([&] { cleaned = true; });
    REQUIRE(waitFor([&] { return cleaned; }));
    CHECK(cache->getDiskCount() == 12);
}

TEST_CASE("over the size limit the oldest files go until the total is below half the limit") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    for (const char* key : {"oldest", "middle", "newest"}) cache->storeImage(poster(), key);
    drain(cache);
    double now = std::floor(Clock::now());
    setModified(cache->defaultCachePathForKey("oldest"), now - 300);
    setModified(cache->defaultCachePathForKey("middle"), now - 200);
    setModified(cache->defaultCachePathForKey("newest"), now - 100);
    std::uint64_t each = allocatedSize(cache->defaultCachePathForKey("oldest"));
    REQUIRE(each > 0);
    REQUIRE(allocatedSize(cache->defaultCachePathForKey("middle")) == each);
    // Limit 2.5 files: the target is 1.25 files, so two go.
    cache->setMaxCacheSize(each * 5 / 2);
    bool cleaned = false;
    cache->cleanDiskWithCompletionBlock([&] { cleaned = true; });
    REQUIRE(waitFor([&] { return cleaned; }));
    CHECK_FALSE(cache->diskImageExistsWithKey("oldest"));
    CHECK_FALSE(cache->diskImageExistsWithKey("middle"));
    CHECK(cache->diskImageExistsWithKey("newest"));
}

TEST_CASE("the application's notifications clear the memory and clean the disk") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    cache->storeImage(poster(), "key");
    cache->storeImage(poster(), "old");
    drain(cache);
    { auto freed = PixelBuffer::allocate(kPixelBufferMappingThreshold); }  // kept for reuse
    REQUIRE(PixelBuffer::keptBytes() > 0);
    UIApplication::sharedApplication()->simulateMemoryWarning();
    REQUIRE(waitFor([&] { return !cache->imageFromMemoryCacheForKey("key"); }));
    CHECK(PixelBuffer::keptBytes() == 0);  // freed bitmaps are not kept through a warning
    CHECK(cache->diskImageExistsWithKey("key"));

    setModified(cache->defaultCachePathForKey("old"), Clock::now() - 700000);
    auto app = UIApplication::sharedApplication();
    std::size_t tasksBefore = app->openBackgroundTaskCount();
    app->enterBackgroundForTesting();
    REQUIRE(waitFor([&] { return !cache->diskImageExistsWithKey("old"); }));
    CHECK(waitFor([&] { return app->openBackgroundTaskCount() == tasksBefore; }));
    app->enterForegroundForTesting();
    CHECK(cache->diskImageExistsWithKey("key"));
}

TEST_CASE("an image costs its height x width in points x its scale, the unit of the cost limit") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    auto bitmap = poster(0, 100, 60)->CGImage();
    struct Case {
        double scale;
        std::uint64_t cost;
    };
    // 100 x 60 pixels: 100 x 60 points at scale 1, 50 x 30 points at scale 2.
    for (Case c : {Case{1, 6000}, Case{2, 3000}, Case{3, 2000}}) {
        CAPTURE(c.scale);
        auto image = UIImage::imageWithCGImage(bitmap, c.scale, UIImageOrientationUp);
        CHECK(RIImageCache::cacheCostForImage(image) == c.cost);
        cache->storeImage(image, "cost", false);
        CHECK(cache->memCache()->totalCost() == c.cost);
    }
    CHECK(RIImageCache::cacheCostForImage(nullptr) == 0);

    // A limit of three 100 x 100 images at scale 1 holds three of them.
    cache->clearMemory();
    cache->setMaxMemoryCost(3 * 100 * 100);
    CHECK(cache->maxMemoryCost() == 30000);
    for (int i = 0; i < 10; ++i) cache->storeImage(poster(i, 100, 100), "m" + std::to_string(i), false);
    CHECK(cache->memCache()->count() == 3);
    CHECK(cache->memCache()->totalCost() == 30000);
    CHECK(cache->imageFromMemoryCacheForKey("m9"));
    CHECK(cache->imageFromMemoryCacheForKey("m7"));
    CHECK_FALSE(cache->imageFromMemoryCacheForKey("m6"));
}

TEST_CASE("readers never see part of a cache file while it is rewritten") {
    testsupport::TempHome home;
    auto cache = RIImageCache::init();
    Data a = posterJpeg(300, 300, 1), b = posterJpeg(320, 300, 2);
    REQUIRE(a != b);
    std::string path = cache->defaultCachePathForKey("busy");
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread reader([&] {
        while (!stop) {
            auto data = dataWithContentsOfFile(path);
            if (!data) continue;
            ++reads;
            if (*data != a && *data != b) ++torn;
        }
    });
    auto image = poster();
    for (int i = 0; i < 40; ++i) cache->storeImage(image, false, i % 2 ? a : b, "busy", true);
    drain(cache);
    stop = true;
    reader.join();
    CHECK(torn == 0);
    CHECK(fileOf(cache, "busy") == a);
    // No temporary files are left beside the cache files.
    CHECK(cache->getDiskCount() == 1);
}

// Run by the test below in a process of its own, with the parent's home.
TEST_CASE("image cache second process helper" * doctest::skip()) {
    const char* url = std::getenv("IMAGECACHE_CHILD_URL");
    REQUIRE(url);
    UIImagePtr image;
    RIImageCacheType type = RIImageCacheTypeNone;
    bool done = false;
    RIWebImageManager::sharedManager()->downloadImageWithURL(
        NSURL::URLWithString(url), 0, nullptr,
        [&](UIImagePtr i, NSErrorPtr, RIImageCacheType t, bool finished, NSURLPtr) {
            image = i;
            type = t;
            done = finished;
        });
    REQUIRE(waitFor([&] { return done; }));
    REQUIRE(image);
    CHECK(type == RIImageCacheTypeDisk);
    CHECK(image->size() == CGSizeMake(40, 60));
}

TEST_CASE("a second process with the same home finds the poster on disk without a request") {
    testsupport::TempHome home;
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg(40, 60)));
    auto manager = RIWebImageManager::initWithCache(RIImageCache::init(), RIWebImageDownloader::init());
    bool done = false;
    manager->downloadImageWithURL(urlOf(server, "/poster.jpg"), 0, nullptr,
                                  [&](UIImagePtr image, NSErrorPtr, RIImageCacheType, bool finished, NSURLPtr) {
                                      CHECK(image);
                                      done = finished;
                                  });
    REQUIRE(waitFor([&] { return done; }));
    drain(manager->imageCache());
    REQUIRE(server.requestCount() == 1);
    std::string command = "QUORVANE_HOME='" + home.path() + "' IMAGECACHE_CHILD_URL='" + server.url("/poster.jpg") +
                          "' '" + testsupport::selfExecutable() +
                          "' --no-skip --test-case='image cache second process helper' >/dev/null 2>&1";
    int status = std::system(command.c_str());
    CHECK(WIFEXITED(status));
    CHECK(WEXITSTATUS(status) == 0);
    CHECK(server.requestCount() == 1);
}
