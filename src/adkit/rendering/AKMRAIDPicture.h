#pragma once
// Saves a picture a rich-media creative offers into the saved-photos album,
// only with the user's consent: an alert "Permission" asks; "Save" downloads
// the picture (one GET, http or https only, 60 s idle time-out, at most 16 MiB:
// a larger body is not read further), checks its dimensions from the encoded
// header before decoding it, decodes it and writes it to the album. The
// delegate hears of the stored picture only once the album confirmed the
// write, and of every failure with "Failed to load %@. Error: %@"; "Cancel"
// ends everything without a word. Main thread only; the picture keeps itself
// alive while its download runs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSURLConnection.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIImage.h"

class AKMRAIDPicture;

class AKMRAIDPictureDelegate {
public:
    virtual ~AKMRAIDPictureDelegate() = default;
    // MRAIDPicture:didStorePictureWithURL:
    virtual void didStorePictureWithURL(AKMRAIDPicture& picture, const std::string& URL) = 0;
    // MRAIDPicture:failedToStorePictureWithURL:message:
    virtual void failedToStorePictureWithURL(AKMRAIDPicture& picture, const std::string& URL,
                                             const std::string& message) = 0;
};

class AKMRAIDPicture : public NSObject, public UIAlertViewDelegate, public NSURLConnectionDelegate {
public:
    static constexpr std::size_t kMaximumBodyBytes = 16 * 1024 * 1024;
    // Larger pictures are refused before they are decoded.
    static constexpr std::int64_t kMaximumSide = 8192;
    static constexpr std::int64_t kMaximumPixels = 4096 * 4096;
    static constexpr double kTimeoutInterval = 60;

    // initWithURL:
    static std::shared_ptr<AKMRAIDPicture> initWithURL(const std::string& URL);
    explicit AKMRAIDPicture(std::string URL) : pictureURL_(std::move(URL)) {}

    // Asks the user (the alert), then downloads and stores on "Save".
    void storeInPhotoAlbum();
    // Starts the download (nothing for an empty or non-http(s) URL, or once started).
    void downloadImageWithURL(const std::string& URL);
    // Writes the image to the album and reports the outcome when the album answers.
    void storeImage(const UIImagePtr& image);

    const std::string& pictureURL() const { return pictureURL_; }
    std::shared_ptr<AKMRAIDPictureDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKMRAIDPictureDelegate>& delegate) { delegate_ = delegate; }
    bool downloadStarted() const { return downloadStarted_; }

    // UIAlertViewDelegate
    void clickedButtonAtIndex(UIAlertView& alertView, long buttonIndex) override;
    // NSURLConnectionDelegate
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override;
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override;
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override;
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override;

private:
    void finishWithError(const NSErrorPtr& error);
    void refuse(const NSURLConnectionPtr& connection, const std::string& description);

    std::string pictureURL_;
    std::weak_ptr<AKMRAIDPictureDelegate> delegate_;
    bool downloadStarted_ = false;
    std::shared_ptr<UIAlertView> alert_;
    NSURLConnectionPtr connection_;
    Data body_;
};
