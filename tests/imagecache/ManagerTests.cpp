// Protects the image manager: one download then disk and memory hits, the failed list, memory-only loads, delegates, cancels and refreshes.
#include <doctest/doctest.h>

#include "ImageFixtures.h"
#include "imagecache/RIWebImageManager.h"
#include "platform/foundation/NSData.h"
#include "platform/net/NSURLError.h"

using namespace imagetests;
using testsupport::Reply;

namespace {

struct Delivery {
    UIImagePtr image;
    NSErrorPtr error;
    RIImageCacheType cacheType = RIImageCacheTypeNone;
    bool finished = false;
    NSURLPtr url;
    bool onMain = false;
};

// Collects every completed callback (they all run on the main thread).
struct Deliveries {
    std::vector<Delivery> all;
    RIWebImageCompletionWithFinishedBlock block() {
        return [this](UIImagePtr i, NSErrorPtr e, RIImageCacheType t, bool f, NSURLPtr u) {
            all.push_back(Delivery{i, e, t, f, u, NSThread::isMainThread()});
        };
    }
    bool finished() const { return !all.empty() && all.back().finished; }
};

struct Stack {
    testsupport::TempHome home;
    testsupport::LoopbackHttpServer server;
    std::shared_ptr<RIWebImageManager> manager =
        RIWebImageManager::initWithCache(RIImageCache::init(), RIWebImageDownloader::init());

    NSURLPtr url(const std::string& path) { return urlOf(server, path); }

    Delivery load(const NSURLPtr& u, RIWebImageOptions options = 0) {
        Deliveries d;
        manager->downloadImageWithURL(u, options, nullptr, d.block());
        REQUIRE(waitFor([&] { return d.finished(); }));
        return d.all.back();
    }

    void drain() {
        bool done = false;
        manager->imageCache()->diskImageExistsWithKey("drain", [&](bool) { done = true; });
        REQUIRE(waitFor([&] { return done; }));
    }
};

class Veto : public RIWebImageManagerDelegate {
public:
    std::optional<bool> imageManagerShouldDownloadImageForURL(RIWebImageManager&, const NSURLPtr&) override {
        ++asked;
        return false;
    }
    int asked = 0;
};

class Framer : public RIWebImageManagerDelegate {
public:
    bool respondsToTransformDownloadedImage() const override { return true; }
    UIImagePtr imageManagerTransformDownloadedImage(RIWebImageManager&, const UIImagePtr& image,
                                                    const NSURLPtr&) override {
        onMain = NSThread::isMainThread();
        return UIImage::imageWithCGImage(image->CGImage(), 3, UIImageOrientationUp);
    }
    std::atomic<bool> onMain{true};
};

// Holds a serial queue (a disk that is slow to answer) until released.
struct QueueHold {
    explicit QueueHold(const dispatch_queue_t& queue) : gate(dispatch_semaphore_create(0)) {
        auto g = gate;
        dispatch_async(queue, [g] { dispatch_semaphore_wait(g, DISPATCH_TIME_FOREVER); });
    }
    ~QueueHold() { release(); }
    void release() {
        if (!released.exchange(true)) dispatch_semaphore_signal(gate);
    }
    dispatch_semaphore_t gate;
    std::atomic<bool> released{false};
};

// Signals each time the manager has a downloaded image in hand (on the
// transfer's thread); transforms nothing.
class InHand : public RIWebImageManagerDelegate {
public:
    bool respondsToTransformDownloadedImage() const override {
        dispatch_semaphore_signal(signal);
        return false;
    }
    dispatch_semaphore_t signal = dispatch_semaphore_create(0);
};

}  // namespace

