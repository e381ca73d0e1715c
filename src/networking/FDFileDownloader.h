#pragma once
// One URL downloaded into one file, as an operation of an operation queue.
//
// The transfer runs on the queue's worker thread, in that thread's own run
// loop: the connection, the 1 s rate timer and every write to the file happen
// there. A partial file already on disk is resumed with "Range: bytes=<size>-"
// and "If-Range" only when the validator (ETag or Last-Modified) of the answer
// that began it was kept (see FDPartialFile.h); without one the whole resource
// is asked for again and replaces the file once its answer is accepted, since
// the bytes held cannot be shown to belong to the current version. The answer
// to a resume decides what happens to the partial file:
//   206 whose Content-Range starts at <size>  -> the new bytes are appended;
//   200, or a Content-Range starting elsewhere -> the file is truncated and the
//                                                 whole resource fetched again;
//   416 naming the partial file's size as the   -> the file is complete: success;
//   whole length
// Received bytes are buffered and written in chunks of just over 1 MiB; every
// end of the transfer (finish, error, cancel) writes what is buffered before the
// file is closed, so the file always holds every byte counted.
//
// Events reach the delegate and the callbacks on the main thread, in the order
// they happened. Progress is reported after data arrived, with the figures as
// they stand when the report runs; while one report waits for the main thread,
// further chunks do not queue another. After cancelDownloadAndRemoveFile() no callback runs except the
// completion (without success) of that cancel itself. A download succeeds only
// when the transfer ended normally and the file holds the whole announced length
// (or the length was not announced and the transfer ended normally).
//
// Counters, rate and state are atomic: the main thread may read them at any time.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSFileHandle.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLResponse.h"
#include "platform/runloop/NSRunLoop.h"

inline constexpr const char* FDFileDownloadErrorDomain = "com.morvistalen.fdfiledownload";

enum FDFileDownloadErrorCode : long {
    FDFileDownloadErrorInvalidURL = 0,             // the URL cannot be loaded
    FDFileDownloadErrorConnectionFailed = 1,       // the connection failed (or ended short)
    FDFileDownloadErrorHTTPStatus = 2,             // status 400 or more; user info "httpStatus"
    FDFileDownloadErrorNotEnoughFreeDiskSpace = 3, // the announced length does not fit
};

using FDFileDownloaderState = std::uint64_t;
inline constexpr FDFileDownloaderState FDFileDownloaderStateReady = 0;
inline constexpr FDFileDownloaderState FDFileDownloaderStateDownloading = 1;
inline constexpr FDFileDownloaderState FDFileDownloaderStateDone = 2;
inline constexpr FDFileDownloaderState FDFileDownloaderStateCancelled = 3;
inline constexpr FDFileDownloaderState FDFileDownloaderStateFailed = 4;

// Flushing threshold of the receive buffer: a buffer holding more than this is written.
inline constexpr std::size_t FDFileDownloaderFlushThreshold = 1048576;

class FDFileDownloader;

// The download's events, all on the main thread; every method is optional.
class FDFileDownloaderDelegate {
public:
    virtual ~FDFileDownloaderDelegate() = default;
    // A response passed the checks (status, free space).
    virtual void downloadDidReceiveFirstResponse(const std::shared_ptr<FDFileDownloader>& download,
                                                 const std::shared_ptr<NSURLResponse>& response) {
        (void)download;
        (void)response;
    }
    // After every chunk: bytes received by this transfer, and its announced
    // length (-1: unknown); progress as progress() gives it.
    virtual void downloadDidReceiveData(const std::shared_ptr<FDFileDownloader>& download, std::uint64_t received,
                                        std::int64_t total, float progress) {
        (void)download;
        (void)received;
        (void)total;
        (void)progress;
    }
    virtual void downloadDidStopWithError(const std::shared_ptr<FDFileDownloader>& download, const NSErrorPtr& error) {
        (void)download;
        (void)error;
    }
    // The end of the download. The path is the file's full path on success, the
    // bare file name after a cancel or failure that kept the file, and none when
    // the file was removed.
    virtual void downloadDidFinishWithSuccess(const std::shared_ptr<FDFileDownloader>& download, bool success,
                                              const std::optional<std::string>& path) {
        (void)download;
        (void)success;
        (void)path;
    }
};

class FDFileDownloader : public NSOperation, public NSURLConnectionDelegate {
public:
    using FirstResponseBlock = std::function<void(const std::shared_ptr<NSURLResponse>&)>;
    // received, expected (-1: unknown), remaining seconds (-1: unknown), progress
    using ProgressBlock = std::function<void(std::uint64_t, std::int64_t, std::int64_t, float)>;
    using ErrorBlock = std::function<void(const NSErrorPtr&)>;
    using CompleteBlock = std::function<void(bool, const std::optional<std::string>&)>;

    // Use the factories.
    FDFileDownloader();
    ~FDFileDownloader() override;

    static std::shared_ptr<FDFileDownloader> initWithURL(const NSURLPtr& url, const std::string& downloadPath,
                                                         const std::shared_ptr<FDFileDownloaderDelegate>& delegate);
    static std::shared_ptr<FDFileDownloader> initWithURL(const NSURLPtr& url, const std::string& downloadPath,
                                                         FirstResponseBlock firstResponse, ProgressBlock progress,
                                                         ErrorBlock error, CompleteBlock complete);

    // Operation.
    void start() override;
    bool isExecuting() const override { return executing_; }
    bool isFinished() const override { return finished_; }
    bool isConcurrent() const override { return true; }

    // Stops the download (any thread). The transfer's own thread writes what is
    // buffered and closes the file; with `removeFile` the file is then deleted.
    // After the completion was reported only the removal is still carried out.
    void cancelDownloadAndRemoveFile(bool removeFile);
    // This download waits until `download` has finished.
    void addDependentDownload(const std::shared_ptr<FDFileDownloader>& download);

