// PNG encoding with libpng: 8-bit RGBA (straight alpha) for images with
// alpha, 8-bit RGB otherwise. Rows are converted one at a time into a buffer
// of one row: a screen-sized frame costs no second copy of its pixels (12 MiB
// on a tablet, left resident in the allocator's arena of whichever thread
// encoded it).
#include <png.h>

#include <csetjmp>

#include "platform/imageio/ImageCodecs.h"

namespace imageio {
namespace {

// Lives outside the function that calls setjmp (see the decoder).
struct PngWrite {
    Data* out = nullptr;
    Data row;
    std::string error;
};

void onError(png_structp png, png_const_charp message) {
    auto* w = static_cast<PngWrite*>(png_get_error_ptr(png));
    if (w->error.empty()) w->error = message ? message : "PNG error";
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}
void onWrite(png_structp png, png_bytep bytes, png_size_t size) {
    auto* w = static_cast<PngWrite*>(png_get_io_ptr(png));
    w->out->insert(w->out->end(), bytes, bytes + size);
}
void onFlush(png_structp) {}

void write(PngWrite& state, const CGImage& image, bool alpha) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        state.error = "Out of memory";
        return;
    }
    if (setjmp(png_jmpbuf(png)) == 0) {
        auto width = static_cast<png_uint_32>(image.width()), height = static_cast<png_uint_32>(image.height());
        const std::size_t channels = alpha ? 4 : 3;
        state.row.resize(image.width() * channels);
        png_set_write_fn(png, &state, onWrite, onFlush);
        png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (png_uint_32 y = 0; y < height; ++y) {
            // Straight components, as CGImage::copyRGBA(false) gives them.
            std::uint8_t* o = state.row.data();
            for (std::size_t x = 0; x < image.width(); ++x, o += channels) {
                const CGPixel p = image.pixelAt(x, y);
                o[0] = p.r, o[1] = p.g, o[2] = p.b;
                if (alpha) o[3] = p.a;
            }
            png_write_row(png, state.row.data());
        }
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
}

}  // namespace

bool encodePng(const CGImage& image, Data& out, NSErrorPtr* error) {
    PngWrite state;
    Data encoded;
    state.out = &encoded;
    write(state, image, image.hasAlpha());
    if (!state.error.empty()) {
        if (error) *error = makeError(kCGImageStatusInvalidData, "PNG encoding failed: " + state.error);
        return false;
    }
    if (out.empty()) out = std::move(encoded);
    else out.insert(out.end(), encoded.begin(), encoded.end());
    return true;
}

}  // namespace imageio
