// Protects the string routines: UTF-16 lengths, indexes and ranges, hex text, encodings, numeric and case-insensitive comparison, case mapping.
#include <doctest/doctest.h>

#include <set>

#include "platform/foundation/HexString.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUUID.h"

// "a", U+1F600 (two UTF-16 code units), "b"
static const std::string kEmoji = "a\xF0\x9F\x98\x80" "b";

TEST_CASE("utf16 length counts code units not bytes or code points") {
    CHECK(utf16Length("") == 0);
    CHECK(utf16Length("hello") == 5);
    CHECK(utf16Length("h\xC3\xA9llo") == 5);  // é is two bytes, one unit
    CHECK(utf16Length(kEmoji) == 4);
    CHECK(utf16Length("\xE2\x82\xAC") == 1);  // €
}

TEST_CASE("character at a utf16 index gives surrogate halves of astral characters") {
    CHECK(characterAtIndex(kEmoji, 0) == u'a');
    CHECK(characterAtIndex(kEmoji, 1) == char16_t(0xD83D));
    CHECK(characterAtIndex(kEmoji, 2) == char16_t(0xDE00));
    CHECK(characterAtIndex(kEmoji, 3) == u'b');
    CHECK_FALSE(characterAtIndex(kEmoji, 4).has_value());
    CHECK(characterAtIndex("h\xC3\xA9", 1) == char16_t(0xE9));
}

TEST_CASE("substrings by utf16 range are clamped and keep whole characters") {
    CHECK(substringWithRange(kEmoji, {1, 2}) == "\xF0\x9F\x98\x80");
    CHECK(substringFromIndex("h\xC3\xA9llo", 2) == "llo");
    CHECK(substringToIndex("h\xC3\xA9llo", 2) == "h\xC3\xA9");
    CHECK(substringWithRange("abc", {1, 100}) == "bc");
    CHECK(substringWithRange("abc", {5, 1}).empty());
    // Cutting through a surrogate pair leaves a replacement character, never broken UTF-8.
    std::string cut = substringWithRange(kEmoji, {0, 2});
    CHECK(cut == "a\xEF\xBF\xBD");
    CHECK(isValidUTF8(cut));
}

TEST_CASE("range of string is measured in utf16 units") {
    NSRange r = rangeOfString("h\xC3\xA9llo w\xC3\xB6rld", "w\xC3\xB6rld");
    CHECK(r.location == 6);
    CHECK(r.length == 5);
    CHECK(rangeOfString(kEmoji, "b").location == 3);
    CHECK(rangeOfString("abc", "x").location == NSNotFound);
    CHECK(rangeOfString("abc", "").location == NSNotFound);
}

TEST_CASE("hexadecimal text of bytes and the value of a digit") {
    const std::uint8_t bytes[] = {0x00, 0x0f, 0xa5, 0xff};
    CHECK(hexString(bytes, sizeof bytes) == "000fa5ff");
    CHECK(hexString(bytes, sizeof bytes, true) == "000FA5FF");
    CHECK(hexString(Data{}).empty());
    CHECK(hexString(std::string_view("\x01\x80", 2)) == "0180");
    for (auto [c, v] : std::vector<std::pair<char, int>>{{'0', 0}, {'9', 9}, {'a', 10}, {'F', 15}, {'g', -1}, {' ', -1}})
        CHECK(hexDigitValue(c) == v);
}

TEST_CASE("range of string never matches part of a character") {
    struct Case {
        std::string haystack, needle;
        std::size_t location;
    };
    const std::string euro = "\xE2\x82\xAC";
    for (const Case& c : std::vector<Case>{
             {"caf\xC3\xA9", "\xA9", NSNotFound},                          // a continuation byte of "é"
             {"caf\xC3\xA9 \xA9", "\xA9", 5},                              // ... but a lone byte of its own matches
             {euro + "x", "\xE2\x82", NSNotFound},                          // the head of "€"
             {euro + "x", "\x82\xAC" "x", NSNotFound},                      // its tail and what follows
             {kEmoji, "\x9F\x98\x80", NSNotFound},                        // the low half of a surrogate pair
             {kEmoji, "\xF0\x9F", NSNotFound},                             // the high half
             {"\xE2\x82" "A" + euro, "\x82" "A", 1},                       // invalid bytes are one character each
             {"\xC3\xA9\xA9" "b", "\xA9" "b", 1},                          // a second continuation byte stands alone
             {euro + "\x82\xAC", "\x82\xAC", 1},                            // skips the match inside "€", finds the next
         }) {
        CAPTURE(c.haystack);
        CHECK(rangeOfString(c.haystack, c.needle).location == c.location);
    }
}

