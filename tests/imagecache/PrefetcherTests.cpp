// Protects the prefetcher: a few loads at a time at the server, exact counts with
// failing URLs, a list replaced or cancelled mid-way leaving the next list's
// counts and callbacks clean, and a cancelled list starting nothing more.
#include <doctest/doctest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "ImageFixtures.h"
#include "SharedStack.h"
#include "imagecache/RIWebImagePrefetcher.h"

using namespace imagetests;
using testsupport::Reply;

namespace {

// Holds each image answer at the server until the test opens its path, and
// measures how many answers are held at once per first path segment ("/a/...").
// Paths named "fail..." answer 404 and "text..." a body that is no image, at
// once, or, for failures, once failuresWaitFor image answers of their group are
// held (so a test knows those reached the server before the failure is seen).
class Gate {
public:
    Reply answer(const testsupport::RecordedRequest& request) {
        std::string path = request.path();
        if (path.find("/fail") != std::string::npos) {
            std::unique_lock lock(mutex_);
            const std::string group = path.substr(0, path.find('/', 1));
            changed_.wait(lock, [&] { return openAll_ || inFlight_[group] >= failuresWaitFor_; });
            return Reply::withStatus(404);
        }
        if (path.find("/text") != std::string::npos) return Reply::text("no picture here");
        std::string group = path.substr(0, path.find('/', 1));
        std::unique_lock lock(mutex_);
        int now = ++inFlight_[group];
        maxInFlight_[group] = std::max(maxInFlight_[group], now);
        held_.insert(path);
        changed_.notify_all();
        changed_.wait(lock, [&] { return openAll_ || open_.count(path) > 0; });
        held_.erase(path);
        --inFlight_[group];
        return imageReply(image_);
    }
    void open(const std::string& path) {
        std::lock_guard lock(mutex_);
        open_.insert(path);
        changed_.notify_all();
    }
    void setFailuresWaitFor(int heldAnswers) {
        std::lock_guard lock(mutex_);
        failuresWaitFor_ = heldAnswers;
    }
    void openAll() {
        std::lock_guard lock(mutex_);
        openAll_ = true;
        changed_.notify_all();
    }
    std::set<std::string> held() const {
        std::lock_guard lock(mutex_);
        return held_;
    }
    int inFlight(const std::string& group) const {
        std::lock_guard lock(mutex_);
        auto it = inFlight_.find(group);
        return it == inFlight_.end() ? 0 : it->second;
    }
    int maxInFlight(const std::string& group) const {
        std::lock_guard lock(mutex_);
        auto it = maxInFlight_.find(group);
        return it == maxInFlight_.end() ? 0 : it->second;
    }

private:
    Data image_ = posterJpeg(20, 30);
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool openAll_ = false;
    int failuresWaitFor_ = 0;
    std::set<std::string> open_, held_;
    std::map<std::string, int> inFlight_, maxInFlight_;
};

struct Recorder : RIWebImagePrefetcherDelegate {
    std::vector<std::string> prefetched;  // paths
    std::vector<std::pair<std::uint64_t, std::uint64_t>> finished;
    void imagePrefetcherDidPrefetchURL(RIWebImagePrefetcher&, const NSURLPtr& url, std::uint64_t,
                                       std::uint64_t) override {
        prefetched.push_back(url ? url->path() : "(none)");
    }
    void imagePrefetcherDidFinishWithTotalCount(RIWebImagePrefetcher&, std::uint64_t total,
                                                std::uint64_t skipped) override {
        finished.emplace_back(total, skipped);
    }
};

using Counts = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

}  // namespace

namespace doctest {
template <>
struct StringMaker<Counts> {
    static String convert(const Counts& counts) {
        std::string text = "{";
        for (const auto& [a, b] : counts) text += " (" + std::to_string(a) + ", " + std::to_string(b) + ")";
        return (text + " }").c_str();
    }
};
}  // namespace doctest

namespace {

struct Stack {
    testsupport::TempHome home;
    testsupport::LoopbackHttpServer server;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::shared_ptr<RIWebImageManager> manager =
        RIWebImageManager::initWithCache(RIImageCache::init(), RIWebImageDownloader::init());
    std::shared_ptr<RIWebImagePrefetcher> prefetcher = RIWebImagePrefetcher::initWithManager(manager);
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();

