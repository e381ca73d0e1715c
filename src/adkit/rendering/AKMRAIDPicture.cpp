#include "adkit/rendering/AKMRAIDPicture.h"

#include "platform/base/ThreadAssertions.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/imageio/CGImageProperties.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/uikit/UISavedPhotosAlbum.h"

namespace {
constexpr const char* kPictureErrorDomain = "com.adkit.ads.private";

// The picture decoded, or the reason it was not: dimensions are read from the
// header first, so an oversized picture is never decoded.
UIImagePtr decodePicture(const Data& body, NSErrorPtr& error) {
    const CGImageSourceRef source = CGImageSourceCreateWithData(body);
    const Value properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
    if (!properties.isDictionary()) {
        error = NSError::make(kPictureErrorDomain, 2, "The data is not a picture.");
        return nullptr;
    }
    const std::int64_t width = properties[kCGImagePropertyPixelWidth].integerValue();
    const std::int64_t height = properties[kCGImagePropertyPixelHeight].integerValue();
    if (width <= 0 || height <= 0 || width > AKMRAIDPicture::kMaximumSide || height > AKMRAIDPicture::kMaximumSide ||
        width * height > AKMRAIDPicture::kMaximumPixels) {
        error = NSError::make(kPictureErrorDomain, 3, "The picture is too large.");
        return nullptr;
    }
    const CGImageRef image = CGImageSourceCreateImageAtIndex(source, 0, &error);
    if (!image) {
        if (!error) error = NSError::make(kPictureErrorDomain, 2, "The data is not a picture.");
        return nullptr;
    }
    return UIImage::imageWithCGImage(image);
}
}  // namespace

std::shared_ptr<AKMRAIDPicture> AKMRAIDPicture::initWithURL(const std::string& URL) {
    return std::make_shared<AKMRAIDPicture>(URL);
}

void AKMRAIDPicture::storeInPhotoAlbum() {
    QV_ASSERT_MAIN_THREAD();
    alert_ = UIAlertView::initWithTitle("Permission", "The ad is requesting to save an image in your photo album.",
                                        weakSelf<UIAlertViewDelegate>(), "Cancel", {"Save"});
    alert_->show();
}

void AKMRAIDPicture::clickedButtonAtIndex(UIAlertView& alertView, long buttonIndex) {
    const long saveIndex = alertView.cancelButtonIndex() + 1;  // the first other button
    alert_.reset();
    if (buttonIndex == saveIndex) downloadImageWithURL(pictureURL_);
}

void AKMRAIDPicture::downloadImageWithURL(const std::string& URL) {
    QV_ASSERT_MAIN_THREAD();
    if (URL.empty() || downloadStarted_) return;
    if (!AKHTTPURLFromString(URL)) {  // a creative cannot make the library read files or other schemes
        downloadStarted_ = true;
        finishWithError(NSError::make(kPictureErrorDomain, 3, "Only http and https pictures are saved."));
        return;
    }
    auto request = NSURLRequest::requestWithURL(URL, NSURLRequestUseProtocolCachePolicy, kTimeoutInterval);
    downloadStarted_ = true;
    body_.clear();
    connection_ = NSURLConnection::connectionWithRequest(request, self<AKMRAIDPicture>());
}

void AKMRAIDPicture::connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                                  const std::shared_ptr<NSURLResponse>& response) {
    body_.clear();
    if (response && response->expectedContentLength() > static_cast<std::int64_t>(kMaximumBodyBytes)) {
        refuse(connection, "The picture is larger than 16 MiB.");
    }
}

void AKMRAIDPicture::connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) {
    if (body_.size() + data.size() > kMaximumBodyBytes) {
        refuse(connection, "The picture is larger than 16 MiB.");
        return;
    }
    body_.insert(body_.end(), data.begin(), data.end());
}

void AKMRAIDPicture::connectionDidFinishLoading(const NSURLConnectionPtr&) {
    connection_.reset();
    if (body_.empty()) {
        finishWithError(NSError::make(kPictureErrorDomain, 2, "No data arrived."));
        return;
    }
    NSErrorPtr error;
    const UIImagePtr image = decodePicture(body_, error);
    body_ = Data();
    if (!image) {
        finishWithError(error);
        return;
    }
    storeImage(image);
}

void AKMRAIDPicture::connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& error) {
    connection_.reset();
    body_ = Data();
    finishWithError(error);
}

void AKMRAIDPicture::refuse(const NSURLConnectionPtr& connection, const std::string& description) {
    if (connection) connection->cancel();  // nothing more is read
    connection_.reset();
    body_ = Data();
    finishWithError(NSError::make(kPictureErrorDomain, 3, description));
}

void AKMRAIDPicture::storeImage(const UIImagePtr& image) {
    UIImageWriteToSavedPhotosAlbum(image, [self = self<AKMRAIDPicture>()](const NSErrorPtr& error) {
        if (error) {
            self->finishWithError(error);
        } else if (const auto delegate = self->delegate()) {
            delegate->didStorePictureWithURL(*self, self->pictureURL_);
        }
    });
}

void AKMRAIDPicture::finishWithError(const NSErrorPtr& error) {
    const auto keep = self<AKMRAIDPicture>();  // the delegate may let go of this picture
    const std::string message = format("Failed to load %@. Error: %@", pictureURL_,
                                       error ? Value(error->localizedDescription()) : Value());
    if (const auto delegate = delegate_.lock()) delegate->failedToStorePictureWithURL(*this, pictureURL_, message);
}
