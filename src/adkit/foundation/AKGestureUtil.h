#pragma once
// Plain collectors for the signal component: the default route's reachability
// flags, a view's class chain, and the walk of the key window's view tree.
// Main thread (the walk needs the key window).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Value.h"

class UIView;

namespace AKGestureUtil {
// The flags of 0.0.0.0 into *flags; left unchanged when they cannot be read.
void reachability(std::uint32_t* flags);
// "Class:Superclass:...:NSObject" from the class registry, cut to maxSize
// characters; "" for no view.
std::string viewInheritenceHierarchy(const UIView* view, std::size_t maxSize);
// Depth-first, pre-order records {"ViewName", "x", "y", "w", "h"} of the key
// window's visible views; a view whose chain equals `stopAt` is recorded but
// its subviews are not visited.
Value walkViews(const std::string& stopAt);
}  // namespace AKGestureUtil
