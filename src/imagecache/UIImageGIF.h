#pragma once
// Animated images from GIF data, with the frames' own delays.
#include <cstddef>
#include <string>
#include "platform/foundation/Data.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/imageio/Forward.h"
#include "platform/uikit/UIImage.h"

// A GIF of several frames becomes an animated image lasting the sum of the
// frame delays (0.1 s a frame when they sum to 0); a GIF of one frame a still
// image. Frames that do not decode are left out; null when none decodes.
UIImagePtr ri_animatedGIFWithData(const Data& data);
// The frame's unclamped delay, else its delay, else 0.1; below 0.011 it is 0.1.
float ri_frameDurationAtIndex(std::size_t index, const CGImageSourceRef& source);
// The GIF resource of that name in the main bundle (the "@2x" one first on a
// screen of scale above 1), else the named image.
UIImagePtr ri_animatedGIFNamed(const std::string& name);
// The image scaled to cover the size, centred and cropped, frame by frame.
UIImagePtr ri_animatedImageByScalingAndCroppingToSize(const UIImagePtr& image, CGSize size);
