#pragma once
// A progress bar that downloads one URL into memory by itself and shows how far
// it got: it owns its URL connection, can be paused and resumed with an HTTP
// byte range, and reports to its delegate. No screen makes one; it stands alone.
//
// Call order: initWithURL, then startDownload; forceStop pauses (the connection
// is cancelled at once), forceContinue resumes a paused download from the bytes
// held ("Range: bytes=<held>-" with "If-Range") when the answer that began them
// named a validator (a strong ETag, else Last-Modified); without one the bytes
// held cannot be shown to belong to the current version, so forceContinue asks
// for the whole resource again. A second startDownload cancels the running
// connection and starts over from byte 0. Destroying the bar cancels its connection; no delegate call
// comes after that.
//
// What an answer means for the bytes held:
//   200 (or another 2xx to a request without a range)  -> the whole resource: the
//                                                         bytes held are dropped
//   206 to a range asked for, whose Content-Range
//   starts at the bytes held                           -> the new bytes continue them
//   anything else (another status, 206 elsewhere)      -> the transfer fails, code 3,
//                                                         the bytes held are kept
// A transfer that ends before the announced total also fails with code 3.
// Bytes are counted in 64 bits. The bytes held in memory are capped
// (maximumDataLength, 256 MiB by default): an announced total or a received
// count beyond it fails the transfer with code 2.
//
// Errors of the bar itself have the domain "UIDownloadBar Error":
//   1  no connection could be made ("NSURLConnection Failed")
//   2  the download does not fit in memory
//   3  the server's answer does not carry the file's bytes
// Connection failures reach the delegate as the connection gave them.
//
// The delegate is held weakly; each of its calls is made only when it answers the
// matching respondsTo..., synchronously, on the thread of the run loop that started
// the connection. The bar is a view: main thread only (asserted in debug builds).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIProgressView.h"

inline constexpr const char* UIDownloadBarErrorDomain = "UIDownloadBar Error";

enum UIDownloadBarErrorCode : long {
    UIDownloadBarErrorConnectionFailed = 1,
    UIDownloadBarErrorTooLarge = 2,
    UIDownloadBarErrorUnusableAnswer = 3,
};

// The status texts.
inline constexpr const char* UIDownloadBarStatusStarting = "Start Downloading...";
inline constexpr const char* UIDownloadBarStatusDownloading = "Downloading...";
inline constexpr const char* UIDownloadBarStatusPrepareFinish = "Prepare Finish";
inline constexpr const char* UIDownloadBarStatusFinish = "Finish";
inline constexpr const char* UIDownloadBarStatusFailed = "Failed";
inline constexpr const char* UIDownloadBarStatusPause = "Pause";

inline constexpr std::int64_t UIDownloadBarDefaultMaximumDataLength = 256ll * 1024 * 1024;

class UIDownloadBar;

// Every call is optional: the delegate answers true from the matching respondsTo...
// for each one it implements; the others are never made.
class UIDownloadBarDelegate {
public:
    virtual ~UIDownloadBarDelegate() = default;

    // After each piece of data arrived.
    virtual bool respondsToDownloadBarUpdated() const { return false; }
    virtual void downloadBarUpdated(const std::shared_ptr<UIDownloadBar>& /*bar*/) {}

    // The whole download, with the file name the URL suggests.
    virtual bool respondsToDidFinishWithData() const { return false; }
    virtual void downloadBarDidFinishWithData(const std::shared_ptr<UIDownloadBar>& /*bar*/, const Data& /*data*/,
                                              const std::string& /*suggestedFilename*/) {}

    virtual bool respondsToDidFailWithError() const { return false; }
    virtual void downloadBarDidFailWithError(const std::shared_ptr<UIDownloadBar>& /*bar*/,
                                             const NSErrorPtr& /*error*/) {}
};

class UIDownloadBar : public UIProgressView, public NSURLConnectionDelegate {
public:
    // The bar over `frame` for `url`, with the request time-out in seconds. The
    // download starts with startDownload. Null for a null URL.
    static std::shared_ptr<UIDownloadBar> initWithURL(const NSURLPtr& url, CGRect frame, std::int64_t timeout,
                                                      const std::shared_ptr<UIDownloadBarDelegate>& delegate);
    explicit UIDownloadBar(CGRect frame);
    ~UIDownloadBar() override;

