// JPEG decoding with libjpeg. A source manager of our own hands libjpeg all
// bytes so far and, when they run out, an end-of-image marker, noting where
// that happened: the rows returned before it are whole, the rest is filler.
// Gray, YCbCr and (Adobe) CMYK files come out in the display layout, 32-bit
// XRGB (alpha info NoneSkipFirst, the X byte 0xFF): libjpeg converts straight
// into it, so no later pass converts the bitmap again. The pixel memory is
// not cleared first: every row handed out was written by the decoder.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

#include <bit>
#include <csetjmp>
#include <cstring>

#include "platform/imageio/ExifOrientation.h"
#include "platform/imageio/ImageCodecs.h"

namespace imageio {
namespace {

constexpr int kMaxScans = 1000;  // more scans than any real file has: a hostile one

// The state of one run. It lives outside the function that calls setjmp, so
// what the callbacks write survives a longjmp.
struct JpegRun {
    jpeg_error_mgr errorManager{};
    jpeg_source_mgr source{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    const Data* data = nullptr;
    bool ranOut = false;
    std::string error;
    bool headerRead = false;
    JDIMENSION width = 0, height = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    bool adobe = false;
    bool progressive = false;
    int orientation = 0;
    PixelBuffer pixels;
    Data cmykRow;
    JDIMENSION rowsDone = 0;
    bool allRows = false;
};

JpegRun* runOf(j_common_ptr cinfo) { return static_cast<JpegRun*>(cinfo->client_data); }

void onErrorExit(j_common_ptr cinfo) {
    JpegRun* run = runOf(cinfo);
    if (run->error.empty()) {
        char message[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, message);
        run->error = message;
    }
    std::longjmp(run->jump, 1);
}

void onMessage(j_common_ptr, int) {}

void onProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        runOf(cinfo)->error = "Too many scans";
        std::longjmp(runOf(cinfo)->jump, 1);
    }
}

void initSource(j_decompress_ptr cinfo) {
    JpegRun* run = runOf(reinterpret_cast<j_common_ptr>(cinfo));
    cinfo->src->next_input_byte = run->data->data();
    cinfo->src->bytes_in_buffer = run->data->size();
}

boolean fillInput(j_decompress_ptr cinfo) {
    static const JOCTET eoi[2] = {0xFF, JPEG_EOI};
    runOf(reinterpret_cast<j_common_ptr>(cinfo))->ranOut = true;
    cinfo->src->next_input_byte = eoi;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    if (static_cast<unsigned long>(count) > cinfo->src->bytes_in_buffer) {
        cinfo->src->bytes_in_buffer = 0;
        fillInput(cinfo);
        return;
    }
    cinfo->src->next_input_byte += count;
    cinfo->src->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void termSource(j_decompress_ptr) {}

constexpr std::size_t kPixelBytes = 4;  // one host-order X R G B word

// Converts one row of CMYK (inverted when written by Adobe) to host-order XRGB words.
void cmykToXrgb(const JSAMPLE* in, std::uint8_t* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += kPixelBytes) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        const std::uint32_t word = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
        std::memcpy(out, &word, kPixelBytes);
    }
}

CGImageRef xrgbImage(std::size_t width, std::size_t height, PixelBuffer pixels) {
    return CGImage::create(width, height, 8, 32, width * kPixelBytes, CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                           kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Host, std::move(pixels));
}

