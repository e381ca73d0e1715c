// The download bar against the loopback test server and nginx: counts, status texts, pause and resume by
// byte range, answers that cannot continue the bytes held, the memory cap, and connections that end with the bar.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "networking/DownloadFixtures.h"
#include "platform/uikit/UIColor.h"
#include "screens/UIDownloadBar.h"
#include "support/LoopbackHttpServer.h"
#include "support/NginxServer.h"
#include "support/TestEnvironment.h"

using downloadtests::generatedContent;
using downloadtests::sha256;
using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

// Records every call it answers; which ones it answers is chosen per test.
class RecordingBarDelegate : public UIDownloadBarDelegate {
public:
    bool answersUpdated = true;
    bool answersFinish = true;
    bool answersFailure = true;
    std::function<void(UIDownloadBar&)> onUpdate;

    int updates = 0;
    int finishes = 0;
    int failures = 0;
    std::vector<std::string> statuses;  // the status as each update found it, without repeats
    std::vector<double> receivedAtUpdate;
    Data data;
    std::string suggestedFilename;
    NSErrorPtr error;

    bool respondsToDownloadBarUpdated() const override { return answersUpdated; }
    bool respondsToDidFinishWithData() const override { return answersFinish; }
    bool respondsToDidFailWithError() const override { return answersFailure; }

    void downloadBarUpdated(const std::shared_ptr<UIDownloadBar>& bar) override {
        ++updates;
        receivedAtUpdate.push_back(bar->getBytesReceived());
        if (statuses.empty() || statuses.back() != bar->statusDownload()) statuses.push_back(bar->statusDownload());
        if (onUpdate) onUpdate(*bar);
    }
    void downloadBarDidFinishWithData(const std::shared_ptr<UIDownloadBar>&, const Data& received,
                                      const std::string& filename) override {
        ++finishes;
        data = received;
        suggestedFilename = filename;
    }
    void downloadBarDidFailWithError(const std::shared_ptr<UIDownloadBar>&, const NSErrorPtr& e) override {
        ++failures;
        error = e;
    }
    bool ended() const { return finishes + failures > 0; }
};

std::shared_ptr<UIDownloadBar> makeBar(const std::string& url, const std::shared_ptr<UIDownloadBarDelegate>& delegate) {
    auto bar = UIDownloadBar::initWithURL(NSURL::URLWithString(url), CGRectMake(0, 0, 200, 10), 30, delegate);
    REQUIRE(bar);
    return bar;
}

std::string text(const Data& data) { return stringFromData(data); }

// Serves the content with ranges; the first request is held after `holdAfter` body bytes.
testsupport::Handler heldOnce(const std::string& content, std::size_t holdAfter, testsupport::StaticOptions options = {}) {
    auto serve = testsupport::serveBytes(content, options);
    auto first = std::make_shared<std::once_flag>();
    return [serve, first, holdAfter](const RecordedRequest& request) {
        Reply reply = serve(request);
        std::call_once(*first, [&] { reply.stall(holdAfter); });
        return reply;
    };
}

}  // namespace