TEST_CASE("a load whose cache query misses as the shared download completes gets that image, once") {
    Stack s;
    Data jpeg = posterJpeg(40, 60);
    std::atomic<int> served{0};
    // Only the first request stalls: a second one would be answered and counted.
    s.server.route("GET", "/poster.jpg", [&](const testsupport::RecordedRequest&) {
        return served++ == 0 ? imageReply(jpeg).stallFirst() : imageReply(jpeg);
    });
    auto url = s.url("/poster.jpg");
    const auto& io = s.manager->imageCache()->ioQueue();
    Deliveries first, second;
    s.manager->downloadImageWithURL(url, 0, nullptr, first.block());
    REQUIRE(waitFor(s.server.stalledConnections(1)));
    RIImageCacheType secondSource = RIImageCacheTypeNone;

    SUBCASE("the cache's miss arrives while the download hands out its image") {
        auto inHand = std::make_shared<InHand>();
        s.manager->setDelegate(inHand);
        s.manager->downloadImageWithURL(url, 0, nullptr, second.block());
        dispatch_sync(io, [] {});  // the disk missed; the answer waits on the main queue
        s.server.releaseStalls();
        // The main queue is not served meanwhile: the miss is heard only after
        // the download has its image.
        REQUIRE(dispatch_semaphore_wait(inHand->signal, dispatch_time(DISPATCH_TIME_NOW, 10 * NSEC_PER_SEC)) == 0);
        REQUIRE(waitFor([&] { return first.finished() && second.finished(); }));
        secondSource = RIImageCacheTypeNone;  // handed over by the download
    }
    SUBCASE("the cache's miss arrives after the download has ended") {
        QueueHold slowDisk(io);
        s.manager->downloadImageWithURL(url, 0, nullptr, second.block());
        s.server.releaseStalls();
        REQUIRE(waitFor([&] {
            return first.finished() && s.manager->imageDownloader()->currentDownloadCount() == 0;
        }));
        CHECK(second.all.empty());
        slowDisk.release();  // the disk is read before the image is written
        REQUIRE(waitFor([&] { return second.finished(); }));
        secondSource = RIImageCacheTypeMemory;
    }

    CHECK(s.server.requestCount() == 1);
    REQUIRE(first.all.size() == 1);
    REQUIRE(second.all.size() == 1);
    REQUIRE(first.all[0].image);
    CHECK(first.all[0].image->size() == CGSizeMake(40, 60));
    CHECK(second.all[0].image == first.all[0].image);
    CHECK(second.all[0].cacheType == secondSource);
    CHECK(second.all[0].onMain);
    CHECK_FALSE(second.all[0].error);
    CHECK(waitFor([&] { return !s.manager->isRunning(); }));
    CHECK(s.manager->imageDownloader()->callbackCountForURL(url) == 0);
    s.drain();
}

TEST_CASE("a load downloads once and then answers from disk and from memory") {
    Stack s;
    Data jpeg = posterJpeg(40, 60);
    s.server.route("GET", "/poster.jpg", imageReply(jpeg));
    auto url = s.url("/poster.jpg");

    auto first = s.load(url);
    REQUIRE(first.image);
    CHECK(first.cacheType == RIImageCacheTypeNone);
    CHECK(first.onMain);
    CHECK(first.url == url);
    CHECK_FALSE(first.error);
    s.drain();
    // The downloaded bytes are what the disk holds.
    CHECK(dataWithContentsOfFile(s.manager->imageCache()->defaultCachePathForKey(url->absoluteString())) == jpeg);
    CHECK(s.manager->cachedImageExistsForURL(url));
    CHECK(s.manager->diskImageExistsForURL(url));

    // Memory: delivered before the call returns.
    Deliveries memory;
    s.manager->downloadImageWithURL(url, 0, nullptr, memory.block());
    REQUIRE(memory.all.size() == 1);
    CHECK(memory.all[0].cacheType == RIImageCacheTypeMemory);
    CHECK(memory.all[0].image == first.image);
    CHECK(memory.all[0].finished);

    // Disk, after the memory is gone: on the main queue later.
    s.manager->imageCache()->clearMemory();
    Deliveries disk;
    s.manager->downloadImageWithURL(url, 0, nullptr, disk.block());
    CHECK(disk.all.empty());
    REQUIRE(waitFor([&] { return disk.finished(); }));
    CHECK(disk.all[0].cacheType == RIImageCacheTypeDisk);
    CHECK(disk.all[0].image->size() == CGSizeMake(40, 60));
    CHECK(s.server.requestCount() == 1);
    // The disk answer is delivered on the main queue while the cache's queue still holds the load: it leaves the
    // running list only once the delivery returned.
    CHECK(waitFor([&] { return !s.manager->isRunning(); }));
}

