#include "networking/FDFileDownloader.h"

#include <sys/stat.h>

#include <cstdlib>
#include <numeric>

#include "networking/FDFileManagerExtension.h"
#include "networking/FDPartialFile.h"
#include "networking/NLLocalizedString.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLRequest.h"

namespace {

constexpr std::size_t kMaxRateSamples = 6;
constexpr double kRequestTimeout = 30;
constexpr std::size_t kMaxFileNameBytes = 200;

using FDPartialFile::sizeOfFile;

// The downloader's texts come from the main bundle's default string table.
std::string localized(const std::string& key) { return NLLocalizedStringFromTable(key, "Localizable"); }

}  // namespace

// ------------------------------------------------------------------ creation

FDFileDownloader::FDFileDownloader() = default;

FDFileDownloader::~FDFileDownloader() {
    if (speedTimer_) speedTimer_->invalidate();
}

std::shared_ptr<FDFileDownloader> FDFileDownloader::initWithURL(
    const NSURLPtr& url, const std::string& downloadPath, const std::shared_ptr<FDFileDownloaderDelegate>& delegate) {
    auto download = std::make_shared<FDFileDownloader>();
    download->downloadURL_ = url;
    download->delegate_ = delegate;
    download->setupPath(downloadPath);
    download->state_ = FDFileDownloaderStateReady;
    return download;
}

std::shared_ptr<FDFileDownloader> FDFileDownloader::initWithURL(const NSURLPtr& url, const std::string& downloadPath,
                                                                FirstResponseBlock firstResponse,
                                                                ProgressBlock progress, ErrorBlock error,
                                                                CompleteBlock complete) {
    auto download = initWithURL(url, downloadPath, nullptr);
    std::lock_guard lock(download->mutex_);
    download->firstResponseBlock_ = std::move(firstResponse);
    download->progressBlock_ = std::move(progress);
    download->errorBlock_ = std::move(error);
    download->completeBlock_ = std::move(complete);
    return download;
}

void FDFileDownloader::setupPath(const std::string& path) {
    NSErrorPtr error;
    if (NSFileManagerFDFileDownload::createDirFromPath(path, &error)) {
        std::lock_guard lock(mutex_);
        pathToDownloadDirectory_ = path;
        return;
    }
    if (error) {
        // Reported at once; the download ends here, keeping any file.
        notifyFromError(error);
        bool end = false;
        {
            std::lock_guard lock(mutex_);
            if (!started_ && !transferEnded_) end = transferEnded_ = true;
        }
        if (end) notifyFromCompletionWithSuccess(false, fileName());
    }
}

void FDFileDownloader::setPathToDownloadDirectory(const std::string& path) { setupPath(path); }

std::string FDFileDownloader::pathToDownloadDirectory() const {
    std::lock_guard lock(mutex_);
    return pathToDownloadDirectory_;
}

std::string FDFileDownloader::fileName() const {
    {
        std::lock_guard lock(mutex_);
        if (!fileName_.empty()) return fileName_;
    }
    if (!downloadURL_) return {};
    auto reparsed = NSURL::URLWithString(downloadURL_->absoluteString());
    return reparsed ? reparsed->lastPathComponent() : std::string();
}

void FDFileDownloader::setFileName(const std::string& name) {
    std::lock_guard lock(mutex_);
    fileName_ = name;
}

std::string FDFileDownloader::pathToFile() const {
    return stringByAppendingPathComponent(pathToDownloadDirectory(), safeFileName(fileName()));
}

std::shared_ptr<FDFileDownloaderDelegate> FDFileDownloader::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void FDFileDownloader::setDelegate(const std::shared_ptr<FDFileDownloaderDelegate>& delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = delegate;
}

NSErrorPtr FDFileDownloader::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::string FDFileDownloader::safeFileName(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f)
            out.push_back('_');
        else
            out.push_back(static_cast<char>(c));
    }
    // No "..": a run of dots becomes one dot.
    std::string collapsed;
    for (char c : out) {
        if (c == '.' && !collapsed.empty() && collapsed.back() == '.') continue;
        collapsed.push_back(c);
    }
    auto first = collapsed.find_first_not_of(' ');
    auto last = collapsed.find_last_not_of(' ');
    collapsed = first == std::string::npos ? std::string() : collapsed.substr(first, last - first + 1);
    if (collapsed.size() > kMaxFileNameBytes) {
        std::size_t cut = kMaxFileNameBytes;
        // Do not cut inside a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(collapsed[cut]) & 0xC0) == 0x80) --cut;
        collapsed.resize(cut);
    }
    if (collapsed.empty() || collapsed == ".") return "download";
    return collapsed;
}

