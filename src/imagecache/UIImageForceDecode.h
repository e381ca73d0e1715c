#pragma once
// Decompression of an image into a display-ready bitmap, off the main thread.
#include "platform/uikit/UIImage.h"

// A still image redrawn into a bitmap of the device's 32-bit layout (alpha
// premultiplied first, or skipped first without alpha), keeping its scale and
// orientation. Animated images, and images that cannot be redrawn, come back
// unchanged; null stays null. A bitmap far larger than any place it can be
// drawn (above four screens of pixels, and above 2^22 pixels) is reduced to
// that size instead, averaged, in the drawing backend's own layout; its scale
// stays, so its size in points shrinks with it and so does its cache cost.
UIImagePtr decodedImageWithImage(const UIImagePtr& image);