TEST_CASE("a URL string loads like its URL and other arguments report a missing file") {
    Stack s;
    s.server.route("GET", "/poster.jpg", imageReply(posterJpeg()));
    Deliveries byString;
    s.manager->downloadImageWithURL(s.server.url("/poster.jpg"), 0, nullptr, byString.block());
    REQUIRE(waitFor([&] { return byString.finished(); }));
    CHECK(byString.all.back().image);
    CHECK(byString.all.back().url->absoluteString() == s.server.url("/poster.jpg"));

    Deliveries bad, object, none;
    s.manager->downloadImageWithURL(std::string("not a url"), 0, nullptr, bad.block());
    s.manager->downloadImageWithURL(std::make_shared<NSObject>(), 0, nullptr, object.block());
    s.manager->downloadImageWithURL(NSURLPtr(), 0, nullptr, none.block());
    for (auto* d : {&bad, &object, &none}) {
        REQUIRE(d->all.size() == 1);  // at once
        REQUIRE(d->all[0].error);
        CHECK(d->all[0].error->domain() == NSURLErrorDomain);
        CHECK(d->all[0].error->code() == -1100);
        CHECK(d->all[0].finished);
    }
}

TEST_CASE("only definite answers put a URL on the failed list") {
    Stack s;
    s.server.route("GET", "/missing.jpg", Reply::withStatus(404));
    s.server.route("GET", "/text.jpg", Reply::text("no picture here"));
    std::atomic<int> errors{0};
    s.server.route("GET", "/flaky.jpg", [&](const testsupport::RecordedRequest&) {
        return errors++ == 0 ? Reply::withStatus(503) : imageReply(posterJpeg());
    });
    s.server.route("GET", "/slow.jpg", imageReply(posterJpeg()).stallFirst());

    // 404: listed; the next load is refused without a request until bit 1.
    auto missing = s.url("/missing.jpg");
    CHECK(s.load(missing).error->code() == 404);
    CHECK(s.manager->isFailedURL(missing));
    auto refused = s.load(missing);
    CHECK(refused.error->code() == -1100);
    CHECK(s.server.requestCount() == 1);
    CHECK(s.load(missing, RIWebImageRetryFailed).error->code() == 404);
    CHECK(s.server.requestCount() == 2);

    // An undecodable image is a definite answer too.
    auto text = s.url("/text.jpg");
    CHECK(s.load(text).error->domain() == RIWebImageErrorDomain);
    CHECK(s.manager->isFailedURL(text));

    // 5xx is the server's trouble: retried next time.
    auto flaky = s.url("/flaky.jpg");
    CHECK(s.load(flaky).error->code() == 503);
    CHECK_FALSE(s.manager->isFailedURL(flaky));
    CHECK(s.load(flaky).image);

    // A time-out is no answer at all.
    s.manager->imageDownloader()->setDownloadTimeout(0.3);
    auto slow = s.url("/slow.jpg");
    CHECK(s.load(slow).error->code() == NSURLErrorTimedOut);
    CHECK_FALSE(s.manager->isFailedURL(slow));
    s.server.releaseStalls();

    // Nor is a connection that cannot be made.
    auto closed = NSURL::URLWithString("http://127.0.0.1:1/poster.jpg");
    CHECK(s.load(closed).error->domain() == NSURLErrorDomain);
    CHECK_FALSE(s.manager->isFailedURL(closed));
}

TEST_CASE("memory-only loads write no file") {
    Stack s;
    s.server.route("GET", "/poster.jpg", imageReply(posterJpeg()));
    auto url = s.url("/poster.jpg");
    REQUIRE(s.load(url, RIWebImageCacheMemoryOnly).image);
    s.drain();
    CHECK(s.manager->imageCache()->imageFromMemoryCacheForKey(url->absoluteString()));
    CHECK_FALSE(s.manager->diskImageExistsForURL(url));
}

