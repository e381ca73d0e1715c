// Protects the tests that read the real executable's painted frames.
#include "support/FrameProbes.h"

#include <cstdlib>

#include "platform/foundation/Data.h"
#include "platform/imageio/ImageCodecs.h"
#include "support/ApplicationProcess.h"

namespace testsupport {

namespace {
constexpr double kScale = 2;  // the screen's pixels a point
}

std::optional<PaintedFrame> paintedFrame(const ApplicationProcess& app, std::uint64_t after) {
    const auto reply = app.get(after ? "/frame.png?after=" + std::to_string(after) : std::string("/frame.png"));
    const std::string number = reply.header("x-frame-number");
    if (reply.status != 200 || number.empty()) return std::nullopt;
    auto decoded = imageio::decodePng(dataFromString(reply.body), true, imageio::DecodeDepth::Pixels);
    if (decoded.frames.size() != 1 || !decoded.frames.front().image) return std::nullopt;
    return PaintedFrame{std::stoull(number), reply.body, decoded.frames.front().image};
}

CGRect viewRect(const nlohmann::json& view) {
    const auto& f = view["frame"];
    return CGRectMake(f[0].get<double>(), f[1].get<double>(), f[2].get<double>(), f[3].get<double>());
}

CGPixel pixelAtPoint(const CGImageRef& image, double x, double y) {
    return image->pixelAt(static_cast<std::size_t>(x * kScale), static_cast<std::size_t>(y * kScale));
}

bool nearColour(const CGPixel& pixel, const Colour& colour, int tolerance) {
    return std::abs(pixel.r - colour.r) <= tolerance && std::abs(pixel.g - colour.g) <= tolerance &&
           std::abs(pixel.b - colour.b) <= tolerance;
}

bool cornersShow(const CGImageRef& image, CGRect box, const Colour& colour, int tolerance) {
    const double left = box.origin.x + 4, top = box.origin.y + 4;
    const double right = CGRectGetMaxX(box) - 4, bottom = CGRectGetMaxY(box) - 4;
    for (const auto& [x, y] : {std::pair{left, top}, {right, top}, {left, bottom}, {right, bottom}})
        if (!nearColour(pixelAtPoint(image, x, y), colour, tolerance)) return false;
    return true;
}

}  // namespace testsupport
