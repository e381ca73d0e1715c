#pragma once
// The interface orientation that the status bar shows, and the screen geometry
// that follows it: the screen's bounds in interface terms (landscape swaps
// width and height from system 8.0 on; before, bounds stay in portrait terms),
// the application frame (those bounds less the 20-point status bar) and the
// current display mode's size in pixels (portrait bounds times scale).
//
// The orientation is the application's (UIApplication statusBarOrientation),
// read through a replaceable provider. Any thread for reading.
#include <functional>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIApplication.h"

class UIScreen;

namespace UIStatusBar {
UIInterfaceOrientation statusBarOrientation();
// Sets the application's orientation (main thread: it posts the change).
void setStatusBarOrientation(UIInterfaceOrientation orientation);
// Replaces where the orientation comes from (nullptr: the stored value).
void setOrientationProvider(std::function<UIInterfaceOrientation()> provider);
inline constexpr CGFloat kStatusBarHeight = 20;
}  // namespace UIStatusBar

namespace UIScreenGeometry {
// `systemMajor` is the device's system version's major number.
CGRect interfaceBounds(const UIScreen& screen, int systemMajor);
CGRect applicationFrame(const UIScreen& screen, int systemMajor);
CGSize currentModeSize(const UIScreen& screen);
}  // namespace UIScreenGeometry
