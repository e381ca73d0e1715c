#include "core/AESAdditions.h"

#include <algorithm>
#include <array>

#include "platform/security/CommonCrypto.h"

namespace {

std::optional<Data> crypt(CCOperation operation, const Data& data, const std::string& key) {
    std::array<char, kCCKeySizeAES256 + 1> keyBuffer{};  // the key and room for its terminator
    std::copy_n(key.data(), std::min(key.size(), kCCKeySizeAES256), keyBuffer.data());

    Data out(data.size() + kCCBlockSizeAES128);
    std::size_t moved = 0;
    const CCCryptorStatus status = CCCrypt(operation, kCCAlgorithmAES128, kCCOptionPKCS7Padding, keyBuffer.data(),
                                           kCCKeySizeAES256, nullptr, data.data(), data.size(), out.data(),
                                           out.size(), &moved);
    if (status != kCCSuccess) return std::nullopt;
    out.resize(moved);
    return out;
}

}  // namespace

std::optional<Data> AES256DecryptWithKey(const Data& data, const std::string& key) {
    return crypt(kCCDecrypt, data, key);
}

std::optional<Data> AES256EncryptWithKey(const Data& data, const std::string& key) {
    return crypt(kCCEncrypt, data, key);
}
