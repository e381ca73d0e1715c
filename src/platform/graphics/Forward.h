#pragma once
// Declarations of the drawing classes for headers that only pass them around.
#include <memory>

class CGColorSpace;
class CGColor;
class CGImage;
class CGContext;
using CGColorSpaceRef = std::shared_ptr<const CGColorSpace>;
using CGColorRef = std::shared_ptr<const CGColor>;
using CGImageRef = std::shared_ptr<const CGImage>;
using CGContextRef = std::shared_ptr<CGContext>;
