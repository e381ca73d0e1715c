#pragma once
// The layer classes, for headers that only pass pointers.
#include <memory>

class CALayer;
class CAShapeLayer;
class CAAnimation;
class CABasicAnimation;
class CAAnimationDelegate;
class CALayerDelegate;
class CALayerPath;
using CALayerPtr = std::shared_ptr<CALayer>;
using CAShapeLayerPtr = std::shared_ptr<CAShapeLayer>;
using CAAnimationPtr = std::shared_ptr<CAAnimation>;
using CABasicAnimationPtr = std::shared_ptr<CABasicAnimation>;
using CALayerPathRef = std::shared_ptr<const CALayerPath>;
