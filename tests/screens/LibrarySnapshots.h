#pragma once
// Snapshots of the library screens for a person to look at, written beside the
// build (build/screens-snapshots/<name>.png), and pixel probes to check them by.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <doctest/doctest.h>

#include "platform/graphics/CGImage.h"
#include "platform/imageio/ImageCodecs.h"
#include "platform/uikit/UIWindow.h"
#include "support/TestEnvironment.h"

namespace librarytests {

inline std::string snapshotFolder() {
    auto folder = std::filesystem::path(testsupport::selfExecutable()).parent_path().parent_path() / "screens-snapshots";
    std::filesystem::create_directories(folder);
    return folder.string();
}

// The window rendered at scale 2 and written as <name>.png; the image for probes.
inline CGImageRef writeSnapshot(UIWindow& window, const std::string& name) {
    CGImageRef image = window.snapshotImage(2);
    REQUIRE_MESSAGE(image, "the window rendered nothing");
    Data png;
    NSErrorPtr error;
    REQUIRE(imageio::encodePng(*image, png, &error));
    const std::string path = snapshotFolder() + "/" + name + ".png";
    FILE* out = std::fopen(path.c_str(), "wb");
    REQUIRE_MESSAGE(out, "cannot write " << path);
    const bool written = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    std::fclose(out);
    REQUIRE_MESSAGE(written, "cannot write " << path);
    return image;
}

// The pixel under a point (in points) of a scale-2 snapshot.
inline CGPixel pixelAtPoint(const CGImageRef& image, double x, double y) {
    return image->pixelAt(static_cast<std::size_t>(x * 2), static_cast<std::size_t>(y * 2));
}

// Whether the pixel is the colour, each channel within the tolerance.
inline bool isColour(const CGPixel& p, int r, int g, int b, int tolerance = 6) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

}  // namespace librarytests
