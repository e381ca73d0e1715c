#pragma once
// Comparison of rendered images with reference PNGs kept under tests/references/.
//
// An image matches when no more than 0.5 % of its pixels have a channel
// (premultiplied red, green, blue or alpha) off by more than 8, and the sizes
// agree. On a mismatch the actual image and a difference image (mismatching
// pixels red, the rest a faint grey copy) are written beside the build under
// reference-failures/, and the message names them.
//
// QUORVANE_UPDATE_REFERENCES=1 rewrites the reference from the actual image
// (and reports a match); a person looks at the new PNG before committing it.
#include <string>

#include "platform/graphics/CGImage.h"

namespace testsupport {

struct ReferenceComparison {
    bool matched = false;
    std::string message;  // what differed and where the images were written
};

// name is the file name without ".png" (e.g. "drawing-scene@2x").
ReferenceComparison compareWithReference(const CGImageRef& actual, const std::string& name);

// The comparison itself, for two images in memory.
struct PixelDifference {
    bool sameSize = false;
    std::size_t pixels = 0;      // pixels compared
    std::size_t offPixels = 0;   // pixels with a channel off by more than the tolerance
    int largestDifference = 0;
};
PixelDifference comparePixels(const CGImageRef& a, const CGImageRef& b, int tolerance = 8);

}  // namespace testsupport
