// The HTTP session manager over loopback next to two references in the same
// run, on the same URLs served by nginx: 1,000 sequential small GETs and one
// 256 MiB download written to a file.
//
// References:
//  - NLHTTPRequestOperation, the library's other road: the small GETs started
//    without a queue, the large body written to a file through its output
//    stream;
//  - the curl command line: the 1,000 small URLs in one invocation (a config
//    file listing them, one connection), the large body written to a file;
//    its process start is part of its time, once.
// Each figure is the median of five runs; ratios are times ours / reference
// (lower is better). The process's peak memory (VmHWM) must stay under
// 64 MiB: a download to file never holds its body.
// The bodies are pseudo-random bytes. In the warm-up, the session's and the
// operation's small bodies must be the file's bytes and each one's 256 MiB file
// must equal the served file byte for byte, as must the file of the curl
// command's last timed run; else the run fails. In the timed runs every body
// and file must have the served length.
// One run with these checks, Release build, 8 December 2026, load average
// about 50 (noisy): 1000 small GETs session 0.993 s, operation 0.367 s, curl
// 0.205 s; 256 MiB to file session 0.790 s, operation 0.520 s, curl 1.951 s;
// peak 34.3 MiB; every body and file as served.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "networking/NLHTTPRequestOperation.h"
#include "networking/NLHTTPSessionManager.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSStream.h"
#include "platform/runloop/NSThread.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/NginxServer.h"
#include "support/TestEnvironment.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using bench::SteadyClock;
constexpr int kRuns = 5;
constexpr int kSmallRequests = 1000;
constexpr std::uint64_t kPeakLimit = std::uint64_t(64) << 20;

using bench::peakMemory;
using bench::seconds;
using bench::timeCommand;

// The median of kRuns timings of `run`; negative when a run failed.
double medianOf(const std::function<double()>& run) { return bench::medianOf(kRuns, run); }


