#pragma once
// The checks shared by the image decoder harnesses: a decoder is run on the
// whole input (final), at header depth, and on a prefix as if more bytes were
// still coming; every image it gives must fit the pixel cap and hold the
// pixels its size and row length promise.
#include <cstddef>
#include <cstdint>

#include "platform/imageio/ImageCodecs.h"

namespace fuzz {

using Decoder = imageio::DecodeResult (*)(const Data&, bool, imageio::DecodeDepth);

// The largest input the image harnesses read: a poster-sized file, well past
// the headers and segments the decoders walk.
inline constexpr std::size_t kMaxImageInput = 1 << 20;

void checkDecodeResult(const imageio::DecodeResult& result, imageio::DecodeDepth depth);
int decodeAllWays(Decoder decoder, const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
