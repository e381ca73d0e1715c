// Protects the image downloader against the loopback server: shared transfers, cancels, progress, progressive rows, errors, redirects, limits and time-outs.
#include <doctest/doctest.h>

#include <mutex>
#include <thread>

#include "ImageFixtures.h"
#include "imagecache/RIWebImageDownloader.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/net/NSURLError.h"
#include "platform/security/SecTrust.h"
#include "support/LoopbackTlsConnection.h"
#include "support/TestPKI.h"

using namespace imagetests;
using testsupport::Reply;

namespace {

// What one caller received; the callbacks run on the transfer's thread.
struct Received {
    mutable std::mutex mutex;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    std::vector<UIImagePtr> partials;
    bool partialOnMain = true;
    UIImagePtr image;
    std::optional<Data> data;
    NSErrorPtr error;
    int finishedCalls = 0;

    RIWebImageDownloaderProgressBlock progressBlock() {
        return [this](std::int64_t r, std::int64_t e) {
            std::lock_guard lock(mutex);
            progress.emplace_back(r, e);
        };
    }
    RIWebImageDownloaderCompletedBlock completedBlock() {
        return [this](UIImagePtr i, std::optional<Data> d, NSErrorPtr e, bool finished) {
            std::lock_guard lock(mutex);
            if (!finished) {
                partials.push_back(i);
                partialOnMain = partialOnMain && NSThread::isMainThread();
                return;
            }
            image = i;
            data = std::move(d);
            error = e;
            ++finishedCalls;
        };
    }
    bool finished() const {
        std::lock_guard lock(mutex);
        return finishedCalls > 0;
    }
};

// Records the downloader's notifications with their objects.
struct NotificationLog {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::shared_ptr<NSObject>>> entries;
    std::vector<std::shared_ptr<NSObject>> registrations;

    NotificationLog() {
        for (const char* name : {RIWebImageDownloadStartNotification, RIWebImageDownloadStopNotification})
            registrations.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, nullptr, nullptr, [this](const NSNotification& n) {
                    std::lock_guard lock(mutex);
                    entries.emplace_back(n.name(), n.object());
                }));
    }
    ~NotificationLog() {
        for (const auto& r : registrations) NSNotificationCenter::defaultCenter()->removeObserver(r.get());
    }
    std::size_t count(const std::string& name) {
        std::lock_guard lock(mutex);
        return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(),
                                                      [&](const auto& e) { return e.first == name; }));
    }
    std::vector<std::shared_ptr<NSObject>> objects(const std::string& name) {
        std::lock_guard lock(mutex);
        std::vector<std::shared_ptr<NSObject>> result;
        for (const auto& e : entries)
            if (e.first == name) result.push_back(e.second);
        return result;
    }
};

}  // namespace

TEST_CASE("callers of one URL share one transfer and all get the same image") {
    testsupport::LoopbackHttpServer server;
    Data jpeg = posterJpeg(40, 60);
    server.route("GET", "/poster.jpg", imageReply(jpeg).stallFirst());
    auto downloader = RIWebImageDownloader::init();
    auto url = urlOf(server, "/poster.jpg");
    Received first, second, attached, early;
    // Attaching alone starts nothing.
    CHECK_FALSE(downloader->attachToDownloadWithURL(url, early.progressBlock(), early.completedBlock()));
    CHECK(downloader->currentDownloadCount() == 0);
    auto a = downloader->downloadImageWithURL(url, 0, first.progressBlock(), first.completedBlock());
    REQUIRE(waitFor(server.stalledConnections(1)));
    auto b = downloader->downloadImageWithURL(url, 0, second.progressBlock(), second.completedBlock());
    auto c = downloader->attachToDownloadWithURL(url, attached.progressBlock(), attached.completedBlock());
    CHECK(a);
    CHECK(b);
    CHECK(c);
    CHECK(a != b);
    CHECK(downloader->callbackCountForURL(url) == 3);
    CHECK(downloader->currentDownloadCount() == 1);
    server.releaseStalls();
    REQUIRE(waitFor([&] { return first.finished() && second.finished() && attached.finished(); }));
    CHECK(server.requestCount() == 1);
    REQUIRE(first.image);
    CHECK(first.image == second.image);
    CHECK(attached.image == first.image);
    CHECK_FALSE(early.finished());
    CHECK(first.data == jpeg);
    CHECK(first.image->size() == CGSizeMake(40, 60));
    CHECK(downloader->callbackCountForURL(url) == 0);
    CHECK(server.lastRequest()->headers.get("Accept") == "image/webp,image/*;q=0.8");
}

