#pragma once
// Text measuring and drawing with the fonts that ship in resources/fonts
// (DejaVu Sans and DejaVu Sans Bold), loaded into a private font configuration
// holding only them and, for characters they lack, the fallbacks for other
// scripts (Droid Sans Fallback: CJK) and colour emoji (Noto Color Emoji) that
// scripts/install-deps installs from Debian's packages, with hinting off and unrounded glyph positions: a text
// measures and renders the same on every machine, whatever fonts it has.
// Sizes are in user-space units (points), exact to 1/1024 of a unit.
//
// UIKit's UIFont and string drawing (NSStringDrawing.h) sit on top of this.
// Safe from any thread: calls are serialised.
#include <string>
#include <string_view>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

struct TextFont {
    bool bold = false;
    double size = 12;  // points; values below 0.01 or non-finite are taken as 12
    bool operator==(const TextFont&) const = default;
};

enum class TextWrap { None, Word, Character };
enum class TextTruncation { None, Head, Middle, Tail };
enum class TextAlignment { Left, Center, Right, Justified };

struct TextStyle {
    TextFont font;
    // Lines wrap (or truncate) at this width; 0 or less: no limit.
    double width = 0;
    // Lines below this height are left out; 0 or less: no limit. At least one
    // line is always kept.
    double height = 0;
    // At most this many lines; 0: no limit. Truncated text has one line per
    // paragraph unless this is set: then it wraps to at most this many lines
    // (fewer when the height holds fewer) and the last one is truncated.
    int maximumLines = 0;
    TextWrap wrap = TextWrap::Word;
    TextTruncation truncation = TextTruncation::None;
    TextAlignment alignment = TextAlignment::Left;
    double lineSpacing = 0;  // added between lines
};

struct TextMetrics {
    CGSize size;           // the laid-out lines' logical extent
    double baseline = 0;   // of the first line, from the top
    int lineCount = 0;
    int unknownGlyphs = 0;  // characters no font has, drawn as boxes
};

struct TextFontMetrics {
    double ascender = 0;   // above the baseline (positive)
    double descender = 0;  // below the baseline (negative)
    double lineHeight = 0;
    double capHeight = 0;
    double xHeight = 0;
};

// The family name of the fonts ("DejaVu Sans").
const std::string& TextFontFamilyName();
// False (with a console line, once) when the fonts could not be loaded; then
// every measure is zero and nothing is drawn.
bool TextFontsAvailable();

TextMetrics TextLayoutMeasure(std::string_view text, const TextStyle& style);
TextFontMetrics TextLayoutFontMetrics(const TextFont& font);
// Draws the text laid out as by TextLayoutMeasure with its top left corner at
// `origin`, in a context whose user space has y down (UIKit's), in the colour
// (straight RGBA), clipped to `clip` (in user space) when it is not null.
void TextLayoutDraw(const CGContextRef& context, std::string_view text, const TextStyle& style, CGPoint origin,
                    const double rgba[4], const CGRect* clip = nullptr);
