// HTTP request operations over loopback next to two references in the same
// run, on the same URLs served by nginx: 1,000 sequential small GETs and one
// 256 MiB GET whose body is kept in memory.
//
// References:
//  - libcurl in process: one easy handle reused for every request (so one
//    connection, as our network thread keeps), the body appended to memory
//    as ours is; the yardstick for the cost of our layers;
//  - the curl command line: the 1,000 small URLs in one invocation (a config
//    file listing them, one connection), the large body written to /dev/null;
//    its process start is part of its time, once.
// Each figure is the median of five runs; ratios are times ours / reference
// (lower is better, below 1: we are faster).
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "networking/NLHTTPRequestOperation.h"
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

using bench::seconds;
using bench::timeCommand;

// The median of kRuns timings of `run`; negative when a run failed.
double medianOf(const std::function<double()>& run) { return bench::medianOf(kRuns, run); }

// One GET through an operation, started without a queue as the catalogue client
// does; false when it failed or the body had another size.
bool fetch(const std::string& url, std::size_t expectedSize) {
    auto op = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(url));
    op->setMaximumResponseSize(expectedSize);
    bool done = false, ok = false;
    op->setCompletionBlockWithSuccess(
        [&](const std::shared_ptr<NLHTTPRequestOperation>&, const Value& body) {
            ok = body.data() && body.data()->size() == expectedSize;
            done = true;
        },
        [&](const std::shared_ptr<NLHTTPRequestOperation>&, const NSErrorPtr& error) {
            std::fprintf(stderr, "request failed: %s\n", error->description().c_str());
            done = true;
        });
    op->start();
    NSRunLoop::mainRunLoop()->runUntil([&] { return done; }, 600);
    return ok;
}

double oursTimed(const std::string& url, std::size_t size, int count) {
    auto start = SteadyClock::now();
    for (int i = 0; i < count; ++i)
        if (!fetch(url, size)) return -1;
    return seconds(start);
}

// libcurl in this process, the body kept in memory.
class CurlYardstick {
public:
    CurlYardstick() : easy_(curl_easy_init()) {}
    ~CurlYardstick() {
        if (easy_) curl_easy_cleanup(easy_);
    }
    CurlYardstick(const CurlYardstick&) = delete;
    CurlYardstick& operator=(const CurlYardstick&) = delete;

    bool fetch(const std::string& url, std::size_t expectedSize) {
        if (!easy_) return false;
        body_.clear();
        body_.shrink_to_fit();
        if (curl_easy_setopt(easy_, CURLOPT_URL, url.c_str()) != CURLE_OK ||
            curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlYardstick::write) != CURLE_OK ||
            curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this) != CURLE_OK ||
            curl_easy_setopt(easy_, CURLOPT_FAILONERROR, 1L) != CURLE_OK)
            return false;
        if (curl_easy_perform(easy_) != CURLE_OK) return false;
        return body_.size() == expectedSize;
    }

    double timed(const std::string& url, std::size_t size, int count) {
        auto start = SteadyClock::now();
        for (int i = 0; i < count; ++i)
            if (!fetch(url, size)) return -1;
        return seconds(start);
    }

private:
    static std::size_t write(char* data, std::size_t size, std::size_t count, void* self) {
        auto* me = static_cast<CurlYardstick*>(self);
        if (me->body_.empty()) {
            // Room for the announced length at once, as our memory stream takes it.
            curl_off_t length = -1;
            if (curl_easy_getinfo(me->easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0)
                me->body_.reserve(static_cast<std::size_t>(length));
        }
        me->body_.insert(me->body_.end(), data, data + size * count);
        return size * count;
    }

    CURL* easy_;
    std::vector<char> body_;
};


void report(const char* what, double ours, double inProcess, double commandLine) {
    std::printf("%-28s ours %7.3f s | libcurl in process %7.3f s, ours/libcurl %5.2f | curl command %7.3f s, "
                "ours/curl %5.2f\n",
                what, ours, inProcess, ours / inProcess, commandLine, ours / commandLine);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    testsupport::prepareProcess(argc, argv);
    NSThread::currentThread();
    NSRunLoop::makeMain();
    std::printf("bench_http (%s build), median of %d runs, lower ratios are better\n", QUORVANE_BUILD_TYPE, kRuns);
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;

    testsupport::TempHome home;
    const std::string www = home.path() + "/www";
    std::filesystem::create_directories(www);
    const std::size_t smallSize = 512;
    const std::size_t bigSize = std::size_t(256) << 20;
    {
        std::ofstream small(www + "/small", std::ios::binary);
        small << std::string(smallSize, 's');
        std::ofstream big(www + "/big", std::ios::binary);
        const std::string piece(1 << 20, 'b');
        for (std::size_t done = 0; done < bigSize; done += piece.size()) big << piece;
    }
    testsupport::NginxServer nginx(www);
    const std::string smallURL = nginx.url("/small");
    const std::string bigURL = nginx.url("/big");

    // Warm-up: the network thread, the connections, nginx's file cache.
    CurlYardstick yardstick;
    if (!fetch(smallURL, smallSize) || !fetch(bigURL, bigSize) || !yardstick.fetch(bigURL, bigSize)) return 1;

    const double oursSmall = medianOf([&] { return oursTimed(smallURL, smallSize, kSmallRequests); });
    const double libcurlSmall = medianOf([&] { return yardstick.timed(smallURL, smallSize, kSmallRequests); });
    const double oursBig = medianOf([&] { return oursTimed(bigURL, bigSize, 1); });
    const double libcurlBig = medianOf([&] { return yardstick.timed(bigURL, bigSize, 1); });

    char configPath[] = "/tmp/bench_http_curl_XXXXXX";
    int fd = mkstemp(configPath);
    if (fd < 0) return 1;
    close(fd);
    {
        std::ofstream config(configPath);
        for (int i = 0; i < kSmallRequests; ++i) config << "url = \"" << smallURL << "\"\noutput = \"/dev/null\"\n";
    }
    const double curlSmall = medianOf([&] { return timeCommand(std::string("curl -sS --fail -K ") + configPath); });
    std::remove(configPath);
    const double curlBig = medianOf([&] { return timeCommand("curl -sS --fail -o /dev/null " + bigURL); });
    if (oursSmall < 0 || oursBig < 0 || libcurlSmall < 0 || libcurlBig < 0 || curlSmall < 0 || curlBig < 0) {
        std::fprintf(stderr, "a client failed\n");
        return 1;
    }

    report("1000 sequential 512 B GETs", oursSmall, libcurlSmall, curlSmall);
    report("one 256 MiB GET into memory", oursBig, libcurlBig, curlBig);
    std::printf("256 MiB: ours %.0f MB/s, libcurl %.0f MB/s, curl %.0f MB/s\n", bigSize / oursBig / 1e6,
                bigSize / libcurlBig / 1e6, bigSize / curlBig / 1e6);
    nginx.stop();
    curl_global_cleanup();
    return 0;
}
