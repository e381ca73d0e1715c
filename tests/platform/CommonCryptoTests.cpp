// Protects the crypto stand-ins: MD5 digests, CCCrypt against the openssl command line and within its room, bad keys and padding, random bytes.
#include <doctest/doctest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/HexString.h"
#include "platform/security/CommonCrypto.h"
#include "support/TestEnvironment.h"

namespace {

std::string hex(const unsigned char* bytes, std::size_t n) { return hexString(bytes, n); }

// Runs the openssl command line over the bytes and returns what it wrote.
std::optional<Data> openssl(const testsupport::TempHome& home, const std::string& arguments, const Data& input) {
    const std::string in = home.path() + "/in.bin", out = home.path() + "/out.bin";
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    }
    const std::string command = "openssl " + arguments + " -in '" + in + "' -out '" + out + "' 2>/dev/null";
    int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    std::ifstream f(out, std::ios::binary);
    return Data(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Data counting(std::size_t n) {
    Data d(n);
    for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return d;
}

const unsigned char kKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const unsigned char kIV[16] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                               0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

}  // namespace

TEST_CASE("CC_MD5 gives the RFC 1321 digests") {
    unsigned char md[CC_MD5_DIGEST_LENGTH];
    CHECK(CC_MD5("abc", 3, md) == md);
    CHECK(hex(md, sizeof md) == "900150983cd24fb0d6963f7d28e17f72");
    CC_MD5(nullptr, 0, md);
    CHECK(hex(md, sizeof md) == "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_CASE("CCCrypt agrees with the openssl command line for each key size and mode") {
    testsupport::TempHome home;
    const Data plain = counting(45);
    const std::string ivHex = hex(kIV, 16);
    for (std::size_t keyLength : {kCCKeySizeAES128, kCCKeySizeAES192, kCCKeySizeAES256}) {
        CAPTURE(keyLength);
        const std::string bits = std::to_string(keyLength * 8);
        const std::string keyHex = hex(kKey, keyLength);
        // CBC with PKCS#7 and a given IV.
        Data out(plain.size() + 16);
        std::size_t moved = 0;
        REQUIRE(CCCrypt(kCCEncrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, keyLength, kIV, plain.data(),
                        plain.size(), out.data(), out.size(), &moved) == kCCSuccess);
        REQUIRE(moved <= out.size());
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(moved), out.end());  // only shrinks
        CHECK(out == openssl(home, "enc -aes-" + bits + "-cbc -K " + keyHex + " -iv " + ivHex, plain));
        // ECB without padding over whole blocks.
        const Data blocks = counting(48);
        Data ecb(48);
        REQUIRE(CCCrypt(kCCEncrypt, kCCAlgorithmAES, kCCOptionECBMode, kKey, keyLength, nullptr, blocks.data(),
                        blocks.size(), ecb.data(), ecb.size(), &moved) == kCCSuccess);
        CHECK(moved == 48);
        CHECK(ecb == openssl(home, "enc -aes-" + bits + "-ecb -nopad -K " + keyHex, blocks));
        // And back.
        Data back(48);
        REQUIRE(CCCrypt(kCCDecrypt, kCCAlgorithmAES, kCCOptionECBMode, kKey, keyLength, nullptr, ecb.data(), ecb.size(),
                        back.data(), back.size(), &moved) == kCCSuccess);
        CHECK(back == blocks);
    }
}

TEST_CASE("CCCrypt never writes past the room it is given") {
    const Data plain = counting(32);
    // Encrypting 32 bytes with padding needs 48.
    std::vector<unsigned char> out(64, 0xEE);
    std::size_t moved = 0;
    CHECK(CCCrypt(kCCEncrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, 32, nullptr, plain.data(), plain.size(),
                  out.data(), 47, &moved) == kCCBufferTooSmall);
    CHECK(moved == 48);
    for (auto b : out) CHECK(b == 0xEE);
    // Exactly enough room (no slack beyond the result) works.
    REQUIRE(CCCrypt(kCCEncrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, 32, nullptr, plain.data(), plain.size(),
                    out.data(), 48, &moved) == kCCSuccess);
    CHECK(moved == 48);
    CHECK(out[48] == 0xEE);
    // Decrypting into room of the ciphertext's size, without slack.
    std::vector<unsigned char> back(49, 0xEE);
    REQUIRE(CCCrypt(kCCDecrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, 32, nullptr, out.data(), 48, back.data(),
                    48, &moved) == kCCSuccess);
    CHECK(moved == 32);
    CHECK(Data(back.begin(), back.begin() + 32) == plain);
    CHECK(back[48] == 0xEE);
}

TEST_CASE("CCCrypt reports bad keys misaligned input and damaged padding") {
    const Data plain = counting(20);
    Data out(64);
    std::size_t moved = 99;
    CHECK(CCCrypt(kCCEncrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, 31, nullptr, plain.data(), plain.size(),
                  out.data(), out.size(), &moved) == kCCKeySizeError);
    CHECK(moved == 0);
    CHECK(CCCrypt(kCCEncrypt, kCCAlgorithmAES, 0, kKey, 32, nullptr, plain.data(), plain.size(), out.data(), out.size(),
                  &moved) == kCCAlignmentError);
    CHECK(CCCrypt(kCCDecrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, 32, nullptr, plain.data(), 17, out.data(),
                  out.size(), &moved) == kCCAlignmentError);
    CHECK(CCCrypt(7, kCCAlgorithmAES, 0, kKey, 32, nullptr, plain.data(), 16, out.data(), out.size(), &moved) ==
          kCCParamError);
    CHECK(CCCrypt(kCCEncrypt, 3, 0, kKey, 32, nullptr, plain.data(), 16, out.data(), out.size(), &moved) ==
          kCCUnimplemented);
    // A block whose decryption does not end in valid padding.
    Data sealed(32);
    REQUIRE(CCCrypt(kCCEncrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, 32, nullptr, plain.data(), 16,
                    sealed.data(), sealed.size(), &moved) == kCCSuccess);
    sealed[15] ^= 0x01;  // flips the last plaintext byte, the padding
    CHECK(CCCrypt(kCCDecrypt, kCCAlgorithmAES, kCCOptionPKCS7Padding, kKey, 32, nullptr, sealed.data(), 32, out.data(),
                  out.size(), &moved) == kCCDecodeError);
}

TEST_CASE("SecRandomCopyBytes fills the buffer from the system generator") {
    unsigned char a[32] = {}, b[32] = {};
    CHECK(SecRandomCopyBytes(kSecRandomDefault, sizeof a, a) == 0);
    CHECK(SecRandomCopyBytes(kSecRandomDefault, sizeof b, b) == 0);
    CHECK(hex(a, sizeof a) != hex(b, sizeof b));
    CHECK(hex(a, sizeof a) != std::string(64, '0'));
}