TEST_CASE("cancelling one caller leaves the shared transfer to the other") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg()).stallFirst());
    auto downloader = RIWebImageDownloader::init();
    auto url = urlOf(server, "/poster.jpg");
    Received cancelled, kept;
    auto a = downloader->downloadImageWithURL(url, 0, nullptr, cancelled.completedBlock());
    REQUIRE(waitFor(server.stalledConnections(1)));
    auto b = downloader->downloadImageWithURL(url, 0, nullptr, kept.completedBlock());
    a->cancel();
    CHECK(downloader->callbackCountForURL(url) == 1);
    server.releaseStalls();
    REQUIRE(waitFor([&] { return kept.finished(); }));
    CHECK(kept.image);
    CHECK_FALSE(cancelled.finished());
    CHECK(server.requestCount() == 1);
}

TEST_CASE("cancelling the last caller cancels the transfer and announces its stop") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg()).stall(10));
    NotificationLog log;
    auto downloader = RIWebImageDownloader::init();
    auto url = urlOf(server, "/poster.jpg");
    Received first, second;
    auto a = downloader->downloadImageWithURL(url, 0, nullptr, first.completedBlock());
    auto b = downloader->downloadImageWithURL(url, 0, nullptr, second.completedBlock());
    REQUIRE(waitFor(server.stalledConnections(1)));
    auto operation = downloader->operationForURL(url);
    REQUIRE(operation);
    REQUIRE(waitFor([&] { return log.count(RIWebImageDownloadStartNotification) == 1; }));
    CHECK(log.objects(RIWebImageDownloadStartNotification).front() == operation);
    a->cancel();
    CHECK_FALSE(operation->isCancelled());
    b->cancel();
    REQUIRE(waitFor([&] { return operation->isFinished(); }));
    CHECK(operation->isCancelled());
    auto stops = log.objects(RIWebImageDownloadStopNotification);
    REQUIRE(stops.size() == 1);
    CHECK(stops.front() == operation);
    CHECK(waitFor([&] { return downloader->currentDownloadCount() == 0; }));
    CHECK_FALSE(first.finished());
    CHECK_FALSE(second.finished());
}

TEST_CASE("a caller that attaches as the transfer completes is called back once") {
    struct Case {
        const char* name;
        bool firstFails;
        std::size_t requests;
    };
    for (const Case& c : {Case{"an image is handed to it as well", false, 1},
                          Case{"after a failure it starts a transfer of its own", true, 2}}) {
        CAPTURE(c.name);
        testsupport::LoopbackHttpServer server;
        Data jpeg = posterJpeg();
        std::atomic<int> served{0};
        server.route("GET", "/poster.jpg", [&](const testsupport::RecordedRequest&) {
            return served++ == 0 && c.firstFails ? Reply::withStatus(503) : imageReply(jpeg);
        });
        auto downloader = RIWebImageDownloader::init();
        auto url = urlOf(server, "/poster.jpg");
        Received first, late;
        auto record = first.completedBlock();
        std::atomic<bool> firstDone{false};
        auto completed = [&](UIImagePtr image, std::optional<Data> data, NSErrorPtr error, bool finished) {
            record(image, data, error, finished);
            if (!finished) return;
            // Attaching from inside the completion, on the transfer's thread.
            downloader->downloadImageWithURL(url, 0, nullptr, late.completedBlock());
            firstDone = true;
        };
        downloader->downloadImageWithURL(url, 0, nullptr, completed);
        REQUIRE(waitFor([&] { return firstDone.load() && late.finished(); }));
        REQUIRE(waitFor([&] { return downloader->currentDownloadCount() == 0; }));
        CHECK(first.finishedCalls == 1);
        CHECK(late.finishedCalls == 1);
        CHECK(bool(first.error) == c.firstFails);
        REQUIRE(late.image);
        CHECK(late.data == jpeg);
        CHECK((late.image == first.image) == !c.firstFails);
        CHECK(server.requestCount() == c.requests);
        CHECK_FALSE(downloader->operationForURL(url));
    }
}

