// Protects text measuring and drawing over the shipped fonts: exact metrics,
// emoji and CJK from the fallback fonts (in colour for emoji, never as boxes),
// the same metrics in a process whose font configuration sees the system's
// fonts, wrapping, truncation, alignment and clipping of drawn text.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/graphics/TextLayout.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIGraphics.h"
#include "support/TestEnvironment.h"

namespace {

struct Sample {
    bool bold;
    double size;
    const char* text;
};

const Sample kSamples[] = {
    {false, 17, "Loading..."}, {false, 17, "Hello, World"}, {false, 17, "Pull to refresh"},
    {true, 17, "Loading..."},  {true, 17, "Pull to refresh"}, {false, 12, "Loading..."},
    {false, 15, "Ünïcödé ✓"},  {true, 13, "Release to refresh..."}, {false, 17, "🎬🍿 café 日本語"},
};

// Every sample's size, the fonts' metrics and a wrapped measure, one line each, in 1/1024 units.
std::string metricsReport() {
    std::ostringstream out;
    for (const Sample& s : kSamples) {
        auto font = s.bold ? UIFont::boldSystemFontOfSize(s.size) : UIFont::systemFontOfSize(s.size);
        CGSize size = sizeWithAttributes(s.text, {font});
        out << s.text << " " << size.width * 1024 << " " << size.height * 1024 << "\n";
    }
    auto font = UIFont::systemFontOfSize(17);
    out << "metrics " << font->ascender() * 1024 << " " << font->descender() * 1024 << " " << font->lineHeight() * 1024
        << " " << font->capHeight() * 1024 << "\n";
    CGRect r = boundingRectWithSize("The quick brown fox jumps over the lazy dog", CGSizeMake(100, 1000),
                                    NSStringDrawingUsesLineFragmentOrigin, {UIFont::systemFontOfSize(15)});
    out << "wrapped " << r.size.width * 1024 << " " << r.size.height * 1024 << "\n";
    return out.str();
}

int run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The bounds (in pixels) of the pixels the predicate picks; empty when none.
struct Ink {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};
template <class F>
Ink inkOf(const UIImagePtr& image, F pick) {
    Ink ink;
    const auto& img = image->CGImage();
    for (std::size_t y = 0; y < img->height(); ++y)
        for (std::size_t x = 0; x < img->width(); ++x)
            if (pick(img->pixelAt(x, y))) {
                ink.x0 = std::min(ink.x0, int(x)), ink.x1 = std::max(ink.x1, int(x));
                ink.y0 = std::min(ink.y0, int(y)), ink.y1 = std::max(ink.y1, int(y));
            }
    return ink;
}

template <class F>
UIImagePtr render(CGSize size, F draw) {
    UIGraphicsBeginImageContextWithOptions(size, true, 1);
    UIColor::whiteColor()->setFill();
    UIRectFill(CGRectMake(0, 0, size.width, size.height));
    draw();
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

bool inked(const CGPixel& p) { return p.g < 128; }

}  // namespace

TEST_SUITE("text") {

TEST_CASE("text measures exactly, in 1/1024 of a point") {
    REQUIRE(TextFontsAvailable());
    struct Expected {
        UIFontPtr font;
        const char* text;
        int width, height;  // in 1/1024 points
    };
    const int line17 = 20264, line12 = 14304;  // 1.1640625 em: DejaVu's ascender plus descender
    for (const Expected& e : {Expected{UIFont::systemFontOfSize(17), "Loading...", 85284, line17},
                              Expected{UIFont::systemFontOfSize(17), "Hello, World", 105081, line17},
                              Expected{UIFont::systemFontOfSize(17), "Pull to refresh", 120646, line17},
                              Expected{UIFont::boldSystemFontOfSize(17), "Loading...", 97921, line17},
                              Expected{UIFont::boldSystemFontOfSize(17), "Pull to refresh", 140603, line17},
                              Expected{UIFont::systemFontOfSize(12), "Loading...", 60198, line12},
                              Expected{UIFont::systemFontOfSize(12), "Loading...\nDone", 60198, 2 * line12}}) {
        CAPTURE(e.text);
        CAPTURE(e.font->description());
        CGSize size = sizeWithAttributes(e.text, {e.font});
        CHECK(size.width * 1024 == e.width);
        CHECK(size.height * 1024 == e.height);
    }
    auto font = UIFont::systemFontOfSize(17);
    CHECK(font->ascender() * 1024 == 16159);
    CHECK(font->descender() * 1024 == -4105);
    CHECK(font->lineHeight() * 1024 == line17);
    CHECK(font->fontName() == "DejaVuSans");
    CHECK(UIFont::boldSystemFontOfSize(17)->fontName() == "DejaVuSans-Bold");
    CHECK(font->familyName() == "DejaVu Sans");
    CHECK(UIFont::preferredFontForTextStyle(UIFontTextStyleHeadline)->isEqual(UIFont::boldSystemFontOfSize(17)));
    CHECK(UIFont::fontWithName("HelveticaNeue-Bold", 14)->isBold());
    CHECK_FALSE(UIFont::fontWithName("", 14));
    CHECK(UIFont::systemFontOfSize(NAN)->pointSize() == 12);
    CHECK(sizeWithAttributes("", {font}) == CGSizeZero);
    // Bytes that are not UTF-8 measure as replacement characters.
    CHECK(sizeWithAttributes("\xff" "abc", {font}) == sizeWithAttributes("\xEF\xBF\xBD" "abc", {font}));
    CHECK(sizeWithAttributes("abc", {}) == sizeWithAttributes("abc", {UIFont::systemFontOfSize(12)}));
}

TEST_CASE("emoji and CJK draw from the fallback fonts after DejaVu, with pinned metrics, emoji in colour") {
    REQUIRE(TextFontsAvailable());
    struct Expected {
        const char* text;
        int width, height;  // in 1/1024 points, at 17 points
    };
    TextStyle style;
    style.font.size = 17;
    // Emoji are 1.2451 em wide (the emoji font's advance), CJK characters 1 em with the fallback's taller line.
    for (const Expected& e : {Expected{"🎬🍿 café 日本語", 143720, 22780}, Expected{"🎬", 21675, 20400},
                              Expected{"日本語", 52224, 22780}, Expected{"café", 37078, 20264}}) {
        CAPTURE(e.text);
        const TextMetrics m = TextLayoutMeasure(e.text, style);
        CHECK(m.unknownGlyphs == 0);  // no character drawn as the missing-glyph box
        CHECK(m.size.width * 1024 == e.width);
        CHECK(m.size.height * 1024 == e.height);
    }
    CHECK(TextLayoutMeasure("\U0010FFFD", style).unknownGlyphs == 1);  // a private-use character no font has
    // Drawn in black, the emoji (red and white popcorn) keeps its own colours; the CJK characters are inked.
    const auto font = UIFont::systemFontOfSize(34);
    const double emoji = sizeWithAttributes("🍿", {font}).width;
    auto image = render({300, 50}, [&] { drawAtPoint("🍿 日本語", CGPointMake(5, 5), {font, UIColor::blackColor()}); });
    const Ink coloured = inkOf(image, [](const CGPixel& p) { return std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 80; });
    REQUIRE_FALSE(coloured.empty());
    CHECK(coloured.x1 <= 5 + emoji + 1);
    const Ink black = inkOf(image, [](const CGPixel& p) { return p.r < 60 && p.g < 60 && p.b < 60; });
    CHECK(black.x0 > 5 + emoji);
}

// Run by the test below in a process of its own.
TEST_CASE("text metrics helper process" * doctest::skip()) {
    const char* out = std::getenv("TEXT_METRICS_OUT");
    REQUIRE(out);
    std::ofstream(out) << metricsReport();
}

TEST_CASE("text measures the same in a process whose font configuration sees the system's fonts") {
    const std::string system = "/etc/fonts/fonts.conf";
    REQUIRE(std::filesystem::exists(system));
    // That configuration holds more than the two shipped faces (among them the
    // system's own copy of the family).
    REQUIRE(run("test $(FONTCONFIG_FILE=" + system + " fc-list | wc -l) -gt 2") == 0);
    auto out = std::filesystem::temp_directory_path() / ("quorvane-text-metrics-" + std::to_string(getpid()));
    REQUIRE(run("FONTCONFIG_FILE=" + system + " TEXT_METRICS_OUT='" + out.string() + "' '" +
                testsupport::selfExecutable() + "' --no-skip --test-case='text metrics helper process' >/dev/null") == 0);
    std::ifstream in(out);
    std::stringstream theirs;
    theirs << in.rdbuf();
    std::filesystem::remove(out);
    CHECK(theirs.str() == metricsReport());
    CHECK(theirs.str().size() > 100);
}

TEST_CASE("bounding rectangles wrap, truncate and stop at the height as the paragraph style says") {
    const std::string text = "The quick brown fox jumps over the lazy dog";
    auto font = UIFont::systemFontOfSize(15);
    const double line = font->lineHeight();
    auto measure = [&](CGSize size, NSLineBreakMode mode, NSStringDrawingOptions options = NSStringDrawingUsesLineFragmentOrigin) {
        NSParagraphStyle style;
        style.lineBreakMode = mode;
        return boundingRectWithSize(text, size, options, {font, nullptr, style});
    };
    CGRect wrapped = measure({100, 1000}, NSLineBreakByWordWrapping);
    CHECK(wrapped.size.height == 4 * line);
    CHECK(wrapped.size.width <= 100);
    CHECK(wrapped.origin == CGPointZero);
    CHECK(measure({100, 40}, NSLineBreakByWordWrapping).size.height == 2 * line);
    CHECK(measure({100, 5}, NSLineBreakByWordWrapping).size.height == line);  // at least one line
    CGRect chars = measure({100, 1000}, NSLineBreakByCharWrapping);
    CHECK(chars.size.width <= 100);
    CHECK(chars.size.height <= wrapped.size.height);
    CGRect tail = measure({100, 1000}, NSLineBreakByTruncatingTail);
    CHECK(tail.size.height == line);
    CHECK(tail.size.width <= 100);
    CHECK(measure({100, 40}, NSLineBreakByTruncatingMiddle).size.height == line);
    // Wrapped to a number of lines with the last one truncated, as labels lay out.
    TextStyle labelStyle = textStyleForAttributes({font, nullptr, NSParagraphStyle{NSTextAlignmentLeft, NSLineBreakByTruncatingTail, 0}}, 100, 1000);
    labelStyle.maximumLines = 2;
    TextMetrics label = TextLayoutMeasure(text, labelStyle);
    CHECK(label.lineCount == 2);
    CHECK(label.size.height == 2 * line);
    labelStyle.height = line * 1.5;
    CHECK(TextLayoutMeasure(text, labelStyle).lineCount == 1);
    CGRect clipped = measure({100, 1000}, NSLineBreakByClipping);
    CHECK(clipped.size.height == line);
    CHECK(clipped.size.width == sizeWithAttributes(text, {font}).width);
    CGRect baseline = measure({100, 1000}, NSLineBreakByWordWrapping, NSStringDrawingUsesFontLeading);
    CHECK(baseline.size.height == line);
    CHECK(baseline.origin.y == -font->ascender());
    NSStringDrawingContext context;
    boundingRectWithSize(text, {100, 1000}, NSStringDrawingUsesLineFragmentOrigin, {font}, &context);
    CHECK(context.totalBounds == wrapped);
}

TEST_CASE("drawn text is aligned in its rectangle, whole lines only, clipped to it") {
    auto font = UIFont::boldSystemFontOfSize(16);
    double width = sizeWithAttributes("WWW", {font}).width;
    for (NSTextAlignment alignment : {NSTextAlignmentLeft, NSTextAlignmentCenter, NSTextAlignmentRight}) {
        CAPTURE(alignment);
        NSParagraphStyle style;
        style.alignment = alignment;
        auto image = render({200, 40}, [&] { drawInRect("WWW", CGRectMake(20, 10, 160, 20), {font, UIColor::redColor(), style}); });
        Ink ink = inkOf(image, inked);
        REQUIRE_FALSE(ink.empty());
        double left = 20 + (alignment == NSTextAlignmentLeft ? 0 : alignment == NSTextAlignmentCenter ? (160 - width) / 2 : 160 - width);
        CHECK(std::abs(ink.x0 - left) <= 2);
        CHECK(std::abs(ink.x1 - (left + width)) <= 2);
        CHECK(ink.y0 >= 10);
        CHECK(ink.y1 < 30);
        CHECK(image->CGImage()->pixelAt(std::size_t(ink.x0 + 2), std::size_t(ink.y0 + 4)).r > 200);
    }
    // Two lines of wrapped text in a rectangle one line high: only the first is drawn.
    auto one = render({200, 80}, [&] {
        drawInRect("Alpha Beta Gamma Delta", CGRectMake(0, 0, 100, font->lineHeight() + 3), {font, UIColor::blackColor()});
    });
    CHECK(inkOf(one, inked).y1 < font->lineHeight() + 3);
    auto two = render({200, 80}, [&] { drawInRect("Alpha Beta Gamma Delta", CGRectMake(0, 0, 100, 80), {font}); });
    CHECK(inkOf(two, inked).y1 > font->lineHeight());
    // Clipping mode: the line runs on to the rectangle's edge and no further.
    NSParagraphStyle clip;
    clip.lineBreakMode = NSLineBreakByClipping;
    auto clipped = render({200, 40}, [&] { drawInRect("Alpha Beta Gamma Delta", CGRectMake(0, 0, 60, 40), {font, nullptr, clip}); });
    CHECK(inkOf(clipped, inked).x1 < 60);
    CHECK(inkOf(clipped, inked).x1 > 50);
    // Without a context nothing is drawn and nothing breaks.
    drawInRect("nowhere", CGRectMake(0, 0, 10, 10), {font});
    drawAtPoint("nowhere", CGPointZero, {font});
}

TEST_CASE("text is measured from several threads at once while another draws, with the same results") {
    const std::string report = metricsReport();
    std::vector<std::thread> workers;
    std::vector<std::string> seen(4);
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&, i] {
            for (int k = 0; k < 20; ++k) seen[std::size_t(i)] = metricsReport();
        });
    for (int k = 0; k < 20; ++k)
        render({120, 30}, [] { drawInRect("Drawing meanwhile", CGRectMake(0, 0, 120, 30), {UIFont::systemFontOfSize(14)}); });
    for (auto& w : workers) w.join();
    for (const auto& s : seen) CHECK(s == report);
}

}  // TEST_SUITE
