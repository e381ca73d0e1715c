// Text over Pango, with a private fontconfig configuration holding the fonts
// of resources/fonts and, after them, the fallbacks for other scripts and for
// emoji found among the system's font files (never through the system's font
// configuration, so no other font takes part). The Pango context is not tied
// to any cairo_t: its font options (no hinting, unhinted metrics, grey
// antialiasing), resolution (72: a point is a unit), language and unrounded
// glyph positions are fixed, so measures depend on nothing but the text and
// the style. Colour glyphs (emoji) are painted in their own colours.
#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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

// The fallback fonts, each found by the first of its file names present under
// the system's font folders (as the Debian packages scripts/install-deps
// installs place them), and tried in this order for characters DejaVu lacks.
struct Fallback {
    const char* family;
    std::vector<const char*> files;
};
const Fallback kFallbacks[] = {
    {"Droid Sans Fallback", {"DroidSansFallbackFull.ttf", "DroidSansFallback.ttf"}},  // fonts-droid-fallback: CJK
    {"Noto Color Emoji", {"NotoColorEmoji.ttf"}},                                     // fonts-noto-color-emoji
};
const char* const kSystemFontFolders[] = {"/usr/share/fonts", "/usr/local/share/fonts"};

// The path of the first of the file names found under the system's font folders, or "".
std::string findSystemFont(const std::vector<const char*>& names) {
    std::map<std::string, std::string> found;
    for (const char* folder : kSystemFontFolders) {
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (std::find_if(names.begin(), names.end(), [&](const char* n) { return name == n; }) != names.end())
                found.emplace(name, it->path().string());
        }
    }
    for (const char* name : names)
        if (auto f = found.find(name); f != found.end()) return f->second;
    return "";
}

// DejaVu Sans first, then the fallbacks in order; the generic family "emoji"
// is the emoji font. A font of bitmaps (the
// colour emoji) is scaled from the size of its bitmaps to the size asked for.
std::string fallbackRules() {
    std::string accepted;
    for (const Fallback& f : kFallbacks) accepted += std::string("<family>") + f.family + "</family>";
    return "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
           "<alias binding=\"strong\"><family>DejaVu Sans</family><accept>" + accepted + "</accept></alias>"
           "<alias binding=\"strong\"><family>emoji</family><prefer><family>Noto Color Emoji</family></prefer></alias>"
           "<match target=\"font\"><test name=\"outline\" compare=\"eq\"><bool>false</bool></test>"
           "<edit name=\"pixelsizefixupfactor\" mode=\"assign\"><divide><name target=\"pattern\">pixelsize</name>"
           "<name target=\"font\">pixelsize</name></divide></edit>"
           "<edit name=\"matrix\" mode=\"assign\"><matrix><name>pixelsizefixupfactor</name><double>0</double>"
           "<double>0</double><name>pixelsizefixupfactor</name></matrix></edit>"
           "<edit name=\"size\" mode=\"assign\"><divide><name>size</name><name>pixelsizefixupfactor</name></divide>"
           "</edit></match>"
           "</fontconfig>";
}

// Adds the fallbacks found to the configuration, with a console line for each one missing.
void addFallbacks(FcConfig* config) {
    for (const Fallback& f : kFallbacks) {
        const std::string path = findSystemFont(f.files);
        if (path.empty() || !FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(path.c_str())))
            NSLog("text: the fallback font %s (%s) is not installed; its characters draw as boxes", f.family,
                  f.files.front());
    }
    const std::string rules = fallbackRules();
    if (!FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(rules.c_str()), FcTrue))
        NSLog("text: the fallback rules do not load; other scripts may draw as boxes");
}

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
        addFallbacks(config);
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

// Paints a glyph's colour bitmap (premultiplied BGRA) scaled by `scale`, its
// origin at (x, y), with the text's alpha.
void paintColourBitmap(cairo_t* cr, const FT_GlyphSlot slot, double scale, double x, double y, double alpha) {
    const FT_Bitmap& bitmap = slot->bitmap;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(bitmap.width),
                                                        static_cast<int>(bitmap.rows));
    const int stride = cairo_image_surface_get_stride(image);
    unsigned char* pixels = cairo_image_surface_get_data(image);
    cairo_surface_flush(image);
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* from = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        auto* to = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(row) * stride);
        for (unsigned column = 0; column < bitmap.width; ++column, from += 4)
            to[column] = std::uint32_t(from[3]) << 24 | std::uint32_t(from[2]) << 16 | std::uint32_t(from[1]) << 8 | from[0];
    }
    cairo_surface_mark_dirty(image);
    cairo_save(cr);
    cairo_translate(cr, x + slot->bitmap_left * scale, y - slot->bitmap_top * scale);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
    cairo_surface_destroy(image);
}

// The run in its own colours when its font has colour glyphs (the emoji),
// false otherwise. Cairo here draws every glyph as a mask of the source
// colour, so the bitmaps are painted instead, scaled from their strike to the
// font's size.
bool drawColourRun(cairo_t* cr, PangoFont* font, const PangoGlyphString* glyphs, double x, double baseline,
                   double alpha) {
    cairo_scaled_font_t* scaled = font ? pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font)) : nullptr;
    if (!scaled || cairo_scaled_font_get_type(scaled) != CAIRO_FONT_TYPE_FT) return false;
    FT_Face face = cairo_ft_scaled_font_lock_face(scaled);
    if (!face) return false;
    const bool colour = FT_HAS_COLOR(face);
    // The bitmaps are drawn at the strike's size in pixels: scaled to the font's size in user space.
    cairo_matrix_t size;
    cairo_scaled_font_get_font_matrix(scaled, &size);
    const double scale = face->size && face->size->metrics.x_ppem > 0 ? size.xx / face->size->metrics.x_ppem : 0;
    for (int i = 0; colour && scale > 0 && i < glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& g = glyphs->glyphs[i];
        if (!(g.glyph & PANGO_GLYPH_UNKNOWN_FLAG) && g.glyph != PANGO_GLYPH_EMPTY &&
            FT_Load_Glyph(face, g.glyph, FT_LOAD_COLOR) == 0 && face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_BGRA)
            paintColourBitmap(cr, face->glyph, scale, x + points(g.geometry.x_offset),
                              baseline + points(g.geometry.y_offset), alpha);
        x += points(g.geometry.width);
    }
    cairo_ft_scaled_font_unlock_face(scaled);
    return colour;
}

// The layout's runs from (x, y), its top left corner: glyphs in the source
// colour, colour glyphs in their own with the alpha (a negative alpha: in the
// source colour too).
void showLayout(cairo_t* cr, PangoLayout* layout, double x, double y, double alpha) {
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
        if (!run) continue;  // the end of a line
        PangoRectangle logical;
        pango_layout_iter_get_run_extents(iter, nullptr, &logical);
        const double runX = x + points(logical.x), baseline = y + points(pango_layout_iter_get_baseline(iter));
        if (alpha >= 0 && drawColourRun(cr, run->item->analysis.font, run->glyphs, runX, baseline, alpha)) continue;
        cairo_move_to(cr, runX, baseline);
        pango_cairo_show_glyph_string(cr, run->item->analysis.font, run->glyphs);
    } while (pango_layout_iter_next_run(iter));
    pango_layout_iter_free(iter);
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
    m.unknownGlyphs = pango_layout_get_unknown_glyphs_count(layout);
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
            // A shadow takes the glyphs' shapes only, in its own colour.
            showLayout(cr, layout, origin.x, origin.y, s.shadowPass ? -1 : rgba[3] * s.gs.alpha);
            cairo_restore(cr);
        });
    });
    s.check(__func__);
}