TEST_CASE("utf16 conversion round trips and replaces invalid input") {
    std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC " + kEmoji;
    CHECK(fromUTF16(toUTF16(text)) == text);
    CHECK(toUTF16("\xFF" "a") == u"\uFFFDa");
    CHECK(fromUTF16(std::u16string(1, char16_t(0xD800))) == "\xEF\xBF\xBD");
    CHECK_FALSE(isValidUTF8("\xC0\xAF"));      // overlong "/"
    CHECK_FALSE(isValidUTF8("\xED\xA0\x80"));  // encoded surrogate
    CHECK_FALSE(isValidUTF8("\xE2\x82"));      // truncated
}

TEST_CASE("encodings convert to bytes and back") {
    std::string text = "caf\xC3\xA9 " + kEmoji;
    for (auto enc : {NSUTF8StringEncoding, NSUTF16StringEncoding, NSUTF16BigEndianStringEncoding,
                     NSUTF16LittleEndianStringEncoding}) {
        auto bytes = dataUsingEncoding(text, enc);
        REQUIRE(bytes.has_value());
        CHECK(stringWithData(*bytes, enc) == text);
    }
    CHECK(*dataUsingEncoding("A", NSUTF16BigEndianStringEncoding) == Data{0x00, 0x41});
    CHECK(*dataUsingEncoding("A", NSUTF16LittleEndianStringEncoding) == Data{0x41, 0x00});
    CHECK(*dataUsingEncoding("caf\xC3\xA9", NSISOLatin1StringEncoding) == Data{'c', 'a', 'f', 0xE9});
    CHECK(stringWithData(Data{'c', 0xE9}, NSISOLatin1StringEncoding) == "c\xC3\xA9");
    CHECK_FALSE(dataUsingEncoding("caf\xC3\xA9", NSASCIIStringEncoding).has_value());
    CHECK_FALSE(dataUsingEncoding("\xE2\x82\xAC", NSISOLatin1StringEncoding).has_value());
    CHECK_FALSE(stringWithData(Data{0xC3, 0x28}, NSUTF8StringEncoding).has_value());
    CHECK_FALSE(stringWithData(Data{0x80}, NSASCIIStringEncoding).has_value());
    CHECK_FALSE(stringWithData(Data{0x00, 0xD8}, NSUTF16LittleEndianStringEncoding).has_value());  // lone surrogate
}

TEST_CASE("numeric comparison orders version strings by number") {
    CHECK(compare("1.10", "1.9", NSNumericSearch) == NSOrderedDescending);
    CHECK(compare("1.9", "1.10", NSNumericSearch) == NSOrderedAscending);
    CHECK(compare("2.0.1", "2.0.1", NSNumericSearch) == NSOrderedSame);
    CHECK(compare("file2", "file10", NSNumericSearch) == NSOrderedAscending);
    CHECK(compare("1.0", "1.0.1", NSNumericSearch) == NSOrderedAscending);
    CHECK(compare("10", "9", NSNumericSearch) == NSOrderedDescending);
    CHECK(compare("123456789012345678901234567890", "123456789012345678901234567891", NSNumericSearch) ==
          NSOrderedAscending);
    // Without the option the comparison is by character.
    CHECK(compare("1.10", "1.9") == NSOrderedAscending);
    CHECK(compare("b", "a") == NSOrderedDescending);
    CHECK(compare("", "a") == NSOrderedAscending);
}

TEST_CASE("case insensitive comparison folds ascii and accented letters") {
    CHECK(caseInsensitiveCompare("HeLLo", "hello") == NSOrderedSame);
    CHECK(caseInsensitiveCompare("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9") == NSOrderedSame);  // ÉTÉ / été
    CHECK(caseInsensitiveCompare("avocado", "Banana") == NSOrderedAscending);
    CHECK(compare("avocado", "Banana") == NSOrderedDescending);  // 'a' > 'B' by code unit
    CHECK(compare("Version 1.10", "version 1.9", NSCaseInsensitiveSearch | NSNumericSearch) == NSOrderedDescending);
}

TEST_CASE("prefix and suffix tests") {
    CHECK(hasPrefix("http://x", "http"));
    CHECK_FALSE(hasPrefix("ht", "http"));
    CHECK_FALSE(hasPrefix("abc", ""));  // the empty string is no prefix, as on the platform
    CHECK(hasSuffix("movie.mp4", ".mp4"));
    CHECK_FALSE(hasSuffix("mp4", ".mp4"));
    CHECK_FALSE(hasSuffix("abc", ""));
}

