#include "platform/imageio/ExifOrientation.h"

#include <cstring>

namespace {

struct Reader {
    const std::uint8_t* p;
    std::size_t n;
    bool big;
    bool u16(std::size_t at, std::uint32_t& v) const {
        if (at > n || n - at < 2) return false;
        v = big ? (p[at] << 8 | p[at + 1]) : (p[at + 1] << 8 | p[at]);
        return true;
    }
    bool u32(std::size_t at, std::uint32_t& v) const {
        std::uint32_t hi, lo;
        if (!u16(at, big ? hi : lo) || !u16(at + 2, big ? lo : hi)) return false;
        v = hi << 16 | lo;
        return true;
    }
};

constexpr std::uint32_t kOrientationTag = 0x0112;
constexpr std::uint32_t kTypeShort = 3;

}  // namespace

int exifOrientationFromTIFF(const std::uint8_t* tiff, std::size_t size) {
    if (!tiff || size < 8) return 0;
    Reader r{tiff, size, false};
    if (tiff[0] == 'M' && tiff[1] == 'M') r.big = true;
    else if (!(tiff[0] == 'I' && tiff[1] == 'I')) return 0;
    std::uint32_t magic, ifd, count;
    if (!r.u16(2, magic) || magic != 42 || !r.u32(4, ifd) || !r.u16(ifd, count)) return 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t entry = std::size_t(ifd) + 2 + std::size_t(i) * 12;
        std::uint32_t tag, type, n, value;
        if (!r.u16(entry, tag) || !r.u16(entry + 2, type) || !r.u32(entry + 4, n) || !r.u16(entry + 8, value)) return 0;
        if (tag != kOrientationTag) continue;
        if (type != kTypeShort || n < 1 || value < 1 || value > 8) return 0;
        return static_cast<int>(value);
    }
    return 0;
}

int exifOrientationFromAPP1(const std::uint8_t* payload, std::size_t size) {
    if (!payload || size < 6 || std::memcmp(payload, "Exif\0\0", 6) != 0) return 0;
    return exifOrientationFromTIFF(payload + 6, size - 6);
}

Data makeExifOrientationAPP1(int orientation, bool bigEndian) {
    Data d = {'E', 'x', 'i', 'f', 0, 0};
    auto put16 = [&](std::uint32_t v) {
        if (bigEndian) d.insert(d.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        else d.insert(d.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    auto put32 = [&](std::uint32_t v) {
        if (bigEndian) put16(v >> 16), put16(v & 0xffff);
        else put16(v & 0xffff), put16(v >> 16);
    };
    d.push_back(bigEndian ? 'M' : 'I');
    d.push_back(bigEndian ? 'M' : 'I');
    put16(42);
    put32(8);  // the first directory follows the header
    put16(1);  // one entry
    put16(kOrientationTag);
    put16(kTypeShort);
    put32(1);
    put16(static_cast<std::uint32_t>(orientation));
    put16(0);  // the rest of the 4-byte value field
    put32(0);  // no next directory
    return d;
}