void run(JpegRun& state, jpeg_decompress_struct& cinfo, DecodeDepth depth) {
    cinfo.err = jpeg_std_error(&state.errorManager);
    state.errorManager.error_exit = onErrorExit;
    state.errorManager.emit_message = onMessage;
    // Nothing with a destructor may live in this function: libjpeg's errors
    // longjmp back here.
    if (setjmp(state.jump) != 0) return;  // the caller destroys cinfo
    jpeg_create_decompress(&cinfo);
    cinfo.client_data = &state;
    state.source.init_source = initSource;
    state.source.fill_input_buffer = fillInput;
    state.source.skip_input_data = skipInput;
    state.source.resync_to_restart = jpeg_resync_to_restart;
    state.source.term_source = termSource;
    cinfo.src = &state.source;
    state.progress.progress_monitor = onProgress;
    cinfo.progress = &state.progress;
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    // A header that needed the stand-in end marker was cut short: what it
    // declares cannot be trusted.
    if (state.ranOut) return;
    state.width = cinfo.image_width;
    state.height = cinfo.image_height;
    state.colorSpace = cinfo.jpeg_color_space;
    state.adobe = cinfo.saw_Adobe_marker;
    state.progressive = jpeg_has_multiple_scans(&cinfo);
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1) continue;
        if (int o = exifOrientationFromAPP1(m->data, m->data_length)) {
            state.orientation = o;
            break;
        }
    }
    if (!sizeIsAcceptable(state.width, state.height)) {
        state.error = "The image is too large";
        return;
    }
    state.headerRead = true;
    if (depth == DecodeDepth::Header) return;
    bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // Host-order XRGB words (B G R X in memory on little-endian machines), which
    // drawing reads in place; the A kinds, as libjpeg then sets the unused byte to 0xFF.
    cinfo.out_color_space = cmyk ? JCS_CMYK : std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != state.width || cinfo.output_height != state.height || cinfo.output_components != 4) {
        state.error = "Unexpected JPEG output layout";
        return;
    }
    // Rows returned once the bytes ran out may hold filler. All scans of a
    // progressive file are read before the first row comes out, so such a
    // file that ended early has no trustworthy row at all.
    bool filler = state.ranOut;
    std::size_t rowBytes = std::size_t(state.width) * kPixelBytes;
    state.pixels = PixelBuffer::allocate(rowBytes * state.height);
    if (state.pixels.empty()) {
        state.error = "Not enough memory for the image";
        return;
    }
    state.cmykRow.assign(cmyk ? std::size_t(state.width) * 4 : 0, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION before = cinfo.output_scanline;
        JSAMPROW row = cmyk ? state.cmykRow.data() : state.pixels.data() + std::size_t(before) * rowBytes;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
        if (cmyk) cmykToXrgb(state.cmykRow.data(), state.pixels.data() + std::size_t(before) * rowBytes, state.width, state.adobe);
        filler = filler || state.ranOut;
        if (!filler) state.rowsDone = cinfo.output_scanline;
    }
    state.allRows = state.rowsDone == state.height;
    if (cinfo.output_scanline == cinfo.output_height) jpeg_finish_decompress(&cinfo);
}

}  // namespace

DecodeResult decodeJpeg(const Data& data, bool final, DecodeDepth depth) {
    JpegRun state;
    state.data = &data;
    jpeg_decompress_struct cinfo{};
    run(state, cinfo, depth);
    jpeg_destroy_decompress(&cinfo);
    if (!state.headerRead) {
        if (state.ranOut) return truncated(final, false);
        return failure(kCGImageStatusInvalidData,
                       "Invalid JPEG data: " + (state.error.empty() ? std::string("no image") : state.error));
    }
    const char* model = state.colorSpace == JCS_GRAYSCALE                                 ? kCGImagePropertyColorModelGray
                        : state.colorSpace == JCS_CMYK || state.colorSpace == JCS_YCCK ? kCGImagePropertyColorModelCMYK
                                                                                        : kCGImagePropertyColorModelRGB;
    DecodedFrame frame;
    frame.properties = imageProperties(state.width, state.height, 8, false, model, state.orientation);
    frame.properties.setObject(kCGImagePropertyJFIFDictionary,
                               Value{{kCGImagePropertyJFIFIsProgressive, state.progressive}});
    DecodeResult result;
    if (depth == DecodeDepth::Header) {
        result.frames.push_back(std::move(frame));
        return result;
    }
    if (!state.allRows) {
        if (!state.error.empty() && !state.ranOut)
            result = failure(kCGImageStatusInvalidData, "Invalid JPEG data: " + state.error);
        else
            result = truncated(final, true);
        frame.status = result.status;
        if (!final && result.status == kCGImageStatusIncomplete && state.rowsDone > 0) {
            // Only the rows written so far go into the partial image.
            frame.image = xrgbImage(state.width, state.rowsDone,
                                    PixelBuffer::copyOf(state.pixels.data(),
                                                        std::size_t(state.width) * kPixelBytes * state.rowsDone));
        }
        result.frames.push_back(std::move(frame));
        return result;
    }
    frame.image = xrgbImage(state.width, state.height, std::move(state.pixels));
    result.frames.push_back(std::move(frame));
    return result;
}

}  // namespace imageio
