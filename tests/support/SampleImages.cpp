// Protects the image tests' inputs: sample images written at test time by the codec libraries themselves.
#include "support/SampleImages.h"

#include <cstdio>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace sampleimages {

CGPixel pattern(std::size_t x, std::size_t y) {
    return CGPixel{static_cast<std::uint8_t>(x * 37 + y * 11), static_cast<std::uint8_t>(255 - x * 23),
                   static_cast<std::uint8_t>(y * 41 + 7), static_cast<std::uint8_t>(x * 50 + y * 30 + 5)};
}

PixelFn noise(std::uint32_t seed) {
    return [seed](std::size_t x, std::size_t y) {
        std::uint32_t v = seed ^ static_cast<std::uint32_t>(x * 73856093u) ^ static_cast<std::uint32_t>(y * 19349663u);
        v ^= v << 13, v ^= v >> 17, v ^= v << 5;
        v *= 2654435761u;
        return CGPixel{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                       255};
    };
}

namespace {

void pngWrite(png_structp png, png_bytep bytes, png_size_t size) {
    auto* out = static_cast<Data*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + size);
}
void pngFlush(png_structp) {}

// Writes a PNG of ready-made rows; a libpng error here fails the test process.
Data writePng(std::size_t w, std::size_t h, int colorType, int bitDepth, const std::vector<Data>& rows,
              const PngOptions& options, const std::vector<png_color>& palette = {},
              const std::vector<std::uint8_t>& trns = {}) {
    Data out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("libpng failed to write a sample");
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    if (options.compressionLevel >= 0) png_set_compression_level(png, options.compressionLevel);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), bitDepth, colorType,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!trns.empty()) png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    if (!options.exif.empty())
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(options.exif.size()), const_cast<png_bytep>(options.exif.data()));
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const Data& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

Data png(std::size_t w, std::size_t h, const PixelFn& pixels, const PngOptions& options, std::uint8_t lowByte) {
    bool alpha = options.colorType == PNG_COLOR_TYPE_RGB_ALPHA;
    std::size_t channels = alpha ? 4 : 3, bytes = options.bitDepth / 8;
    std::vector<Data> rows;
    for (std::size_t y = 0; y < h; ++y) {
        Data row;
        for (std::size_t x = 0; x < w; ++x) {
            CGPixel p = pixels(x, y);
            std::uint8_t c[4] = {p.r, p.g, p.b, p.a};
            for (std::size_t i = 0; i < channels; ++i) {
                row.push_back(c[i]);
                if (bytes == 2) row.push_back(lowByte);
            }
        }
        rows.push_back(std::move(row));
    }
    return writePng(w, h, options.colorType, options.bitDepth, rows, options);
}

Data palettePng(std::size_t w, std::size_t h, const std::vector<std::uint8_t>& indices,
                const std::vector<CGPixel>& palette, const std::vector<std::uint8_t>& trns) {
    std::vector<Data> rows;
    for (std::size_t y = 0; y < h; ++y) rows.emplace_back(indices.begin() + std::ptrdiff_t(y * w), indices.begin() + std::ptrdiff_t((y + 1) * w));
    std::vector<png_color> colors;
    for (const CGPixel& p : palette) colors.push_back(png_color{p.r, p.g, p.b});
    return writePng(w, h, PNG_COLOR_TYPE_PALETTE, 8, rows, {}, colors, trns);
}

Data grayPng(std::size_t w, std::size_t h, int bitDepth, const std::vector<std::uint8_t>& samples) {
    std::vector<Data> rows;
    std::size_t perByte = 8 / static_cast<std::size_t>(bitDepth);
    for (std::size_t y = 0; y < h; ++y) {
        Data row((w + perByte - 1) / perByte, 0);
        for (std::size_t x = 0; x < w; ++x) {
            std::size_t shift = 8 - static_cast<std::size_t>(bitDepth) * (x % perByte + 1);
            row[x / perByte] |= static_cast<std::uint8_t>(samples[y * w + x] << shift);
        }
        rows.push_back(std::move(row));
    }
    return writePng(w, h, PNG_COLOR_TYPE_GRAY, bitDepth, rows, {});
}

