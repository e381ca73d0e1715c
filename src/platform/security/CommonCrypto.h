#pragma once
// Digests, symmetric ciphers and random bytes in the platform's C interface:
// CC_MD5 and the one-shot CCCrypt, plus SecRandomCopyBytes. The backing lives in
// CryptoOpenSSL.cpp.
#include <cstddef>
#include <cstdint>

using CC_LONG = std::uint32_t;
inline constexpr std::size_t CC_MD5_DIGEST_LENGTH = 16;

// Writes the 16-byte MD5 digest of len bytes at data into md and returns md.
unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md);

using CCCryptorStatus = std::int32_t;
inline constexpr CCCryptorStatus kCCSuccess = 0;
inline constexpr CCCryptorStatus kCCParamError = -4300;
inline constexpr CCCryptorStatus kCCBufferTooSmall = -4301;
inline constexpr CCCryptorStatus kCCMemoryFailure = -4302;
inline constexpr CCCryptorStatus kCCAlignmentError = -4303;
inline constexpr CCCryptorStatus kCCDecodeError = -4304;
inline constexpr CCCryptorStatus kCCUnimplemented = -4305;
inline constexpr CCCryptorStatus kCCKeySizeError = -4310;

using CCOperation = std::uint32_t;
inline constexpr CCOperation kCCEncrypt = 0;
inline constexpr CCOperation kCCDecrypt = 1;

using CCAlgorithm = std::uint32_t;
// AES with a 128-, 192- or 256-bit key; the key length chooses the variant.
inline constexpr CCAlgorithm kCCAlgorithmAES128 = 0;
inline constexpr CCAlgorithm kCCAlgorithmAES = 0;

using CCOptions = std::uint32_t;
inline constexpr CCOptions kCCOptionPKCS7Padding = 0x0001;
inline constexpr CCOptions kCCOptionECBMode = 0x0002;

inline constexpr std::size_t kCCKeySizeAES128 = 16;
inline constexpr std::size_t kCCKeySizeAES192 = 24;
inline constexpr std::size_t kCCKeySizeAES256 = 32;
inline constexpr std::size_t kCCBlockSizeAES128 = 16;

// One-shot encryption or decryption. CBC unless kCCOptionECBMode is given; a null
// iv means an all-zero vector. On success *dataOutMoved holds the bytes written;
// with kCCBufferTooSmall it holds the room that would be needed. Nothing beyond
// dataOutAvailable bytes is ever written. A padding that does not verify on
// decryption gives kCCDecodeError; an input that is not a whole number of blocks
// where one is required gives kCCAlignmentError.
CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key, std::size_t keyLength,
                        const void* iv, const void* dataIn, std::size_t dataInLength, void* dataOut,
                        std::size_t dataOutAvailable, std::size_t* dataOutMoved);

// Random bytes from the system's cryptographic generator; 0 on success, -1 on failure.
struct SecRandom;
using SecRandomRef = const SecRandom*;
inline constexpr SecRandomRef kSecRandomDefault = nullptr;
int SecRandomCopyBytes(SecRandomRef rnd, std::size_t count, void* bytes);