// ------------------------------------------------------------------ figures

std::int64_t FDFileDownloader::remainingTime() const {
    std::int64_t rate = speedRate_;
    std::int64_t expected = expectedDataLength_;
    if (rate < 1 || expected < 0) return -1;
    auto left = expected - static_cast<std::int64_t>(receivedDataLength_.load());
    if (left < 0) left = 0;
    return left / rate;
}

float FDFileDownloader::progress() const {
    std::int64_t expected = expectedDataLength_;
    if (expected < 0) return -1.0f;
    if (expected == 0) return 0.0f;
    return static_cast<float>(receivedDataLength_.load()) / static_cast<float>(expected);
}

std::int64_t FDFileDownloader::totalFileLength() const {
    std::int64_t expected = expectedDataLength_;
    if (expected < 0) return -1;
    return static_cast<std::int64_t>(resumeOffset_.load()) + expected;
}

NSErrorPtr FDFileDownloader::makeError(long code, const std::string& description, Value extra) {
    Value info = Value::dictionary();
    info.setObject(NSLocalizedDescriptionKey, description);
    if (extra.isDictionary()) {
        for (const auto& [key, value] : *extra.dictionaryRef()) info.setObject(key, value);
    }
    return NSError::errorWithDomain(FDFileDownloadErrorDomain, code, info);
}

// ------------------------------------------------------------------ dependencies

void FDFileDownloader::addDependentDownload(const std::shared_ptr<FDFileDownloader>& download) {
    addDependency(download);
}

// ------------------------------------------------------------------ the transfer

void FDFileDownloader::start() {
    auto runLoop = NSRunLoop::currentRunLoop();
    {
        std::lock_guard lock(mutex_);
        if (started_ || cancelRequested_ || transferEnded_ || finished_) return;
        started_ = true;
        runLoop_ = runLoop;
    }
    willChangeValueForKey("isExecuting");
    executing_ = true;
    didChangeValueForKey("isExecuting");

    if (!beginTransfer(true)) return;

    auto weak = weakSelf<FDFileDownloader>();
    speedTimer_ = NSTimer::timerWithTimeInterval(
        1.0,
        [weak](NSTimer&) {
            if (auto self = weak.lock()) self->updateTransferRate();
        },
        true);
    runLoop->addTimer(speedTimer_, NSDefaultRunLoopMode);
    runLoop->addTimer(speedTimer_, NSRunLoopCommonModes);
    if (state_ == FDFileDownloaderStateReady) state_ = FDFileDownloaderStateDownloading;

    // Keep this thread in its run loop until the transfer has closed its file.
    auto keep = self<FDFileDownloader>();
    while (!loopDone_) runLoop->runUntil([keep] { return keep->loopDone_.load(); }, 3600);
    {
        std::lock_guard lock(mutex_);
        runLoop_.reset();
    }
}