TEST_CASE("a delegate can veto a download") {
    Stack s;
    auto veto = std::make_shared<Veto>();
    s.manager->setDelegate(veto);
    auto result = s.load(s.url("/poster.jpg"));
    CHECK_FALSE(result.image);
    CHECK_FALSE(result.error);
    CHECK(result.cacheType == RIImageCacheTypeNone);
    CHECK(result.finished);
    CHECK(veto->asked == 1);
    CHECK(s.server.requestCount() == 0);
}

TEST_CASE("a delegate transforms downloaded images off the main thread and the result is cached") {
    Stack s;
    s.server.route("GET", "/poster.jpg", imageReply(posterJpeg(30, 30)));
    auto framer = std::make_shared<Framer>();
    s.manager->setDelegate(framer);
    auto url = s.url("/poster.jpg");
    auto result = s.load(url);
    REQUIRE(result.image);
    CHECK(result.image->scale() == 3);
    CHECK_FALSE(framer->onMain);
    CHECK(s.manager->imageCache()->imageFromMemoryCacheForKey(url->absoluteString()) == result.image);
    s.drain();
    // Recalculated from the transformed image: the file is a fresh JPEG encoding.
    auto file = dataWithContentsOfFile(s.manager->imageCache()->defaultCachePathForKey(url->absoluteString()));
    REQUIRE(file);
    CHECK((*file)[0] == 0xFF);
}

TEST_CASE("cancelling before the cache answers means no callback ever") {
    Stack s;
    auto url = s.url("/poster.jpg");
    s.manager->imageCache()->storeImage(UIImage::imageWithData(posterJpeg()), url->absoluteString());
    s.drain();
    s.manager->imageCache()->clearMemory();
    Deliveries d;
    auto operation = s.manager->downloadImageWithURL(url, 0, nullptr, d.block());
    CHECK(s.manager->isRunning());
    operation->cancel();
    CHECK_FALSE(s.manager->isRunning());
    s.drain();
    // A later query of the same queue answers, the cancelled one never.
    Deliveries later;
    s.manager->downloadImageWithURL(url, 0, nullptr, later.block());
    REQUIRE(waitFor([&] { return later.finished(); }));
    CHECK(d.all.empty());
}

TEST_CASE("refreshing shows the cached image first and then the downloaded one") {
    Stack s;
    s.server.route("GET", "/poster.jpg", imageReply(posterJpeg(20, 20, 1)));
    auto url = s.url("/poster.jpg");
    s.manager->imageCache()->storeImage(UIImage::imageWithData(posterJpeg(10, 10, 2)), url->absoluteString());
    Deliveries d;
    s.manager->downloadImageWithURL(url, RIWebImageRefreshCached, nullptr, d.block());
    REQUIRE(waitFor([&] { return d.all.size() == 2; }));
    CHECK(d.all[0].cacheType == RIImageCacheTypeMemory);
    CHECK(d.all[0].image->size() == CGSizeMake(10, 10));
    CHECK(d.all[1].cacheType == RIImageCacheTypeNone);
    CHECK(d.all[1].image->size() == CGSizeMake(20, 20));
    CHECK(s.server.requestCount() == 1);
}

TEST_CASE("cancelAll stops every running load without callbacks") {
    Stack s;
    s.server.route("GET", "/a.jpg", imageReply(posterJpeg()).stallFirst());
    s.server.route("GET", "/b.jpg", imageReply(posterJpeg()).stallFirst());
    Deliveries a, b;
    s.manager->downloadImageWithURL(s.url("/a.jpg"), 0, nullptr, a.block());
    s.manager->downloadImageWithURL(s.url("/b.jpg"), 0, nullptr, b.block());
    REQUIRE(waitFor(s.server.stalledConnections(2)));
    CHECK(s.manager->isRunning());
    s.manager->cancelAll();
    CHECK_FALSE(s.manager->isRunning());
    REQUIRE(waitFor([&] { return s.manager->imageDownloader()->currentDownloadCount() == 0; }));
    s.server.releaseStalls();
    CHECK(a.all.empty());
    CHECK(b.all.empty());
}