    Stack() {
        server.setHandler([g = gate](const testsupport::RecordedRequest& r) { return g->answer(r); });
        prefetcher->setDelegate(recorder);
    }
    // Held answers would keep the server's threads from ending; the cache's
    // writes end before the home goes.
    ~Stack() {
        gate->openAll();
        drain();
    }
    // True once the cache's queue has run everything queued before.
    bool drain() {
        bool done = false;
        manager->imageCache()->diskImageExistsWithKey("drain", [&](bool) { done = true; });
        return waitFor([&] { return done; });
    }

    std::vector<NSURLPtr> urls(const std::vector<std::string>& paths) const {
        std::vector<NSURLPtr> result;
        for (const auto& p : paths) result.push_back(urlOf(server, p));
        return result;
    }
    std::multiset<std::string> requestedPaths() const {
        std::multiset<std::string> result;
        for (const auto& r : server.requests()) result.insert(r.path());
        return result;
    }
    // Opens the given image answers one at a time as they arrive; before each,
    // waits until three of them (or all that are left) are held at once.
    void openInTurn(const std::vector<std::string>& paths) {
        std::set<std::string> pending(paths.begin(), paths.end());
        auto heldPending = [&] {
            std::vector<std::string> result;
            for (const auto& p : gate->held())
                if (pending.count(p)) result.push_back(p);
            return result;
        };
        while (!pending.empty()) {
            std::size_t want = std::min<std::size_t>(3, pending.size());
            REQUIRE_MESSAGE(waitFor([&] { return heldPending().size() >= want; }),
                            "waited for image answers held at the server: " << want);
            std::string next = heldPending().front();
            gate->open(next);
            pending.erase(next);
        }
    }
};

void wait(const std::function<bool()>& condition, const std::string& what) {
    REQUIRE_MESSAGE(waitFor(condition), "waited for: " << what);
}

}  // namespace

TEST_CASE("a list loads three at a time at the server and counts finished and skipped loads exactly") {
    Stack s;
    CHECK(s.prefetcher->options() == RIWebImageLowPriority);
    CHECK(s.prefetcher->maxConcurrentDownloads() == 3);
    CHECK(s.manager->imageDownloader()->maxConcurrentDownloads() == 3);

    std::vector<std::string> paths = {"/a/ok0.jpg",   "/a/ok1.jpg",   "/a/ok2.jpg", "/a/fail3.jpg",
                                      "/a/ok4.jpg",   "/a/text5.jpg", "/a/ok6.jpg", "/a/ok7.jpg"};
    Counts progress, completions;
    s.prefetcher->prefetchURLs(
        s.urls(paths), [&](std::uint64_t f, std::uint64_t t) { progress.emplace_back(f, t); },
        [&](std::uint64_t f, std::uint64_t k) { completions.emplace_back(f, k); });
    CHECK(s.prefetcher->requestedCount() == 3);

    // The first three are image answers: all three are held at once, no fourth asked.
    wait([&] { return s.gate->inFlight("/a") == 3; }, "three image answers held at the server");
    CHECK(s.server.requestCount() == 3);
    s.openInTurn({"/a/ok0.jpg", "/a/ok1.jpg", "/a/ok2.jpg", "/a/ok4.jpg", "/a/ok6.jpg", "/a/ok7.jpg"});
    wait([&] { return !completions.empty(); }, "the list's completion");

    CHECK(s.gate->maxInFlight("/a") == 3);
    Counts expectedProgress;
    for (std::uint64_t i = 1; i <= 8; ++i) expectedProgress.emplace_back(i, 8);
    CHECK(progress == expectedProgress);
    CHECK(completions == Counts{{8, 2}});
    CHECK(s.recorder->finished == Counts{{6, 2}});
    CHECK(std::multiset<std::string>(s.recorder->prefetched.begin(), s.recorder->prefetched.end()) ==
          std::multiset<std::string>(paths.begin(), paths.end()));
    CHECK(s.requestedPaths() == std::multiset<std::string>(paths.begin(), paths.end()));
    CHECK(s.prefetcher->finishedCount() == 8);
    CHECK(s.prefetcher->skippedCount() == 2);
    REQUIRE_MESSAGE(s.drain(), "the cache's queue");
    for (const char* p : {"/a/ok0.jpg", "/a/ok7.jpg"}) CHECK(s.manager->diskImageExistsForURL(urlOf(s.server, p)));
    CHECK_FALSE(s.manager->diskImageExistsForURL(urlOf(s.server, "/a/fail3.jpg")));

    // The same list again is answered by the memory cache and the failed list,
    // each load ending before its start returns: the counts are the same.
    progress.clear();
    completions.clear();
    s.prefetcher->prefetchURLs(
        s.urls(paths), [&](std::uint64_t f, std::uint64_t t) { progress.emplace_back(f, t); },
        [&](std::uint64_t f, std::uint64_t k) { completions.emplace_back(f, k); });
    wait([&] { return !completions.empty(); }, "the cached list's completion");
    CHECK(progress == expectedProgress);
    CHECK(completions == Counts{{8, 2}});
    CHECK(s.recorder->finished == Counts{{6, 2}, {6, 2}});
    CHECK(s.server.requestCount() == paths.size());

    // An empty list starts nothing and reports nothing.
    s.prefetcher->prefetchURLs({}, [&](std::uint64_t f, std::uint64_t t) { progress.emplace_back(f, t); },
                               [&](std::uint64_t f, std::uint64_t k) { completions.emplace_back(f, k); });
    CHECK(s.prefetcher->requestedCount() == 0);
    CHECK(progress.size() == 8);
    CHECK(completions.size() == 1);
    CHECK(s.recorder->finished.size() == 2);

    // The process-wide prefetcher works through the shared downloader, raised to three.
    long before = RIWebImageDownloader::sharedDownloader()->maxConcurrentDownloads();
    sharedStack();
    auto shared = RIWebImagePrefetcher::sharedImagePrefetcher();
    CHECK(shared == RIWebImagePrefetcher::sharedImagePrefetcher());
    CHECK(shared->manager() != RIWebImageManager::sharedManager());
    CHECK(shared->manager()->imageDownloader() == RIWebImageDownloader::sharedDownloader());
    CHECK(RIWebImageDownloader::sharedDownloader()->maxConcurrentDownloads() == 3);
    RIWebImageDownloader::sharedDownloader()->setMaxConcurrentDownloads(before);
}

