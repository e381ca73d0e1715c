// CC_MD5, CCCrypt and SecRandomCopyBytes over OpenSSL's EVP interface.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/security/CommonCrypto.h"

namespace {

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

const EVP_CIPHER* aesCipher(std::size_t keyLength, bool ecb) {
    switch (keyLength) {
        case kCCKeySizeAES128: return ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc();
        case kCCKeySizeAES192: return ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc();
        case kCCKeySizeAES256: return ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc();
        default: return nullptr;
    }
}

// Runs the cipher over the whole input into out, which has room for
// inLength + one block. Returns the status and sets *written.
CCCryptorStatus runCipher(EVP_CIPHER_CTX* ctx, bool encrypt, bool padding, const unsigned char* in,
                          std::size_t inLength, unsigned char* out, std::size_t* written) {
    std::size_t total = 0;
    // EVP counts in int; feed very large inputs in slices.
    constexpr std::size_t slice = static_cast<std::size_t>(INT_MAX) & ~static_cast<std::size_t>(15);
    while (inLength > 0) {
        std::size_t n = inLength < slice ? inLength : slice;
        int outl = 0;
        if (EVP_CipherUpdate(ctx, out + total, &outl, in, static_cast<int>(n)) != 1) return kCCParamError;
        total += static_cast<std::size_t>(outl);
        in += n;
        inLength -= n;
    }
    int finl = 0;
    if (EVP_CipherFinal_ex(ctx, out + total, &finl) != 1) {
        // Decrypting: the padding did not verify. Encrypting without padding: the
        // input was not a whole number of blocks (caught before we get here).
        return (!encrypt && padding) ? kCCDecodeError : kCCAlignmentError;
    }
    total += static_cast<std::size_t>(finl);
    *written = total;
    return kCCSuccess;
}

}  // namespace

unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md) {
    unsigned int size = 0;
    static const unsigned char empty = 0;
    if (EVP_Digest(data ? data : &empty, len, md, &size, EVP_md5(), nullptr) != 1 || size != CC_MD5_DIGEST_LENGTH)
        std::memset(md, 0, CC_MD5_DIGEST_LENGTH);
    return md;
}

CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key, std::size_t keyLength,
                        const void* iv, const void* dataIn, std::size_t dataInLength, void* dataOut,
                        std::size_t dataOutAvailable, std::size_t* dataOutMoved) {
    if (dataOutMoved) *dataOutMoved = 0;
    if (op != kCCEncrypt && op != kCCDecrypt) return kCCParamError;
    if (alg != kCCAlgorithmAES) return kCCUnimplemented;
    if (!key) return kCCParamError;
    if (dataInLength > 0 && !dataIn) return kCCParamError;
    const bool encrypt = op == kCCEncrypt;
    const bool padding = (options & kCCOptionPKCS7Padding) != 0;
    const bool ecb = (options & kCCOptionECBMode) != 0;
    const EVP_CIPHER* cipher = aesCipher(keyLength, ecb);
    if (!cipher) return kCCKeySizeError;

    constexpr std::size_t block = kCCBlockSizeAES128;
    // Without padding the input must be whole blocks; so must any ciphertext.
    if ((!padding || !encrypt) && dataInLength % block != 0) return kCCAlignmentError;
    const std::size_t needed = (encrypt && padding) ? (dataInLength / block + 1) * block : dataInLength;
    if (dataOutAvailable < needed || (needed > 0 && !dataOut)) {
        if (dataOutMoved) *dataOutMoved = needed;
        return kCCBufferTooSmall;
    }

    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return kCCMemoryFailure;
    static const unsigned char zeroIV[block] = {};
    const unsigned char* ivBytes = iv ? static_cast<const unsigned char*>(iv) : zeroIV;
    if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, static_cast<const unsigned char*>(key), ecb ? nullptr : ivBytes,
                          encrypt ? 1 : 0) != 1)
        return kCCParamError;
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);

    const auto* in = static_cast<const unsigned char*>(dataIn);
    std::size_t written = 0;
    CCCryptorStatus status;
    // EVP may ask for one block beyond the result while it works; when the
    // caller's buffer has no such slack, work in our own and copy the result.
    if (dataOutAvailable >= dataInLength + block) {
        status = runCipher(ctx.get(), encrypt, padding, in, dataInLength, static_cast<unsigned char*>(dataOut), &written);
    } else {
        std::vector<unsigned char> scratch(dataInLength + block);
        status = runCipher(ctx.get(), encrypt, padding, in, dataInLength, scratch.data(), &written);
        if (status == kCCSuccess) {
            if (written > dataOutAvailable) {
                if (dataOutMoved) *dataOutMoved = written;
                return kCCBufferTooSmall;
            }
            if (written > 0) std::memcpy(dataOut, scratch.data(), written);
        }
        OPENSSL_cleanse(scratch.data(), scratch.size());
    }
    if (status == kCCSuccess && dataOutMoved) *dataOutMoved = written;
    return status;
}

int SecRandomCopyBytes(SecRandomRef, std::size_t count, void* bytes) {
    auto* out = static_cast<unsigned char*>(bytes);
    while (count > 0) {
        std::size_t n = count < static_cast<std::size_t>(INT_MAX) ? count : static_cast<std::size_t>(INT_MAX);
        if (RAND_bytes(out, static_cast<int>(n)) != 1) return -1;
        out += n;
        count -= n;
    }
    return 0;
}
