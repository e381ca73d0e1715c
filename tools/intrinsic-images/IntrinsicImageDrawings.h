#pragma once
// The drawings of the ad library's built-in button images, each at its size in
// points and the scale asked, as 8-bit RGBA PNG bytes (empty when drawing failed).
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/graphics/CGGeometry.h"

namespace intrinsic {

struct ButtonImage {
    std::string constant;  // the name of the Base64 constant in the library's source
    std::string role;      // one line on what it shows
    CGSize points;
    CGFloat scale;
    void (*draw)(CGSize points);
};

// The browser's back and forward arrows (27 points) and the close button (25
// points), each at scales 1 and 2, in that order.
const std::vector<ButtonImage>& buttonImages();
Data renderPNG(const ButtonImage& image);

// The whole generated source text.
std::string generatedSource();

}  // namespace intrinsic