TEST_SUITE("download bar") {

TEST_CASE("a whole download: the counts, the progress, the status texts and the suggested name") {
    const std::string content = generatedContent(300000, 1);
    LoopbackHttpServer server;
    server.route("GET", "/films/clip.mp4", Reply::text(content, "video/mp4").inPieces(60000));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/films/clip.mp4"), delegate);
    CHECK(bar->linkDownload() == server.url("/films/clip.mp4"));
    CHECK(bar->localFilename() == "clip.mp4");
    CHECK(bar->progress() == 0);
    CHECK(bar->getBytesReceived() == 0);

    bar->startDownload();
    CHECK(bar->statusDownload() == "Start Downloading...");
    REQUIRE(bar->downloadConnection());
    REQUIRE(bar->downloadRequest());
    CHECK(bar->downloadRequest()->cachePolicy() == NSURLRequestReloadIgnoringLocalCacheData);
    CHECK(bar->downloadRequest()->timeoutInterval() == 30);
    REQUIRE_MESSAGE(server.deliverPieces([&] { return delegate->ended(); }, [&] { return std::size_t(delegate->updates); }),
                    "the download to end, piece by piece");

    CHECK(delegate->failures == 0);
    CHECK(delegate->finishes == 1);
    CHECK(text(delegate->data) == content);
    CHECK(delegate->suggestedFilename == "clip.mp4");
    CHECK(bar->getBytesReceived() == 300000);
    CHECK(bar->getBytesExpected() == 300000);
    CHECK(bar->progress() == 1.0f);
    CHECK(bar->percentComplete() == 100.0f);
    CHECK(bar->operationFinished());
    CHECK_FALSE(bar->operationFailed());
    CHECK_FALSE(bar->downloadConnection());
    CHECK(bar->statusDownload() == "Finish");
    CHECK(delegate->updates >= 2);
    CHECK(delegate->statuses.front() == "Downloading...");
    CHECK(delegate->statuses.back() == "Prepare Finish");
    CHECK(server.lastRequest()->headers.find("Range") == std::nullopt);
}

TEST_CASE("an answer without a length leaves the progress alone while every piece is still reported") {
    const std::string content = generatedContent(120000, 2);
    for (bool chunked : {true, false}) {
        CAPTURE(chunked);
        LoopbackHttpServer server;
        Reply reply = Reply::text(content, "application/octet-stream").inPieces(20000);
        if (chunked) reply.chunked(20000);
        else reply.closeDelimited();
        server.route("GET", "/stream", reply);
        auto delegate = std::make_shared<RecordingBarDelegate>();
        std::vector<float> progressSeen;
        delegate->onUpdate = [&](UIDownloadBar& bar) { progressSeen.push_back(bar.progress()); };
        auto bar = makeBar(server.url("/stream"), delegate);
        bar->startDownload();
        REQUIRE_MESSAGE(server.deliverPieces([&] { return delegate->ended(); }, [&] { return std::size_t(delegate->updates); }),
                        "the download to end, piece by piece");
        CHECK(delegate->finishes == 1);
        CHECK(text(delegate->data) == content);
        CHECK(bar->getBytesExpected() == -1);
        CHECK(delegate->updates >= 2);
        CHECK(std::all_of(progressSeen.begin(), progressSeen.end(), [](float p) { return p == 0; }));
        CHECK(bar->percentComplete() == 0);
        // With no percentage the status never moves on while the data comes.
        CHECK(delegate->statuses == std::vector<std::string>{"Start Downloading..."});
        CHECK(bar->statusDownload() == "Finish");
    }
}

TEST_CASE("an answer that names the identity transfer coding is still counted against its length, not finished at once") {
    const std::string content = generatedContent(50000, 13);
    LoopbackHttpServer server;
    server.route("GET", "/f", Reply::text(content).header("Transfer-Encoding", "Identity").close().stall(20000));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/f"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return bar->getBytesReceived() == 20000; }, 30), "the first 20000 bytes");
    CHECK_FALSE(bar->operationFinished());
    CHECK(bar->getBytesExpected() == 50000);
    CHECK(bar->progress() == doctest::Approx(0.4));
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the download to end");
    CHECK(delegate->finishes == 1);
    CHECK(text(delegate->data) == content);
}

TEST_CASE("pausing after 1000 bytes and resuming asks for the rest by range and gives the same bytes") {
    const std::string content = generatedContent(50000, 3);
    LoopbackHttpServer server;
    testsupport::StaticOptions options;
    options.etag = "\"v1\"";
    server.route("GET", "/file.bin", heldOnce(content, 1000, options));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/file.bin"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return bar->getBytesReceived() == 1000; }, 30), "the first 1000 bytes");
    std::weak_ptr<NSURLConnection> first = bar->downloadConnection();

    bar->forceStop();
    CHECK(bar->statusDownload() == "Pause");
    CHECK(bar->operationBreaked());
    CHECK_FALSE(bar->downloadConnection());  // cancelled at once, not at the next data
    REQUIRE_MESSAGE(runMainUntil([&] { return first.expired(); }), "the paused connection to be released");
    server.releaseStalls();
    CHECK(bar->getBytesReceived() == 1000);
    CHECK(bar->percentComplete() == doctest::Approx(2.0));

    bar->forceContinue();
    CHECK(bar->statusDownload() == "Downloading...");
    CHECK_FALSE(bar->operationBreaked());
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the resumed download to end");
    auto requests = server.requests();
    REQUIRE(requests.size() == 2);
    CHECK_FALSE(requests[0].headers.has("Range"));
    CHECK(requests[1].headers.get("Range") == "bytes=1000-");
    CHECK(requests[1].headers.get("If-Range") == "\"v1\"");
    CHECK(delegate->finishes == 1);
    CHECK(text(delegate->data) == content);
    CHECK(bar->getBytesExpected() == 50000);  // the total of the part's Content-Range
    CHECK(bar->getBytesReceived() == 50000);
}

TEST_CASE("a resume answered otherwise than by a part at the bytes held starts over or fails keeping them") {
    const std::string content = generatedContent(40000, 4);
    // The resource after a change: as long, other bytes, served with ranges but no validator.
    const std::string changed = generatedContent(40000, 14);
    struct Case {
        const char* name;
        bool validator;  // the first answer names an ETag, so the resume asks for a range
        std::function<Reply(const RecordedRequest&)> resumeAnswer;
        const std::string* finishedWith;  // the bytes the bar ends with; null when the resume fails
    };
    const std::vector<Case> cases{
        {"a server that ignores Range starts over", true,
         [&](const RecordedRequest&) { return Reply::text(content, "application/octet-stream"); }, &content},
        {"a part at another offset fails", true,
         [&](const RecordedRequest&) {
             return Reply::text(content.substr(500), "application/octet-stream")
                 .header("Content-Range", "bytes 500-39999/40000");
         },
         nullptr},
        {"a part without Content-Range fails", true, [&](const RecordedRequest&) {
             Reply r = Reply::text(content.substr(1000), "application/octet-stream");
             r.status = 206;
             return r;
         }, nullptr},
        {"416 fails", true,
         [](const RecordedRequest&) { return Reply::withStatus(416).header("Content-Range", "bytes */40000"); },
         nullptr},
        {"a 204 fails", true, [](const RecordedRequest&) { return Reply::withStatus(204); }, nullptr},
        // Nothing to check the bytes held against: no range, the changed resource whole.
        {"without a validator the whole resource is asked for again", false, testsupport::serveBytes(changed),
         &changed},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        LoopbackHttpServer server;
        auto count = std::make_shared<std::atomic<int>>(0);
        server.setHandler([&content, &c, count](const RecordedRequest& request) {
            if ((*count)++ == 0) {
                Reply first = Reply::text(content, "application/octet-stream").stall(1000);
                if (c.validator) first.header("ETag", "\"v4\"");
                return first;
            }
            Reply r = c.resumeAnswer(request);
            if (r.headers.has("Content-Range") && r.status == 200) r.status = 206;
            return r;
        });
        auto delegate = std::make_shared<RecordingBarDelegate>();
        auto bar = makeBar(server.url("/f"), delegate);
        bar->startDownload();
        REQUIRE_MESSAGE(runMainUntil([&] { return bar->getBytesReceived() == 1000; }, 30), "the first 1000 bytes");
        bar->forceStop();
        server.releaseStalls();
        bar->forceContinue();
        REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the resumed download to end");
        CHECK(server.requests().back().headers.get("Range") == (c.validator ? "bytes=1000-" : ""));
        if (c.finishedWith) {
            CHECK(delegate->finishes == 1);
            CHECK(text(delegate->data) == *c.finishedWith);  // not the first 1000 bytes twice, nor spliced
            CHECK(bar->getBytesReceived() == 40000);
        } else {
            CHECK(delegate->finishes == 0);
            REQUIRE(delegate->error);
            CHECK(delegate->error->domain() == "UIDownloadBar Error");
            CHECK(delegate->error->code() == 3);
            CHECK(bar->operationFailed());
            CHECK(bar->statusDownload() == "Failed");
            CHECK(bar->getBytesReceived() == 1000);
            CHECK(text(bar->receivedData()) == content.substr(0, 1000));
        }
    }
}

TEST_CASE("a failed download can be paused and resumed from the bytes it holds") {
    const std::string content = generatedContent(30000, 5);
    LoopbackHttpServer server;
    auto count = std::make_shared<std::atomic<int>>(0);
    auto serve = testsupport::serveBytes(content, testsupport::withETag("\"v5\""));
    server.setHandler([serve, count](const RecordedRequest& request) {
        Reply r = serve(request);
        if ((*count)++ == 0) r.drop(7000);
        return r;
    });
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/f"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the dropped download to fail");
    REQUIRE(delegate->failures == 1);
    CHECK(delegate->error->domain() == NSURLErrorDomain);
    CHECK(bar->operationFailed());
    CHECK(bar->getBytesReceived() == 7000);

    bar->forceContinue();  // not paused: nothing
    CHECK(server.requestCount() == 1);
    bar->forceStop();
    bar->forceContinue();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->finishes == 1; }, 30), "the resumed download to finish");
    CHECK(server.requests().back().headers.get("Range") == "bytes=7000-");
    CHECK(text(delegate->data) == content);
}

