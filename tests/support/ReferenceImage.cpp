// Protects the rendering tests: rendered images compared with the reference PNGs within a small tolerance.
#include "support/ReferenceImage.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSLog.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/uikit/UIImage.h"

#ifndef QUORVANE_REFERENCES_DIR
#error "QUORVANE_REFERENCES_DIR names the folder of the reference images"
#endif
#ifndef QUORVANE_REFERENCE_FAILURES_DIR
#error "QUORVANE_REFERENCE_FAILURES_DIR names the folder for mismatching images"
#endif

namespace testsupport {

namespace {

bool writePNG(const CGImageRef& image, const std::filesystem::path& path) {
    auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(image));
    if (!png) return false;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
    return static_cast<bool>(out);
}

CGImageRef readPNG(const std::filesystem::path& path) {
    auto bytes = dataWithContentsOfFile(path.string());
    if (!bytes) return nullptr;
    return CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(*bytes), 0);
}

CGImageRef differenceImage(const CGImageRef& actual, const CGImageRef& expected, int tolerance) {
    std::size_t w = actual->width(), h = actual->height();
    Data a = actual->copyRGBA(true), e = expected->copyRGBA(true), out(w * h * 4);
    for (std::size_t i = 0; i < w * h; ++i) {
        int worst = 0;
        for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(int(a[i * 4 + k]) - int(e[i * 4 + k])));
        std::uint8_t grey = static_cast<std::uint8_t>(200 + (a[i * 4] + a[i * 4 + 1] + a[i * 4 + 2]) / 3 * 55 / 255);
        bool off = worst > tolerance;
        out[i * 4] = off ? 255 : grey;
        out[i * 4 + 1] = off ? 0 : grey;
        out[i * 4 + 2] = off ? 0 : grey;
        out[i * 4 + 3] = 255;
    }
    return CGImageCreateWithRGBA(w, h, std::move(out));
}

}  // namespace

PixelDifference comparePixels(const CGImageRef& a, const CGImageRef& b, int tolerance) {
    PixelDifference d;
    if (!a || !b || a->width() != b->width() || a->height() != b->height()) return d;
    d.sameSize = true;
    d.pixels = a->width() * a->height();
    Data pa = a->copyRGBA(true), pb = b->copyRGBA(true);
    for (std::size_t i = 0; i < d.pixels; ++i) {
        int worst = 0;
        for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(int(pa[i * 4 + k]) - int(pb[i * 4 + k])));
        d.largestDifference = std::max(d.largestDifference, worst);
        if (worst > tolerance) ++d.offPixels;
    }
    return d;
}

ReferenceComparison compareWithReference(const CGImageRef& actual, const std::string& name) {
    namespace fs = std::filesystem;
    ReferenceComparison result;
    if (!actual) {
        result.message = "no image was rendered for " + name;
        return result;
    }
    fs::path reference = fs::path(QUORVANE_REFERENCES_DIR) / (name + ".png");
    const char* update = std::getenv("QUORVANE_UPDATE_REFERENCES");
    if (update && std::string(update) == "1") {
        result.matched = writePNG(actual, reference);
        result.message = (result.matched ? "rewrote " : "could not write ") + reference.string();
        return result;
    }
    CGImageRef expected = readPNG(reference);
    PixelDifference d = comparePixels(actual, expected);
    // At most 0.5 % of the pixels may be off by more than the tolerance.
    result.matched = expected && d.sameSize && d.offPixels * 200 <= d.pixels;
    if (result.matched) return result;
    fs::path failures = fs::path(QUORVANE_REFERENCE_FAILURES_DIR);
    fs::path actualPath = failures / (name + ".actual.png"), diffPath = failures / (name + ".diff.png");
    writePNG(actual, actualPath);
    if (!expected) {
        result.message = format("no readable reference %@; the actual image is in %@ (QUORVANE_UPDATE_REFERENCES=1 "
                                "writes it as the reference)",
                                reference.string(), actualPath.string());
    } else if (!d.sameSize) {
        result.message = format("%@: the reference is %zu x %zu, the image %zu x %zu; actual in %@",
                                reference.string(), expected->width(), expected->height(), actual->width(),
                                actual->height(), actualPath.string());
    } else {
        writePNG(differenceImage(actual, expected, 8), diffPath);
        result.message = format("%@: %zu of %zu pixels off by more than 8 (largest difference %d); actual in %@, "
                                "difference in %@",
                                reference.string(), d.offPixels, d.pixels, d.largestDifference, actualPath.string(),
                                diffPath.string());
    }
    return result;
}

}  // namespace testsupport
