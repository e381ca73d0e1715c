#pragma once
// The throughput measure the codec benchmarks share: MB/s of a block run
// again and again for at least a given time, after one warm-up run.
#include <chrono>
#include <cstddef>
#include <functional>

namespace bench {

inline double throughput(std::size_t bytesPerRun, const std::function<void()>& block, double minSeconds) {
    using clock = std::chrono::steady_clock;
    block();  // warm up
    std::size_t runs = 0;
    const auto start = clock::now();
    double elapsed = 0;
    do {
        block();
        ++runs;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < minSeconds);
    return static_cast<double>(bytesPerRun) * static_cast<double>(runs) / elapsed / 1e6;
}

}  // namespace bench
