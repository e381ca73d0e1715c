// Protects the HTML character-reference routines: the two tables, escaping with
// named and numeric references, unescaping, and that escaping round-trips
// through unescaping for every table entry and for characters beyond the BMP.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/TKNSStringHTMLAdditions.h"
#include "platform/foundation/NSString.h"

namespace {

std::string utf8(std::u16string_view units) { return fromUTF16(units); }

std::size_t entries(std::size_t bytes) { return bytes / sizeof(HTMLEscapeMap); }

}  // namespace

TEST_CASE("the entity tables are complete, sorted and every entry round-trips") {
    const HTMLEscapeMap* full = tk_gAsciiHTMLEscapeMap();
    const HTMLEscapeMap* markup = tk_gUnicodeHTMLEscapeMap();
    REQUIRE(entries(tk_gAsciiHTMLEscapeMapSize()) == 253);
    REQUIRE(entries(tk_gUnicodeHTMLEscapeMapSize()) == 33);
    CHECK(std::string(full[0].escapeSequence) == "&quot;");
    CHECK(std::string(full[252].escapeSequence) == "&diams;");
    CHECK(full[252].uchar == 0x2666);
    for (std::size_t i = 1; i < 253; ++i) CHECK(full[i - 1].uchar < full[i].uchar);
    for (std::size_t i = 1; i < 33; ++i) CHECK(markup[i - 1].uchar < markup[i].uchar);

    for (std::size_t i = 0; i < 253; ++i) {
        const HTMLEscapeMap& entry = full[i];
        CAPTURE(entry.escapeSequence);
        const std::string character = utf8(std::u16string(1, entry.uchar));
        CHECK(tk_stringByEscapingForAsciiHTML(character) == std::string(entry.escapeSequence));
        CHECK(tk_stringByUnescapingFromHTML(entry.escapeSequence) == character);
        // Within text, and as a numeric reference too.
        CHECK(tk_stringByUnescapingFromHTML(std::string("a") + entry.escapeSequence + "b") == "a" + character + "b");
        CHECK(tk_stringByUnescapingFromHTML("&#" + std::to_string(entry.uchar) + ";") == character);
    }
    for (std::size_t i = 0; i < 33; ++i) {
        const std::string character = utf8(std::u16string(1, markup[i].uchar));
        CAPTURE(markup[i].escapeSequence);
        CHECK(tk_stringByEscapingForHTML(character) == std::string(markup[i].escapeSequence));
        CHECK(tk_stringByUnescapingFromHTML(*tk_stringByEscapingForHTML(character)) == character);
    }
}

TEST_CASE("escaping for HTML and for ASCII HTML") {
    CHECK(tk_stringByEscapingForHTML("<a href=\"x\">&</a>") == "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
    CHECK(tk_stringByEscapingForHTML("caf\xC3\xA9 \xE2\x80\x99") == "caf\xC3\xA9 &rsquo;");
    CHECK(tk_stringByEscapingForAsciiHTML("caf\xC3\xA9") == "caf&eacute;");
    CHECK(tk_stringByEscapingForAsciiHTML("\xC4\x81") == "&#257;");  // U+0101 has no name
    CHECK(tk_stringByEscapingForHTML("") == "");
    CHECK(tk_stringByUnescapingFromHTML("") == "");
    // A character beyond the BMP is one reference of its code point, and comes back.
    const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600
    CHECK(tk_stringByEscapingForAsciiHTML(grin) == "&#128512;");
    CHECK(tk_stringByEscapingForHTML(grin) == grin);
    const std::string mixed = "x<" + grin + "\xC3\xA9\xF4\x8F\xBF\xBF&y";  // ... U+10FFFF
    auto ascii = tk_stringByEscapingForAsciiHTML(mixed);
    REQUIRE(ascii);
    CHECK(*ascii == "x&lt;&#128512;&eacute;&#1114111;&amp;y");
    CHECK(tk_stringByUnescapingFromHTML(*ascii) == mixed);
    // No table: only the numeric references.
    CHECK(tk_stringByEscapingHTMLUsingTable("<\xC3\xA9", nullptr, 0, true) == "<&#233;");
}

TEST_CASE("unescaping accepts well-formed references only") {
    CHECK(tk_stringByUnescapingFromHTML("&lt;&#65;&#x42;&#X43;") == "<ABC");
    struct Case {
        const char* input;
        const char* output;
    };
    const Case cases[] = {
        {"&#0;", "&#0;"},                    // zero is refused
        {"&#65535;", "&#65535;"},            // so is 65535
        {"&#x;", "&#x;"},                    // no digits
        {"&#65a;", "&#65a;"},                // a letter after the digits
        {"&#+65;", "&#+65;"},                // no sign
        {"&#x0x41;", "&#x0x41;"},            // no second prefix
        {"&bogus;", "&bogus;"},              // not in the table
        {"&LT;", "&LT;"},                    // names are case-sensitive
        {"&#0000000065;", "&#0000000065;"},  // longer than ten characters
        {"&thetasym;", "\xCF\x91"},          // exactly ten
        {"&#xD800;", "&#xD800;"},            // surrogate values are no characters
        {"&#57343;", "&#57343;"},            // U+DFFF
        {"&#65534;", "\xEF\xBF\xBE"},        // U+FFFE stays accepted
        {"&#x1F600;", "\xF0\x9F\x98\x80"},   // beyond the BMP
        {"&#1114111;", "\xF4\x8F\xBF\xBF"},  // the last code point
        {"&#1114112;", "&#1114112;"},        // past it
        {"&#x110000;", "&#x110000;"},
        {"&amp&lt;", "&amp<"},               // a ";" belongs to the nearest "&" only
        {"&amp;lt;", "&lt;"},                // one pass: no double unescaping
        {"a & b;", "a & b;"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.input);
        CHECK(tk_stringByUnescapingFromHTML(c.input) == c.output);
    }
}

TEST_CASE("escaping round-trips any text, and unescaping takes any input") {
    std::uint32_t x = 88172645u;
    auto next = [&] {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        return x;
    };
    // Characters from every range that matters: markup, references' own
    // characters, Latin-1, the BMP around the surrogates, beyond the BMP.
    const std::uint32_t pools[][2] = {{0x20, 0x7E},     {0x26, 0x26},       {0x3B, 0x3B},     {0x80, 0xFF},
                                      {0x2000, 0x2100}, {0xD7F0, 0xD7FF},   {0xE000, 0xFFFD}, {0x10000, 0x10FFFF}};
    for (int round = 0; round < 2000; ++round) {
        std::u16string units;
        const std::size_t length = next() % 24;
        for (std::size_t i = 0; i < length; ++i) {
            const auto& pool = pools[next() % (sizeof(pools) / sizeof(pools[0]))];
            std::uint32_t cp = pool[0] + next() % (pool[1] - pool[0] + 1);
            if (cp >= 0x10000) {
                cp -= 0x10000;
                units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                units.push_back(static_cast<char16_t>(cp));
            }
        }
        const std::string text = utf8(units);
        CAPTURE(text);
        auto ascii = tk_stringByEscapingForAsciiHTML(text);
        REQUIRE(ascii);
        CHECK(std::all_of(ascii->begin(), ascii->end(), [](char c) { return static_cast<unsigned char>(c) < 128; }));
        CHECK(tk_stringByUnescapingFromHTML(*ascii) == text);
        auto html = tk_stringByEscapingForHTML(text);
        REQUIRE(html);
        CHECK(tk_stringByUnescapingFromHTML(*html) == text);
        // Anything at all unescapes without harm.
        (void)tk_stringByUnescapingFromHTML("&#" + text + ";&" + text);
    }
}
