// Protects the file cache against a real nginx (modification times, 304s, newer
// files, safe file names) and the click tracker's redirect chains with cookies.
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKCachedFile.h"
#include "adkit/foundation/AKClickTracker.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/FileTimes.h"
#include "platform/foundation/HTTPDate.h"
#include "platform/foundation/NSHTTPCookieStorage.h"
#include "platform/runloop/NSThread.h"
#include "platform/security/SecTrust.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTlsConnection.h"
#include "support/NginxServer.h"
#include "support/TestPKI.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;

namespace {

struct FileRecorder : AKCachedFileDelegate {
    int ends = 0, failures = 0;
    NSErrorPtr error;
    NSErrorPtr cachedFileShouldRedirectToURL(AKCachedFile&, const NSURLPtr&) override { return nullptr; }
    void cachedFileDownloadDidEnd(AKCachedFile&) override { ++ends; }
    void cachedFileDownloadDidFail(AKCachedFile&, const NSErrorPtr& e) override {
        ++failures;
        error = e;
    }
    int outcomes() const { return ends + failures; }
};

struct TrackerRecorder : AKClickTrackerDelegate {
    int redirects = 0, failures = 0;
    NSURLPtr url;
    void trackerDidRedirect(AKClickTracker&, const NSURLPtr& u) override {
        ++redirects;
        url = u;
    }
    void trackerDidFailWithError(AKClickTracker&, const NSErrorPtr&) override { ++failures; }
};

void writeFile(const std::string& path, const std::string& text, double mtime) {
    std::ofstream(path, std::ios::trunc) << text;
    REQUIRE(FileTimes::setAccessAndModificationDate(path, Date{mtime}));
}

double modificationTime(const std::string& path) {
    struct stat st {};
    REQUIRE(::stat(path.c_str(), &st) == 0);
    return static_cast<double>(st.st_mtim.tv_sec);
}

void validateAndWait(AKCachedFile& file, FileRecorder& recorder) {
    const int before = recorder.outcomes();
    file.validate();
    adkittest::waitFor([&] { return recorder.outcomes() > before; }, "the fetch of the cached file");
}

// Counts its releases, and those that happened off the main thread.
struct ReleaseProbe : NSObject {
    ReleaseProbe(std::atomic<int>& released, std::atomic<int>& offMain) : released_(released), offMain_(offMain) {}
    ~ReleaseProbe() override {
        if (!NSThread::isMainThread()) ++offMain_;
        ++released_;
    }
    std::atomic<int>& released_;
    std::atomic<int>& offMain_;
};

struct TestRootInstalled {
    TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({SecCertificateCreateWithData(testsupport::testPKI().root.der)}); }
    ~TestRootInstalled() { SecTrustSetAdditionalSystemAnchors({}); }
};

}  // namespace

TEST_CASE("file cache: nginx's Last-Modified becomes the file time, an unchanged file costs a 304, a newer one comes") {
    REQUIRE(testsupport::NginxServer::binary());
    testsupport::TempHome home;
    const std::string www = home.path() + "/www";
    std::filesystem::create_directories(www);
    writeFile(www + "/ad.js", "first version", 1600000000);
    testsupport::NginxServer nginx(www);

    auto recorder = std::make_shared<FileRecorder>();
    auto file = AKCachedFile::initWithURL(NSURL::URLWithString(nginx.url("/ad.js")));
    file->setDelegate(recorder);
    const std::string expectedPath =
        AppHome::caches() + "/127.0.0.1/" + *ak_MD5String(nginx.url("/ad.js"));
    CHECK(file->filePath() == std::optional<std::string>(expectedPath));
    validateAndWait(*file, *recorder);
    REQUIRE(recorder->ends == 1);
    CHECK(file->HTTPStatusCode() == 200);
    CHECK(file->contentAsString() == std::optional<std::string>("first version"));
    const auto lastModified = headerValue(file->HTTPHeaders(), "Last-Modified");
    REQUIRE(lastModified);
    CHECK(modificationTime(expectedPath) == HTTPDate::parseAny(*lastModified)->secondsSince1970);
    CHECK(modificationTime(expectedPath) == 1600000000);
    CHECK(file->fileModificationDate() == lastModified);

    validateAndWait(*file, *recorder);
    CHECK(recorder->ends == 2);
    CHECK(file->HTTPStatusCode() == 304);
    CHECK(file->contentAsString() == std::optional<std::string>("first version"));

    writeFile(www + "/ad.js", "second version", 1700000000);
    validateAndWait(*file, *recorder);
    CHECK(recorder->ends == 3);
    CHECK(file->HTTPStatusCode() == 200);
    CHECK(file->contentAsString() == std::optional<std::string>("second version"));
    CHECK(modificationTime(expectedPath) == 1700000000);

    auto missing = AKCachedFile::initWithURL(NSURL::URLWithString(nginx.url("/none.js")));
    missing->setDelegate(recorder);
    validateAndWait(*missing, *recorder);
    CHECK(recorder->failures == 1);
    CHECK(recorder->error == nullptr);
    CHECK_FALSE(missing->fileExists());
    CHECK(recorder->ends == 3);
}

