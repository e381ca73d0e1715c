// Protects the MD5 digests in upper-case hex and the URL encoding with a chosen text encoding.
#include <doctest/doctest.h>

#include <string>
#include <utility>

#include "TestTools.h"
#include "core/Digest.h"

using coretest::upper;

TEST_CASE("md5 gives the RFC 1321 test suite digests in upper-case hex") {
    // The test suite of RFC 1321, appendix A.5.
    const std::pair<std::string, std::string> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [input, digest] : suite) {
        CAPTURE(input);
        CHECK(md5(input) == upper(digest));
    }
    CHECK(md5("abc") == "900150983CD24FB0D6963F7D28E17F72");
}

TEST_CASE("md5 digests the bytes before the first zero byte") {
    CHECK(md5(std::string("abc\0def", 7)) == md5("abc"));
    CHECK(md5(std::string("\0abc", 4)) == md5(""));
}

TEST_CASE("md5 digests the UTF-8 bytes of non-ASCII text") {
    // "é" is C3 A9 in UTF-8; digest of those two bytes as given by md5sum.
    auto ref = coretest::runCommand("printf '\\303\\251' | md5sum");
    REQUIRE(ref.exitCode == 0);
    CHECK(md5("\xC3\xA9") == upper(ref.output.substr(0, 32)));
}

TEST_CASE("urlEncodeUsingEncoding escapes the whole escape set and every illegal character") {
    // Each of the characters a component must escape, in order.
    CHECK(urlEncodeUsingEncoding("!*'\"();:@&=+$,/?%#[] ", NSUTF8StringEncoding) ==
          "%21%2A%27%22%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20");
    // Not legal in a URL at all.
    CHECK(urlEncodeUsingEncoding("<>{}|\\^`", NSUTF8StringEncoding) == "%3C%3E%7B%7D%7C%5C%5E%60");
    // Control characters too.
    CHECK(urlEncodeUsingEncoding("a\tb\nc", NSUTF8StringEncoding) == "a%09b%0Ac");
    // Letters, digits and the four unreserved marks stay.
    CHECK(urlEncodeUsingEncoding("AZaz09-_.~", NSUTF8StringEncoding) == "AZaz09-_.~");
    CHECK(urlEncodeUsingEncoding("", NSUTF8StringEncoding) == "");
    CHECK(urlEncodeUsingEncoding("name=Ana & Bo", NSUTF8StringEncoding) == "name%3DAna%20%26%20Bo");
}

TEST_CASE("urlEncodeUsingEncoding converts non-ASCII text with the given encoding") {
    // e with acute accent: two bytes in UTF-8, one in ISO Latin 1, none in ASCII.
    CHECK(urlEncodeUsingEncoding("caf\xC3\xA9", NSUTF8StringEncoding) == "caf%C3%A9");
    CHECK(urlEncodeUsingEncoding("caf\xC3\xA9", NSISOLatin1StringEncoding) == "caf%E9");
    CHECK_FALSE(urlEncodeUsingEncoding("caf\xC3\xA9", NSASCIIStringEncoding).has_value());
    CHECK(urlEncodeUsingEncoding("cafe", NSASCIIStringEncoding) == "cafe");
    // Euro sign: three bytes in UTF-8, not in Latin 1; a character beyond the BMP: four.
    CHECK(urlEncodeUsingEncoding("\xE2\x82\xAC", NSUTF8StringEncoding) == "%E2%82%AC");
    CHECK_FALSE(urlEncodeUsingEncoding("\xE2\x82\xAC", NSISOLatin1StringEncoding).has_value());
    CHECK(urlEncodeUsingEncoding("\xF0\x9F\x8E\xAC", NSUTF8StringEncoding) == "%F0%9F%8E%AC");
}

TEST_CASE("urlEncodeUsingEncoding refuses unknown encodings and bytes that are not text") {
    CHECK_FALSE(urlEncodeUsingEncoding("abc", static_cast<NSStringEncoding>(9999)).has_value());
    CHECK_FALSE(urlEncodeUsingEncoding("ab\xFF", NSUTF8StringEncoding).has_value());
}
