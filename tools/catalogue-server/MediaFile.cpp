#include "MediaFile.h"

#include <array>

namespace catalogue {

namespace {

constexpr std::size_t kHeaderSize = 32;

std::uint64_t mix(std::uint64_t value) {
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

void putBigEndian32(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value >> 24);
    at[1] = static_cast<unsigned char>(value >> 16);
    at[2] = static_cast<unsigned char>(value >> 8);
    at[3] = static_cast<unsigned char>(value);
}

std::array<unsigned char, kHeaderSize> header(std::uint64_t size) {
    std::array<unsigned char, kHeaderSize> bytes{};
    // ftyp box: size 24, major brand isom, minor version 0x200, compatible isom and mp41.
    putBigEndian32(&bytes[0], 24);
    const char ftyp[] = "ftypisom\0\0\x02\0isommp41";
    for (std::size_t i = 0; i < 20; ++i) bytes[4 + i] = static_cast<unsigned char>(ftyp[i]);
    // mdat box over the rest of the file (size 1 would need a 64-bit size field; the
    // files stay far below 4 GiB).
    putBigEndian32(&bytes[24], static_cast<std::uint32_t>(size - 24));
    bytes[28] = 'm';
    bytes[29] = 'd';
    bytes[30] = 'a';
    bytes[31] = 't';
    return bytes;
}

}  // namespace

void mediaBytes(std::uint64_t seed, std::uint64_t size, std::uint64_t offset, char* out, std::size_t length) {
    const auto head = header(size);
    std::uint64_t wordIndex = UINT64_MAX;
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint64_t position = offset + i;
        if (position < kHeaderSize) {
            out[i] = static_cast<char>(head[position]);
            continue;
        }
        if (position / 8 != wordIndex) {
            wordIndex = position / 8;
            word = mix(seed ^ mix(wordIndex));
        }
        out[i] = static_cast<char>(word >> (8 * (position % 8)));
    }
}

}  // namespace catalogue