bool FDFileDownloader::beginTransfer(bool withRange) {
    auto url = downloadURL_;
    auto request = NSMutableURLRequest::requestWithURL(url ? url->absoluteString() : std::string(),
                                                       NSURLRequestUseProtocolCachePolicy, kRequestTimeout);
    if (!url || !NSURLConnection::canHandleRequest(request)) {
        endTransfer(End::Failed, makeError(FDFileDownloadErrorInvalidURL,
                                           format("Invalid URL provided: %@", url ? url->absoluteString() : "(null)")));
        return false;
    }
    std::string path = pathToFile();
    std::uint64_t offset = 0;
    auto existing = sizeOfFile(path);
    // Without a validator kept from the answer that began the file, a resume
    // could splice a changed resource onto the old bytes unnoticed: the whole
    // resource is asked for, and the bytes held go once its answer is accepted.
    auto kept = existing && *existing > 0 && withRange ? FDPartialFile::readValidators(path, url->absoluteString())
                                                       : std::nullopt;
    discardHeld_ = existing && *existing > 0 && withRange && !kept;
    NSErrorPtr fileError;
    if (kept) {
        offset = *existing;
    } else if (discardHeld_) {
        // Kept as it is until an answer brings content.
    } else if (!NSFileManager::defaultManager()->createFileAtPath(path, Data())) {
        fileError = NSFileErrorFromErrno(errno ? errno : EIO, path, false);
    }
    if (!fileError) file_ = NSFileHandle::fileHandleForWritingAtPath(path, &fileError);
    if (!file_) {
        endTransfer(End::Failed, fileError ? fileError
                                           : makeError(FDFileDownloadErrorConnectionFailed,
                                                       format("Download failed for file: %@. Reason: %@", fileName(),
                                                              "the file cannot be opened")));
        return false;
    }
    // An empty partial file asks for the whole resource, without a range.
    if (offset > 0) {
        file_->seekToFileOffset(offset);
        request->setValue(format("bytes=%lld-", static_cast<long long>(offset)), "Range");
        request->setValue(kept->ifRange(), "If-Range");
    }
    rangeRequested_ = offset > 0;
    resumeOffset_ = offset;
    receivedDataLength_ = 0;
    expectedDataLength_ = 0;
    previousTotal_ = 0;
    speedRate_ = 0;
    responseAccepted_ = false;
    completeOn416_ = false;
    Data().swap(receivedDataBuffer_);
    samplesOfDownloadedBytes_.clear();

    connection_ = NSURLConnection::initWithRequest(request, self<FDFileDownloader>(), false);
    if (!connection_) {
        endTransfer(End::Failed, makeError(FDFileDownloadErrorInvalidURL,
                                           format("Invalid URL provided: %@", url->absoluteString())));
        return false;
    }
    std::shared_ptr<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = runLoop_;
    }
    connection_->scheduleInRunLoop(loop, NSDefaultRunLoopMode);
    connection_->start();
    return true;
}

void FDFileDownloader::restartFromZero() {
    if (restarted_) {
        endTransfer(End::Failed,
                    makeError(FDFileDownloadErrorConnectionFailed,
                              format("Download failed for file: %@. Reason: %@", fileName(),
                                     "the server does not answer the range it was asked for")));
        return;
    }
    restarted_ = true;
    if (connection_) connection_->cancel();
    connection_.reset();
    if (file_) file_->closeFile();
    file_.reset();
    std::shared_ptr<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = runLoop_;
    }
    // Outside the connection's delegate call that asked for it.
    auto me = this->self<FDFileDownloader>();
    loop->performBlock([me] {
        {
            std::lock_guard lock(me->mutex_);
            if (me->transferEnded_) return;
        }
        me->beginTransfer(false);
    });
}

FDFileDownloader::Answer FDFileDownloader::judgeResponse(long status, const NSHTTPURLResponse* http) const {
    std::optional<FDContentRange> range;
    if (http)
        if (auto field = http->valueForHTTPHeaderField("Content-Range")) range = FDContentRange::parse(*field);
    const std::uint64_t held = resumeOffset_;
    if (status >= 400) {
        if (rangeRequested_ && status == 416) {
            // The partial file already holds the whole resource, or its size is
            // no position in it: fetched again from zero.
            if (range && range->length >= 0 && static_cast<std::uint64_t>(range->length) == held)
                return {Answer::Complete, {}};
            return {Answer::Refetch, {}};
        }
        return {Answer::HTTPError, {}};
    }
    if (status == 206) {
        if (!rangeRequested_) return {Answer::Refuse, "the server sent a part of the file that was not asked for"};
        if (!range || !range->first || *range->first != held) return {Answer::Refetch, {}};
        return {Answer::Append, {}};
    }
    if (status < 200 || status >= 300)
        return {Answer::Refuse, format("the server answered %ld, which holds no file", status)};
    if (!rangeRequested_) return {Answer::Append, {}};
    if (status == 200) return {Answer::Truncate, {}};
    return {Answer::Refuse, format("the server answered %ld to the request for the rest of the file", status)};
}

