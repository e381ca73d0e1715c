// GIF decoding with giflib, record by record, so that every frame's size and
// position is checked before its pixels are read (see ImageDecoderGif.h).
// Between updates the decoder keeps the offset of the first record it has not
// read; giflib is opened again over all bytes (the header is a few bytes) and
// the reader moved to that record, since giflib keeps no state between records.
#include "platform/imageio/ImageDecoderGif.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/foundation/NSLog.h"

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
    std::size_t left = r->offset < r->data->size() ? r->data->size() - r->offset : 0;
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
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

struct Control {
    bool present = false;
    int delay = 0;  // hundredths of a second
    int transparent = NO_TRANSPARENT_COLOR;
    int disposal = DISPOSAL_UNSPECIFIED;
};

struct Rect {
    std::size_t left = 0, top = 0, width = 0, height = 0;
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

// Reads an extension record into the pending control or the file's loop count.
bool readExtension(GifFileType* gif, Control& pending, Value& fileGif) {
    int code = 0;
    GifByteType* block = nullptr;
    bool ok = DGifGetExtension(gif, &code, &block) != GIF_ERROR;
    bool first = true, netscape = false;
    while (ok && block) {
        std::size_t length = block[0];
        if (code == GRAPHICS_EXT_FUNC_CODE && first) {
            GraphicsControlBlock gcb;
            if (length == 4 && DGifExtensionToGCB(length, block + 1, &gcb) != GIF_ERROR) {
                pending.present = true;
                pending.delay = std::max(gcb.DelayTime, 0);
                pending.transparent = gcb.TransparentColor;
                pending.disposal = gcb.DisposalMode;
            }
        } else if (code == APPLICATION_EXT_FUNC_CODE && first) {
            netscape = length == 11 && (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                                        std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
        } else if (netscape && length >= 3 && block[1] == 1) {
            fileGif.setObject(kCGImagePropertyGIFLoopCount, block[2] | (block[3] << 8));
        }
        first = false;
        ok = DGifGetExtensionNext(gif, &block) != GIF_ERROR;
    }
    return ok;
}

// Passes over a frame's compressed pixels without decoding them.
bool skipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    bool ok = DGifGetCode(gif, &codeSize, &block) != GIF_ERROR;
    while (ok && block) ok = DGifGetCodeNext(gif, &block) != GIF_ERROR;
    return ok;
}

}  // namespace

// What the records read so far say.
struct GifDecoder::Scan {
    struct Frame {
        std::size_t offset = 0;  // of the frame's image separator
        Rect rect;
        Control control;
    };
    std::size_t dataSize = 0;  // bytes seen by the last update
    bool final = false;
    std::size_t next = 0;  // offset of the first record not read; 0 before the header
    bool ended = false;    // the trailer or an error was read: nothing more comes
    std::size_t screenWidth = 0, screenHeight = 0;
    Control pending;  // the graphic control waiting for its frame
    Value fileGif = Value::dictionary();
    std::vector<Frame> frames;
    std::size_t canvasWidth = 0, canvasHeight = 0;
    CGImageSourceStatus status = kCGImageStatusReadingHeader;
    NSErrorPtr error;

    void fail(CGImageSourceStatus why, const std::string& description) {
        ended = true;
        status = why;
        error = makeError(why, description);
    }
};

// The compositing so far.
struct GifDecoder::Canvas {
    std::size_t width = 0, height = 0;
    PixelBuffer rgba;
    PixelBuffer saved;  // the canvas before a frame that restores it
    std::size_t decoded = 0;  // frames composited
    Control previous;         // of the frame last composited
    Rect previousRect;
    Data indices;
    // A frame whose pixels cannot be decoded ends the file there.
    bool failed = false;
    std::size_t failedIndex = 0;
    CGImageSourceStatus failedStatus = kCGImageStatusInvalidData;
    NSErrorPtr failedError;

    void clear(const Rect& r) {
        for (std::size_t y = r.top; y < r.top + r.height; ++y)
            std::memset(rgba.data() + (y * width + r.left) * 4, 0, r.width * 4);
    }
};

GifDecoder::GifDecoder() : scan_(std::make_unique<Scan>()), canvas_(std::make_unique<Canvas>()) {}

GifDecoder::~GifDecoder() = default;

void GifDecoder::update(const Data& data, bool final) {
    if (data.size() < scan_->dataSize) {  // not a continuation: start over
        scan_ = std::make_unique<Scan>();
        canvas_ = std::make_unique<Canvas>();
        result_ = DecodeResult{};
    } else if (scan_->dataSize != 0 && data.size() == scan_->dataSize && final == scan_->final) {
        return;  // nothing new
    }
    scan_->dataSize = data.size();
    scan_->final = final;
    scan(data);
    refreshFrames();
}

