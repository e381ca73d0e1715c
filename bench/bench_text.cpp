// Text measuring: 10,000 chapter titles measured with our size routine next to
// a bare Pango layout over the same fonts in the same run, the ratio printed as
// ours / reference. The reference does only what measuring needs: one layout,
// its font set once, set_text and get_extents per title.
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/uikit/NSStringDrawing.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using SteadyClock = std::chrono::steady_clock;

std::vector<std::string> titles(int count) {
    const char* words[] = {"The",   "Return", "of",    "Night", "Season", "Finale", "Chapter", "Dawn",
                           "River", "Lost",   "Empire", "Ünder", "Storm", "Part",   "Echoes",  "Café"};
    std::vector<std::string> out;
    std::uint32_t seed = 12345;
    for (int i = 0; i < count; ++i) {
        std::string t = "Chapter " + std::to_string(i + 1) + ":";
        int n = 2 + int(seed % 5);
        for (int w = 0; w < n; ++w) {
            seed = seed * 1664525u + 1013904223u;
            t += " ";
            t += words[(seed >> 16) % 16];
        }
        out.push_back(t);
    }
    return out;
}

// A bare Pango setup over the shipped fonts, as the reference.
PangoLayout* referenceLayout() {
    auto bundle = NSBundle::mainBundle();
    FcConfig* config = FcConfigCreate();
    FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(bundle->pathForResource("DejaVuSans", "ttf", "fonts")->c_str()));
    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
    PangoContext* context = pango_font_map_create_context(map);
    // The same unhinted, unrounded measuring as ours.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
    pango_context_set_language(context, pango_language_from_string("en-us"));
    PangoLayout* layout = pango_layout_new(context);
    PangoFontDescription* font = pango_font_description_from_string("DejaVu Sans");
    pango_font_description_set_absolute_size(font, 15 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    return layout;
}

template <class F>
double bestOf(int rounds, F f) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto start = SteadyClock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(SteadyClock::now() - start).count());
    }
    return best;
}

}  // namespace

int main() {
    std::printf("bench_text (%s build)\n", QUORVANE_BUILD_TYPE);
    const auto all = titles(10000);
    NSAttributes attributes{UIFont::systemFontOfSize(15)};
    double oursTotal = 0, referenceTotal = 0;
    double ours = bestOf(5, [&] {
        oursTotal = 0;
        for (const auto& t : all) oursTotal += sizeWithAttributes(t, attributes).width;
    });
    PangoLayout* layout = referenceLayout();
    double reference = bestOf(5, [&] {
        referenceTotal = 0;
        for (const auto& t : all) {
            pango_layout_set_text(layout, t.c_str(), static_cast<int>(t.size()));
            PangoRectangle logical;
            pango_layout_get_extents(layout, nullptr, &logical);
            referenceTotal += double(logical.width) / PANGO_SCALE;
        }
    });
    std::printf("%-40s %8zu   %8.3f s   %8.2f us each\n", "sizeWithAttributes", all.size(), ours, ours / 10000 * 1e6);
    std::printf("%-40s %8zu   %8.3f s   %8.2f us each\n", "bare Pango layout", all.size(), reference,
                reference / 10000 * 1e6);
    std::printf("ratio ours/reference: %.2f\n", ours / reference);
    // The two must have measured the same text the same way.
    if (std::abs(oursTotal - referenceTotal) > 1e-6 * referenceTotal) {
        std::printf("widths differ: %.3f against %.3f\n", oursTotal, referenceTotal);
        return 1;
    }
    return 0;
}
