#pragma once
// The real executable's painted frames as tests read them: /frame.png fetched and
// decoded, and pixels probed at points of the screen (the frame is drawn at the
// screen's scale, 2 pixels a point).
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGImage.h"

namespace testsupport {

class ApplicationProcess;

struct Colour {
    int r, g, b;
};

struct PaintedFrame {
    std::uint64_t number = 0;  // the frame's number (its X-Frame-Number header)
    std::string png;           // the bytes served
    CGImageRef image;          // decoded
};

// GET /frame.png (after > 0: the next frame newer than `after`), decoded; nullopt
// when the application answered with no frame.
std::optional<PaintedFrame> paintedFrame(const ApplicationProcess& app, std::uint64_t after = 0);
// The frame of a node of the device screen's tree, in points.
CGRect viewRect(const nlohmann::json& view);
// The pixel at a point of the screen.
CGPixel pixelAtPoint(const CGImageRef& image, double x, double y);
// Whether each of red, green and blue lies within `tolerance` of the colour's.
bool nearColour(const CGPixel& pixel, const Colour& colour, int tolerance);
// Whether the points 4 in from each corner of the box (points; clear of a centred
// text) all show the colour.
bool cornersShow(const CGImageRef& image, CGRect box, const Colour& colour, int tolerance);

}  // namespace testsupport
