// EXIF blocks: the orientation of a TIFF structure (PNG's eXIf chunk) and of a
// JPEG APP1 payload. The first byte picks which; the answer is 0 or 1 to 8, and
// a block written for an orientation reads back as it.
#include "Harnesses.h"
#include "platform/imageio/ExifOrientation.h"
#include "support/FuzzSupport.h"

namespace fuzz::exif {

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    std::uint8_t mode = input.take();
    int orientation = (mode & 1) ? exifOrientationFromAPP1(input.data(), input.size())
                                 : exifOrientationFromTIFF(input.data(), input.size());
    check(orientation >= 0 && orientation <= 8, "an orientation outside 0-8");
    int wanted = 1 + (mode >> 1) % 8;
    Data block = makeExifOrientationAPP1(wanted, mode & 0x80);
    check(exifOrientationFromAPP1(block.data(), block.size()) == wanted, "a written orientation reads back changed");
    return 0;
}

}  // namespace fuzz::exif
