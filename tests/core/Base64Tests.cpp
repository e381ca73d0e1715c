// Protects the catalogue's Base64 codec: RFC 4648 vectors, skipped bytes, ASCII substitutes, line wrapping and agreement with the base64 tool.
#include <doctest/doctest.h>

#include <string>
#include <utility>

#include "TestTools.h"
#include "core/Base64.h"
#include "support/TestEnvironment.h"

using coretest::patternBytes;
using coretest::runCommand;
using coretest::shellQuote;

TEST_CASE("Base64 encoding gives the RFC 4648 test vectors") {
    // RFC 4648 section 10.
    const std::pair<std::string, std::string> vectors[] = {
        {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        CAPTURE(plain);
        CHECK(base64EncodedString(dataFromString(plain)) == encoded);
        CHECK(base64EncodedString(plain) == encoded);
        auto decoded = dataWithBase64EncodedString(encoded);
        REQUIRE(decoded);
        CHECK(stringFromData(*decoded) == plain);
        CHECK(stringWithBase64EncodedString(encoded) == plain);
    }
    CHECK(base64EncodedString(dataFromString("abc")) == "YWJj");
    CHECK(base64EncodedString(dataFromString("a")) == "YQ==");
    CHECK(base64EncodedString(dataFromString("ab")) == "YWI=");
}

TEST_CASE("Base64 of empty input is null both ways") {
    CHECK_FALSE(base64EncodedString(Data{}).has_value());
    CHECK_FALSE(base64EncodedString(std::string()).has_value());
    CHECK_FALSE(base64EncodedStringWithWrapWidth(Data{}, 76).has_value());
    CHECK_FALSE(dataWithBase64EncodedString("").has_value());
    CHECK_FALSE(dataWithBase64EncodedString("====").has_value());
    CHECK_FALSE(dataWithBase64EncodedString("=").has_value());
    CHECK_FALSE(dataWithBase64EncodedString("Y").has_value());  // a lone character yields no byte
    CHECK_FALSE(dataWithBase64EncodedString(" \r\n\t").has_value());
    CHECK_FALSE(stringWithBase64EncodedString("").has_value());
}

TEST_CASE("Base64 decoding skips every byte outside the alphabet and never needs padding") {
    for (const char* text : {"YQ", "YQ==", "Y Q = =", "=Y=Q=", "\r\nYQ\r\n", "Y-Q", "Y.Q", "@Y!Q?"}) {
        CAPTURE(text);
        auto d = dataWithBase64EncodedString(text);
        REQUIRE(d);
        CHECK(*d == dataFromString("a"));
    }
    // Three characters give two bytes; padding inside the text changes nothing.
    CHECK(dataWithBase64EncodedString("YWI") == dataFromString("ab"));
    CHECK(dataWithBase64EncodedString("Zm9v=YmFy") == dataFromString("foobar"));
    CHECK(dataWithBase64EncodedString("Zm9v\r\nYmFy\r\n") == dataFromString("foobar"));
    CHECK(dataWithBase64EncodedString("Zm 9v Ym Fy") == dataFromString("foobar"));
}

TEST_CASE("Base64 decoding reads non-ASCII characters as their ASCII substitutes") {
    // y with diaeresis stands for y; the euro sign for "?", which is skipped.
    CHECK(dataWithBase64EncodedString("Zm9vYmF\xC3\xBF") == dataFromString("foobar"));
    CHECK(dataWithBase64EncodedString("Zm9v\xE2\x82\xAC" "YmFy") == dataFromString("foobar"));
    // A byte that is not UTF-8 at all counts as "?" too.
    CHECK(dataWithBase64EncodedString("Zm9v\xFFYmFy") == dataFromString("foobar"));
}

TEST_CASE("Base64 wrap width puts CR LF after every full line") {
    const Data abc = dataFromString("abc");
    CHECK(base64EncodedStringWithWrapWidth(abc, 4) == "YWJj\r\n");
    // Widths below 4 do not wrap; others are rounded down to a multiple of 4.
    for (unsigned long w : {0ul, 1ul, 2ul, 3ul}) CHECK(base64EncodedStringWithWrapWidth(abc, w) == "YWJj");
    const Data six = dataFromString("abcdef");
    CHECK(base64EncodedStringWithWrapWidth(six, 6) == "YWJj\r\nZGVm\r\n");
    CHECK(base64EncodedStringWithWrapWidth(six, 4) == base64EncodedStringWithWrapWidth(six, 6));
    // A final partial group gets no break after it.
    CHECK(base64EncodedStringWithWrapWidth(dataFromString("abcd"), 4) == "YWJj\r\nZA==");
    CHECK(base64EncodedStringWithWrapWidth(dataFromString("ab"), 4) == "YWI=");
    // The string form encodes the UTF-8 bytes the same way.
    CHECK(base64EncodedStringWithWrapWidth(std::string("abcdef"), 4) == "YWJj\r\nZGVm\r\n");
}

TEST_CASE("Base64 with width 76 matches the line layout of the base64 tool") {
    testsupport::TempHome home;
    // 200 bytes: 268 characters, three full lines of 76 and a last one of 40.
    const Data bytes = patternBytes(200, 7);
    const std::string path = home.path() + "/in.bin";
    coretest::writeFile(path, bytes);
    auto ref = runCommand("base64 -w 76 " + shellQuote(path));
    REQUIRE(ref.exitCode == 0);
    // The tool breaks with LF and also after the last line; ours breaks with CR LF
    // only after full lines.
    std::string expected;
    for (char c : ref.output) {
        if (c == '\n') expected += "\r\n";
        else expected.push_back(c);
    }
    expected.resize(expected.size() - 2);
    auto ours = base64EncodedStringWithWrapWidth(bytes, 76);
    REQUIRE(ours);
    CHECK(*ours == expected);
    // 228 bytes fill exactly four lines: the text then ends with a break.
    const Data full = patternBytes(228, 8);
    auto fullText = base64EncodedStringWithWrapWidth(full, 76);
    REQUIRE(fullText);
    CHECK(fullText->size() == 4 * 78);
    CHECK(fullText->substr(fullText->size() - 2) == "\r\n");
    CHECK(dataWithBase64EncodedString(*fullText) == full);
}

TEST_CASE("Base64 agrees with the base64 tool on many lengths both ways") {
    testsupport::TempHome home;
    for (std::size_t length : {1u, 2u, 3u, 4u, 5u, 31u, 32u, 33u, 1000u, 4097u}) {
        CAPTURE(length);
        const Data bytes = patternBytes(length, static_cast<unsigned>(length));
        const std::string path = home.path() + "/in.bin";
        coretest::writeFile(path, bytes);
        auto ref = runCommand("base64 -w 0 " + shellQuote(path));
        REQUIRE(ref.exitCode == 0);
        CHECK(base64EncodedString(bytes) == ref.output);
        // The tool's wrapped form decodes to the same bytes (its line feeds are skipped).
        auto wrapped = runCommand("base64 -w 60 " + shellQuote(path));
        CHECK(dataWithBase64EncodedString(wrapped.output) == bytes);
    }
}

TEST_CASE("Base64 string decoding requires UTF-8 text") {
    CHECK(stringWithBase64EncodedString("w6k=") == "\xC3\xA9");
    CHECK(base64DecodedString("w6k=") == "\xC3\xA9");
    CHECK_FALSE(stringWithBase64EncodedString("//4=").has_value());  // FF FE
    CHECK_FALSE(stringWithBase64EncodedString("7aCA").has_value());  // an encoded surrogate
    CHECK(base64DecodedData("//4=") == Data{0xFF, 0xFE});
    CHECK(base64EncodedString(std::string("\xC3\xA9")) == "w6k=");
}