TEST_CASE("only one connection runs: a second start cancels the first, forceContinue waits for a pause") {
    const std::string content = generatedContent(20000, 6);
    LoopbackHttpServer server;
    server.route("GET", "/f", heldOnce(content, 5000));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/f"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return bar->getBytesReceived() == 5000; }, 30), "the first 5000 bytes");
    std::weak_ptr<NSURLConnection> first = bar->downloadConnection();

    bar->forceContinue();  // loading, not paused
    CHECK(bar->downloadConnection() == first.lock());

    bar->startDownload();
    CHECK(bar->getBytesReceived() == 0);
    REQUIRE_MESSAGE(runMainUntil([&] { return first.expired(); }), "the first connection to be released");
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the second download to end");
    CHECK(delegate->finishes == 1);
    CHECK(text(delegate->data) == content);
    CHECK(server.requestCount() == 2);

    bar->forceStop();  // finished: nothing to pause
    CHECK(bar->statusDownload() == "Finish");
    bar->forceContinue();
    CHECK(server.requestCount() == 2);
}

TEST_CASE("the bar's end cancels its connection and nothing reaches the delegate afterwards") {
    LoopbackHttpServer server;
    server.route("GET", "/f", Reply::text(generatedContent(10000, 7)).stall(2000));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/f"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return bar->getBytesReceived() == 2000; }, 30), "the first 2000 bytes");
    std::weak_ptr<NSURLConnection> connection = bar->downloadConnection();
    const int updates = delegate->updates;
    bar.reset();
    REQUIRE_MESSAGE(runMainUntil([&] { return connection.expired(); }), "the connection to be released");
    server.releaseStalls();
    server.stop();
    CHECK(delegate->updates == updates);
    CHECK_FALSE(delegate->ended());
}