TEST_CASE("progress starts unknown and then follows the body") {
    testsupport::LoopbackHttpServer server;
    Data jpeg = posterJpeg(60, 90);
    server.route("GET", "/poster.jpg", imageReply(jpeg).trickle(jpeg.size() / 4 + 1, 5));
    auto downloader = RIWebImageDownloader::init();
    Received r;
    downloader->downloadImageWithURL(urlOf(server, "/poster.jpg"), 0, r.progressBlock(), r.completedBlock());
    REQUIRE(waitFor([&] { return r.finished(); }));
    std::lock_guard lock(r.mutex);
    REQUIRE(r.progress.size() >= 3);
    auto size = static_cast<std::int64_t>(jpeg.size());
    CHECK(r.progress[0] == std::make_pair<std::int64_t, std::int64_t>(0, -1));
    CHECK(r.progress[1] == std::make_pair<std::int64_t, std::int64_t>(0, std::int64_t(size)));
    CHECK(r.progress.back() == std::make_pair<std::int64_t, std::int64_t>(std::int64_t(size), std::int64_t(size)));
    for (std::size_t i = 2; i < r.progress.size(); ++i) CHECK(r.progress[i].first >= r.progress[i - 1].first);
}

TEST_CASE("without a length the progress expects 0 and no partial images come") {
    testsupport::LoopbackHttpServer server;
    Data png = posterPng(64, 64);
    server.route("GET", "/poster.png", imageReply(png, "image/png").chunked(256));
    auto downloader = RIWebImageDownloader::init();
    Received r;
    downloader->downloadImageWithURL(urlOf(server, "/poster.png"), RIWebImageDownloaderProgressiveDownload,
                                     r.progressBlock(), r.completedBlock());
    REQUIRE(waitFor([&] { return r.finished(); }));
    std::lock_guard lock(r.mutex);
    REQUIRE(r.progress.size() >= 2);
    CHECK(r.progress[0] == std::make_pair<std::int64_t, std::int64_t>(0, -1));
    CHECK(r.progress[1] == std::make_pair<std::int64_t, std::int64_t>(0, 0));
    CHECK(r.partials.empty());
    CHECK(r.image);
}

TEST_CASE("a progressive download shows the rows so far at the top on the main thread") {
    testsupport::LoopbackHttpServer server;
    sampleimages::PngOptions options;
    options.colorType = 2;
    options.compressionLevel = 0;  // rows arrive in proportion to the bytes
    const std::size_t side = 64;
    Data png = sampleimages::png(side, side, smooth(), options);
    server.route("GET", "/slow.png", imageReply(png, "image/png").inPieces(png.size() / 6 + 1));
    auto downloader = RIWebImageDownloader::init();
    Received r;
    downloader->downloadImageWithURL(urlOf(server, "/slow.png"), RIWebImageDownloaderProgressiveDownload,
                                     r.progressBlock(), r.completedBlock());
    REQUIRE(server.deliverPieces([&] { return r.finished(); }, [&] {
        std::lock_guard lock(r.mutex);
        return r.progress.size();
    }));
    std::lock_guard lock(r.mutex);
    REQUIRE(r.image);
    CHECK(r.partialOnMain);
    REQUIRE_FALSE(r.partials.empty());
    // A partial image is the whole size, decoded rows at the top, the rest clear.
    bool sawPartial = false;
    for (const auto& partial : r.partials) {
        REQUIRE(partial);
        auto bitmap = partial->CGImage();
        REQUIRE(bitmap->width() == side);
        REQUIRE(bitmap->height() == side);
        if (bitmap->pixelAt(0, side - 1).a == 0 && bitmap->pixelAt(0, 0).a == 255) {
            sawPartial = true;
            CHECK(bitmap->pixelAt(0, 0).r == smooth()(0, 0).r);
            CHECK(bitmap->pixelAt(5, 0).g == smooth()(5, 0).g);
        }
    }
    CHECK(sawPartial);
    CHECK(sampleimages::maxDifference(r.image->CGImage(), side, side, smooth(), true) == 0);
}

TEST_CASE("an error status ends the transfer with that code and a stop without object") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/gone.jpg", Reply::withStatus(404, "not here"));
    server.route("GET", "/broken.jpg", Reply::withStatus(500, "oops"));
    NotificationLog log;
    auto downloader = RIWebImageDownloader::init();
    Received missing, broken;
    downloader->downloadImageWithURL(urlOf(server, "/gone.jpg"), 0, nullptr, missing.completedBlock());
    downloader->downloadImageWithURL(urlOf(server, "/broken.jpg"), 0, nullptr, broken.completedBlock());
    REQUIRE(waitFor([&] { return missing.finished() && broken.finished(); }));
    REQUIRE(missing.error);
    CHECK(missing.error->domain() == NSURLErrorDomain);
    CHECK(missing.error->code() == 404);
    CHECK_FALSE(missing.image);
    REQUIRE(broken.error);
    CHECK(broken.error->code() == 500);
    REQUIRE(waitFor([&] { return log.count(RIWebImageDownloadStopNotification) == 2; }));
    for (const auto& object : log.objects(RIWebImageDownloadStopNotification)) CHECK_FALSE(object);
}

