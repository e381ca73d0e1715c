// The GIF decoder (still and animated) on the whole file, at header
// depth, and on the first half as an image still arriving.
#include "Harnesses.h"
#include "support/ImageDecoding.h"

namespace fuzz::image_gif {

int fuzzOne(const std::uint8_t* data, std::size_t size) { return decodeAllWays(&imageio::decodeGif, data, size); }

}  // namespace fuzz::image_gif
