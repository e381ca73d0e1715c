#pragma once
// What every screen shares: the screen colour, the tablet test, the room the
// shell's tab bar takes at the bottom, the one-button failure alert and the
// half-second pause after sheets, pulls and closing interstitials. Main thread only.
#include <functional>
#include <string>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIColor.h"

class UIViewController;

// Red, green and blue 35/255, alpha 1: bars, backgrounds and grids.
UIColorPtr screenColor();

// A tablet answers the interface-idiom query with the pad idiom; every other
// device takes the phone path.
bool isTablet();

// The height of the shell's tab bar, which lies over the bottom of the views of
// the screens inside it (the screen's own ancestors); 0 for a screen outside the
// tab shell (a form sheet, a screen on its own). Whatever must be seen (a banner,
// a grid's last row) ends above it.
CGFloat tabBarOverlap(const UIViewController& screen);

// The alert titled "Alert" with the message and one "OK" button, no delegate.
void showFailureAlert(const std::string& message);

// Runs the block 0.5 s from now on the main queue.
void runAfterHalfSecond(std::function<void()> block);