void GifDecoder::scan(const Data& data) {
    Scan& s = *scan_;
    if (s.ended) return;
    Reader reader{&data};
    int openError = 0;
    GifHandle gif(DGifOpen(&reader, readBytes, &openError));
    if (!gif) {
        if (reader.ranOut && !s.final) s.status = kCGImageStatusReadingHeader;
        else if (reader.ranOut) s.fail(kCGImageStatusUnexpectedEOF, "The image data ends before the image is complete");
        else s.fail(kCGImageStatusInvalidData, std::string("Invalid GIF data: ") + GifErrorString(openError));
        return;
    }
    if (s.next == 0) {
        if (gif->SWidth <= 0 || gif->SHeight <= 0) return s.fail(kCGImageStatusInvalidData, "The GIF screen size is invalid");
        s.screenWidth = static_cast<std::size_t>(gif->SWidth);
        s.screenHeight = static_cast<std::size_t>(gif->SHeight);
        s.next = reader.offset;
    }
    reader.offset = s.next;
    // Where the bytes ran out: more may come, or the file ends short.
    auto ranOut = [&](const std::string& why) {
        if (!s.final) s.status = kCGImageStatusIncomplete;
        else s.fail(kCGImageStatusUnexpectedEOF, why);
    };
    for (;;) {
        std::size_t index = s.frames.size();
        GifRecordType type;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            if (!reader.ranOut) {
                s.fail(kCGImageStatusInvalidData, std::string("Invalid GIF data: ") + GifErrorString(gif->Error));
            } else if (s.final && index > 0) {
                // A file that stops between frames is taken as ended once it is final.
                s.ended = true;
                s.status = kCGImageStatusComplete;
            } else {
                ranOut("The GIF data ends before its first frame");
            }
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            s.ended = true;
            s.status = kCGImageStatusComplete;
            s.next = reader.offset;
            break;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            if (!readExtension(gif.get(), s.pending, s.fileGif)) {
                if (reader.ranOut) ranOut("The GIF data ends inside an extension");
                else s.fail(kCGImageStatusInvalidData, "Invalid GIF extension block");
                break;
            }
            s.next = reader.offset;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;  // giflib reports no other kind
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
            if (reader.ranOut) ranOut("Invalid GIF frame header");
            else s.fail(kCGImageStatusInvalidData, "Invalid GIF frame header");
            break;
        }
        if (index >= kMaxFrames) {
            s.fail(kCGImageStatusInvalidData, "The GIF file has too many frames");
            break;
        }
        const GifImageDesc& desc = gif->Image;
        if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0 ||
            std::size_t(desc.Left) + std::size_t(desc.Width) > s.screenWidth ||
            std::size_t(desc.Top) + std::size_t(desc.Height) > s.screenHeight) {
            s.fail(kCGImageStatusInvalidData, format("GIF frame %zu lies outside the canvas", index));
            break;
        }
        const ColorMapObject* colors = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!colors || !colors->Colors || colors->ColorCount <= 0) {
            s.fail(kCGImageStatusInvalidData, format("GIF frame %zu has no colour table", index));
            break;
        }
        Rect rect{std::size_t(desc.Left), std::size_t(desc.Top), std::size_t(desc.Width), std::size_t(desc.Height)};
        if (!skipImageData(gif.get())) {
            if (reader.ranOut) ranOut(format("GIF frame %zu cannot be decoded", index));
            else s.fail(kCGImageStatusInvalidData, format("GIF frame %zu cannot be decoded", index));
            break;
        }
        std::size_t width = std::max(s.canvasWidth, rect.left + rect.width);
        std::size_t height = std::max(s.canvasHeight, rect.top + rect.height);
        if (!sizeIsAcceptable(width, height)) {
            s.fail(kCGImageStatusInvalidData, "The GIF canvas is too large");
            break;
        }
        s.canvasWidth = width, s.canvasHeight = height;
        s.frames.push_back(Scan::Frame{s.next, rect, s.pending});
        s.pending = Control{};
        s.next = reader.offset;
    }
    if (s.ended && s.status == kCGImageStatusComplete && s.frames.empty())
        s.fail(kCGImageStatusInvalidData, "The GIF file holds no frame");
}

void GifDecoder::refreshFrames() {
    const Scan& s = *scan_;
    Canvas& c = *canvas_;
    std::size_t count = c.failed ? std::min(c.failedIndex, s.frames.size()) : s.frames.size();
    bool resized = c.width != s.canvasWidth || c.height != s.canvasHeight;
    if (resized) {
        // A wider canvas changes every image: composite again from the start.
        c.width = s.canvasWidth, c.height = s.canvasHeight;
        c.rgba = PixelBuffer();
        c.saved = PixelBuffer();
        c.decoded = 0;
        result_.frames.clear();
    }
    for (std::size_t i = result_.frames.size(); i < count; ++i) {
        DecodedFrame frame;
        frame.properties = frameProperties(c.width, c.height, s.frames[i].control);
        result_.frames.push_back(std::move(frame));
    }
    result_.status = c.failed ? c.failedStatus : s.status;
    result_.error = c.failed ? c.failedError : s.error;
    result_.properties.setObject(kCGImagePropertyGIFDictionary, s.fileGif);
}