TEST_CASE("a list started mid-way through the previous one keeps clean counts for both") {
    struct Way {
        std::string name;
        bool queued;         // B starts from the main queue right after A's second load, else inside its callback
        std::size_t aHeard;  // A's loads the delegate heard of
    };
    for (const Way& way : {Way{"inside A's progress callback", false, 1},
                           Way{"from the main queue, before A's queued start", true, 2}}) {
        CAPTURE(way.name);
        Stack s;
        // A's two failures end first; at the second, B is started.
        std::vector<std::string> pathsA = {"/a/ok0.jpg", "/a/fail1.jpg", "/a/fail2.jpg",
                                           "/a/ok3.jpg", "/a/ok4.jpg",   "/a/ok5.jpg"};
        std::vector<std::string> pathsB = {"/b/ok0.jpg", "/b/ok1.jpg", "/b/fail2.jpg", "/b/ok3.jpg", "/b/ok4.jpg"};
        Counts progressA, completionsA, progressB, completionsB, completionsC;
        auto startC = [&] {
            s.prefetcher->prefetchURLs(s.urls({"/c/ok0.jpg"}), nullptr,
                                       [&](std::uint64_t f, std::uint64_t k) { completionsC.emplace_back(f, k); });
        };
        // What B has started once the main queue has run what was queued when B began
        // (a start A queued included): B's first three, no more.
        std::optional<std::uint64_t> requestedSoonAfterB;
        auto startB = [&] {
            dispatch_async(dispatch_get_main_queue(), [&] {
                dispatch_async(dispatch_get_main_queue(), [&] { requestedSoonAfterB = s.prefetcher->requestedCount(); });
            });
            s.prefetcher->prefetchURLs(
                s.urls(pathsB), [&](std::uint64_t f, std::uint64_t t) { progressB.emplace_back(f, t); },
                [&](std::uint64_t f, std::uint64_t k) {
                    completionsB.emplace_back(f, k);
                    startC();  // a list chained from the completion keeps its own completion
                });
        };
        s.prefetcher->prefetchURLs(
            s.urls(pathsA),
            [&](std::uint64_t f, std::uint64_t t) {
                progressA.emplace_back(f, t);
                if (f != 2) return;
                // Queued now, B's start runs before the start A queues after this callback.
                if (way.queued) dispatch_async(dispatch_get_main_queue(), startB);
                else startB();
            },
            [&](std::uint64_t f, std::uint64_t k) { completionsA.emplace_back(f, k); });

        wait([&] { return !progressB.empty() || s.gate->inFlight("/b") > 0; }, "list B under way");
        s.gate->open("/a/ok0.jpg");  // cancelled with A; its late answer must change nothing
        s.openInTurn({"/b/ok0.jpg", "/b/ok1.jpg", "/b/ok3.jpg", "/b/ok4.jpg"});
        s.openInTurn({"/c/ok0.jpg"});
        wait([&] { return !completionsC.empty(); }, "the completion of the list chained from B's");

        CHECK(requestedSoonAfterB == std::optional<std::uint64_t>(3));
        CHECK(progressA == Counts{{1, 6}, {2, 6}});
        CHECK(completionsA.empty());
        CHECK(progressB == Counts{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}});
        CHECK(completionsB == Counts{{5, 1}});
        CHECK(completionsC == Counts{{1, 0}});
        CHECK(s.recorder->finished == Counts{{4, 1}, {1, 0}});
        // The delegate heard of A's failures, then of B's five and C's one, each once.
        REQUIRE(s.recorder->prefetched.size() == way.aHeard + 6);
        for (std::size_t i = 0; i < way.aHeard; ++i) CHECK(s.recorder->prefetched[i].rfind("/a/fail", 0) == 0);
        std::multiset<std::string> afterA(s.recorder->prefetched.begin() + static_cast<long>(way.aHeard),
                                          s.recorder->prefetched.end());
        std::multiset<std::string> expected(pathsB.begin(), pathsB.end());
        expected.insert("/c/ok0.jpg");
        CHECK(afterA == expected);
        // B ran three at a time at most. A asked for its first three and at most the
        // one started when its first failure ended, nothing later.
        CHECK(s.gate->maxInFlight("/b") == 3);
        auto requested = s.requestedPaths();
        CHECK(requested.count("/a/ok3.jpg") <= 1);
        CHECK(requested.count("/a/ok4.jpg") + requested.count("/a/ok5.jpg") == 0);
        for (const auto& p : pathsB) CHECK_MESSAGE(requested.count(p) == 1, p);
    }
}

