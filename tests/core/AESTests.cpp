// Protects the AES-256 helpers against the openssl command line: zero-padded and cut keys, wrong keys and damaged ciphertext, catalogue replies.
#include <doctest/doctest.h>

#include <string>

#include "TestTools.h"
#include "core/AESAdditions.h"
#include "core/Base64.h"
#include "support/TestEnvironment.h"

using coretest::hex;
using coretest::patternBytes;
using coretest::runCommand;
using coretest::shellQuote;

namespace {

const std::string kZeroIV(32, '0');

// The hexadecimal key the command line gets for a key string: its bytes padded
// with zero bytes to 32.
std::string keyHex(const std::string& key) {
    Data bytes = dataFromString(key);
    bytes.resize(32, 0);
    return hex(bytes);
}

// Encrypts with the openssl command line (AES-256-CBC, zero IV, PKCS#7).
Data referenceEncrypt(const testsupport::TempHome& home, const Data& plain, const std::string& key) {
    const std::string in = home.path() + "/plain.bin", out = home.path() + "/cipher.bin";
    coretest::writeFile(in, plain);
    auto r = runCommand("openssl enc -aes-256-cbc -K " + keyHex(key) + " -iv " + kZeroIV + " -in " + shellQuote(in) +
                        " -out " + shellQuote(out));
    REQUIRE(r.exitCode == 0);
    auto cipher = coretest::readFile(out);
    REQUIRE(cipher);
    return *cipher;
}

// Decrypts with the openssl command line; nullopt when it refuses.
std::optional<Data> referenceDecrypt(const testsupport::TempHome& home, const Data& cipher, const std::string& key) {
    const std::string in = home.path() + "/cipher.bin", out = home.path() + "/plain.bin";
    coretest::writeFile(in, cipher);
    auto r = runCommand("openssl enc -d -aes-256-cbc -K " + keyHex(key) + " -iv " + kZeroIV + " -in " +
                        shellQuote(in) + " -out " + shellQuote(out) + " 2>/dev/null");
    if (r.exitCode != 0) return std::nullopt;
    return coretest::readFile(out);
}

const std::string kReplyKey = "0123456789abcdef0123456789ABCDEF";  // 32 characters, as the catalogue's

}  // namespace

TEST_CASE("AES256DecryptWithKey opens what the openssl command line sealed") {
    testsupport::TempHome home;
    for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 1000u, 65536u + 5u}) {
        CAPTURE(length);
        const Data plain = patternBytes(length, static_cast<unsigned>(length) + 1);
        const Data cipher = referenceEncrypt(home, plain, kReplyKey);
        CHECK(cipher.size() == (length / 16 + 1) * 16);
        auto opened = AES256DecryptWithKey(cipher, kReplyKey);
        REQUIRE(opened);
        CHECK(*opened == plain);
    }
}

TEST_CASE("AES256DecryptWithKey pads short keys with zero bytes") {
    testsupport::TempHome home;
    const Data plain = dataFromString("{\"status\":1,\"data\":[]}");
    // A 31-character key is used with one zero byte added.
    const std::string key31 = kReplyKey.substr(0, 31);
    const Data sealed31 = referenceEncrypt(home, plain, key31);
    CHECK(AES256DecryptWithKey(sealed31, key31) == plain);
    // Which is the same key as the 31 characters followed by a NUL.
    CHECK(AES256DecryptWithKey(sealed31, key31 + std::string(1, '\0')) == plain);
    const Data sealedShort = referenceEncrypt(home, plain, "k");
    CHECK(AES256DecryptWithKey(sealedShort, "k") == plain);
    CHECK(AES256DecryptWithKey(sealedShort, "") != plain);
}

TEST_CASE("AES keys longer than 32 bytes are cut to their first 32") {
    testsupport::TempHome home;
    const Data plain = dataFromString("long keys");
    const Data sealed = referenceEncrypt(home, plain, kReplyKey);
    CHECK(AES256DecryptWithKey(sealed, kReplyKey + "extra") == plain);
    auto ours = AES256EncryptWithKey(plain, kReplyKey + "more");
    REQUIRE(ours);
    CHECK(*ours == sealed);
}

