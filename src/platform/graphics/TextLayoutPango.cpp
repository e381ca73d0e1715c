// Text over Pango, with a private fontconfig configuration holding only the
// fonts of resources/fonts. The Pango context is not tied to any cairo_t: its
// font options (no hinting, unhinted metrics, grey antialiasing), resolution
// (72: a point is a unit), language and unrounded glyph positions are fixed,
// so measures depend on nothing but the text and the style.
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContextCairo.h"
#include "platform/graphics/TextLayout.h"

namespace {

// Pango units, held to the range of an int (a limit of the largest double is no limit in practice).
int units(double v) {
    const double scaled = v * PANGO_SCALE;
    if (std::isnan(scaled)) return 0;
    const double top = std::numeric_limits<int>::max(), bottom = std::numeric_limits<int>::min();
    return static_cast<int>(std::lround(std::clamp(scaled, bottom, top)));
}
double points(int v) { return double(v) / PANGO_SCALE; }

class Engine {
public:
    std::mutex mutex;

    static Engine& shared() {
        static Engine* engine = new Engine();  // kept for the life of the process
        return *engine;
    }

    bool ready() const { return context_ != nullptr; }

    // The measuring layout set up for the style and text (call with the mutex held).
    PangoLayout* layout(std::string_view text, const TextStyle& style) {
        PangoLayout* l = layout_;
        pango_layout_set_font_description(l, font(style.font));
        bool limited = style.width > 0 && (style.wrap != TextWrap::None || style.truncation != TextTruncation::None);
        pango_layout_set_width(l, limited ? units(style.width) : -1);
        pango_layout_set_wrap(l, style.wrap == TextWrap::Character ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
        PangoEllipsizeMode ellipsize = PANGO_ELLIPSIZE_NONE;
        switch (style.truncation) {
        case TextTruncation::Head: ellipsize = PANGO_ELLIPSIZE_START; break;
        case TextTruncation::Middle: ellipsize = PANGO_ELLIPSIZE_MIDDLE; break;
        case TextTruncation::Tail: ellipsize = PANGO_ELLIPSIZE_END; break;
        case TextTruncation::None: break;
        }
        pango_layout_set_ellipsize(l, limited ? ellipsize : PANGO_ELLIPSIZE_NONE);
        pango_layout_set_spacing(l, std::isfinite(style.lineSpacing) ? units(std::max(0.0, style.lineSpacing)) : 0);
        // Truncated text keeps one line per paragraph, or up to maximumLines
        // (fewer when the height holds fewer) with the last one truncated.
        int height = -1;
        if (style.maximumLines > 0) {
            height = -style.maximumLines;
            if (style.height > 0) {
                PangoFontMetrics* metrics = pango_context_get_metrics(context_, font(style.font), nullptr);
                int line = pango_font_metrics_get_height(metrics);
                pango_font_metrics_unref(metrics);
                int spacing = pango_layout_get_spacing(l);
                long long fitting = std::max<long long>(
                    1, (static_cast<long long>(units(style.height)) + spacing) / std::max(1, line + spacing));
                height = -static_cast<int>(std::min<long long>(style.maximumLines, fitting));
            }
        }
        pango_layout_set_height(l, height);
        PangoAlignment alignment = PANGO_ALIGN_LEFT;
        if (style.alignment == TextAlignment::Center) alignment = PANGO_ALIGN_CENTER;
        if (style.alignment == TextAlignment::Right) alignment = PANGO_ALIGN_RIGHT;
        pango_layout_set_alignment(l, alignment);
        pango_layout_set_justify(l, style.alignment == TextAlignment::Justified);
        if (isValidUTF8(text)) {
            pango_layout_set_text(l, text.data(), static_cast<int>(text.size()));
        } else {
            std::string clean = fromUTF16(toUTF16(text));  // invalid bytes become U+FFFD
            pango_layout_set_text(l, clean.data(), static_cast<int>(clean.size()));
        }
        return l;
    }

    PangoFontDescription* font(const TextFont& f) {
        double size = std::isfinite(f.size) && f.size >= 0.01 ? f.size : 12;
        auto key = std::make_pair(f.bold, size);
        auto found = fonts_.find(key);
        if (found != fonts_.end()) return found->second;
        PangoFontDescription* d = pango_font_description_new();
        pango_font_description_set_family(d, TextFontFamilyName().c_str());
        pango_font_description_set_weight(d, f.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
        return fonts_[key] = d;
    }

    PangoContext* context() const { return context_; }

private:
    Engine() {
        auto bundle = NSBundle::mainBundle();
        auto regular = bundle->pathForResource("DejaVuSans", "ttf", "fonts");
        auto bold = bundle->pathForResource("DejaVuSans-Bold", "ttf", "fonts");
        FcConfig* config = FcConfigCreate();
        if (!regular || !bold || !config ||
            !FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(regular->c_str())) ||
            !FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(bold->c_str()))) {
            NSLog("text: the fonts in %s/fonts cannot be loaded; text is neither measured nor drawn",
                  bundle->bundlePath());
            if (config) FcConfigDestroy(config);
            return;
        }
        PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (!map || !PANGO_IS_FC_FONT_MAP(map)) {
            NSLog("text: no font map for the shipped fonts; text is neither measured nor drawn");
            FcConfigDestroy(config);
            return;
        }
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
        FcConfigDestroy(config);  // the font map holds its own reference
        pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(map), 72);
        context_ = pango_font_map_create_context(map);
        g_object_unref(map);  // the context keeps the map
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context_, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context_, 72);
        pango_context_set_round_glyph_positions(context_, FALSE);
        pango_context_set_language(context_, pango_language_from_string("en-us"));
        pango_context_set_base_dir(context_, PANGO_DIRECTION_LTR);
        layout_ = pango_layout_new(context_);
    }

    PangoContext* context_ = nullptr;
    PangoLayout* layout_ = nullptr;
    std::map<std::pair<bool, double>, PangoFontDescription*> fonts_;
};

