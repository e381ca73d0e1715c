#pragma once
// The orientation tag of EXIF blocks (the TIFF structure that JPEG's APP1
// segment carries after "Exif\0\0" and PNG's eXIf chunk holds as it is).
#include <cstddef>
#include <cstdint>

#include "platform/foundation/Data.h"

// The orientation (1-8) of the first image directory of a TIFF structure;
// 0 when the block is malformed, has no orientation or one outside 1-8.
int exifOrientationFromTIFF(const std::uint8_t* tiff, std::size_t size);
// The same for a JPEG APP1 payload, which starts with "Exif\0\0".
int exifOrientationFromAPP1(const std::uint8_t* payload, std::size_t size);
// An APP1 payload ("Exif\0\0" and a TIFF structure) holding only the orientation.
Data makeExifOrientationAPP1(int orientation, bool bigEndian = false);
