#pragma once
// Measures the benchmarks share: wall time since a moment, the median of a
// few timed runs, a timed command line, the process's peak memory, the CPU
// time and context switches of this process or of its finished children, and
// the throughput of a block run again and again.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using SteadyClock = std::chrono::steady_clock;

inline double seconds(SteadyClock::time_point since) {
    return std::chrono::duration<double>(SteadyClock::now() - since).count();
}

// The median of the values; 0 for none.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median of `runs` timings of `run`; negative when a run failed.
inline double medianOf(int runs, const std::function<double()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t = run();
        if (t < 0) return -1;
        times.push_back(t);
    }
    return median(std::move(times));
}

// Runs the command and answers its wall time; negative when it failed.
inline double timeCommand(const std::string& command) {
    const auto start = SteadyClock::now();
    const int status = std::system(command.c_str());
    const double elapsed = seconds(start);
    return status == 0 ? elapsed : -1;
}

// The process's peak resident memory (VmHWM) in bytes; 0 when unreadable.
inline std::uint64_t peakMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;  // kB
    return 0;
}

// CPU time (user and system) and context switches (voluntary and not) of
// this process, every thread, or of its children that ended and were waited
// for (RUSAGE_CHILDREN: a command run by timeCommand).
struct Usage {
    double cpuSeconds = 0;
    long contextSwitches = 0;

    static Usage of(int who) {
        rusage usage{};
        if (getrusage(who, &usage) != 0) return {};
        const auto secondsOf = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
        return {secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime), usage.ru_nvcsw + usage.ru_nivcsw};
    }
    Usage operator-(const Usage& earlier) const {
        return {cpuSeconds - earlier.cpuSeconds, contextSwitches - earlier.contextSwitches};
    }
};

// MB/s of a block run again and again for at least minSeconds, after one
// warm-up run.
inline double throughput(std::size_t bytesPerRun, const std::function<void()>& block, double minSeconds) {
    block();  // warm up
    std::size_t runs = 0;
    const auto start = SteadyClock::now();
    double elapsed = 0;
    do {
        block();
        ++runs;
        elapsed = seconds(start);
    } while (elapsed < minSeconds);
    return static_cast<double>(bytesPerRun) * static_cast<double>(runs) / elapsed / 1e6;
}

// Makes doctest's assertions outside test cases (the test peers' runners check
// their start with them) end the run with the failed expression. `context`
// must live as long as the run.
template <class DoctestContext>
inline void exitOnFailedAssertions(DoctestContext& context) {
    context.setAsDefaultForAssertsOutOfTestCases();
    context.setAssertHandler([](const auto& data) {
        std::fprintf(stderr, "%s:%d: %s failed\n", data.m_file, data.m_line, data.m_expr);
        std::exit(1);
    });
}

}  // namespace bench
