// HTTP request operations over loopback next to the curl command line on the
// same URLs, in the same run: 1,000 sequential small GETs and one 256 MiB GET.
// Both clients fetch from the same loopback server; the figure to read is the
// ratio of times ours / curl (below 1: we are faster).
//
// curl fetches the 1,000 small URLs in one invocation (a config file listing them),
// so it reuses its connection as our network thread does; the process start is
// part of its time, once.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "networking/NLHTTPRequestOperation.h"
#include "platform/foundation/NSThread.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/LoopbackHttpServer.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// One GET through an operation, started without a queue as the catalogue client
// does; false when it failed or the body had another size.
bool fetch(const std::string& url, std::size_t expectedSize) {
    auto op = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(url));
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

// Runs the command and answers its wall time; negative when it failed.
double timeCommand(const std::string& command) {
    auto start = Clock::now();
    int status = std::system(command.c_str());
    double elapsed = seconds(start);
    return status == 0 ? elapsed : -1;
}

void report(const char* what, double ours, double curl) {
    std::printf("%-28s ours %8.3f s   curl %8.3f s   ratio ours/curl %6.2f\n", what, ours, curl, ours / curl);
}

}  // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    NSThread::currentThread();
    NSRunLoop::makeMain();
    std::printf("bench_http (%s build)\n", QUORVANE_BUILD_TYPE);

    const std::string small(512, 's');
    const std::size_t bigSize = std::size_t(256) << 20;
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/small", testsupport::Reply::text(small, "application/octet-stream"));
    server.route("GET", "/big", testsupport::serveBytes(std::string(bigSize, 'b')));
    const std::string smallURL = server.url("/small");
    const std::string bigURL = server.url("/big");

    // Warm-up: the network thread, the connection pool, the server's threads.
    if (!fetch(smallURL, small.size())) return 1;

    auto start = Clock::now();
    for (int i = 0; i < 1000; ++i)
        if (!fetch(smallURL, small.size())) return 1;
    const double oursSmall = seconds(start);

    start = Clock::now();
    if (!fetch(bigURL, bigSize)) return 1;
    const double oursBig = seconds(start);

    char configPath[] = "/tmp/bench_http_curl_XXXXXX";
    int fd = mkstemp(configPath);
    if (fd < 0) return 1;
    close(fd);
    {
        std::ofstream config(configPath);
        for (int i = 0; i < 1000; ++i) config << "url = \"" << smallURL << "\"\noutput = \"/dev/null\"\n";
    }
    const double curlSmall = timeCommand(std::string("curl -sS --fail -K ") + configPath);
    std::remove(configPath);
    const double curlBig = timeCommand("curl -sS --fail -o /dev/null " + bigURL);
    if (curlSmall < 0 || curlBig < 0) {
        std::fprintf(stderr, "curl failed\n");
        return 1;
    }

    report("1000 sequential 512 B GETs", oursSmall, curlSmall);
    report("one 256 MiB GET", oursBig, curlBig);
    std::printf("256 MiB: ours %.0f MB/s, curl %.0f MB/s\n", bigSize / oursBig / 1e6, bigSize / curlBig / 1e6);
    return 0;
}
