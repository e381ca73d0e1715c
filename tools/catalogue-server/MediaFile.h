#pragma once
// The bytes of a generated stream file: an MP4 file-type box and the header of one
// media-data box spanning the rest, filled with reproducible pseudo-random bytes. Any
// range can be produced without holding the file, so Range requests cost nothing.
#include <cstddef>
#include <cstdint>

namespace catalogue {

// Writes `length` bytes of the file starting at `offset` into `out`
// (offset + length must not exceed size).
void mediaBytes(std::uint64_t seed, std::uint64_t size, std::uint64_t offset, char* out, std::size_t length);

}  // namespace catalogue
