#pragma once
// HTML character references for strings: escaping with named references from
// a table (and numeric ones where asked), and turning named and numeric
// references back into characters. Stateless; any thread. Strings are UTF-8;
// the work is done on their UTF-16 code units, as the tables name code units.
//
// A character outside the Basic Multilingual Plane escapes as one numeric
// reference of its code point ("&#128512;"), and unescaping accepts numeric
// references from 1 to 0x10FFFF except the surrogate values and 65535, so what
// escaping gives unescapes to the original text.
#include <cstddef>
#include <optional>
#include <string>

// One named reference: "&name;" and the code unit it stands for.
struct HTMLEscapeMap {
    const char* escapeSequence;
    char16_t uchar;
};

// Every HTML 4.01 character entity plus "&apos;", sorted by code unit (253 entries).
const HTMLEscapeMap* tk_gAsciiHTMLEscapeMap();
std::size_t tk_gAsciiHTMLEscapeMapSize();  // in bytes, as the table's size is passed around
// The markup characters and the typographic special characters, plus "&apos;" (33 entries).
const HTMLEscapeMap* tk_gUnicodeHTMLEscapeMap();
std::size_t tk_gUnicodeHTMLEscapeMapSize();  // in bytes

// Escapes `text` with `table` (sorted by code unit; `size` in bytes). With
// `escapingUnicode`, every character of 128 or above that has no entry becomes
// a decimal reference. An empty text is returned unchanged; nullopt when no
// memory could be had for the work.
std::optional<std::string> tk_stringByEscapingHTMLUsingTable(const std::string& text, const HTMLEscapeMap* table,
                                                             std::size_t size, bool escapingUnicode);
// Markup characters and the typographic ones become named references; the rest stays.
std::optional<std::string> tk_stringByEscapingForHTML(const std::string& text);
// Pure ASCII: named references where the full table has one, decimal ones elsewhere.
std::optional<std::string> tk_stringByEscapingForAsciiHTML(const std::string& text);
// Named (case-sensitive, full table) and numeric references of 4 to 10
// characters become their characters; anything else stays as written.
std::string tk_stringByUnescapingFromHTML(const std::string& text);
