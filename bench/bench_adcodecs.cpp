// Throughput of the ad library's base-N codecs on 1 and 64 MiB of random bytes, next
// to OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock in the same run. OpenSSL has no
// base 32: the base-32 rows are measured against the same EVP base-64 routines,
// the nearest yardstick of the library. The figure to read is ours / EVP
// (throughput; above 1 is faster than OpenSSL), next to the goal of 0.9.
// Each side makes its output anew on every run, as the codecs hand back new
// text and bytes: at 64 MiB a fresh buffer's page faults weigh as much as the
// decoding itself, so a reused buffer on one side only would compare unlike work.
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>

#include "BenchSupport.h"
#include "adkit/foundation/codecs/AK_TKStringEncoding.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

// Ours and EVP's MB/s over bytesPerRun: the two run in turns, a run each per
// round, and each side's fastest run counts, so that a busy machine slows both
// alike instead of whichever happened to run during a burst of other work.
std::pair<double, double> fastestInTurns(std::size_t bytesPerRun, const std::function<void()>& ours,
                                         const std::function<void()>& evp, int rounds = 9) {
    double bestOurs = 1e30, bestEvp = 1e30;
    for (int round = 0; round < rounds; ++round) {
        auto start = bench::SteadyClock::now();
        ours();
        bestOurs = std::min(bestOurs, bench::seconds(start));
        start = bench::SteadyClock::now();
        evp();
        bestEvp = std::min(bestEvp, bench::seconds(start));
    }
    const auto megabytes = static_cast<double>(bytesPerRun) / 1e6;
    return {megabytes / bestOurs, megabytes / bestEvp};
}

std::string evpEncode(const Data& in) {
    std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), in.data(), static_cast<int>(in.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

Data evpDecode(const std::string& text) {
    Data out(3 * (text.size() / 4) + 3);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return out;
}

constexpr double kGoal = 0.9;

void row(const char* label, std::pair<double, double> figures) {
    const auto [ours, evp] = figures;
    std::printf("  %-22s %12.1f %12.1f %10.2f %6.2f\n", label, ours, evp, ours / evp, kGoal);
}

// One table of the four rows over `mebibytes` MiB of random bytes; false when
// the two sides disagree.
bool measure(std::size_t mebibytes, int rounds) {
    Data payload(mebibytes << 20);
    std::mt19937_64 gen(17);
    for (std::size_t i = 0; i + 8 <= payload.size(); i += 8) {
        const std::uint64_t v = gen();
        for (int b = 0; b < 8; ++b) payload[i + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(v >> (8 * b));
    }
    auto base64 = AK_TKStringEncoding::rfc4648Base64StringEncoding();
    auto base32 = AK_TKStringEncoding::rfc4648Base32StringEncoding();
    const std::string reference = evpEncode(payload);
    const std::string ours64 = base64->encode(payload);
    const std::string ours32 = base32->encode(payload);
    // Both sides must agree before their speed means anything.
    if (ours64 != reference || base64->decode(reference) != std::optional<Data>(payload) ||
        base32->decode(ours32) != std::optional<Data>(payload)) {
        std::printf("results differ from OpenSSL's (or do not round-trip)\n");
        return false;
    }
    std::printf("%zu MiB of random bytes: %zu characters of base 64, %zu of base 32\n", mebibytes, ours64.size(),
                ours32.size());
    std::printf("  %-22s %12s %12s %10s %6s\n", "", "ours MB/s", "EVP MB/s", "ours/EVP", "goal");
    const std::size_t n = payload.size();
    const auto evpEnc = [&] { auto text = evpEncode(payload); };
    const auto evpDec = [&] { auto bytes = evpDecode(reference); };
    row("base 64 encode", fastestInTurns(n, [&] { auto text = base64->encode(payload); }, evpEnc, rounds));
    row("base 64 decode", fastestInTurns(n, [&] { auto bytes = base64->decode(reference); }, evpDec, rounds));
    row("base 32 encode", fastestInTurns(n, [&] { auto text = base32->encode(payload); }, evpEnc, rounds));
    row("base 32 decode", fastestInTurns(n, [&] { auto bytes = base32->decode(ours32); }, evpDec, rounds));
    return true;
}

}  // namespace

int main() {
    std::printf("bench_adcodecs (build type %s)\n", QUORVANE_BUILD_TYPE);
    // 1 MiB stays in the caches and its buffers are reused without page faults:
    // the codecs' own speed. 64 MiB adds fresh memory for every result.
    return measure(1, 300) && measure(64, 9) ? 0 : 1;
}
