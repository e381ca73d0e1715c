// GIF decoding with giflib, record by record, so that every frame's size and
// position is checked before its pixels are read. Frames are composited onto
// the canvas (transparent at the start) with their disposal methods; each image
// of the source is the whole canvas after its frame.
#include <gif_lib.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "platform/foundation/NSLog.h"
#include "platform/imageio/ImageCodecs.h"

namespace imageio {
namespace {

// The most bytes all composited frames of one file may take together, and the
// most frames one file may have.
constexpr std::uint64_t kMaxAnimationBytes = std::uint64_t(1) << 29;
constexpr std::size_t kMaxFrames = 10000;

struct Reader {
    const Data* data;
    std::size_t offset = 0;
    bool ranOut = false;
};

int readBytes(GifFileType* gif, GifByteType* out, int count) {
    auto* r = static_cast<Reader*>(gif->UserData);
    if (count <= 0) return 0;
    std::size_t left = r->data->size() - r->offset;
    std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(count));
    if (n) std::memcpy(out, r->data->data() + r->offset, n);
    r->offset += n;
    if (n < static_cast<std::size_t>(count)) r->ranOut = true;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

struct Control {
    bool present = false;
    int delay = 0;  // hundredths of a second
    int transparent = NO_TRANSPARENT_COLOR;
    int disposal = DISPOSAL_UNSPECIFIED;
};

struct Canvas {
    std::size_t width = 0, height = 0;
    Data rgba;
    void clear(std::size_t left, std::size_t top, std::size_t w, std::size_t h) {
        for (std::size_t y = top; y < top + h; ++y) std::memset(rgba.data() + (y * width + left) * 4, 0, w * 4);
    }
};

Value frameProperties(std::size_t width, std::size_t height, const Control& control) {
    Value p = imageProperties(width, height, 8, true, kCGImagePropertyColorModelRGB, 0);
    Value gif = Value::dictionary();
    if (control.present) {
        double seconds = control.delay / 100.0;
        gif.setObject(kCGImagePropertyGIFUnclampedDelayTime, seconds);
        gif.setObject(kCGImagePropertyGIFDelayTime, seconds < 0.05 ? 0.1 : seconds);
    }
    p.setObject(kCGImagePropertyGIFDictionary, gif);
    return p;
}

}  // namespace

DecodeResult decodeGif(const Data& data, bool final, DecodeDepth depth) {
    Reader reader{&data};
    int openError = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, readBytes, &openError));
    if (!gif) {
        if (reader.ranOut) return truncated(final, false);
        return failure(kCGImageStatusInvalidData, std::string("Invalid GIF data: ") + GifErrorString(openError));
    }
    std::size_t width = static_cast<std::size_t>(std::max(gif->SWidth, 0));
    std::size_t height = static_cast<std::size_t>(std::max(gif->SHeight, 0));
    if (!sizeIsAcceptable(width, height)) return failure(kCGImageStatusInvalidData, "The GIF canvas size is invalid or too large");

    DecodeResult result;
    Value fileGif = Value::dictionary();
    Canvas canvas;
    canvas.width = width, canvas.height = height;
    if (depth == DecodeDepth::Pixels) canvas.rgba.assign(width * height * 4, 0);
    Data saved;                // the canvas before a frame that restores it
    Control control;           // of the next frame
    Control previous;          // of the frame last drawn
    std::size_t prevLeft = 0, prevTop = 0, prevW = 0, prevH = 0;
    Data indices;
    std::uint64_t bytesUsed = 0;
    auto fail = [&](CGImageSourceStatus status, const std::string& why) {
        result.status = status;
        result.error = makeError(status, why);
    };
    bool done = false;
    while (!done) {
        GifRecordType type;
        std::size_t framesBefore = result.frames.size();
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            if (reader.ranOut) {
                // A file that stops between frames is taken as ended once it is final.
                if (!final) result.status = kCGImageStatusIncomplete;
                else if (framesBefore == 0) fail(kCGImageStatusUnexpectedEOF, "The GIF data ends before its first frame");
            } else {
                fail(kCGImageStatusInvalidData, std::string("Invalid GIF data: ") + GifErrorString(gif->Error));
            }
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            done = true;
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            bool ok = DGifGetExtension(gif.get(), &code, &block) != GIF_ERROR;
            bool first = true;
            bool netscape = false;
            while (ok && block) {
                std::size_t length = block[0];
                if (code == GRAPHICS_EXT_FUNC_CODE && first) {
                    GraphicsControlBlock gcb;
                    if (length == 4 && DGifExtensionToGCB(length, block + 1, &gcb) != GIF_ERROR) {
                        control.present = true;
                        control.delay = std::max(gcb.DelayTime, 0);
                        control.transparent = gcb.TransparentColor;
                        control.disposal = gcb.DisposalMode;
                    }
                } else if (code == APPLICATION_EXT_FUNC_CODE && first) {
                    netscape = length == 11 && (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                                                std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
                } else if (netscape && length >= 3 && block[1] == 1) {
                    fileGif.setObject(kCGImagePropertyGIFLoopCount, block[2] | (block[3] << 8));
                }
                first = false;
                ok = DGifGetExtensionNext(gif.get(), &block) != GIF_ERROR;
            }
            if (!ok) {
                if (reader.ranOut) result.status = final ? kCGImageStatusUnexpectedEOF : kCGImageStatusIncomplete;
                if (reader.ranOut && final) fail(kCGImageStatusUnexpectedEOF, "The GIF data ends inside an extension");
                if (!reader.ranOut) fail(kCGImageStatusInvalidData, "Invalid GIF extension block");
                break;
            }
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
                if (reader.ranOut && !final) result.status = kCGImageStatusIncomplete;
                else fail(reader.ranOut ? kCGImageStatusUnexpectedEOF : kCGImageStatusInvalidData, "Invalid GIF frame header");
                break;
            }
            if (framesBefore >= kMaxFrames) {
                fail(kCGImageStatusInvalidData, "The GIF file has too many frames");
                break;
            }
            const GifImageDesc& desc = gif->Image;
            if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0 ||
                std::size_t(desc.Left) + std::size_t(desc.Width) > width ||
                std::size_t(desc.Top) + std::size_t(desc.Height) > height) {
                fail(kCGImageStatusInvalidData, format("GIF frame %zu lies outside the canvas", framesBefore));
                break;
            }
            const ColorMapObject* colors = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
            if (!colors || !colors->Colors || colors->ColorCount <= 0) {
                fail(kCGImageStatusInvalidData, format("GIF frame %zu has no colour table", framesBefore));
                break;
            }
            auto fw = static_cast<std::size_t>(desc.Width), fh = static_cast<std::size_t>(desc.Height);
            bytesUsed += std::uint64_t(width) * height * 4;
            if (depth == DecodeDepth::Pixels && bytesUsed > kMaxAnimationBytes) {
                fail(kCGImageStatusInvalidData, "The GIF animation is too large");
                break;
            }
            indices.assign(fw * fh, 0);
            bool rowsOk = true;
            if (desc.Interlace) {
                static const std::size_t start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
                for (int pass = 0; pass < 4 && rowsOk; ++pass)
                    for (std::size_t y = start[pass]; y < fh && rowsOk; y += step[pass])
                        rowsOk = DGifGetLine(gif.get(), indices.data() + y * fw, desc.Width) != GIF_ERROR;
            } else {
                for (std::size_t y = 0; y < fh && rowsOk; ++y)
                    rowsOk = DGifGetLine(gif.get(), indices.data() + y * fw, desc.Width) != GIF_ERROR;
            }
            if (!rowsOk) {
                if (reader.ranOut && !final) result.status = kCGImageStatusIncomplete;
                else fail(reader.ranOut ? kCGImageStatusUnexpectedEOF : kCGImageStatusInvalidData,
                          format("GIF frame %zu cannot be decoded", framesBefore));
                break;
            }
            DecodedFrame frame;
            frame.properties = frameProperties(width, height, control);
            if (depth == DecodeDepth::Pixels) {
                // What the frame before leaves behind.
                if (!result.frames.empty()) {
                    if (previous.disposal == DISPOSE_BACKGROUND) canvas.clear(prevLeft, prevTop, prevW, prevH);
                    else if (previous.disposal == DISPOSE_PREVIOUS && !saved.empty()) canvas.rgba = saved;
                }
                if (control.disposal == DISPOSE_PREVIOUS) saved = canvas.rgba;
                auto left = static_cast<std::size_t>(desc.Left), top = static_cast<std::size_t>(desc.Top);
                for (std::size_t y = 0; y < fh; ++y) {
                    std::uint8_t* out = canvas.rgba.data() + ((top + y) * width + left) * 4;
                    const std::uint8_t* in = indices.data() + y * fw;
                    for (std::size_t x = 0; x < fw; ++x, out += 4) {
                        int index = in[x];
                        // Indices beyond the table are drawn as transparent.
                        if (index == control.transparent || index >= colors->ColorCount) continue;
                        const GifColorType& c = colors->Colors[index];
                        out[0] = c.Red, out[1] = c.Green, out[2] = c.Blue, out[3] = 255;
                    }
                }
                frame.image = CGImageCreateWithRGBA(width, height, canvas.rgba, true);
                previous = control;
                prevLeft = static_cast<std::size_t>(desc.Left), prevTop = static_cast<std::size_t>(desc.Top);
                prevW = fw, prevH = fh;
            }
            result.frames.push_back(std::move(frame));
            control = Control{};
        }
    }
    result.properties.setObject(kCGImagePropertyGIFDictionary, fileGif);
    if (result.frames.empty() && result.status == kCGImageStatusComplete)
        fail(kCGImageStatusInvalidData, "The GIF file holds no frame");
    return result;
}

}  // namespace imageio