TEST_CASE("AES256DecryptWithKey gives null for a wrong key and never other bytes") {
    testsupport::TempHome home;
    const Data plain = dataFromString("{\"status\":1,\"message\":\"catalogue reply\"}");
    const Data sealed = referenceEncrypt(home, plain, kReplyKey);
    for (const char* wrong : {"0123456789abcdef0123456789ABCDEG", "0123456789abcdef0123456789ABCDE", "",
                              "another key entirely", "00000000000000000000000000000000"}) {
        CAPTURE(wrong);
        CHECK_FALSE(AES256DecryptWithKey(sealed, wrong).has_value());
        // The command line refuses these too.
        CHECK_FALSE(referenceDecrypt(home, sealed, wrong).has_value());
    }
}

TEST_CASE("AES256DecryptWithKey gives null for truncated or damaged ciphertext") {
    testsupport::TempHome home;
    const Data plain = dataFromString("A catalogue reply of some length, more than two blocks long.");
    const Data sealed = referenceEncrypt(home, plain, kReplyKey);
    REQUIRE(sealed.size() == 64);

    // 17 bytes, and any length that is not whole blocks.
    CHECK_FALSE(AES256DecryptWithKey(Data(sealed.begin(), sealed.begin() + 17), kReplyKey).has_value());
    CHECK_FALSE(AES256DecryptWithKey(Data(sealed.begin(), sealed.end() - 1), kReplyKey).has_value());
    // Whole blocks but the padding block cut off: the last byte is text, not padding.
    CHECK_FALSE(AES256DecryptWithKey(Data(sealed.begin(), sealed.end() - 16), kReplyKey).has_value());
    // Damaged padding: flipping a bit of the previous block flips the same bit of the last plaintext byte.
    Data damaged = sealed;
    damaged[damaged.size() - 17] ^= 0x10;
    CHECK_FALSE(AES256DecryptWithKey(damaged, kReplyKey).has_value());
    CHECK_FALSE(referenceDecrypt(home, damaged, kReplyKey).has_value());
    // Nothing at all.
    CHECK_FALSE(AES256DecryptWithKey(Data{}, kReplyKey).has_value());
}

TEST_CASE("AES256EncryptWithKey seals what the openssl command line opens") {
    testsupport::TempHome home;
    // Encrypting 16 bytes yields 32: a full padding block is added.
    const Data sixteen = patternBytes(16, 3);
    auto sealed16 = AES256EncryptWithKey(sixteen, kReplyKey);
    REQUIRE(sealed16);
    CHECK(sealed16->size() == 32);
    CHECK(referenceDecrypt(home, *sealed16, kReplyKey) == sixteen);
    CHECK(*sealed16 == referenceEncrypt(home, sixteen, kReplyKey));

    for (std::size_t length : {0u, 5u, 48u, 4099u}) {
        CAPTURE(length);
        const Data plain = patternBytes(length, 11);
        auto sealed = AES256EncryptWithKey(plain, "short");
        REQUIRE(sealed);
        CHECK(referenceDecrypt(home, *sealed, "short") == plain);
    }
}

TEST_CASE("a catalogue reply decodes through Base64 and AES") {
    testsupport::TempHome home;
    const std::string json = R"({"status":1,"data":[{"id":"7","title":"Die Stra\u00dfe"}]})";
    const Data sealed = referenceEncrypt(home, dataFromString(json), kReplyKey);
    const std::string path = home.path() + "/sealed.bin";
    coretest::writeFile(path, sealed);
    // The backend sends the Base64 of the ciphertext, here wrapped by the tool.
    auto text = runCommand("base64 -w 64 " + shellQuote(path));
    REQUIRE(text.exitCode == 0);
    auto cipher = dataWithBase64EncodedString(text.output);
    REQUIRE(cipher);
    auto plain = AES256DecryptWithKey(*cipher, kReplyKey);
    REQUIRE(plain);
    CHECK(stringFromData(*plain) == json);
}
