#pragma once
// What the text benchmarks share: the best time of a few rounds, and a bare
// Pango layout over the shipped regular face, measuring as the text engine
// does (unhinted, unrounded glyph positions, the same language), as yardstick.
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <chrono>

#include "platform/foundation/NSBundle.h"

namespace benchpango {

// The shortest of the rounds' times, in seconds.
template <class F>
double bestOf(int rounds, F f) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// A layout of "DejaVu Sans" at the size in points, in a configuration holding only that face.
inline PangoLayout* referenceLayout(double pointSize) {
    auto bundle = NSBundle::mainBundle();
    FcConfig* config = FcConfigCreate();
    FcConfigAppFontAddFile(
        config, reinterpret_cast<const FcChar8*>(bundle->pathForResource("DejaVuSans", "ttf", "fonts")->c_str()));
    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
    PangoContext* context = pango_font_map_create_context(map);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
    pango_context_set_language(context, pango_language_from_string("en-us"));
    PangoLayout* layout = pango_layout_new(context);
    PangoFontDescription* font = pango_font_description_from_string("DejaVu Sans");
    pango_font_description_set_absolute_size(font, pointSize * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    return layout;
}

}  // namespace benchpango