    void startDownload();
    void forceStop();
    void forceContinue();

    double getBytesReceived() const { return static_cast<double>(bytesReceived_); }
    double getBytesExpected() const { return static_cast<double>(expectedBytes_); }

    // Fields.
    const std::string& localFilename() const { return localFilename_; }
    const NSURLPtr& downloadUrl() const { return downloadUrl_; }
    std::int64_t bytesReceived() const { return bytesReceived_; }
    // -1 while the answer gave no total.
    std::int64_t expectedBytes() const { return expectedBytes_; }
    bool operationFinished() const { return phase_ == Phase::Finished; }
    bool operationFailed() const { return phase_ == Phase::Failed; }
    bool operationBreaked() const { return phase_ == Phase::Paused; }
    std::int64_t timeOut() const { return timeOut_; }
    void setTimeOut(std::int64_t seconds) { timeOut_ = seconds; }
    float percentComplete() const { return percentComplete_; }
    const std::string& statusDownload() const { return statusDownload_; }
    void setStatusDownload(std::string status) { statusDownload_ = std::move(status); }
    const std::string& linkDownload() const { return linkDownload_; }
    void setLinkDownload(std::string link) { linkDownload_ = std::move(link); }
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    const Data& receivedData() const { return receivedData_; }
    const std::shared_ptr<NSURLRequest>& downloadRequest() const { return downloadRequest_; }
    // The running connection; null once it ended, failed or was cancelled.
    const NSURLConnectionPtr& downloadConnection() const { return downloadConnection_; }
    std::shared_ptr<UIDownloadBarDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<UIDownloadBarDelegate>& delegate) { delegate_ = delegate; }
    const std::string& possibleFilename() const { return possibleFilename_; }
    void setPossibleFilename(std::string name) { possibleFilename_ = std::move(name); }

    // The most bytes held in memory (at least 1).
    std::int64_t maximumDataLength() const { return maximumDataLength_; }
    void setMaximumDataLength(std::int64_t bytes);

    // NSURLConnectionDelegate; calls from a connection other than the running one
    // are ignored.
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override;
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override;
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override;
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override;

private:
    // Idle -> Loading -> Finished | Failed | Paused; Paused -> Loading (forceContinue);
    // Failed or Loading -> Paused (forceStop); any -> Loading (startDownload).
    enum class Phase { Idle, Loading, Paused, Finished, Failed };
    void moveTo(Phase next);
    // Makes and starts the connection for the request; false when none could be made.
    [[nodiscard]] bool connect(const std::shared_ptr<NSURLRequest>& request);
    void stopConnection();
    std::shared_ptr<NSMutableURLRequest> makeRequest() const;
    // Whether the answer carries the bytes wanted; sets the counters for it.
    [[nodiscard]] bool acceptAnswer(const NSHTTPURLResponse& response, NSErrorPtr& error);
    void fail(const NSErrorPtr& error);
    void setCounts();

    std::string localFilename_;
    NSURLPtr downloadUrl_;
    std::int64_t bytesReceived_ = 0;
    std::int64_t expectedBytes_ = -1;
    Phase phase_ = Phase::Idle;
    std::int64_t timeOut_ = 60;
    float percentComplete_ = 0;
    std::string statusDownload_;
    std::string linkDownload_;
    std::string title_;
    Data receivedData_;
    std::shared_ptr<NSURLRequest> downloadRequest_;
    NSURLConnectionPtr downloadConnection_;
    std::weak_ptr<UIDownloadBarDelegate> delegate_;
    std::string possibleFilename_;

    std::int64_t maximumDataLength_ = UIDownloadBarDefaultMaximumDataLength;
    std::int64_t offsetAsked_ = 0;       // the first byte the running request asked for
    bool rangeAsked_ = false;            // the running request carries a Range
    std::optional<std::string> validator_;  // strong ETag, else Last-Modified, of the first answer
};
