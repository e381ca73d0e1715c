#pragma once
// Images as views show them: a bitmap with a scale (pixels per point) and an
// orientation, or an animation of frames with a total duration.
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIEdgeInsets.h"

enum UIImageOrientation : long {
    UIImageOrientationUp = 0,
    UIImageOrientationDown = 1,
    UIImageOrientationLeft = 2,
    UIImageOrientationRight = 3,
    UIImageOrientationUpMirrored = 4,
    UIImageOrientationDownMirrored = 5,
    UIImageOrientationLeftMirrored = 6,
    UIImageOrientationRightMirrored = 7,
};

// The image orientation that shows an image stored with EXIF orientation 1-8
// (the number image sources report) upright; anything outside 1-8 (0 for
// "none") is Up.
UIImageOrientation imageOrientationFromExif(long exifOrientation);

class UIImage;
using UIImagePtr = std::shared_ptr<UIImage>;

class UIImage : public NSObject {
public:
    UIImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation);

    // Null for a null bitmap; a scale of 0 or less is taken as 1.
    static UIImagePtr imageWithCGImage(const CGImageRef& image, CGFloat scale = 1,
                                       UIImageOrientation orientation = UIImageOrientationUp);
    // The first image of the encoded bytes (PNG, JPEG, GIF or WebP), upright as
    // stored (the orientation is left to the caller); null when undecodable.
    static UIImagePtr imageWithData(const Data& data, CGFloat scale = 1);
    // The file's first image, with scale 2 when its name ends in "@2x" before
    // the extension; null when it cannot be read.
    static UIImagePtr imageWithContentsOfFile(const std::string& path);
    // An image from the main bundle's resources: on a screen of scale above 1 the
    // "@2x" variant is preferred; a name without extension means ".png".
    // Null when no such resource decodes.
    static UIImagePtr imageNamed(const std::string& name);
    // An animation: the first frame stands for the image's bitmap and scale.
    // Null without frames.
    static UIImagePtr animatedImageWithImages(const std::vector<UIImagePtr>& images, double duration);

    const CGImageRef& CGImage() const { return image_; }
    CGFloat scale() const { return scale_; }
    UIImageOrientation imageOrientation() const { return orientation_; }
    // In points: pixels divided by the scale, sides swapped for the left and
    // right orientations.
    CGSize size() const;
    // The frames of an animated image; empty for a still one.
    const std::vector<UIImagePtr>& images() const { return images_; }
    double duration() const { return duration_; }

    std::string description() const override;

    // A copy that draws in nine parts (UIImageDrawing.cpp): the corners as they
    // are, the edge parts stretched along their edge, the middle both ways.
    // Insets are in points; zero insets draw the whole image scaled.
    UIImagePtr resizableImageWithCapInsets(const UIEdgeInsets& capInsets) const;
    const UIEdgeInsets& capInsets() const { return capInsets_; }
    // Draws the bitmap into the current UIKit context filling the rectangle
    // (in nine parts when it has cap insets); nothing without a context.
    void drawInRect(CGRect rect) const;

private:
    UIEdgeInsets capInsets_{};
    CGImageRef image_;
    CGFloat scale_;
    UIImageOrientation orientation_;
    std::vector<UIImagePtr> images_;
    double duration_ = 0;
};

// Encodings of the image's bitmap; nullopt when it has none or encoding fails.
// The JPEG carries the orientation as EXIF so that a decoder can apply it again.
std::optional<Data> UIImagePNGRepresentation(const UIImagePtr& image);
std::optional<Data> UIImageJPEGRepresentation(const UIImagePtr& image, double compressionQuality);
