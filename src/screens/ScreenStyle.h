#pragma once
// What every screen shares: the screen colour, the tablet test, the part of a
// screen the shell's tab bar covers, the one-button failure alert and the
// half-second pause after sheets, pulls and closing interstitials. Main thread
// only.
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

// The height the shell's tab bar covers at the bottom of the screen's view (the
// view spans the whole screen under it): the bar's height when the screen is
// in a tab bar controller, else 0. What must be seen ends above it.
CGFloat tabBarCover(const UIViewController& screen);

// The alert titled "Alert" with the message and one "OK" button, no delegate.
void showFailureAlert(const std::string& message);

// Runs the block 0.5 s from now on the main queue.
void runAfterHalfSecond(std::function<void()> block);