TEST_CASE("file cache: hostile hosts stay under Caches, the cache buster goes before adurl, cache sets empty at a warning") {
    testsupport::TempHome home;
    const std::filesystem::path caches = std::filesystem::weakly_canonical(AppHome::caches());
    int examined = 0;
    for (const char* url : {"http://%2e%2e/x", "http://../x", "http://a%2Fb/x", "http://a%2F..%2F..%2Fetc/x", "about:blank"}) {
        CAPTURE(std::string(url));
        auto parsed = NSURL::URLWithString(url);
        if (!parsed) continue;  // not a URL at all: nothing to place
        ++examined;
        auto path = AKCachedFile::initWithURL(parsed)->filePath();
        REQUIRE(path);
        const auto resolved = std::filesystem::weakly_canonical(*path);
        CHECK(resolved.parent_path().parent_path() == caches);
    }
    CHECK(examined >= 4);
    CHECK(AKCachedFile::initWithURL(NSURL::URLWithString("about:blank"))->filePath()->find("/@local/") != std::string::npos);

    LoopbackHttpServer server;
    server.route("GET", "/c", Reply::text("x"));
    auto recorder = std::make_shared<FileRecorder>();
    auto file = AKCachedFile::initWithURL(NSURL::URLWithString(server.url("/c?a=1&adurl=http://d/e")));
    file->setDelegate(recorder);
    file->validateWithCacheBuster();
    adkittest::waitFor([&] { return recorder->outcomes() > 0; }, "the busted fetch");
    const std::string query = server.lastRequest()->query();
    CHECK(query.rfind("a=1&unique=", 0) == 0);
    CHECK(query.find("&adurl=http://d/e") != std::string::npos);
    CHECK(file->cachePolicy() == NSURLRequestReloadIgnoringLocalCacheData);

    // Pooled views are released on the main thread, whichever way they leave the set.
    std::atomic<int> released{0}, offMain{0};
    auto set = AKCacheSet::initWithMaxCapacity(2);
    for (int i = 0; i < 3; ++i) set->addObject(std::make_shared<ReleaseProbe>(released, offMain));
    CHECK(set->count() == 2);
    adkittest::waitFor([&] { return released == 1; }, "the release of the object a full set dropped");
    CHECK(set->anyObject() != nullptr);
    CHECK(set->count() == 1);
    UIApplication::sharedApplication()->simulateMemoryWarning();
    adkittest::waitFor([&] { return set->count() == 0; }, "the memory warning to empty the set");
    adkittest::waitFor([&] { return released == 3; }, "the release of what the warning removed");
    set->addObject(std::make_shared<ReleaseProbe>(released, offMain));
    std::thread emptier([&] { set->removeAllObjects(); });
    emptier.join();
    adkittest::waitFor([&] { return released == 4; }, "the release of what a worker thread removed");
    CHECK(offMain == 0);
}

TEST_CASE("click tracker: a 302 to https that sets a cookie ends once at the final URL, and store links count as redirects") {
    testsupport::TempHome home;
    TestRootInstalled root;
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->deleteAllCookies();
    const auto& pki = testsupport::testPKI();
    LoopbackHttpServer secure(testsupport::tlsConnectionFactory(pki.leafChainPem(), pki.leaf.keyPem), "https");
    LoopbackHttpServer plain;
    secure.route("GET", "/landing", [](const testsupport::RecordedRequest& r) {
        return Reply::text("landed with " + r.headers.get("Cookie"));
    });
    plain.route("GET", "/click", Reply::redirect(302, secure.url("/landing")).header("Set-Cookie", "clk=1; Path=/"));
    plain.route("GET", "/store", Reply::redirect(302, "itms-apps://store.example/app/1"));
    plain.route("GET", "/gone", Reply::withStatus(404));
    auto ui = UIApplication::sharedApplication();
    const std::size_t openTasks = ui->openBackgroundTaskCount();

    auto recorder = std::make_shared<TrackerRecorder>();
    auto tracker = std::make_shared<AKClickTracker>();
    tracker->setDelegate(recorder);
    tracker->trackURL(NSURL::URLWithString(plain.url("/click")));
    CHECK(ui->openBackgroundTaskCount() == openTasks + 1);
    adkittest::waitFor([&] { return recorder->redirects + recorder->failures > 0; }, "the click chain");
    testsupport::runMainUntil([] { return false; }, 0.3);
    CHECK(recorder->redirects == 1);
    CHECK(recorder->failures == 0);
    CHECK(recorder->url->absoluteString() == secure.url("/landing"));
    CHECK(secure.lastRequest()->headers.get("Cookie") == "clk=1");
    CHECK(tracker->hasTracked());
    CHECK(ui->openBackgroundTaskCount() == openTasks);

    auto store = std::make_shared<TrackerRecorder>();
    tracker->setDelegate(store);
    tracker->trackURL(NSURL::URLWithString(plain.url("/store")));
    adkittest::waitFor([&] { return store->redirects + store->failures > 0; }, "the store redirect");
    testsupport::runMainUntil([] { return false; }, 0.3);
    CHECK(store->redirects == 1);
    CHECK(store->failures == 0);
    CHECK(store->url->absoluteString() == "itms-apps://store.example/app/1");
    CHECK(ui->openBackgroundTaskCount() == openTasks);

    auto failing = std::make_shared<TrackerRecorder>();
    tracker->setDelegate(failing);
    tracker->trackURL(NSURL::URLWithString(plain.url("/gone")));
    adkittest::waitFor([&] { return failing->failures > 0; }, "the failing click");
    CHECK(failing->redirects == 0);
    CHECK(failing->failures == 1);
    tracker->trackURL(nullptr);
    CHECK_FALSE(tracker->hasTracked());
    CHECK(ui->openBackgroundTaskCount() == openTasks);
}
