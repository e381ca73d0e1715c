#pragma once
// The images the application ships, drawn with the platform's own drawing layer.
// Each entry draws one picture in a UIKit image context of its size in points;
// the catalogue renders it at scale 1 ("name.png") and scale 2 ("name@2x.png")
// and encodes both as PNG. Drawing is deterministic: the same build gives the
// same bytes, which is how tests check the committed files.
//
// Main thread (the image contexts are per thread, any one thread will do).
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/graphics/CGGeometry.h"

namespace art {

struct ArtEntry {
    std::string name;  // the resource stem, e.g. "movie_thumb"
    CGSize size;       // in points
    std::function<void(CGSize)> draw;  // draws into the current image context
};

// Every image the application ships, in a fixed order.
const std::vector<ArtEntry>& artCatalogue();

struct RenderedArt {
    std::string fileName;  // "movie_thumb.png", "movie_thumb@2x.png"
    Data png;
};

// The entry rendered at scale 1 and 2; nullopt when a context or an encoding fails.
std::optional<std::vector<RenderedArt>> renderArt(const ArtEntry& entry);

// Renders every entry into the folder (which must exist). False with a reason
// in *error when a picture cannot be drawn or a file cannot be written.
[[nodiscard]] bool writeAllArt(const std::string& folder, std::string* error);

// Writes the bytes to the path; false with a reason in *error when it cannot.
[[nodiscard]] bool writeFile(const std::string& path, const Data& bytes, std::string* error);

// A sheet for review: every image, @2x on the first row and 1x on the second, over the dark grey
// of the application's screens (the white glyphs vanish on white), as PNG.
std::optional<Data> renderContactSheet();

}  // namespace art
