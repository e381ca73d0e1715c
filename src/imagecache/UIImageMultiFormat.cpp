#include "imagecache/UIImageMultiFormat.h"

#include "imagecache/NSDataImageContentType.h"
#include "imagecache/UIImageGIF.h"
#include "platform/imageio/CGImageSource.h"

UIImagePtr ri_imageWithData(const Data& data) {
    if (data.empty()) return nullptr;
    auto type = ri_contentTypeForImageData(data);
    if (type && *type == "image/gif") return ri_animatedGIFWithData(data);
    auto image = UIImage::imageWithData(data);
    if (!image) return nullptr;
    auto orientation = ri_imageOrientationFromImageData(data);
    if (orientation != UIImageOrientationUp)
        image = UIImage::imageWithCGImage(image->CGImage(), image->scale(), orientation);
    return image;
}

UIImageOrientation ri_imageOrientationFromImageData(const Data& data) {
    auto source = CGImageSourceCreateWithData(data);
    if (!source) return UIImageOrientationUp;
    Value properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
    if (!properties.isDictionary()) return UIImageOrientationUp;
    Value orientation = properties[kCGImagePropertyOrientation];
    if (orientation.isNull()) return UIImageOrientationUp;
    return ri_exifOrientationToiOSOrientation(orientation.intValue());
}

UIImageOrientation ri_exifOrientationToiOSOrientation(std::int32_t exifOrientation) {
    return imageOrientationFromExif(exifOrientation);
}