void FDFileDownloader::connectionDidReceiveResponse(const NSURLConnectionPtr&,
                                                    const std::shared_ptr<NSURLResponse>& response) {
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    long status = http ? http->statusCode() : 200;
    std::int64_t expected = response ? response->expectedContentLength() : -1;

    Answer answer = judgeResponse(status, http.get());
    switch (answer.kind) {
    case Answer::Refetch:
        restartFromZero();
        return;
    case Answer::Complete:
        completeOn416_ = true;
        expectedDataLength_ = 0;
        return;
    case Answer::Refuse:
        // Not content: the partial file stays exactly as it was.
        endTransfer(End::Failed, makeError(FDFileDownloadErrorConnectionFailed,
                                           format("Download failed for file: %@. Reason: %@", fileName(),
                                                  answer.reason)));
        return;
    case Answer::Truncate:
    case Answer::Append:
    case Answer::HTTPError:
        break;
    }

    NSErrorPtr error;
    if (answer.kind == Answer::HTTPError) {
        Value extra = Value::dictionary();
        extra.setObject("httpStatus", Value(status));
        error = makeError(FDFileDownloadErrorHTTPStatus,
                          format(localized("HTTP error code %d (%@) "), static_cast<int>(status),
                                 NSHTTPURLResponse::localizedStringForStatusCode(status)),
                          extra);
    }
    if (expected >= 0) {
        // The download folder's file system; when it cannot be read the download goes on.
        Value attributes = NSFileManager::defaultManager()->attributesOfFileSystemForPath(pathToDownloadDirectory());
        Value free = attributes[NSFileSystemFreeSize];
        if (free.isNumber() && free.unsignedLongLongValue() < static_cast<std::uint64_t>(expected))
            error = makeError(FDFileDownloadErrorNotEnoughFreeDiskSpace, localized("Not enough free disk space"));
    }
    if (error) {
        endTransfer(End::Failed, error);
        return;
    }
    if (answer.kind == Answer::Truncate || discardHeld_) {
        // The server sends the whole resource (it ignored the range, the
        // resource changed, or the bytes held could not be checked): the file
        // starts over.
        if (!file_->truncateFileAtOffset(0)) {
            endTransfer(End::Failed, NSFileErrorFromErrno(errno ? errno : EIO, pathToFile(), false));
            return;
        }
        resumeOffset_ = 0;
        rangeRequested_ = false;
    }
    if (resumeOffset_ == 0 && http && downloadURL_)
        FDPartialFile::keepValidators(pathToFile(),
                                      FDResumeValidators::fromResponse(downloadURL_->absoluteString(), *http));
    expectedDataLength_ = expected;
    responseAccepted_ = true;
    Data().swap(receivedDataBuffer_);
    postToMain(
        [response](const std::shared_ptr<FDFileDownloader>& self) {
            FirstResponseBlock block;
            {
                std::lock_guard lock(self->mutex_);
                block = self->firstResponseBlock_;
            }
            if (block) block(response);
            if (auto delegate = self->delegate()) delegate->downloadDidReceiveFirstResponse(self, response);
        },
        false);
}

void FDFileDownloader::connectionDidReceiveData(const NSURLConnectionPtr&, const Data& data) {
    if (completeOn416_ || !responseAccepted_) return;
    receivedDataLength_ += data.size();
    if (receivedDataBuffer_.size() + data.size() > FDFileDownloaderFlushThreshold) {
        // What is buffered and these bytes go to the file as they are: the
        // chunk that fills the buffer is written from where it was delivered,
        // not copied into the buffer first.
        if (!flushBuffer(&data)) return;
    } else {
        receivedDataBuffer_.insert(receivedDataBuffer_.end(), data.begin(), data.end());
    }
    // One progress event waits on the main queue at a time: it reads the
    // figures when it runs, so later chunks are covered by the one pending.
    if (progressPending_.exchange(true)) return;
    postToMain(
        [](const std::shared_ptr<FDFileDownloader>& self) {
            self->progressPending_ = false;
            ProgressBlock block;
            {
                std::lock_guard lock(self->mutex_);
                block = self->progressBlock_;
            }
            std::uint64_t received = self->receivedDataLength_;
            std::int64_t expected = self->expectedDataLength_;
            float progress = self->progress();
            if (block) block(received, expected, self->remainingTime(), progress);
            if (auto delegate = self->delegate()) delegate->downloadDidReceiveData(self, received, expected, progress);
        },
        false);
}

bool FDFileDownloader::flushBuffer(const Data* more) {
    if (!file_) return true;
    NSErrorPtr error;
    bool written = receivedDataBuffer_.empty() || file_->writeData(receivedDataBuffer_, &error);
    receivedDataBuffer_.clear();
    if (written && more) written = file_->writeData(*more, &error);
    if (!written) {
        endTransfer(End::Failed, error ? error : NSFileErrorFromErrno(EIO, pathToFile(), false));
        return false;
    }
    return true;
}

