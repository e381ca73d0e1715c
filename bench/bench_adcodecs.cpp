// Throughput of the ad library's base-N codecs on 64 MiB of random bytes, next
// to OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock in the same run. OpenSSL has no
// base 32: the base-32 rows are measured against the same EVP base-64 routines,
// the nearest yardstick of the library. The figure to read is ours / EVP
// (throughput; above 1 is faster than OpenSSL), next to the goal of 0.9.
// Each side makes its output anew on every run, as the codecs hand back new
// text and bytes: at 64 MiB a fresh buffer's page faults weigh as much as the
// decoding itself, so a reused buffer on one side only would compare unlike work.
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "BenchSupport.h"
#include "adkit/foundation/codecs/AK_TKStringEncoding.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

// MB/s over bytesPerRun, run for at least minSeconds.
double throughput(std::size_t bytesPerRun, const std::function<void()>& block, double minSeconds = 1.0) {
    return bench::throughput(bytesPerRun, block, minSeconds);
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

void row(const char* label, double ours, double evp) {
    std::printf("  %-22s %12.1f %12.1f %10.2f %6.2f\n", label, ours, evp, ours / evp, kGoal);
}

}  // namespace

int main() {
    std::printf("bench_adcodecs (build type %s)\n", QUORVANE_BUILD_TYPE);
    Data payload(64u << 20);
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
        return 1;
    }
    std::printf("64 MiB of random bytes: %zu characters of base 64, %zu of base 32\n", ours64.size(), ours32.size());
    std::printf("  %-22s %12s %12s %10s %6s\n", "", "ours MB/s", "EVP MB/s", "ours/EVP", "goal");
    const double evpEnc = throughput(payload.size(), [&] { auto s = evpEncode(payload); });
    const double evpDec = throughput(payload.size(), [&] { auto d = evpDecode(reference); });
    row("base 64 encode", throughput(payload.size(), [&] { auto s = base64->encode(payload); }), evpEnc);
    row("base 64 decode", throughput(payload.size(), [&] { auto d = base64->decode(reference); }), evpDec);
    row("base 32 encode", throughput(payload.size(), [&] { auto s = base32->encode(payload); }), evpEnc);
    row("base 32 decode", throughput(payload.size(), [&] { auto d = base32->decode(ours32); }), evpDec);
    return 0;
}