TEST_CASE("delegate calls are made only when the delegate answers them") {
    const std::string content = generatedContent(8000, 8);
    LoopbackHttpServer server;
    server.route("GET", "/f", Reply::text(content).trickle(2000, 5));
    server.route("GET", "/missing", Reply::withStatus(404, "no such film"));

    auto silent = std::make_shared<RecordingBarDelegate>();
    silent->answersUpdated = silent->answersFinish = silent->answersFailure = false;
    auto bar = makeBar(server.url("/f"), silent);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return bar->operationFinished(); }, 30), "the download to finish");
    CHECK(silent->updates + silent->finishes + silent->failures == 0);
    CHECK(bar->statusDownload() == "Start Downloading...");  // the texts move with the calls only
    CHECK(text(bar->receivedData()) == content);

    auto failing = makeBar(server.url("/missing"), silent);
    failing->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return failing->operationFailed(); }, 30), "the 404 to fail");
    CHECK(silent->failures == 0);
    CHECK(failing->statusDownload() == "Start Downloading...");

    // A URL no connection can load: error code 1 for a delegate that answers, nothing for one that does not.
    auto answering = std::make_shared<RecordingBarDelegate>();
    auto unloadable = makeBar("ftp://127.0.0.1/f", answering);
    unloadable->startDownload();
    REQUIRE(answering->failures == 1);
    CHECK(answering->error->domain() == "UIDownloadBar Error");
    CHECK(answering->error->code() == 1);
    CHECK(answering->error->localizedDescription() == "NSURLConnection Failed");
    CHECK(unloadable->statusDownload() == "Failed");
    auto quiet = makeBar("ftp://127.0.0.1/f", silent);
    quiet->startDownload();
    CHECK(silent->failures == 0);
    CHECK(quiet->operationFailed());
}

TEST_CASE("an error page is a failure, not the file") {
    LoopbackHttpServer server;
    server.route("GET", "/missing", Reply::withStatus(404, "no such film"));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/missing"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the download to end");
    CHECK(delegate->finishes == 0);
    REQUIRE(delegate->error);
    CHECK(delegate->error->code() == 3);
    CHECK(delegate->error->userInfo()["httpStatus"].intValue() == 404);
    CHECK(bar->statusDownload() == "Failed");
}

TEST_CASE("a 40 MiB body is counted to the byte") {
    // Past 16 MiB a single-precision count moves in steps of 2 or 4 bytes.
    const std::string content = generatedContent(40 * 1024 * 1024 + 7, 9);
    LoopbackHttpServer server;
    server.route("GET", "/big", testsupport::serveBytes(content));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto bar = makeBar(server.url("/big"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 120), "the 40 MiB download to end");
    REQUIRE(delegate->finishes == 1);
    CHECK(bar->getBytesReceived() == 41943047.0);
    CHECK(bar->bytesReceived() == 41943047);
    CHECK(bar->getBytesExpected() == 41943047.0);
    CHECK(delegate->data.size() == content.size());
    CHECK(sha256(text(delegate->data)) == sha256(content));
}