TEST_CASE("case mapping covers ascii latin greek and cyrillic") {
    CHECK(lowercaseString("Popular") == "popular");
    CHECK(uppercaseString("rating") == "RATING");
    CHECK(lowercaseString("\xC3\x80\xC3\x89\xC3\x8E") == "\xC3\xA0\xC3\xA9\xC3\xAE");          // ÀÉÎ
    CHECK(uppercaseString("\xC3\xA0\xC3\xA9\xC3\xAE") == "\xC3\x80\xC3\x89\xC3\x8E");
    CHECK(uppercaseString("stra\xC3\x9F" "e") == "STRASSE");
    CHECK(lowercaseString("\xCE\x91\xCE\x92\xCE\x93") == "\xCE\xB1\xCE\xB2\xCE\xB3");          // ΑΒΓ
    CHECK(uppercaseString("\xD0\xBF\xD1\x80\xD0\xB8") == "\xD0\x9F\xD0\xA0\xD0\x98");          // при
    CHECK(lowercaseString("\xC5\x81\xC3\x93\xC5\xB9") == "\xC5\x82\xC3\xB3\xC5\xBA");          // ŁÓŹ
    CHECK(uppercaseString(kEmoji) == "A\xF0\x9F\x98\x80" "B");
    CHECK(lowercaseString("\xC3\x97") == "\xC3\x97");  // × has no case
}

TEST_CASE("trimming removes only the chosen characters at both ends") {
    CHECK(stringByTrimmingWhitespace("  \t hi there \n") == "hi there \n");
    CHECK(stringByTrimmingWhitespaceAndNewlines("  \t hi there \r\n") == "hi there");
    CHECK(stringByTrimmingWhitespaceAndNewlines("\xC2\xA0x\xE2\x80\xA8") == "x");  // no-break space, line separator
    CHECK(stringByTrimmingWhitespaceAndNewlines(" \n ").empty());
    CHECK(stringByTrimmingCharacters("--x-y--", "-") == "x-y");
    CHECK(stringByTrimmingCharacters("\xC3\xA9\xC3\xA9x\xC3\xA9", "\xC3\xA9") == "x");
}

TEST_CASE("components separated by string keep empty parts") {
    CHECK(componentsSeparatedByString("a,,b", ",") == std::vector<std::string>{"a", "", "b"});
    CHECK(componentsSeparatedByString(",a,", ",") == std::vector<std::string>{"", "a", ""});
    CHECK(componentsSeparatedByString("", ",") == std::vector<std::string>{""});
    CHECK(componentsSeparatedByString("a::b::c", "::") == std::vector<std::string>{"a", "b", "c"});
    CHECK(componentsJoinedByString(componentsSeparatedByString("x&y&&z", "&"), "&") == "x&y&&z");
    CHECK(stringByReplacingOccurrencesOfString("a-b-c", "-", "+-") == "a+-b+-c");
}

TEST_CASE("classic url escaping leaves legal characters and escapes the rest") {
    // Reserved characters stay; space, percent, hash, brackets and non-ASCII are escaped.
    CHECK(stringByAddingPercentEscapes("a b&c=d+e/f?g") == "a%20b&c=d+e/f?g");
    CHECK(stringByAddingPercentEscapes("100%#[x]") == "100%25%23%5Bx%5D");
    CHECK(stringByAddingPercentEscapes("caf\xC3\xA9") == "caf%C3%A9");
    CHECK(stringByAddingPercentEscapes("caf\xC3\xA9", NSISOLatin1StringEncoding) == "caf%E9");
    CHECK_FALSE(stringByAddingPercentEscapes("caf\xC3\xA9", NSASCIIStringEncoding).has_value());
    CHECK(stringByAddingPercentEscapes("plain", NSASCIIStringEncoding) == "plain");
}

TEST_CASE("escaping with extra characters and exemptions as query pairs need") {
    const std::string extra = ":/?&=;+!@#$()',*";
    // A field keeps brackets and points; a value escapes brackets.
    CHECK(stringByAddingPercentEscapes("a[x].y", NSUTF8StringEncoding, extra, "[].") == "a[x].y");
    CHECK(stringByAddingPercentEscapes("a[x]", NSUTF8StringEncoding, extra) == "a%5Bx%5D");
    CHECK(stringByAddingPercentEscapes("a b&c=d+e/f?g", NSUTF8StringEncoding, extra) ==
          "a%20b%26c%3Dd%2Be%2Ff%3Fg");
    CHECK(stringByAddingPercentEscapes("it's", NSUTF8StringEncoding, extra) == "it%27s");
}