TEST_CASE("a cancelled list starts nothing more and reports nothing") {
    struct Way {
        std::string name;
        bool fromCallback;  // cancelled from its own progress callback, else by the caller
    };
    for (const Way& way : {Way{"by the caller", false}, Way{"from its progress callback", true}}) {
        CAPTURE(way.name);
        Stack s;
        s.gate->setFailuresWaitFor(2);  // the failure is seen only once ok1 and ok2 are held
        std::vector<std::string> paths = {"/a/fail0.jpg", "/a/ok1.jpg", "/a/ok2.jpg",
                                          "/a/ok3.jpg",   "/a/ok4.jpg", "/a/ok5.jpg"};
        Counts progress, completions;
        s.prefetcher->prefetchURLs(
            s.urls(paths),
            [&](std::uint64_t f, std::uint64_t t) {
                progress.emplace_back(f, t);
                if (way.fromCallback) s.prefetcher->cancelPrefetching();
            },
            [&](std::uint64_t f, std::uint64_t k) { completions.emplace_back(f, k); });
        wait([&] { return s.gate->inFlight("/a") >= 2 && !progress.empty(); },
             "the failure reported and two image answers held");
        // fail0 ended, so one more start is queued or has already gone out.
        if (!way.fromCallback) {
            wait([&] { return s.gate->inFlight("/a") == 3; }, "the next start after the failure");
            s.prefetcher->cancelPrefetching();
        }
        CHECK(s.prefetcher->prefetchURLs().empty());
        CHECK(s.prefetcher->requestedCount() == 0);
        CHECK_FALSE(s.manager->isRunning());
        std::size_t askedAtCancel = s.server.requestCount();
        s.gate->openAll();

        // A later list on the same prefetcher runs alone to its end.
        Counts after;
        s.prefetcher->prefetchURLs(s.urls({"/z/ok0.jpg"}), nullptr,
                                   [&](std::uint64_t f, std::uint64_t k) { after.emplace_back(f, k); });
        wait([&] { return !after.empty(); }, "the list after the cancel");
        CHECK(after == Counts{{1, 0}});
        CHECK(progress == Counts{{1, 6}});
        CHECK(completions.empty());
        CHECK(s.recorder->finished == Counts{{1, 0}});
        CHECK(s.server.requestCount() == askedAtCancel + 1);
        CHECK(s.prefetcher->finishedCount() == 1);
    }
}
