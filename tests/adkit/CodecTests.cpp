// Protects the base-N codecs: RFC 4648 vectors, agreement with coreutils basenc
// on random input for every alphabet it knows, the decoding rules, and hostile input.
#include <filesystem>
#include <fstream>
#include <random>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKSignalInputs.h"
#include "adkit/foundation/codecs/AK_TKStringEncoding.h"

namespace {

std::string text(const std::optional<Data>& d) { return d ? stringFromData(*d) : std::string("<nil>"); }

}  // namespace

TEST_CASE("codecs: RFC 4648 vectors in both directions, web-safe and hexadecimal forms") {
    const char* inputs[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char* base64[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    const char* base32[] = {"", "MY======", "MZXQ====", "MZXW6===", "MZXW6YQ=", "MZXW6YTB", "MZXW6YTBOI======"};
    const char* base32hex[] = {"", "CO======", "CPNG====", "CPNMU===", "CPNMUOG=", "CPNMUOJ1", "CPNMUOJ1E8======"};
    const char* base16[] = {"", "66", "666F", "666F6F", "666F6F62", "666F6F6261", "666F6F626172"};
    auto b64 = AK_TKStringEncoding::rfc4648Base64StringEncoding();
    auto b32 = AK_TKStringEncoding::rfc4648Base32StringEncoding();
    auto b32h = AK_TKStringEncoding::rfc4648Base32HexStringEncoding();
    auto hex = AK_TKStringEncoding::hexStringEncoding();
    for (int i = 0; i < 7; ++i) {
        CAPTURE(inputs[i]);
        CHECK(b64->encodeString(inputs[i]) == base64[i]);
        CHECK(b32->encodeString(inputs[i]) == base32[i]);
        CHECK(b32h->encodeString(inputs[i]) == base32hex[i]);
        CHECK(hex->encodeString(inputs[i]) == base16[i]);
        CHECK(text(b64->decode(base64[i])) == inputs[i]);
        CHECK(text(b32->decode(base32[i])) == inputs[i]);
        CHECK(text(b32h->decode(base32hex[i])) == inputs[i]);
        CHECK(text(hex->decode(base16[i])) == inputs[i]);
    }
    const Data fbff = {0xFB, 0xFF};
    CHECK(AK_TKStringEncoding::rfc4648Base64WebsafeStringEncoding()->encode(fbff) == "-_8=");
    CHECK(b64->encode(fbff) == "+/8=");
    CHECK(text(hex->decode("4a")) == "\x4A");
    CHECK(text(hex->decode("4A")) == "\x4A");
    CHECK(hex->encode(Data{0x4A}) == "4A");
    auto crockford = AK_TKStringEncoding::crockfordBase32StringEncoding();
    CHECK(crockford->decode("O") == crockford->decode("0"));
    CHECK(crockford->decode("o") == crockford->decode("0"));
    for (const char* one : {"I", "i", "L", "l"}) CHECK(crockford->decode(std::string(one) + "0") == crockford->decode("10"));
    CHECK(crockford->encodeString("f").find('=') == std::string::npos);
    CHECK(b64->description() == "<Base64 StringEncoder: ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/>");
}

TEST_CASE("codecs: decoding rules, bad alphabets and configuration refusals") {
    auto b64 = AK_TKStringEncoding::rfc4648Base64StringEncoding();
    CHECK(text(b64->decode("Zm8")) == "fo");          // unpadded, zero left-over bits
    CHECK_FALSE(b64->decode("Zm9").has_value());     // left-over bits not zero
    CHECK_FALSE(b64->decode("Zg==Zg").has_value());  // a value after padding
    CHECK_FALSE(b64->decode("Zm9v!").has_value());   // outside the alphabet
    CHECK_FALSE(b64->decode("Zm9v\xC3\xA9").has_value());  // not ASCII
    CHECK(text(b64->decode("Zg=====")) == "f");      // any number of pads at the end
    CHECK(b64->stringByDecoding("Zm9v") == std::optional<std::string>("foo"));
    // The same rules past whole groups of eight characters, and synonyms inside them.
    CHECK(text(b64->decode("Zm9vYmFyZm8")) == "foobarfo");
    CHECK_FALSE(b64->decode("Zm9vYmFyZm9").has_value());
    CHECK_FALSE(b64->decode("Zm9vYmFyZg==Zg").has_value());
    CHECK_FALSE(b64->decode("Zm9vYmFy!m9vYmFy").has_value());
    CHECK(text(b64->decode("Zm9vYmFyZg=====")) == "foobarf");
    CHECK(text(AK_TKStringEncoding::hexStringEncoding()->decode("666f6F626172")) == "foobar");
    CHECK(AK_TKStringEncoding::crockfordBase32StringEncoding()->decode("0oO1iIlL") ==
          AK_TKStringEncoding::crockfordBase32StringEncoding()->decode("00011111"));
    CHECK_FALSE(b64->stringByDecoding("/w==").has_value());  // 0xFF is not UTF-8

    CHECK(AK_TKStringEncoding::stringEncodingWithString("012") == nullptr);
    CHECK(AK_TKStringEncoding::stringEncodingWithString("0120") == nullptr);
    CHECK(AK_TKStringEncoding::stringEncodingWithString("0\xC3\xA9") == nullptr);
    CHECK(AK_TKStringEncoding::stringEncodingWithString(std::string(256, 'a')) == nullptr);

    // Ignoring a character that already means something is refused as a whole.
    auto codec = AK_TKStringEncoding::rfc4648Base64StringEncoding();
    CHECK_FALSE(codec->ignoreCharacters(" A"));
    CHECK(text(codec->decode("AAAA")) == std::string(3, '\0'));
    CHECK_FALSE(codec->decode("Zm 9v").has_value());
    CHECK(codec->ignoreCharacters(" \n"));
    CHECK(text(codec->decode("Zm\n9 v")) == "foo");
    CHECK(text(codec->decode("Zm9vYmFy\nZm9v YmFy")) == "foobarfoobar");
    CHECK_FALSE(codec->ignoreCharacters("\xC3"));
    // Synonyms only ever enter the table for ASCII characters.
    auto hex = AK_TKStringEncoding::hexStringEncoding();
    hex->addDecodeSynonyms("A\xC3\xA1");
    CHECK_FALSE(hex->decode("\xC3\xA1").has_value());
}

TEST_CASE("codecs: 1,000 random inputs per alphabet agree with coreutils basenc") {
    REQUIRE(adkittest::runCommand("command -v basenc").exitCode == 0);
    struct Alphabet {
        const char* option;
        AK_TKStringEncodingPtr codec;
    };
    auto base2 = AK_TKStringEncoding::binaryStringEncoding();
    const Alphabet alphabets[] = {
        {"--base64", AK_TKStringEncoding::rfc4648Base64StringEncoding()},
        {"--base64url", AK_TKStringEncoding::rfc4648Base64WebsafeStringEncoding()},
        {"--base32", AK_TKStringEncoding::rfc4648Base32StringEncoding()},
        {"--base32hex", AK_TKStringEncoding::rfc4648Base32HexStringEncoding()},
        {"--base16", AK_TKStringEncoding::hexStringEncoding()},
        {"--base2msbf", base2},
    };
    const auto folder = std::filesystem::temp_directory_path() / ("adkit-basenc-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::mt19937 random(20261207);
    std::vector<Data> inputs;
    for (int i = 0; i < 1000; ++i) {
        Data d(random() % 97);
        for (auto& b : d) b = static_cast<std::uint8_t>(random());
        inputs.push_back(d);
        std::ofstream(folder / std::to_string(i), std::ios::binary).write(reinterpret_cast<const char*>(d.data()),
                                                                         static_cast<std::streamsize>(d.size()));
    }
    for (const Alphabet& alphabet : alphabets) {
        CAPTURE(alphabet.option);
        // One basenc run per input, separated by a marker line; -w0 keeps each on one line.
        const std::string command = "cd '" + folder.string() + "' && for i in $(seq 0 999); do basenc " +
                                    alphabet.option + " -w0 \"$i\"; echo; done";
        const auto reference = adkittest::runCommand(command);
        REQUIRE(reference.exitCode == 0);
        std::size_t start = 0;
        for (int i = 0; i < 1000; ++i) {
            const std::size_t end = reference.output.find('\n', start);
            REQUIRE(end != std::string::npos);
            const std::string expected = reference.output.substr(start, end - start);
            start = end + 1;
            const std::string ours = alphabet.codec->encode(inputs[static_cast<std::size_t>(i)]);
            if (ours != expected) FAIL_CHECK("encoding differs for input " << i);
            if (alphabet.codec->decode(expected) != std::optional<Data>(inputs[static_cast<std::size_t>(i)])) {
                FAIL_CHECK("decoding differs for input " << i);
            }
        }
    }
    std::filesystem::remove_all(folder);
}

TEST_CASE("codecs: hostile input never reads or writes out of bounds, and the web-safe helper refuses bad pointers") {
    std::mt19937 random(7);
    const AK_TKStringEncodingPtr codecs[] = {AK_TKStringEncoding::rfc4648Base64StringEncoding(),
                                            AK_TKStringEncoding::rfc4648Base32StringEncoding(),
                                            AK_TKStringEncoding::crockfordBase32StringEncoding(),
                                            AK_TKStringEncoding::binaryStringEncoding()};
    std::size_t decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string junk(random() % 64, '\0');
        for (auto& c : junk) c = static_cast<char>(random());
        for (const auto& codec : codecs) {
            if (auto bytes = codec->decode(junk)) {
                ++decoded;
                CHECK(bytes->size() <= junk.size());
            }
        }
    }
    CHECK(decoded > 0);  // empty and lucky inputs decode; the rest are refused without harm
    CHECK_FALSE(AKWebsafeBase64StringFromBytes(nullptr, 4).has_value());
    const std::uint8_t bytes[2] = {0xFB, 0xFF};
    CHECK_FALSE(AKWebsafeBase64StringFromBytes(bytes, -1).has_value());
    CHECK(AKWebsafeBase64StringFromBytes(bytes, 2) == std::optional<std::string>("-_8"));
}
