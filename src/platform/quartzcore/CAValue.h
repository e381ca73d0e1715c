#pragma once
// The values of animatable layer properties, as animations and transactions
// carry them.
#include <memory>
#include <string>
#include <variant>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGImage.h"
#include "platform/quartzcore/CATransform3D.h"
#include "platform/quartzcore/Forward.h"

using CAValue = std::variant<std::monostate, double, CGPoint, CGSize, CGRect, CATransform3D, CGColorRef, CGImageRef,
                             CALayerPathRef>;

// The value between two of the same kind at fraction t (0...1): numbers,
// points, sizes, rectangles and colours blend; others switch at the end.
CAValue CAValueInterpolate(const CAValue& from, const CAValue& to, double t);
// A short text for logs and test messages.
std::string CAValueDescription(const CAValue& value);