TEST_CASE("redirects are followed to the image") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/old.jpg", Reply::redirect(302, "/poster.jpg"));
    server.route("GET", "/poster.jpg", imageReply(posterJpeg(10, 20)));
    auto downloader = RIWebImageDownloader::init();
    Received r;
    downloader->downloadImageWithURL(urlOf(server, "/old.jpg"), 0, nullptr, r.completedBlock());
    REQUIRE(waitFor([&] { return r.finished(); }));
    REQUIRE(r.image);
    CHECK(r.image->size() == CGSizeMake(10, 20));
    CHECK(server.requestCount() == 2);
}

TEST_CASE("bytes that are no image give the zero-pixel error") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/text.jpg", Reply::text("this is not a picture"));
    Data truncated = posterJpeg(40, 40);
    truncated.resize(truncated.size() / 3);
    server.route("GET", "/truncated.jpg", imageReply(truncated));
    auto downloader = RIWebImageDownloader::init();
    Received text, cut;
    downloader->downloadImageWithURL(urlOf(server, "/text.jpg"), 0, nullptr, text.completedBlock());
    downloader->downloadImageWithURL(urlOf(server, "/truncated.jpg"), 0, nullptr, cut.completedBlock());
    REQUIRE(waitFor([&] { return text.finished() && cut.finished(); }));
    REQUIRE(text.error);
    CHECK(text.error->domain() == RIWebImageErrorDomain);
    CHECK(text.error->code() == 0);
    CHECK(text.error->localizedDescription() == "Downloaded image has 0 pixels");
    // A truncated baseline JPEG either decodes what arrived or is refused; never a crash.
    CHECK((cut.image || cut.error));
}

TEST_CASE("a body declared beyond the limit is refused before it is read") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/huge.jpg",
                 Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 900000000\r\n\r\n"
                                 "\xff\xd8\xff"));
    auto downloader = RIWebImageDownloader::init();
    Received r;
    downloader->downloadImageWithURL(urlOf(server, "/huge.jpg"), 0, nullptr, r.completedBlock());
    REQUIRE(waitFor([&] { return r.finished(); }));
    REQUIRE(r.error);
    CHECK(r.error->domain() == RIWebImageErrorDomain);
    CHECK(r.error->code() == RIWebImageErrorBodyTooLarge);
}

TEST_CASE("a transfer that goes quiet fails with a time-out") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/quiet.jpg", imageReply(posterJpeg()).stall(5));
    auto downloader = RIWebImageDownloader::init();
    downloader->setDownloadTimeout(0.3);
    Received r;
    downloader->downloadImageWithURL(urlOf(server, "/quiet.jpg"), 0, nullptr, r.completedBlock());
    REQUIRE(waitFor([&] { return r.finished(); }));
    REQUIRE(r.error);
    CHECK(r.error->code() == NSURLErrorTimedOut);
    server.releaseStalls();
}

