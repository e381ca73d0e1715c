// Throughput of the reply codecs (Base64 decoding, AES-256-CBC decryption) next to
// OpenSSL's own EVP routines on the same input, in the same run. Two inputs: a
// realistic catalogue reply (30 titles, JSON sealed with AES and sent as Base64)
// and a 16 MiB payload. The one figure to read is the throughput ratio ours /
// EVP (MB/s over MB/s: higher is better, above 1 faster than OpenSSL). Before
// anything is timed, our Base64 text and bytes and our plaintext must equal
// OpenSSL's, else the run fails.
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "BenchSupport.h"
#include "core/AESAdditions.h"
#include "core/Base64.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

const std::string kKey = "7d1f0a9c3b5e28f4a6c0d2e9b1f37a58";  // 32 characters, as the catalogue's reply key

// MB/s over bytesPerRun, run for at least minSeconds.
double throughput(std::size_t bytesPerRun, const std::function<void()>& block, double minSeconds = 0.4) {
    return bench::throughput(bytesPerRun, block, minSeconds);
}

std::string catalogueReply() {
    static const char* const genres[] = {"Drama", "Comedy", "Thriller", "Documentary", "Animation", "Science fiction"};
    std::mt19937 gen(42);
    std::string json = "{\"status\":1,\"message\":\"\",\"total\":30,\"data\":[";
    for (int i = 0; i < 30; ++i) {
        if (i) json += ",";
        const int id = 10000 + static_cast<int>(gen() % 90000);
        json += "{\"id\":\"" + std::to_string(id) + "\",\"title\":\"Title number " + std::to_string(i + 1) +
                " of the catalogue\",\"year\":\"" + std::to_string(1960 + gen() % 60) + "\",\"genre\":\"" +
                genres[gen() % 6] + "\",\"rating\":\"" + std::to_string(gen() % 10) + "." + std::to_string(gen() % 10) +
                "\",\"thumb\":\"http://posters.example.net/images/" + std::to_string(id) +
                "/poster_342x513.jpg\",\"duration\":\"" + std::to_string(80 + gen() % 80) +
                " min\",\"description\":\"A long description of the film as the catalogue sends it, with its cast, "
                "its director and a few lines about the story so that the reply has the weight of a real one.\","
                "\"chapters\":\"1\",\"type\":\"" + (i % 3 ? "movie" : "tv") + "\"}";
    }
    return json + "]}";
}

Data evpCrypt(bool encrypt, const Data& in) {
    Data out(in.size() + 16);
    unsigned char iv[16] = {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n1 = 0, n2 = 0;
    EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char*>(kKey.data()), iv,
                      encrypt ? 1 : 0);
    bool ok = EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
              EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) return {};
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

std::string evpBase64Encode(const Data& in) {
    std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), in.data(), static_cast<int>(in.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

// EVP_DecodeBlock keeps the bytes of the padding; the caller trims them.
std::size_t evpBase64Decode(const std::string& text, Data& out) {
    out.resize(3 * (text.size() / 4) + 3);
    int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    std::size_t pad = 0;
    if (!text.empty() && text.back() == '=') pad = (text.size() > 1 && text[text.size() - 2] == '=') ? 2 : 1;
    return n < 0 ? 0 : static_cast<std::size_t>(n) - pad;
}

void row(const char* label, double ours, double evp) {
    std::printf("  %-26s %12.1f %12.1f %10.2f\n", label, ours, evp, ours / evp);
}

bool benchInput(const char* title, const Data& plain, int& failures) {
    const Data cipher = evpCrypt(true, plain);
    const std::string text = evpBase64Encode(cipher);

    // Both sides must agree before their speed means anything.
    auto ourCipher = dataWithBase64EncodedString(text);
    auto ourPlain = ourCipher ? AES256DecryptWithKey(*ourCipher, kKey) : std::nullopt;
    if (!ourCipher || *ourCipher != cipher || !ourPlain || *ourPlain != plain || base64EncodedString(cipher) != text) {
        std::printf("FAIL: %s: results differ from OpenSSL's\n", title);
        ++failures;
        return false;
    }

    std::printf("%s: %zu bytes of plaintext, %zu of ciphertext, %zu of Base64\n", title, plain.size(), cipher.size(),
                text.size());
    std::printf("  %-26s %12s %12s %10s\n", "", "ours MB/s", "EVP MB/s", "ours/EVP");
    Data scratch;
    const double b64Ours = throughput(text.size(), [&] { auto d = dataWithBase64EncodedString(text); });
    const double b64Evp = throughput(text.size(), [&] { evpBase64Decode(text, scratch); });
    row("Base64 decode", b64Ours, b64Evp);
    const double encOurs = throughput(cipher.size(), [&] { auto s = base64EncodedString(cipher); });
    const double encEvp = throughput(cipher.size(), [&] { auto s = evpBase64Encode(cipher); });
    row("Base64 encode", encOurs, encEvp);
    const double aesOurs = throughput(cipher.size(), [&] { auto p = AES256DecryptWithKey(cipher, kKey); });
    const double aesEvp = throughput(cipher.size(), [&] { auto p = evpCrypt(false, cipher); });
    row("AES-256-CBC decrypt", aesOurs, aesEvp);
    const double allOurs = throughput(text.size(), [&] {
        auto c = dataWithBase64EncodedString(text);
        auto p = AES256DecryptWithKey(*c, kKey);
    });
    const double allEvp = throughput(text.size(), [&] {
        const std::size_t n = evpBase64Decode(text, scratch);
        scratch.resize(n);
        auto p = evpCrypt(false, scratch);
    });
    row("Base64 + AES (whole reply)", allOurs, allEvp);
    return true;
}

}  // namespace

int main() {
    std::printf("bench_codecs (build type %s)\n", QUORVANE_BUILD_TYPE);
    int failures = 0;
    const std::string reply = catalogueReply();
    benchInput("catalogue reply, 30 titles", Data(reply.begin(), reply.end()), failures);

    Data payload(16u << 20);
    std::mt19937_64 gen(7);
    for (std::size_t i = 0; i + 8 <= payload.size(); i += 8) {
        const std::uint64_t v = gen();
        for (int b = 0; b < 8; ++b) payload[i + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(v >> (8 * b));
    }
    benchInput("payload, 16 MiB", payload, failures);
    return failures == 0 ? 0 : 1;
}
