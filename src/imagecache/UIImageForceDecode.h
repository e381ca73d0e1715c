#pragma once
// Decompression of an image into a display-ready bitmap, off the main thread.
#include "platform/uikit/UIImage.h"

// A still image redrawn into a bitmap of the device's 32-bit layout (alpha
// premultiplied first, or skipped first without alpha), keeping its scale and
// orientation. Animated images, and images that cannot be redrawn, come back
// unchanged; null stays null.
UIImagePtr decodedImageWithImage(const UIImagePtr& image);
