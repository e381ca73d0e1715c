// PNG decoding with libpng's progressive reader, which serves whole files and
// files still arriving alike: it is fed all bytes so far and reports rows as it
// decodes them. Palette, gray, tRNS transparency and 16-bit samples are
// expanded to 8-bit RGB or RGBA.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "platform/imageio/ExifOrientation.h"
#include "platform/imageio/ImageCodecs.h"

namespace imageio {
namespace {

// The state of one run of the reader. It lives outside the function that calls
// setjmp, so what the callbacks write survives a longjmp.
struct PngRun {
    DecodeDepth depth = DecodeDepth::Pixels;
    bool headerRead = false;
    bool ended = false;
    bool stoppedAfterHeader = false;
    std::string error;
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    bool hasAlpha = false;
    bool gray = false;
    std::size_t rowBytes = 0;
    PixelBuffer pixels;
    png_uint_32 rowsDone = 0;  // rows complete from the top (not interlaced)
    bool lastPassDone = false;  // interlaced: the last row of the last pass arrived
};

constexpr const char* kStopMessage = "stop after header";

void onError(png_structp png, png_const_charp message) {
    auto* run = static_cast<PngRun*>(png_get_error_ptr(png));
    if (run->error.empty()) run->error = message ? message : "PNG error";
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onInfo(png_structp png, png_infop info) {
    auto* run = static_cast<PngRun*>(png_get_progressive_ptr(png));
    png_get_IHDR(png, info, &run->width, &run->height, &run->bitDepth, &run->colorType, &run->interlace, nullptr,
                 nullptr);
    if (!sizeIsAcceptable(run->width, run->height)) {
        run->error = "The image is too large";
        png_longjmp(png, 1);
    }
    run->gray = !(run->colorType & PNG_COLOR_MASK_COLOR);
    run->hasAlpha = (run->colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    run->headerRead = true;
    if (run->depth == DecodeDepth::Header) {
        run->stoppedAfterHeader = true;
        png_error(png, kStopMessage);
    }
    if (run->colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (run->gray && run->bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (run->bitDepth == 16) png_set_scale_16(png);
    if (run->gray) png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    std::size_t channels = png_get_channels(png, info);
    if ((channels != 3 && channels != 4) || (channels == 4) != run->hasAlpha) {
        run->error = "Unsupported PNG colour layout";
        png_longjmp(png, 1);
    }
    run->rowBytes = std::size_t(run->width) * channels;
    if (png_get_rowbytes(png, info) != run->rowBytes) {
        run->error = "Unsupported PNG row layout";
        png_longjmp(png, 1);
    }
    // Interlaced passes are combined with the rows already there, so those
    // start cleared; otherwise each row is written whole before it is used.
    std::size_t bytes = run->rowBytes * run->height;
    run->pixels = run->interlace == PNG_INTERLACE_NONE ? PixelBuffer::allocate(bytes) : PixelBuffer::zeroed(bytes);
    if (run->pixels.empty()) {
        run->error = "Not enough memory for the image";
        png_longjmp(png, 1);
    }
}

void onRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int pass) {
    auto* run = static_cast<PngRun*>(png_get_progressive_ptr(png));
    if (!row || rowNumber >= run->height) return;
    png_progressive_combine_row(png, run->pixels.data() + std::size_t(rowNumber) * run->rowBytes, row);
    if (run->interlace == PNG_INTERLACE_NONE) {
        run->rowsDone = rowNumber + 1;
    } else if (pass == 6 && rowNumber + 1 == run->height) {
        run->lastPassDone = true;
    }
}

void onEnd(png_structp png, png_infop) { static_cast<PngRun*>(png_get_progressive_ptr(png))->ended = true; }

// The orientation in an eXIf chunk before the image data, or 0. Read from
// the bytes, as libpng's progressive reader does not hand that chunk over.
int orientationOf(const Data& data) {
    std::size_t at = 8;
    while (at + 12 <= data.size()) {
        std::size_t length = std::size_t(data[at]) << 24 | std::size_t(data[at + 1]) << 16 |
                             std::size_t(data[at + 2]) << 8 | data[at + 3];
        const std::uint8_t* type = data.data() + at + 4;
        if (std::memcmp(type, "IDAT", 4) == 0 || length > data.size() - at - 12) return 0;
        if (std::memcmp(type, "eXIf", 4) == 0) return exifOrientationFromTIFF(type + 4, length);
        at += 12 + length;
    }
    return 0;
}

void run(PngRun& state, const Data& data) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (!png) {
        state.error = "Out of memory";
        return;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        state.error = "Out of memory";
        return;
    }
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_progressive_read_fn(png, &state, onInfo, onRow, onEnd);
        png_process_data(png, info, const_cast<png_bytep>(data.data()), data.size());
    }
    png_destroy_read_struct(&png, &info, nullptr);
}

}  // namespace

DecodeResult decodePng(const Data& data, bool final, DecodeDepth depth) {
    PngRun state;
    state.depth = depth;
    run(state, data);
    if (state.stoppedAfterHeader) state.error.clear();
    if (!state.headerRead) {
        if (!state.error.empty()) return failure(kCGImageStatusInvalidData, "Invalid PNG data: " + state.error);
        return truncated(final, false);
    }
    const char* model = state.gray ? kCGImagePropertyColorModelGray : kCGImagePropertyColorModelRGB;
    DecodedFrame frame;
    frame.properties =
        imageProperties(state.width, state.height, state.bitDepth, state.hasAlpha, model, orientationOf(data));
    frame.properties.setObject(kCGImagePropertyPNGDictionary,
                               Value{{kCGImagePropertyPNGInterlaceType, state.interlace}});
    DecodeResult result;
    if (depth == DecodeDepth::Header) {
        result.frames.push_back(std::move(frame));
        return result;
    }
    bool allRows = state.ended || (state.interlace == PNG_INTERLACE_NONE ? state.rowsDone == state.height
                                                                         : state.lastPassDone);
    if (!allRows && !state.error.empty()) {
        result = failure(kCGImageStatusInvalidData, "Invalid PNG data: " + state.error);
        frame.status = kCGImageStatusInvalidData;
        result.frames.push_back(std::move(frame));
        return result;
    }
    if (!allRows) {
        result = truncated(final, true);
        frame.status = result.status;
        png_uint_32 rows = state.interlace == PNG_INTERLACE_NONE ? state.rowsDone : 0;
        if (!final && rows > 0)  // only the rows written so far
            frame.image = CGImageCreateWithRGBA(state.width, rows,
                                                PixelBuffer::copyOf(state.pixels.data(), state.rowBytes * rows),
                                                state.hasAlpha);
        result.frames.push_back(std::move(frame));
        return result;
    }
    frame.image = CGImageCreateWithRGBA(state.width, state.height, std::move(state.pixels), state.hasAlpha);
    result.frames.push_back(std::move(frame));
    return result;
}

}  // namespace imageio