std::uintmax_t fileSize(const std::string& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// Whether the two files hold the same bytes (read a piece at a time: never held whole).
bool sameFile(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    if (!first || !second) return false;
    std::vector<char> x(1 << 20), y(1 << 20);
    while (first && second) {
        first.read(x.data(), static_cast<std::streamsize>(x.size()));
        second.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (first.gcount() != second.gcount() ||
            !std::equal(x.begin(), x.begin() + first.gcount(), y.begin()))
            return false;
    }
    return first.eof() && second.eof();
}

// Whether the body holds the text's bytes.
bool sameBytes(const std::string& text, const Data& body) {
    return text.size() == body.size() &&
           std::equal(text.begin(), text.end(), body.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

bool waitFor(const bool& done) { return NSRunLoop::mainRunLoop()->runUntil([&] { return done; }, 600), done; }

// ---- ours: the session manager

bool sessionGet(NLHTTPSessionManager& manager, const std::string& url, std::size_t size,
                const std::string* expected = nullptr) {
    bool done = false, ok = false;
    manager.GET(
        url, Value(),
        [&](const NLHTTPSessionManager::DataTaskPtr&, const Value& body) {
            ok = body.data() && body.data()->size() == size &&
                 (!expected || sameBytes(*expected, *body.data()));
            done = true;
        },
        [&](const NLHTTPSessionManager::DataTaskPtr&, const NSErrorPtr& error) {
            std::fprintf(stderr, "session GET failed: %s\n", error->description().c_str());
            done = true;
        });
    return waitFor(done) && ok;
}

bool sessionDownload(NLHTTPSessionManager& manager, const std::string& url, const std::string& path, std::size_t size) {
    std::filesystem::remove(path);
    bool done = false, ok = false;
    auto task = manager.downloadTaskWithRequest(
        NSURLRequest::requestWithURL(url), nullptr,
        [&](const NSURLPtr&, const std::shared_ptr<NSURLResponse>&) { return NSURL::fileURLWithPath(path); },
        [&](const std::shared_ptr<NSURLResponse>&, const Value&, const NSErrorPtr& error) {
            if (error) std::fprintf(stderr, "session download failed: %s\n", error->description().c_str());
            ok = !error && fileSize(path) == size;
            done = true;
        });
    if (!task) return false;
    task->resume();
    return waitFor(done) && ok;
}

// ---- the bare session underneath, for where the time goes

class BareDelegate : public NSURLSessionDataDelegate {
public:
    void URLSessionDataTaskDidReceiveData(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionDataTask>&,
                                          const Data& data) override {
        received += data.size();
    }
    void URLSessionTaskDidCompleteWithError(const NSURLSessionPtr&, const std::shared_ptr<NSURLSessionTask>&,
                                            const NSErrorPtr& error) override {
        failed = error != nullptr;
        // The main thread hears of it through its queue, as a client's completion would.
        dispatch_async(dispatch_get_main_queue(), [this] { done = true; });
    }
    std::atomic<std::size_t> received{0};
    std::atomic<bool> done{false}, failed{false};
};

bool bareGet(const NSURLSessionPtr& session, BareDelegate& delegate, const std::string& url, std::size_t size) {
    delegate.received = 0;
    delegate.done = false;
    auto task = session->dataTaskWithRequest(NSURLRequest::requestWithURL(url));
    if (!task) return false;
    task->resume();
    NSRunLoop::mainRunLoop()->runUntil([&] { return delegate.done.load(); }, 600);
    return delegate.done && !delegate.failed && delegate.received == size;
}

// ---- the request operation

bool operationFetch(const std::string& url, std::size_t size, const std::string* path,
                    const std::string* expected = nullptr) {
    auto op = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(url));
    op->setResponseSerializer(NLHTTPResponseSerializer::serializer());
    if (path) {
        std::filesystem::remove(*path);
        op->setOutputStream(NSOutputStream::outputStreamToFileAtPath(*path, false));
    }
    bool done = false, ok = false;
    op->setCompletionBlockWithSuccess(
        [&](const std::shared_ptr<NLHTTPRequestOperation>&, const Value& body) {
            ok = path ? fileSize(*path) == size
                      : body.data() && body.data()->size() == size &&
                            (!expected || sameBytes(*expected, *body.data()));
            done = true;
        },
        [&](const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr& error) {
            std::fprintf(stderr, "operation failed: %s\n", error->description().c_str());
            done = true;
        });
    op->start();
    return waitFor(done) && ok;
}

double timed(int count, const std::function<bool()>& one) {
    auto start = SteadyClock::now();
    for (int i = 0; i < count; ++i)
        if (!one()) return -1;
    return seconds(start);
}


void report(const char* what, double ours, double operation, double curl) {
    std::printf("%-30s session %7.3f s | operation %7.3f s, ours/operation %5.2f | curl command %7.3f s, "
                "ours/curl %5.2f\n",
                what, ours, operation, ours / operation, curl, ours / curl);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    testsupport::prepareProcess(argc, argv);
    NSThread::currentThread();
    NSRunLoop::makeMain();
    std::printf("bench_sessions (%s build), median of %d runs, lower ratios are better\n", QUORVANE_BUILD_TYPE, kRuns);

    testsupport::TempHome home;
    const std::string www = home.path() + "/www";
    std::filesystem::create_directories(www);
    const std::size_t smallSize = 512;
    const std::size_t bigSize = std::size_t(256) << 20;
    // Pseudo-random bytes, so that a byte out of place shows; the large file a
    // piece at a time.
    std::mt19937_64 gen(3);
    const auto randomBytes = [&](std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; i += 8) {
            const std::uint64_t v = gen();
            for (std::size_t b = 0; b < 8 && i + b < size; ++b) bytes[i + b] = static_cast<char>(v >> (8 * b));
        }
        return bytes;
    };
    const std::string smallBody = randomBytes(smallSize);
    {
        std::ofstream small(www + "/small", std::ios::binary);
        small << smallBody;
        std::ofstream big(www + "/big", std::ios::binary);
        for (std::size_t done = 0; done < bigSize; done += std::size_t(1) << 20) big << randomBytes(std::size_t(1) << 20);
    }
    testsupport::NginxServer nginx(www);
    const std::string smallURL = nginx.url("/small");
    const std::string bigURL = nginx.url("/big");
    const std::string target = home.path() + "/big.out";

    auto manager = NLHTTPSessionManager::manager();
    manager->setResponseSerializer(NLHTTPResponseSerializer::serializer());
    // Warm-up (the loading thread, the connections, nginx's file cache), and
    // every body against the served bytes.
    const char* wrong = !sessionGet(*manager, smallURL, smallSize, &smallBody)             ? "the session's GET"
                        : !sessionDownload(*manager, bigURL, target, bigSize)              ? "the session's download"
                        : !sameFile(target, www + "/big")                                  ? "the session's file"
                        : !operationFetch(smallURL, smallSize, nullptr, &smallBody)        ? "the operation's GET"
                        : !operationFetch(bigURL, bigSize, &target)                        ? "the operation's download"
                        : !sameFile(target, www + "/big")                                  ? "the operation's file"
                                                                                           : nullptr;
    if (wrong) {
        std::printf("FAIL: in the warm-up, %s failed or its body is not the served file's\n", wrong);
        return 1;
    }

    const double oursSmall =
        medianOf([&] { return timed(kSmallRequests, [&] { return sessionGet(*manager, smallURL, smallSize); }); });
    const double operationSmall =
        medianOf([&] { return timed(kSmallRequests, [&] { return operationFetch(smallURL, smallSize, nullptr); }); });
    auto bare = std::make_shared<BareDelegate>();
    auto bareSession = NSURLSession::sessionWithConfiguration(nullptr, bare);
    const double bareSmall =
        medianOf([&] { return timed(kSmallRequests, [&] { return bareGet(bareSession, *bare, smallURL, smallSize); }); });
    bareSession->invalidateAndCancel();
    const double oursBig = medianOf([&] { return timed(1, [&] { return sessionDownload(*manager, bigURL, target, bigSize); }); });
    const double operationBig = medianOf([&] { return timed(1, [&] { return operationFetch(bigURL, bigSize, &target); }); });

    char configPath[] = "/tmp/bench_sessions_curl_XXXXXX";
    const int fd = mkstemp(configPath);
    if (fd < 0) return 1;
    close(fd);
    {
        std::ofstream config(configPath);
        for (int i = 0; i < kSmallRequests; ++i) config << "url = \"" << smallURL << "\"\noutput = \"/dev/null\"\n";
    }
    const double curlSmall = medianOf([&] { return timeCommand(std::string("curl -sS --fail -K ") + configPath); });
    std::remove(configPath);
    const double curlBig = medianOf([&] { return timeCommand("curl -sS --fail -o '" + target + "' " + bigURL); });
    if (oursSmall < 0 || oursBig < 0 || operationSmall < 0 || operationBig < 0 || curlSmall < 0 || curlBig < 0) {
        std::printf("FAIL: a client failed\n");
        return 1;
    }
    if (!sameFile(target, www + "/big")) {
        std::printf("FAIL: the curl command's file is not the served file\n");
        return 1;
    }

    report("1000 sequential 512 B GETs", oursSmall, operationSmall, curlSmall);
    report("one 256 MiB download to file", oursBig, operationBig, curlBig);
    if (bareSmall > 0)
        std::printf("the bare session underneath: 1000 GETs %.3f s (session manager / bare session %.2f)\n", bareSmall,
                    oursSmall / bareSmall);
    std::printf("256 MiB: session %.0f MB/s, operation %.0f MB/s, curl %.0f MB/s\n", bigSize / oursBig / 1e6,
                bigSize / operationBig / 1e6, bigSize / curlBig / 1e6);
    manager->invalidateSessionCancelingTasks(true);
    nginx.stop();

    const std::uint64_t peak = peakMemory();
    std::printf("peak memory (VmHWM): %.1f MiB (limit %.0f MiB)\n", static_cast<double>(peak) / (1024.0 * 1024.0),
                static_cast<double>(kPeakLimit) / (1024.0 * 1024.0));
    if (peak == 0 || peak >= kPeakLimit) {
        std::printf("FAIL: peak memory over the limit\n");
        return 1;
    }
    return 0;
}