    // Readable fields.
    std::string fileName() const;
    void setFileName(const std::string& name);
    std::string pathToFile() const;
    std::string pathToDownloadDirectory() const;
    // Creates the directory; stores the path only when that succeeded (an error is
    // reported and the download cancelled, keeping any file).
    void setPathToDownloadDirectory(const std::string& path);
    NSURLPtr downloadURL() const { return downloadURL_; }
    std::shared_ptr<FDFileDownloaderDelegate> delegate() const;
    void setDelegate(const std::shared_ptr<FDFileDownloaderDelegate>& delegate);
    FDFileDownloaderState state() const { return state_; }
    NSErrorPtr error() const;

    std::int64_t speedRate() const { return speedRate_; }
    // Seconds left; -1 while the rate is below 1 byte per second or the length unknown.
    std::int64_t remainingTime() const;
    // Received over expected bytes of this transfer; 0 while the expected length
    // is 0 or not yet known, -1 when the response announced no length.
    float progress() const;
    // Bytes received by this transfer (not counting the bytes already on disk).
    std::uint64_t receivedDataLength() const { return receivedDataLength_; }
    // The length the current response announced; -1 when it announced none.
    std::int64_t expectedDataLength() const { return expectedDataLength_; }
    // Bytes already on disk that this transfer continues from (0 after a restart).
    std::uint64_t resumeOffset() const { return resumeOffset_; }
    // Bytes of the file counted so far (written or buffered).
    std::uint64_t totalBytesInFile() const { return resumeOffset_ + receivedDataLength_; }
    // The whole file's length when known (-1 otherwise).
    std::int64_t totalFileLength() const;

    // A file name that is safe as one path component: no "/", no control
    // characters, not "." or "..", not empty, at most 200 bytes.
    static std::string safeFileName(const std::string& name);

    // NSURLConnectionDelegate, on the transfer's thread.
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override;
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override;
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override;
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override;

private:
    enum class End { Finished, Failed, Cancelled };
    // What an answer means for the file. Only content is written: a part that
    // continues the bytes held, or the whole resource from byte 0.
    struct Answer {
        enum Kind {
            Append,     // content that continues the file (or starts a fresh one)
            Truncate,   // the whole resource again (200 to a range request): the file starts over
            Refetch,    // a part for another position: ask again without a range
            Complete,   // 416 naming the held size as the whole length
            Refuse,     // no content for this file (3xx, 204 to a range, 206 unasked): fail, keep the file
            HTTPError,  // status 400 or more
        } kind;
        std::string reason;  // Refuse: why
    };
    Answer judgeResponse(long status, const NSHTTPURLResponse* http) const;  // transfer thread
    static NSErrorPtr makeError(long code, const std::string& description, Value extra = {});
    void setupPath(const std::string& path);
    bool beginTransfer(bool withRange);  // transfer thread
    void restartFromZero();              // transfer thread
    // Writes the buffer, then `more` when given; false (the transfer failed) when a write fails.
    [[nodiscard]] bool flushBuffer(const Data* more = nullptr);  // transfer thread
    void updateTransferRate();           // transfer thread
    void endTransfer(End end, NSErrorPtr error);  // transfer thread
    // Main-thread delivery. Events other than the final completion are dropped
    // once a cancel was asked.
    void postToMain(std::function<void(const std::shared_ptr<FDFileDownloader>&)> event, bool final);
    // `evenAfterCancel`: delivered although a cancel was asked (a failure of the cancel itself).
    void notifyFromError(const NSErrorPtr& error, bool evenAfterCancel = false);
    void notifyFromCompletionWithSuccess(bool success, const std::optional<std::string>& path);
    void finishOperation();  // main thread
    std::optional<std::string> removeFileIfAsked();

    mutable std::mutex mutex_;  // guards the strings, the delegate, the error and the hand-over below
    std::weak_ptr<FDFileDownloaderDelegate> delegate_;
    std::string pathToDownloadDirectory_;
    NSURLPtr downloadURL_;
    std::string fileName_;
    NSErrorPtr error_;
    FirstResponseBlock firstResponseBlock_;
    ProgressBlock progressBlock_;
    ErrorBlock errorBlock_;
    CompleteBlock completeBlock_;

    // Hand-over between threads (under mutex_).
    std::shared_ptr<NSRunLoop> runLoop_;  // the transfer's loop while it runs
    bool started_ = false;
    bool cancelRequested_ = false;
    bool removeRequested_ = false;
    bool transferEnded_ = false;  // the file is closed; no more writes
    bool completionPosted_ = false;

    // Transfer thread only.
    NSURLConnectionPtr connection_;
    NSFileHandlePtr file_;
    Data receivedDataBuffer_;
    std::shared_ptr<NSTimer> speedTimer_;
    std::vector<std::uint64_t> samplesOfDownloadedBytes_;
    std::uint64_t previousTotal_ = 0;
    bool rangeRequested_ = false;
    bool discardHeld_ = false;  // a partial file without validators: replaced by the answer's content
    bool restarted_ = false;
    bool responseAccepted_ = false;
    bool completeOn416_ = false;
    std::atomic<bool> loopDone_{false};

    // Read from any thread.
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<FDFileDownloaderState> state_{FDFileDownloaderStateReady};
    std::atomic<std::int64_t> speedRate_{0};
    std::atomic<std::int64_t> expectedDataLength_{0};
    std::atomic<std::uint64_t> receivedDataLength_{0};
    std::atomic<std::uint64_t> resumeOffset_{0};
    std::atomic<bool> progressPending_{false};
};
