// The JPEG decoder (EXIF orientation included) on the whole file, at header
// depth, and on the first half as an image still arriving.
#include "Harnesses.h"
#include "support/ImageDecoding.h"

namespace fuzz::image_jpeg {

int fuzzOne(const std::uint8_t* data, std::size_t size) { return decodeAllWays(&imageio::decodeJpeg, data, size); }

}  // namespace fuzz::image_jpeg