TEST_CASE("requests carry the settings of the downloader, and the headers filter may read them") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/poster.jpg", imageReply(posterJpeg()).stallFirst());
    auto downloader = RIWebImageDownloader::init();
    CHECK(downloader->downloadTimeout() == 15.0);
    CHECK(downloader->maxConcurrentDownloads() == 2);
    downloader->setDownloadTimeout(0);
    downloader->setValue(std::string("quorvane-tests"), "X-Client");
    CHECK(downloader->valueForHTTPHeaderField("X-Client") == "quorvane-tests");
    downloader->setValue(std::nullopt, "X-Client");
    CHECK_FALSE(downloader->valueForHTTPHeaderField("X-Client"));
    std::weak_ptr<RIWebImageDownloader> weak = downloader;
    downloader->setHeadersFilter([weak](const NSURLPtr&, const HTTPHeaderFields& headers) {
        HTTPHeaderFields result = headers;
        result["X-Filtered"] = "yes";
        // Reading the downloader from its own filter.
        if (auto d = weak.lock()) result["X-Timeout"] = std::to_string(static_cast<int>(d->downloadTimeout()));
        return result;
    });
    Received r;
    auto url = urlOf(server, "/poster.jpg");
    // Started on a thread of its own: a filter that cannot read the settings
    // hangs that thread, and the test says so instead of hanging.
    auto started = std::make_shared<std::atomic<bool>>(false);
    std::thread([downloader, url, started, completed = r.completedBlock()] {
        downloader->downloadImageWithURL(url, RIWebImageDownloaderHighPriority, nullptr, completed);
        *started = true;
    }).detach();
    REQUIRE_MESSAGE(waitFor([&] { return started->load(); }), "the headers filter could not read the downloader");
    REQUIRE(waitFor(server.stalledConnections(1)));
    auto operation = downloader->operationForURL(url);
    REQUIRE(operation);
    CHECK(operation->request()->timeoutInterval() == 15.0);
    CHECK(operation->request()->cachePolicy() == NSURLRequestReloadIgnoringLocalCacheData);
    CHECK_FALSE(operation->request()->HTTPShouldHandleCookies());
    CHECK(operation->queuePriority() == NSOperationQueuePriority::High);
    server.releaseStalls();
    REQUIRE(waitFor([&] { return r.finished(); }));
    auto request = server.lastRequest();
    REQUIRE(request);
    CHECK(request->headers.get("X-Filtered") == "yes");
    CHECK(request->headers.get("X-Timeout") == "0");
    CHECK(request->headers.get("Accept") == "image/webp,image/*;q=0.8");
}

TEST_CASE("at most two transfers run at once") {
    testsupport::LoopbackHttpServer server;
    for (const char* path : {"/a.jpg", "/b.jpg", "/c.jpg"}) server.route("GET", path, imageReply(posterJpeg()).stallFirst());
    auto downloader = RIWebImageDownloader::init();
    Received a, b, c;
    downloader->downloadImageWithURL(urlOf(server, "/a.jpg"), 0, nullptr, a.completedBlock());
    downloader->downloadImageWithURL(urlOf(server, "/b.jpg"), 0, nullptr, b.completedBlock());
    downloader->downloadImageWithURL(urlOf(server, "/c.jpg"), 0, nullptr, c.completedBlock());
    REQUIRE(waitFor(server.stalledConnections(2)));
    CHECK(server.requestCount() == 2);
    CHECK(downloader->currentDownloadCount() == 3);
    server.releaseStalls();
    // The third starts only when one of the first two is done.
    REQUIRE(waitFor([&] { return a.finished() && b.finished(); }));
    REQUIRE(waitFor(server.receivedRequests(3)));
    REQUIRE(waitFor(server.stalledConnections(1)));
    server.releaseStalls();
    REQUIRE(waitFor([&] { return a.finished() && b.finished() && c.finished(); }));
    CHECK(server.requestCount() == 3);
}

TEST_CASE("in last-in-first-out order the latest request runs first") {
    testsupport::LoopbackHttpServer server;
    for (const char* path : {"/1.jpg", "/2.jpg", "/3.jpg"}) server.route("GET", path, imageReply(posterJpeg()));
    auto downloader = RIWebImageDownloader::init();
    downloader->setExecutionOrder(RIWebImageDownloaderLIFOExecutionOrder);
    downloader->setMaxConcurrentDownloads(1);
    downloader->setSuspended(true);
    Received one, two, three;
    downloader->downloadImageWithURL(urlOf(server, "/1.jpg"), 0, nullptr, one.completedBlock());
    downloader->downloadImageWithURL(urlOf(server, "/2.jpg"), 0, nullptr, two.completedBlock());
    downloader->downloadImageWithURL(urlOf(server, "/3.jpg"), 0, nullptr, three.completedBlock());
    downloader->setSuspended(false);
    REQUIRE(waitFor([&] { return one.finished() && two.finished() && three.finished(); }));
    auto requests = server.requests();
    REQUIRE(requests.size() == 3);
    CHECK(requests[0].path() == "/3.jpg");
    CHECK(requests[1].path() == "/2.jpg");
    CHECK(requests[2].path() == "/1.jpg");
}

