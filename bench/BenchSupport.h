#pragma once
// Measures the benchmarks share: wall time since a moment, the median of a
// few timed runs, a timed command line, the process's peak memory, and the
// throughput of a block run again and again.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
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

// The median of `runs` timings of `run`; negative when a run failed.
inline double medianOf(int runs, const std::function<double()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t = run();
        if (t < 0) return -1;
        times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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

}  // namespace bench