void FDFileDownloader::connectionDidFinishLoading(const NSURLConnectionPtr&) {
    if (completeOn416_) {
        endTransfer(End::Finished, nullptr);
        return;
    }
    if (!responseAccepted_) {
        // A load that ended before any response came is no download.
        endTransfer(End::Failed, makeError(FDFileDownloadErrorConnectionFailed,
                                           format("Download failed for file: %@. Reason: %@", fileName(),
                                                  "the server sent no response")));
        return;
    }
    std::int64_t expected = expectedDataLength_;
    if (expected >= 0 && receivedDataLength_ != static_cast<std::uint64_t>(expected)) {
        endTransfer(End::Failed,
                    makeError(FDFileDownloadErrorConnectionFailed,
                              format("Download failed for file: %@. Reason: %@", fileName(),
                                     format("the transfer ended after %llu of %lld bytes",
                                            static_cast<unsigned long long>(receivedDataLength_.load()),
                                            static_cast<long long>(expected)))));
        return;
    }
    endTransfer(End::Finished, nullptr);
}

void FDFileDownloader::connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& error) {
    Value extra = Value::dictionary();
    if (error) extra.setObject(NSUnderlyingErrorKey, Value(error));
    endTransfer(End::Failed, makeError(FDFileDownloadErrorConnectionFailed,
                                       format("Download failed for file: %@. Reason: %@", fileName(),
                                              error ? error->localizedDescription() : std::string("(null)")),
                                       extra));
}

void FDFileDownloader::updateTransferRate() {
    if (samplesOfDownloadedBytes_.size() >= kMaxRateSamples)
        samplesOfDownloadedBytes_.erase(samplesOfDownloadedBytes_.begin());
    std::uint64_t received = receivedDataLength_;
    samplesOfDownloadedBytes_.push_back(received - previousTotal_);
    previousTotal_ = received;
    std::uint64_t sum = std::accumulate(samplesOfDownloadedBytes_.begin(), samplesOfDownloadedBytes_.end(),
                                        std::uint64_t{0});
    speedRate_ = static_cast<std::int64_t>(sum / samplesOfDownloadedBytes_.size());
}

void FDFileDownloader::endTransfer(End end, NSErrorPtr error) {
    {
        std::lock_guard lock(mutex_);
        if (transferEnded_) return;
    }
    if (speedTimer_) speedTimer_->invalidate();
    if (connection_) connection_->cancel();
    // Every byte counted goes to the file before it is closed.
    if (file_ && !receivedDataBuffer_.empty()) {
        NSErrorPtr writeError;
        if (!file_->writeData(receivedDataBuffer_, &writeError) && end != End::Cancelled) {
            end = End::Failed;
            if (!error) error = writeError ? writeError : NSFileErrorFromErrno(EIO, pathToFile(), false);
        }
    }
    Data().swap(receivedDataBuffer_);
    if (file_) file_->closeFile();
    file_.reset();

    bool cancelled;
    {
        std::lock_guard lock(mutex_);
        transferEnded_ = true;
        cancelled = cancelRequested_;
    }
    if (cancelled) end = End::Cancelled;
    switch (end) {
    case End::Finished:
        FDPartialFile::removeValidators(pathToFile());
        state_ = FDFileDownloaderStateDone;
        notifyFromCompletionWithSuccess(true, pathToFile());
        break;
    case End::Failed:
        notifyFromError(error);
        notifyFromCompletionWithSuccess(false, removeFileIfAsked());
        break;
    case End::Cancelled:
        notifyFromCompletionWithSuccess(false, removeFileIfAsked());
        break;
    }
    connection_.reset();
    loopDone_ = true;
    std::shared_ptr<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = runLoop_;
    }
    if (loop) loop->wakeUp();
}

std::optional<std::string> FDFileDownloader::removeFileIfAsked() {
    bool remove;
    {
        std::lock_guard lock(mutex_);
        remove = removeRequested_;
    }
    if (!remove) return fileName();
    std::string path = pathToFile();
    auto manager = NSFileManager::defaultManager();
    FDPartialFile::removeValidators(path);
    if (manager->fileExistsAtPath(path)) {
        NSErrorPtr error;
        // Reported although a cancel was asked: it comes before the completion.
        if (!manager->removeItemAtPath(path, &error))
            notifyFromError(error ? error : NSFileErrorFromErrno(EIO, path, false), true);
    }
    return std::nullopt;
}
