// The WebP decoder (still and animated) on the whole file, at header
// depth, and on the first half as an image still arriving.
#include "Harnesses.h"
#include "support/ImageDecoding.h"

namespace fuzz::image_webp {

int fuzzOne(const std::uint8_t* data, std::size_t size) { return decodeAllWays(&imageio::decodeWebp, data, size); }

}  // namespace fuzz::image_webp
