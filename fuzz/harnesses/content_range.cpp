// Resuming a partial file: a file downloader finds 1000 bytes of "movie" on
// disk with the ETag of the answer that began them (only such a file is
// resumed by range; one without a validator starts over), asks the loopback server for "bytes=1000-", and the input is the raw
// reply (status line, Content-Range and the other header lines, body). The
// Content-Range checks of the downloader are not callable on their own, so this
// is the nearest public way in. Whatever the reply, the download must end, the
// file must hold every byte the downloader counted, the bytes kept must be the
// partial file's, a success must hold the whole announced length, and an
// answer to the ranged request that is neither 200 nor 206 (a 3xx page, a 204)
// must leave the partial file as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Harnesses.h"
#include "networking/FDFileDownloadManager.h"
#include "networking/FDFileDownloader.h"
#include "networking/FDPartialFile.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/FuzzSupport.h"
#include "support/RawReplyServer.h"

namespace fuzz::content_range {
namespace {

constexpr std::size_t kMaxReply = 64 * 1024;
constexpr std::size_t kPartialSize = 1000;

// One folder for the process's downloads (the file is written anew for each input).
const std::string& downloadFolder() {
    static const std::string* folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) fail("cannot make a download folder");
        return new std::string(pattern);
    }();
    return *folder;
}

std::string partialContent() {
    std::string bytes(kPartialSize, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Ending : public FDFileDownloaderDelegate {
public:
    void downloadDidReceiveFirstResponse(const std::shared_ptr<FDFileDownloader>&,
                                         const std::shared_ptr<NSURLResponse>& response) override {
        auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
        statuses.push_back(http ? http->statusCode() : 0);
    }
    void downloadDidFinishWithSuccess(const std::shared_ptr<FDFileDownloader>&, bool ok,
                                      const std::optional<std::string>&) override {
        check(!ended, "a download finished twice");
        ended = true;
        success = ok;
    }
    std::vector<long> statuses;  // of the responses the downloader accepted
    bool ended = false;
    bool success = false;
};

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxReply) return 0;
    auto& server = RawReplyServer::shared();
    server.setReply(std::string(reinterpret_cast<const char*>(data), size));
    const std::string folder = downloadFolder();
    const std::string partial = partialContent();
    {
        std::ofstream out(folder + "/movie", std::ios::binary | std::ios::trunc);
        out.write(partial.data(), static_cast<std::streamsize>(partial.size()));
        check(out.good(), "cannot write the partial file");
    }
    const std::string url = server.url("/movie.bin");
    FDResumeValidators validators;
    validators.url = url;
    validators.etag = "\"v1\"";
    FDPartialFile::keepValidators(folder + "/movie", validators);
    const std::uint64_t answeredBefore = server.answered();
    auto ending = std::make_shared<Ending>();
    auto download = FDFileDownloader::initWithURL(NSURL::URLWithString(url), folder, ending);
    download->setFileName("movie");
    FDFileDownloadManager::sharedInstance()->startDownload(download);
    bool ended = NSRunLoop::currentRunLoop()->runUntil([&] { return ending->ended && download->isFinished(); }, 30);
    if (!ended) download->cancelDownloadAndRemoveFile(false);
    check(ended, "a download from a server that closed did not end");

    std::string file = readFile(folder + "/movie");
    check(file.size() == download->totalBytesInFile(), "the file does not hold the bytes the download counted");
    if (download->resumeOffset() == kPartialSize)
        check(file.compare(0, kPartialSize, partial) == 0, "the kept part of the file changed");
    if (ending->success && download->totalFileLength() >= 0)
        check(file.size() == static_cast<std::uint64_t>(download->totalFileLength()),
              "a finished download does not hold the announced length");
    // A success with no accepted response can only be a 416 that names the
    // partial file's size as the whole length: the file stays as it was.
    if (ending->success && ending->statuses.empty())
        check(file == partial, "a download succeeded without a response and changed the file");
    // One request only: the ranged one (no restart from zero followed).
    bool onlyRanged = server.answered() - answeredBefore == 1;
    if (onlyRanged && !ending->statuses.empty()) {
        long status = ending->statuses.back();
        if (status != 200 && status != 206)
            check(file == partial, "an answer that is neither 200 nor 206 changed the partial file");
    }
    return 0;
}

}  // namespace fuzz::content_range
