#pragma once
// The Cairo side of CGContext, shared by the backing files of the drawing
// library (CGContextCairo.cpp, CGContextCairoPath.cpp, CGGradientCairo.cpp,
// CGEffectsCairo.cpp, TextLayoutPango.cpp). Nothing outside graphics/ includes it.
//
// Every drawing step goes through State::paint: the step is a function that
// draws on a given cairo_t with everything it needs set (source, operator,
// stroke settings, geometry), so that it can run once more on a scratch surface
// when a shadow is set.
#include <cairo.h>

#include <functional>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/graphics/CGContext.h"

struct CGContextGState {
    double fill[4] = {0, 0, 0, 1};
    double stroke[4] = {0, 0, 0, 1};
    double alpha = 1;
    double lineWidth = 1;
    CGLineCap lineCap = kCGLineCapButt;
    CGLineJoin lineJoin = kCGLineJoinMiter;
    double miterLimit = 10;
    std::vector<double> dash;
    double dashPhase = 0;
    CGBlendMode blend = kCGBlendModeNormal;
    CGInterpolationQuality quality = kCGInterpolationDefault;
    // The shadow in the base space: offset, blur and straight RGBA colour.
    CGSize shadowOffset{};
    double shadowBlur = 0;
    double shadowColor[4] = {0, 0, 0, 0};
};

struct CGContext::State {
    std::size_t width = 0, height = 0, bytesPerRow = 0;
    CGBitmapInfo info = 0;
    CGColorSpaceRef space;
    std::uint8_t* data = nullptr;  // the buffer in the context's layout
    Data ownData;
    bool direct = false;  // Cairo draws into data itself
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    // Device space from the base space: the y flip of bitmap contexts, then what
    // CGContextSetBaseCTM added (UIKit's flip and scale).
    cairo_matrix_t base{};
    CGContextGState gs;
    std::vector<CGContextGState> stack;
    // Open transparency layers: the state before each and the save depth it began at.
    struct Layer {
        CGContextGState saved;
        std::size_t depth = 0;
    };
    std::vector<Layer> layers;
    // True while a step runs for its shadow: it then composites normally.
    bool shadowPass = false;

    ~State();

    // Brings the surface up to date with the buffer before drawing, and writes
    // what was drawn back into the buffer after it.
    void begin();
    void end();

    // Source, operator and stroke settings of the current state on a cairo_t.
    void setSource(cairo_t* target, const double rgba[4]) const;
    void setOperator(cairo_t* target) const;
    void setStroke(cairo_t* target) const;
    bool shadowActive() const;

    // Runs the drawing step: its shadow first (when one is set), then the step
    // on the context, between begin() and end().
    void paint(const std::function<void(cairo_t*)>& step);
    void paintShadow(const std::function<void(cairo_t*)>& step);  // CGEffectsCairo.cpp
    // Paints the pattern over the clip with the state's alpha, blend mode and
    // shadow, leaving the current path as it was.
    void paintPattern(cairo_pattern_t* pattern);

    // When Cairo has gone into its sticky error state (which our checks should
    // prevent), says so on the console and starts a fresh cairo_t on the same
    // pixels with a reset graphics state. True when the context was fine.
    bool check(const char* function);
    // Makes a new cairo_t with the base matrix (after creation or a reset).
    bool makeCairo();

    // Runs a step that must leave the current path as it was.
    template <class F>
    void keepingPath(F&& f) {
        cairo_path_t* path = cairo_copy_path(cr);
        cairo_new_path(cr);
        f();
        cairo_new_path(cr);
        if (path->status == CAIRO_STATUS_SUCCESS) cairo_append_path(cr, path);
        cairo_path_destroy(path);
    }
};

// The context's state, or null (with nothing done) for a null context.
inline CGContext::State* contextState(const CGContextRef& c) { return c ? &c->state() : nullptr; }

// Opens a public function: the state as `s`, or a return for a null context.
#define CTX_STATE(c, ...)                     \
    CGContext::State* sp = contextState(c);  \
    if (!sp) return __VA_ARGS__;              \
    CGContext::State& s = *sp

// Refuses invalid input of a public function with a console line naming it.
#define REFUSE_UNLESS(cond, ...)                          \
    if (!(cond)) {                                        \
        NSLog("%s: invalid value ignored", __func__);     \
        return __VA_ARGS__;                               \
    }

bool finiteValues(std::initializer_list<double> values);
inline bool finiteRectValues(CGRect r) { return CGRectIsFinite(r); }
// The path's elements appended to the cairo_t's current path (in its user space).
void appendPathToCairo(cairo_t* cr, const CGPath& path);