// The lines of the layout that fit in the style's height (all without one; at
// least one), as their count and logical extent.
struct Fitted {
    int lines = 0;
    PangoRectangle extent{};
};

Fitted fit(PangoLayout* layout, const TextStyle& style) {
    Fitted f;
    int limit = style.height > 0 && style.truncation == TextTruncation::None ? units(style.height) : -1;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    int x0 = 0, x1 = 0, bottom = 0;
    do {
        PangoRectangle line;
        pango_layout_iter_get_line_extents(iter, nullptr, &line);
        if (f.lines > 0 && limit >= 0 && line.y + line.height > limit) break;
        if (style.maximumLines > 0 && f.lines == style.maximumLines) break;
        x0 = f.lines == 0 ? line.x : std::min(x0, line.x);
        x1 = f.lines == 0 ? line.x + line.width : std::max(x1, line.x + line.width);
        bottom = line.y + line.height;
        ++f.lines;
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    f.extent = PangoRectangle{x0, 0, x1 - x0, bottom};
    return f;
}

}  // namespace

const std::string& TextFontFamilyName() {
    static const std::string name = "DejaVu Sans";
    return name;
}

bool TextFontsAvailable() {
    Engine& e = Engine::shared();
    std::lock_guard lock(e.mutex);
    return e.ready();
}

TextMetrics TextLayoutMeasure(std::string_view text, const TextStyle& style) {
    Engine& e = Engine::shared();
    std::lock_guard lock(e.mutex);
    if (!e.ready() || text.empty()) return {};
    PangoLayout* layout = e.layout(text, style);
    Fitted f = fit(layout, style);
    TextMetrics m;
    m.size = CGSizeMake(points(f.extent.width), points(f.extent.height));
    m.baseline = points(pango_layout_get_baseline(layout));
    m.lineCount = f.lines;
    return m;
}

TextFontMetrics TextLayoutFontMetrics(const TextFont& font) {
    Engine& e = Engine::shared();
    std::lock_guard lock(e.mutex);
    if (!e.ready()) return {};
    TextFontMetrics m;
    PangoFontMetrics* metrics = pango_context_get_metrics(e.context(), e.font(font), nullptr);
    m.ascender = points(pango_font_metrics_get_ascent(metrics));
    m.descender = -points(pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    TextStyle style;
    style.font = font;
    PangoLayout* layout = e.layout("", style);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    m.lineHeight = points(logical.height);
    auto inkTop = [&](const char* glyph) {
        PangoLayout* l = e.layout(glyph, style);
        PangoRectangle ink;
        pango_layout_get_extents(l, &ink, nullptr);
        return points(pango_layout_get_baseline(l) - ink.y);
    };
    m.capHeight = inkTop("H");
    m.xHeight = inkTop("x");
    return m;
}

void TextLayoutDraw(const CGContextRef& c, std::string_view text, const TextStyle& style, CGPoint origin,
                    const double rgba[4], const CGRect* clip) {
    CTX_STATE(c);
    REFUSE_UNLESS(finiteValues({origin.x, origin.y}) && (!clip || CGRectIsFinite(*clip)));
    Engine& e = Engine::shared();
    std::lock_guard lock(e.mutex);
    if (!e.ready() || text.empty()) return;
    PangoLayout* layout = e.layout(text, style);
    Fitted f = fit(layout, style);
    bool cut = f.lines < pango_layout_get_line_count(layout);
    // Unwrapped lines are aligned within the width here (Pango aligns only wrapped ones).
    if (style.width > 0 && pango_layout_get_width(layout) < 0) {
        double spare = style.width - points(f.extent.width);
        if (style.alignment == TextAlignment::Center) origin.x += spare / 2;
        if (style.alignment == TextAlignment::Right) origin.x += spare;
    }
    s.keepingPath([&] {
        s.paint([&](cairo_t* cr) {
            cairo_save(cr);
            cairo_new_path(cr);
            if (clip) {
                cairo_rectangle(cr, clip->origin.x, clip->origin.y, clip->size.width, clip->size.height);
                cairo_clip(cr);
            }
            if (cut) {
                // Lines that do not fit are left out whole.
                cairo_rectangle(cr, origin.x - 1e4, origin.y, 2e4, points(f.extent.height));
                cairo_clip(cr);
            }
            s.setSource(cr, rgba);
            s.setOperator(cr);
            cairo_move_to(cr, origin.x, origin.y);
            pango_cairo_show_layout(cr, layout);
            cairo_restore(cr);
        });
    });
    s.check(__func__);
}
