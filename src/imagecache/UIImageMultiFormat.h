#pragma once
// Images from downloaded or cached bytes of any supported format, with the
// EXIF orientation applied as the image's orientation.
#include <cstdint>
#include "platform/foundation/Data.h"
#include "platform/uikit/UIImage.h"

// GIF data becomes an animated image (ri_animatedGIFWithData); PNG, JPEG and
// WebP a still one with the file's orientation. Null when undecodable.
UIImagePtr ri_imageWithData(const Data& data);
// The platform orientation of the file's first image (up when it names none).
UIImageOrientation ri_imageOrientationFromImageData(const Data& data);
// EXIF 1-8 to the platform orientation; any other value is up.
UIImageOrientation ri_exifOrientationToiOSOrientation(std::int32_t exifOrientation);