void GifDecoder::failPixels(std::size_t index, CGImageSourceStatus status, const std::string& why) {
    Canvas& c = *canvas_;
    c.failed = true;
    c.failedIndex = index;
    c.failedStatus = status;
    c.failedError = makeError(status, why);
    result_.frames.resize(std::min(result_.frames.size(), index));
    refreshFrames();
}

void GifDecoder::decodeThrough(const Data& data, std::size_t index) {
    Canvas& c = *canvas_;
    if (result_.frames.empty() || c.decoded > index || c.decoded >= result_.frames.size()) return;
    std::size_t last = std::min(index, result_.frames.size() - 1);
    Reader reader{&data};
    int openError = 0;
    GifHandle gif(DGifOpen(&reader, readBytes, &openError));
    if (!gif) return failPixels(c.decoded, kCGImageStatusInvalidData, "The GIF data changed under its decoder");
    while (c.decoded <= last && decodeFrame(gif.get(), c.decoded)) {
    }
}

bool GifDecoder::decodeFrame(GifFileType* gif, std::size_t index) {
    Canvas& c = *canvas_;
    const Scan::Frame& f = scan_->frames[index];
    if (std::uint64_t(index + 1) * c.width * c.height * 4 > kMaxAnimationBytes) {
        failPixels(index, kCGImageStatusInvalidData, "The GIF animation is too large");
        return false;
    }
    if (c.rgba.empty()) c.rgba = PixelBuffer::zeroed(c.width * c.height * 4);
    if (c.rgba.empty()) {
        failPixels(index, kCGImageStatusInvalidData, "Not enough memory for the GIF canvas");
        return false;
    }
    auto* reader = static_cast<Reader*>(gif->UserData);
    reader->offset = f.offset;
    reader->ranOut = false;
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR || type != IMAGE_DESC_RECORD_TYPE ||
        DGifGetImageDesc(gif) == GIF_ERROR) {
        failPixels(index, kCGImageStatusInvalidData, format("GIF frame %zu cannot be decoded", index));
        return false;
    }
    const ColorMapObject* colors = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    const std::size_t fw = f.rect.width, fh = f.rect.height;
    c.indices.resize(fw * fh);
    bool rowsOk = true;
    auto line = [&](std::size_t y) {
        rowsOk = DGifGetLine(gif, c.indices.data() + y * fw, static_cast<int>(fw)) != GIF_ERROR;
    };
    if (gif->Image.Interlace) {
        static const std::size_t start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && rowsOk; ++pass)
            for (std::size_t y = start[pass]; y < fh && rowsOk; y += step[pass]) line(y);
    } else {
        for (std::size_t y = 0; y < fh && rowsOk; ++y) line(y);
    }
    if (!rowsOk || !colors) {
        failPixels(index, kCGImageStatusInvalidData, format("GIF frame %zu cannot be decoded", index));
        return false;
    }
    // What the frame before leaves behind.
    if (index > 0) {
        if (c.previous.disposal == DISPOSE_BACKGROUND) c.clear(c.previousRect);
        else if (c.previous.disposal == DISPOSE_PREVIOUS && !c.saved.empty())
            std::memcpy(c.rgba.data(), c.saved.data(), c.rgba.size());
    }
    if (f.control.disposal == DISPOSE_PREVIOUS) c.saved = PixelBuffer::copyOf(c.rgba.data(), c.rgba.size());
    for (std::size_t y = 0; y < fh; ++y) {
        std::uint8_t* out = c.rgba.data() + ((f.rect.top + y) * c.width + f.rect.left) * 4;
        const std::uint8_t* in = c.indices.data() + y * fw;
        for (std::size_t x = 0; x < fw; ++x, out += 4) {
            int colour = in[x];
            // Indices beyond the table are drawn as transparent.
            if (colour == f.control.transparent || colour >= colors->ColorCount) continue;
            const GifColorType& rgb = colors->Colors[colour];
            out[0] = rgb.Red, out[1] = rgb.Green, out[2] = rgb.Blue, out[3] = 255;
        }
    }
    result_.frames[index].image =
        CGImageCreateWithRGBA(c.width, c.height, PixelBuffer::copyOf(c.rgba.data(), c.rgba.size()), true);
    c.previous = f.control;
    c.previousRect = f.rect;
    c.decoded = index + 1;
    return true;
}

DecodeResult decodeGif(const Data& data, bool final, DecodeDepth depth) {
    GifDecoder decoder;
    decoder.update(data, final);
    if (depth == DecodeDepth::Pixels) decoder.decodeThrough(data, SIZE_MAX);
    return decoder.result();
}

}  // namespace imageio