TEST_CASE("percent escapes round trip for reserved and non-ascii text") {
    const std::vector<std::string> samples = {"&", "=", "+", "a b", "x=1&y=2+3", "caf\xC3\xA9 \xE2\x82\xAC",
                                              kEmoji, "100%", "x/y?z#w", "%41"};
    for (const auto& s : samples) {
        std::string escaped = stringByAddingPercentEncodingWithAllowedCharacters(s, URLUnreservedCharacters());
        for (char c : escaped) {
            bool ok = std::isalnum(static_cast<unsigned char>(c)) || std::string_view("-._~%").find(c) != std::string_view::npos;
            CHECK_MESSAGE(ok, "unexpected character in " << escaped);
        }
        CHECK(stringByReplacingPercentEscapes(escaped) == s);
        auto classic = stringByAddingPercentEscapes(s, NSUTF8StringEncoding, ":/?&=;+!@#$()',*");
        REQUIRE(classic.has_value());
        CHECK(stringByReplacingPercentEscapes(*classic) == s);
    }
    CHECK(stringByAddingPercentEncodingWithAllowedCharacters("&=+", URLUnreservedCharacters()) == "%26%3D%2B");
    CHECK(stringByAddingPercentEncodingWithAllowedCharacters("\xC3\xA9", URLUnreservedCharacters()) == "%C3%A9");
}

TEST_CASE("removing percent escapes refuses broken escapes and invalid utf8") {
    CHECK(stringByReplacingPercentEscapes("http%3A%2F%2Fhost%2Fa%20b.mp4") == "http://host/a b.mp4");
    CHECK(stringByReplacingPercentEscapes("a+b") == "a+b");  // plus is not a space here
    CHECK(stringByReplacingPercentEscapes("%c3%a9") == "\xC3\xA9");
    CHECK_FALSE(stringByReplacingPercentEscapes("50%").has_value());
    CHECK_FALSE(stringByReplacingPercentEscapes("%4").has_value());
    CHECK_FALSE(stringByReplacingPercentEscapes("%zz").has_value());
    CHECK_FALSE(stringByReplacingPercentEscapes("%C3%28").has_value());
    CHECK_FALSE(stringByReplacingPercentEscapes("%E9").has_value());
    CHECK(stringByReplacingPercentEscapes("") == "");
}

TEST_CASE("path helpers split and join paths") {
    CHECK(lastPathComponent("/a/b/c.txt") == "c.txt");
    CHECK(lastPathComponent("/a/b/") == "b");
    CHECK(lastPathComponent("/") == "/");
    CHECK(lastPathComponent("name") == "name");
    CHECK(pathExtension("/a/movie.tar.gz") == "gz");
    CHECK(pathExtension("/a/.hidden").empty());
    CHECK(pathExtension("/a.b/file").empty());
    CHECK(stringByDeletingLastPathComponent("/a/b/c") == "/a/b");
    CHECK(stringByDeletingLastPathComponent("/a") == "/");
    CHECK(stringByDeletingLastPathComponent("a").empty());
    CHECK(stringByDeletingPathExtension("/a/b.mp4") == "/a/b");
    CHECK(stringByDeletingPathExtension("/a.d/b") == "/a.d/b");
    CHECK(stringByAppendingPathComponent("/a/", "/b") == "/a/b");
    CHECK(stringByAppendingPathComponent("/", "b") == "/b");
    CHECK(stringByAppendingPathComponent("", "b") == "b");
    CHECK(stringByAppendingPathExtension("/a/b", "mp4") == "/a/b.mp4");
}

TEST_CASE("uuids are random version 4 in upper case and parse back") {
    std::set<std::string> seen;
    for (int i = 0; i < 64; ++i) {
        auto uuid = NSUUID::UUID();
        std::string s = uuid->UUIDString();
        REQUIRE(s.size() == 36);
        CHECK(s[8] == '-');
        CHECK(s[13] == '-');
        CHECK(s[14] == '4');
        CHECK(std::string("89AB").find(s[19]) != std::string::npos);
        CHECK(uppercaseString(s) == s);
        seen.insert(s);
        auto parsed = NSUUID::initWithUUIDString(lowercaseString(s));
        REQUIRE(parsed);
        CHECK(parsed->isEqual(*uuid));
        CHECK(parsed->UUIDString() == s);
    }
    CHECK(seen.size() == 64);
    CHECK_FALSE(NSUUID::initWithUUIDString("not-a-uuid"));
    CHECK_FALSE(NSUUID::initWithUUIDString("123E4567-E89B-12D3-A456-42661417400G"));
    CHECK_FALSE(NSUUID::initWithUUIDString("123E4567E89B-12D3-A456-4266141740000"));
}
