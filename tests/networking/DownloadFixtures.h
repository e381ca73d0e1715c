#pragma once
// Shared by the downloader and download-manager tests: generated contents,
// file digests and a delegate that records what the downloader reports.
#include <openssl/evp.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "networking/FDFileDownloader.h"
#include "networking/FDPartialFile.h"
#include "platform/foundation/HexString.h"
#include "platform/runloop/NSThread.h"

namespace downloadtests {

// Deterministic pseudo-random bytes.
inline std::string generatedContent(std::size_t size, std::uint32_t seed) {
    std::string s(size, '\0');
    std::mt19937 rng(seed);
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        std::uint32_t v = rng();
        s[i] = static_cast<char>(v);
        s[i + 1] = static_cast<char>(v >> 8);
        s[i + 2] = static_cast<char>(v >> 16);
        s[i + 3] = static_cast<char>(v >> 24);
    }
    for (; i < size; ++i) s[i] = static_cast<char>(rng());
    return s;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A partial file as an earlier attempt leaves it: its bytes and the ETag of the
// answer that began it, kept for `url` (only such a file is resumed by range).
inline void writePartial(const std::string& path, const std::string& bytes, const std::string& url,
                         const std::string& etag) {
    writeFile(path, bytes);
    FDResumeValidators validators;
    validators.url = url;
    validators.etag = etag;
    FDPartialFile::keepValidators(path, validators);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string sha256(const std::string& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr);
    return hexString(md, n);
}

// Digest of a file read in pieces ("" when it cannot be read).
inline std::string sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in.gcount() > 0) EVP_DigestUpdate(ctx, buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_DigestFinal_ex(ctx, md, &n);
    EVP_MD_CTX_free(ctx);
    return hexString(md, n);
}

// Records the downloader's events in order, and whether any came off the main thread.
class RecordingDelegate : public FDFileDownloaderDelegate {
public:
    std::vector<std::string> events;
    bool offMainThread = false;
    int progressCalls = 0;
    std::uint64_t lastReceived = 0;
    std::int64_t lastTotal = 0;
    float lastProgress = 0;
    std::shared_ptr<NSURLResponse> response;
    NSErrorPtr error;
    std::optional<bool> success;
    std::optional<std::string> path;
    bool finishedWhenCompleted = true;

    void downloadDidReceiveFirstResponse(const std::shared_ptr<FDFileDownloader>&,
                                         const std::shared_ptr<NSURLResponse>& r) override {
        check();
        events.push_back("response");
        response = r;
    }
    void downloadDidReceiveData(const std::shared_ptr<FDFileDownloader>&, std::uint64_t received, std::int64_t total,
                                float progress) override {
        check();
        if (events.empty() || events.back() != "data") events.push_back("data");
        ++progressCalls;
        lastReceived = received;
        lastTotal = total;
        lastProgress = progress;
    }
    void downloadDidStopWithError(const std::shared_ptr<FDFileDownloader>&, const NSErrorPtr& e) override {
        check();
        events.push_back("error " + std::to_string(e ? e->code() : -1));
        error = e;
    }
    void downloadDidFinishWithSuccess(const std::shared_ptr<FDFileDownloader>& d, bool ok,
                                      const std::optional<std::string>& p) override {
        check();
        events.push_back(ok ? "finish yes" : "finish no");
        success = ok;
        path = p;
        // The operation counts as finished only after this call.
        finishedWhenCompleted = d->isFinished();
    }

private:
    void check() {
        if (!NSThread::isMainThread()) offMainThread = true;
    }
};

}  // namespace downloadtests