TEST_CASE("a user and password answer the server's challenge") {
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/private.jpg",
                 testsupport::requireBasicAuth("ann", "secret", "posters",
                                               [](const testsupport::RecordedRequest&) { return imageReply(posterJpeg()); }));
    auto downloader = RIWebImageDownloader::init();
    Received refused;
    downloader->downloadImageWithURL(urlOf(server, "/private.jpg"), 0, nullptr, refused.completedBlock());
    REQUIRE(waitFor([&] { return refused.finished(); }));
    REQUIRE(refused.error);
    CHECK(refused.error->code() == 401);

    downloader->setUsername("ann");
    downloader->setPassword("secret");
    Received allowed;
    downloader->downloadImageWithURL(urlOf(server, "/private.jpg"), 0, nullptr, allowed.completedBlock());
    REQUIRE(waitFor([&] { return allowed.finished(); }));
    CHECK(allowed.image);
}

TEST_CASE("a nil URL is answered at once without a transfer") {
    auto downloader = RIWebImageDownloader::init();
    bool called = false;
    auto token = downloader->downloadImageWithURL(nullptr, 0, nullptr,
                                                  [&](UIImagePtr image, std::optional<Data> data, NSErrorPtr error,
                                                      bool finished) {
                                                      called = !image && !data && !error && !finished;
                                                  });
    CHECK(called);
    CHECK_FALSE(token);
    CHECK(downloader->currentDownloadCount() == 0);
}

TEST_CASE("the EXIF values of progressive decoding map like the decoder's") {
    CHECK(RIWebImageDownloaderOperation::orientationFromPropertyValue(1) == UIImageOrientationUp);
    CHECK(RIWebImageDownloaderOperation::orientationFromPropertyValue(6) == UIImageOrientationRight);
    CHECK(RIWebImageDownloaderOperation::orientationFromPropertyValue(8) == UIImageOrientationLeft);
    CHECK(RIWebImageDownloaderOperation::orientationFromPropertyValue(0) == UIImageOrientationUp);
    CHECK(RIWebImageDownloaderOperation::orientationFromPropertyValue(9) == UIImageOrientationUp);
}

namespace {

struct TestRootInstalled {
    TestRootInstalled() {
        SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(testsupport::testPKI().root.der)});
    }
    ~TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({}); }
};

}  // namespace

TEST_CASE("HTTPS certificates are verified unless any certificate is explicitly accepted") {
    const auto& pki = testsupport::testPKI();
    Data jpeg = posterJpeg(12, 18);
    testsupport::LoopbackHttpServer trusted(testsupport::tlsConnectionFactory(pki.leafChainPem(), pki.leaf.keyPem),
                                            "https");
    trusted.route("GET", "/poster.jpg", imageReply(jpeg));
    testsupport::LoopbackHttpServer selfSigned(
        testsupport::tlsConnectionFactory(pki.selfSigned.pem, pki.selfSigned.keyPem), "https");
    selfSigned.route("GET", "/poster.jpg", imageReply(jpeg));
    TestRootInstalled root;
    auto downloader = RIWebImageDownloader::init();

    Received verified;
    downloader->downloadImageWithURL(urlOf(trusted, "/poster.jpg"), 0, nullptr, verified.completedBlock());
    REQUIRE(waitFor([&] { return verified.finished(); }));
    CHECK(verified.image);

    // Every option bit the downloader defines keeps its own meaning: none of
    // them (64 least of all, which the manager sets for its bit 128) accepts
    // an untrusted certificate.
    for (RIWebImageDownloaderOptions options :
         {RIWebImageDownloaderOptions(0), RIWebImageDownloaderPassedOn, RIWebImageDownloaderHighPriority,
          RIWebImageDownloaderOptions(0xFF)}) {
        CAPTURE(options);
        Received refused;
        downloader->downloadImageWithURL(urlOf(selfSigned, "/poster.jpg"), options, nullptr, refused.completedBlock());
        REQUIRE(waitFor([&] { return refused.finished(); }));
        REQUIRE(refused.error);
        CHECK(refused.error->code() == NSURLErrorServerCertificateUntrusted);
        CHECK(selfSigned.requestCount() == 0);
    }

    Received accepted;
    downloader->downloadImageWithURL(urlOf(selfSigned, "/poster.jpg"), RIWebImageDownloaderAllowInvalidSSLCertificates,
                                     nullptr, accepted.completedBlock());
    REQUIRE(waitFor([&] { return accepted.finished(); }));
    CHECK(accepted.image);
    CHECK(selfSigned.requestCount() == 1);
    CHECK((RIWebImageDownloaderAllowInvalidSSLCertificates & 0xFF) == 0);
}
