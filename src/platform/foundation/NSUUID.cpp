#include "platform/foundation/NSUUID.h"

#include <sys/random.h>

#include <cctype>
#include <random>

#include "platform/foundation/HexString.h"

namespace {
void fillRandom(std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t got = ::getrandom(out + done, n - done, 0);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    if (done < n) {
        // The kernel source failed (it practically never does): fall back.
        std::random_device device;
        for (; done < n; ++done) out[done] = static_cast<std::uint8_t>(device());
    }
}

}  // namespace

NSUUIDPtr NSUUID::UUID() {
    Bytes bytes{};
    fillRandom(bytes.data(), bytes.size());
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    return std::make_shared<NSUUID>(bytes);
}

NSUUIDPtr NSUUID::initWithUUIDString(const std::string& text) {
    if (text.size() != 36) return nullptr;
    Bytes bytes{};
    std::size_t b = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return nullptr;
            ++i;
            continue;
        }
        int hi = hexDigitValue(text[i]), lo = hexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) return nullptr;
        bytes[b++] = static_cast<std::uint8_t>(hi << 4 | lo);
        i += 2;
    }
    return std::make_shared<NSUUID>(bytes);
}

std::string NSUUID::UUIDString() const {
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        appendHexByte(out, bytes_[i], true);
    }
    return out;
}
