// JPEG encoding with libjpeg: baseline YCbCr at the given quality (chroma
// at full resolution from quality 0.9 up, halved below). Alpha is
// not kept: colours are written as premultiplied, that is over black.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

#include <cmath>
#include <csetjmp>
#include <algorithm>

#include "platform/imageio/ExifOrientation.h"
#include "platform/imageio/ImageCodecs.h"

namespace imageio {
namespace {

// Lives outside the function that calls setjmp (see the decoder).
struct JpegWrite {
    jpeg_error_mgr errorManager{};
    std::jmp_buf jump{};
    jpeg_destination_mgr destination{};
    std::string error;
    Data chunk = Data(65536);
    Data encoded;
    Data rgb;
    Data exif;
};

void onErrorExit(j_common_ptr cinfo) {
    auto* w = static_cast<JpegWrite*>(cinfo->client_data);
    if (w->error.empty()) {
        char message[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, message);
        w->error = message;
    }
    std::longjmp(w->jump, 1);
}
void onMessage(j_common_ptr, int) {}

JpegWrite* writeOf(j_compress_ptr cinfo) { return static_cast<JpegWrite*>(cinfo->client_data); }
void initDestination(j_compress_ptr cinfo) {
    JpegWrite* w = writeOf(cinfo);
    cinfo->dest->next_output_byte = w->chunk.data();
    cinfo->dest->free_in_buffer = w->chunk.size();
}
boolean emptyOutput(j_compress_ptr cinfo) {
    JpegWrite* w = writeOf(cinfo);
    w->encoded.insert(w->encoded.end(), w->chunk.begin(), w->chunk.end());
    initDestination(cinfo);
    return TRUE;
}
void termDestination(j_compress_ptr cinfo) {
    JpegWrite* w = writeOf(cinfo);
    w->encoded.insert(w->encoded.end(), w->chunk.begin(),
                      w->chunk.begin() + static_cast<std::ptrdiff_t>(w->chunk.size() - cinfo->dest->free_in_buffer));
}

void write(JpegWrite& state, jpeg_compress_struct& cinfo, const CGImage& image, int quality) {
    cinfo.err = jpeg_std_error(&state.errorManager);
    state.errorManager.error_exit = onErrorExit;
    state.errorManager.emit_message = onMessage;
    // Nothing with a destructor may live in this function: libjpeg's errors
    // longjmp back here.
    if (setjmp(state.jump) != 0) return;
    jpeg_create_compress(&cinfo);
    cinfo.client_data = &state;
    state.destination.init_destination = initDestination;
    state.destination.empty_output_buffer = emptyOutput;
    state.destination.term_destination = termDestination;
    cinfo.dest = &state.destination;
    cinfo.image_width = static_cast<JDIMENSION>(image.width());
    cinfo.image_height = static_cast<JDIMENSION>(image.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (quality >= 90) {
        // Full colour resolution for the high qualities, which callers pick
        // to keep an image as it is.
        for (int i = 0; i < cinfo.num_components; ++i) cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (!state.exif.empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, state.exif.data(), static_cast<unsigned>(state.exif.size()));
    std::size_t rowBytes = image.width() * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = state.rgb.data() + std::size_t(cinfo.next_scanline) * rowBytes;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
}

}  // namespace

bool encodeJpeg(const CGImage& image, double quality, int orientation, Data& out, NSErrorPtr* error) {
    if (image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION) {
        if (error) *error = makeError(kCGImageStatusInvalidData, "The image is too large for JPEG");
        return false;
    }
    JpegWrite state;
    Data rgba = image.copyRGBA(true);
    std::size_t n = image.width() * image.height();
    state.rgb.resize(n * 3);
    for (std::size_t i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) state.rgb[i * 3 + c] = rgba[i * 4 + c];
    if (orientation >= 1 && orientation <= 8) state.exif = makeExifOrientationAPP1(orientation);
    if (!std::isfinite(quality)) quality = 0.75;
    int q = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
    jpeg_compress_struct cinfo{};
    write(state, cinfo, image, std::max(q, 1));
    jpeg_destroy_compress(&cinfo);
    bool ok = state.error.empty() && !state.encoded.empty();
    if (ok) out.insert(out.end(), state.encoded.begin(), state.encoded.end());
    if (!ok && error)
        *error = makeError(kCGImageStatusInvalidData,
                           "JPEG encoding failed" + (state.error.empty() ? std::string() : ": " + state.error));
    return ok;
}

}  // namespace imageio