Data jpeg(std::size_t w, std::size_t h, const PixelFn& pixels, const JpegOptions& options) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);  // an error here ends the test process
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = options.gray ? 1 : 3;
    cinfo.in_color_space = options.gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (!options.app1.empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, options.app1.data(), static_cast<unsigned>(options.app1.size()));
    Data row(w * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (std::size_t x = 0; x < w; ++x) {
            CGPixel p = pixels(x, cinfo.next_scanline);
            if (options.gray) row[x] = p.g;
            else row[x * 3] = p.r, row[x * 3 + 1] = p.g, row[x * 3 + 2] = p.b;
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Data out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

namespace {
int gifWrite(GifFileType* gif, const GifByteType* bytes, int size) {
    auto* out = static_cast<Data*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + size);
    return size;
}
void check(bool ok) {
    if (!ok) throw std::runtime_error("giflib failed to write a sample");
}
}  // namespace

Data gif(int width, int height, const std::vector<CGPixel>& colors, const std::vector<GifFrame>& frames, bool loop) {
    Data out;
    int error = 0;
    GifFileType* g = EGifOpen(&out, gifWrite, &error);
    check(g != nullptr);
    EGifSetGifVersion(g, true);
    int tableSize = 2;
    while (tableSize < static_cast<int>(colors.size())) tableSize *= 2;
    std::vector<GifColorType> table(static_cast<std::size_t>(tableSize));
    for (std::size_t i = 0; i < colors.size(); ++i) table[i] = GifColorType{colors[i].r, colors[i].g, colors[i].b};
    ColorMapObject* map = GifMakeMapObject(tableSize, table.data());
    check(EGifPutScreenDesc(g, width, height, 8, 0, map) != GIF_ERROR);
    GifFreeMapObject(map);
    if (loop) {
        check(EGifPutExtensionLeader(g, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR);
        check(EGifPutExtensionBlock(g, 11, "NETSCAPE2.0") != GIF_ERROR);
        const unsigned char sub[3] = {1, 0, 0};
        check(EGifPutExtensionBlock(g, 3, sub) != GIF_ERROR);
        check(EGifPutExtensionTrailer(g) != GIF_ERROR);
    }
    for (const GifFrame& f : frames) {
        if (f.control) {
            GraphicsControlBlock gcb{};
            gcb.DisposalMode = f.disposal;
            gcb.DelayTime = f.delay;
            gcb.TransparentColor = f.transparent;
            GifByteType ext[4];
            std::size_t n = EGifGCBToExtension(&gcb, ext);
            check(EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) != GIF_ERROR);
        }
        check(EGifPutImageDesc(g, f.left, f.top, f.width, f.height, f.interlaced, nullptr) != GIF_ERROR);
        std::vector<GifPixelType> line(static_cast<std::size_t>(f.width));
        auto putRow = [&](int y) {
            std::memcpy(line.data(), f.indices.data() + std::size_t(y) * std::size_t(f.width), line.size());
            check(EGifPutLine(g, line.data(), f.width) != GIF_ERROR);
        };
        if (f.interlaced) {
            const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < f.height; y += step[pass]) putRow(y);
        } else {
            for (int y = 0; y < f.height; ++y) putRow(y);
        }
    }
    check(EGifCloseFile(g, &error) != GIF_ERROR);
    return out;
}

namespace {
Data rgbaOf(std::size_t w, std::size_t h, const PixelFn& pixels, bool alpha) {
    Data d;
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) {
            CGPixel p = pixels(x, y);
            d.insert(d.end(), {p.r, p.g, p.b});
            if (alpha) d.push_back(p.a);
        }
    return d;
}
}  // namespace

Data webpLossless(std::size_t w, std::size_t h, const PixelFn& pixels) {
    Data rgba = rgbaOf(w, h, pixels, true);
    std::uint8_t* out = nullptr;
    std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), static_cast<int>(w), static_cast<int>(h),
                                              static_cast<int>(w * 4), &out);
    Data d(out, out + size);
    WebPFree(out);
    if (!size) throw std::runtime_error("libwebp failed to write a sample");
    return d;
}

Data webpLossy(std::size_t w, std::size_t h, const PixelFn& pixels, float quality) {
    Data rgb = rgbaOf(w, h, pixels, false);
    std::uint8_t* out = nullptr;
    std::size_t size = WebPEncodeRGB(rgb.data(), static_cast<int>(w), static_cast<int>(h), static_cast<int>(w * 3),
                                     quality, &out);
    Data d(out, out + size);
    WebPFree(out);
    if (!size) throw std::runtime_error("libwebp failed to write a sample");
    return d;
}

Data webpAnimation(std::size_t w, std::size_t h, const std::vector<PixelFn>& frames, const std::vector<int>& durations,
                   int loopCount) {
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) throw std::runtime_error("libwebp: bad version");
    options.anim_params.loop_count = loopCount;
    options.allow_mixed = 0;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(static_cast<int>(w), static_cast<int>(h), &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = static_cast<int>(w);
        picture.height = static_cast<int>(h);
        Data rgba = rgbaOf(w, h, frames[i], true);
        WebPPictureImportRGBA(&picture, rgba.data(), static_cast<int>(w * 4));
        bool ok = WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        if (!ok) throw std::runtime_error("libwebp failed to add a frame");
        timestamp += durations[i];
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData assembled;
    WebPDataInit(&assembled);
    if (!WebPAnimEncoderAssemble(encoder, &assembled)) throw std::runtime_error("libwebp failed to assemble");
    Data out(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    WebPAnimEncoderDelete(encoder);
    return out;
}

std::vector<CGPixel> pixelsOf(const CGImageRef& image) {
    std::vector<CGPixel> v;
    if (!image) return v;
    for (std::size_t y = 0; y < image->height(); ++y)
        for (std::size_t x = 0; x < image->width(); ++x) v.push_back(image->pixelAt(x, y));
    return v;
}

int maxDifference(const CGImageRef& a, const CGImageRef& b) {
    if (!a || !b || a->width() != b->width() || a->height() != b->height()) return 256;
    return maxDifference(a, b->width(), b->height(), [&](std::size_t x, std::size_t y) { return b->pixelAt(x, y); });
}

int maxDifference(const CGImageRef& a, std::size_t w, std::size_t h, const PixelFn& pixels, bool ignoreAlpha) {
    if (!a || a->width() != w || a->height() != h) return 256;
    int worst = 0;
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) {
            CGPixel p = a->pixelAt(x, y), q = pixels(x, y);
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
            if (!ignoreAlpha) worst = std::max(worst, std::abs(p.a - q.a));
        }
    return worst;
}

}  // namespace sampleimages