TEST_CASE("past the memory cap the transfer fails with code 2") {
    const std::string content = generatedContent(300000, 10);
    for (bool announced : {true, false}) {
        CAPTURE(announced);
        LoopbackHttpServer server;
        Reply reply = Reply::text(content).trickle(50000, 2);
        if (!announced) reply.chunked(10000);
        server.route("GET", "/f", reply);
        auto delegate = std::make_shared<RecordingBarDelegate>();
        auto bar = makeBar(server.url("/f"), delegate);
        CHECK(bar->maximumDataLength() == 256ll * 1024 * 1024);
        bar->setMaximumDataLength(100000);
        bar->startDownload();
        REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the download to end");
        CHECK(delegate->finishes == 0);
        REQUIRE(delegate->error);
        CHECK(delegate->error->domain() == "UIDownloadBar Error");
        CHECK(delegate->error->code() == 2);
        CHECK(bar->receivedData().size() <= 100000);
        CHECK_FALSE(bar->downloadConnection());
        if (announced) CHECK(delegate->updates == 0);  // refused at the answer, before any byte is held
    }
}

TEST_CASE("against nginx a paused download resumes where it stopped, byte for byte") {
    REQUIRE_MESSAGE(testsupport::NginxServer::binary().has_value(), "nginx is installed by scripts/install-deps");
    testsupport::TempHome home;
    const std::string www = home.path() + "/www";
    std::filesystem::create_directories(www);
    const std::string content = generatedContent(6 * 1024 * 1024 + 3, 11);
    downloadtests::writeFile(www + "/episode.mp4", content);
    testsupport::NginxServer nginx(www);

    auto delegate = std::make_shared<RecordingBarDelegate>();
    bool paused = false;
    delegate->onUpdate = [&](UIDownloadBar& bar) {
        if (!paused && bar.getBytesReceived() < 6 * 1024 * 1024) {
            paused = true;
            bar.forceStop();
        }
    };
    auto bar = makeBar(nginx.url("/episode.mp4"), delegate);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return paused; }, 30), "the first piece");
    const auto held = static_cast<long long>(bar->getBytesReceived());
    CHECK(held > 0);
    bar->forceContinue();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 60), "the resumed download to end");
    REQUIRE(delegate->finishes == 1);
    CHECK(bar->getBytesExpected() == static_cast<double>(content.size()));
    CHECK(sha256(text(delegate->data)) == sha256(content));
}

TEST_CASE("a bar half way through its download draws the done half in the tint over the grey track") {
    const std::string content = generatedContent(20000, 12);
    LoopbackHttpServer server;
    server.route("GET", "/f", Reply::text(content).stall(10000));
    auto delegate = std::make_shared<RecordingBarDelegate>();
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setBackgroundColor(UIColor::whiteColor()->CGColor());
    window->makeKeyAndVisible();
    auto bar = UIDownloadBar::initWithURL(NSURL::URLWithString(server.url("/f")), CGRectMake(60, 100, 200, 4), 30,
                                          delegate);
    window->addSubview(bar);
    bar->startDownload();
    REQUIRE_MESSAGE(runMainUntil([&] { return bar->getBytesReceived() == 10000; }, 30), "half of the bytes");
    CHECK(bar->progress() == 0.5f);
    CHECK(bar->percentComplete() == 50.0f);

    CGImageRef image = shelltest::screenSnapshot("download-bar-half.png");
    CHECK(shelltest::near(shelltest::pixelAt(image, 62, 102), 0, 122, 255));    // done: the tint
    CHECK(shelltest::near(shelltest::pixelAt(image, 158, 102), 0, 122, 255));
    CHECK(shelltest::near(shelltest::pixelAt(image, 162, 102), 184, 184, 184));  // to come: the track
    CHECK(shelltest::near(shelltest::pixelAt(image, 258, 102), 184, 184, 184));
    CHECK(shelltest::near(shelltest::pixelAt(image, 160, 95), 255, 255, 255));   // clear around it
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return delegate->ended(); }, 30), "the download to end");
    window->setHidden(true);
}

}  // TEST_SUITE