TEST_CASE("existence questions and explicit saves go to the cache under the URL's key") {
    Stack s;
    auto url = s.url("/saved.jpg");
    CHECK_FALSE(s.manager->cachedImageExistsForURL(url));
    s.manager->saveImageToCache(UIImage::imageWithData(posterJpeg()), url);
    CHECK(s.manager->cachedImageExistsForURL(url));
    std::optional<bool> cached, onDisk;
    s.manager->cachedImageExistsForURL(url, [&](bool exists) { cached = exists; });
    s.manager->diskImageExistsForURL(url, [&](bool exists) { onDisk = exists; });
    REQUIRE(waitFor([&] { return cached && onDisk; }));
    CHECK(*cached);
    CHECK(*onDisk);
    auto file = dataWithContentsOfFile(s.manager->imageCache()->defaultCachePathForKey(url->absoluteString()));
    REQUIRE(file);
    CHECK(RIImageDataHasPNGPrefix(*file));

    s.manager->setCacheKeyFilter([](const NSURLPtr& u) { return u->absoluteString() + "#filtered"; });
    CHECK(s.manager->cacheKeyForURL(url) == url->absoluteString() + "#filtered");
    CHECK_FALSE(s.manager->cachedImageExistsForURL(url));
}

TEST_CASE("the older load form calls back without the URL") {
    Stack s;
    s.server.route("GET", "/poster.jpg", imageReply(posterJpeg()));
    bool done = false;
    UIImagePtr image;
    s.manager->downloadWithURL(s.url("/poster.jpg"), 0, nullptr,
                               [&](UIImagePtr i, NSErrorPtr, RIImageCacheType, bool finished) {
                                   image = i;
                                   done = finished;
                               });
    REQUIRE(waitFor([&] { return done; }));
    CHECK(image);
}

TEST_CASE("manager options reach the downloader as their counterparts") {
    struct Case {
        RIWebImageOptions manager;
        RIWebImageDownloaderOptions downloader;
    };
    const Case cases[] = {
        {RIWebImageLowPriority, RIWebImageDownloaderLowPriority},
        {RIWebImageProgressiveDownload, RIWebImageDownloaderProgressiveDownload},
        {RIWebImageRefreshCached, RIWebImageDownloaderUseNSURLCache},
        {RIWebImageContinueInBackground, RIWebImageDownloaderContinueInBackground},
        {RIWebImageHandleCookies, RIWebImageDownloaderHandleCookies},
        {RIWebImagePassedOnOnly, RIWebImageDownloaderPassedOn},
        {RIWebImageHighPriority, RIWebImageDownloaderHighPriority},
        {RIWebImageAllowInvalidSSLCertificates, RIWebImageDownloaderAllowInvalidSSLCertificates},
        {RIWebImageRetryFailed | RIWebImageCacheMemoryOnly | RIWebImageDelayPlaceholder, 0},
    };
    CHECK(RIWebImagePassedOnOnly == 128);
    CHECK(RIWebImageDownloaderPassedOn == 64);
    Stack stack;
    int n = 0;
    for (const auto& c : cases) {
        CAPTURE(c.manager);
        std::string path = "/options" + std::to_string(n++) + ".jpg";
        stack.server.route("GET", path, imageReply(posterJpeg()).stallFirst());
        auto url = stack.url(path);
        Deliveries d;
        stack.manager->downloadImageWithURL(url, c.manager, nullptr, d.block());
        REQUIRE(waitFor(stack.server.stalledConnections(1)));
        auto operation = stack.manager->imageDownloader()->operationForURL(url);
        REQUIRE(operation);
        CHECK(operation->options() == c.downloader);
        stack.server.releaseStalls();
        REQUIRE(waitFor([&] { return d.finished(); }));
        CHECK(d.all.back().image);
    }
}
